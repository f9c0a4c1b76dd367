// Install, then uninstall, over the doubles: the machine is as it was before, and what was
// changed since the install, or cannot be undone, is left and reported, never lost.
#include <gtest/gtest.h>

#include <algorithm>

#include <functional>
#include <memory>

#include "catalogue/HostCatalogue.h"
#include "doubles/FileDouble.h"
#include "doubles/ProcessDouble.h"
#include "doubles/ProgressDouble.h"
#include "doubles/PromptDouble.h"
#include "doubles/RegFile.h"
#include "doubles/RegistryDouble.h"
#include "doubles/TextCodecDouble.h"
#include "doubles/ViewDouble.h"
#include "journal/Recording.h"
#include "journal/Scope.h"
#include "journal/UndoRecorder.h"
#include "setup/InstallRun.h"
#include "setup/UninstallRun.h"

namespace {

const char* const kKey2008 = "SOFTWARE\\Autodesk\\AutoCAD\\R17.1\\ACAD-6001:804\\";
const char* const kKey2013 = "SOFTWARE\\Autodesk\\AutoCAD\\R19.0\\ACAD-B001:804\\";
const char* const kHost2008 = "C:\\Program Files\\AutoCAD 2008";
const char* const kHost2013 = "C:\\Program Files\\Autodesk\\AutoCAD 2013\\";  // stored with a backslash
const char* const kVariables =
    "Software\\Autodesk\\AutoCAD\\R19.0\\ACAD-B001:804\\Profiles\\<<Unnamed Profile>>\\Variables";
const char* const kData = "C:\\Setup\\Data";
const char* const kFolder = "C:\\Korvel\\Korvel-Tarnwick";

// The machine: two hosts, the package, a profile with trusted paths of its own, the 2008 host's
// own plot driver, another vendor's loader key, and an older registration of ours.
struct Machine {
    FileDouble files;
    RegistryDouble registry;
    TextCodecDouble codec;
    ProcessDouble processes;

    Machine() {
        files.AddFolder("C:\\");
        files.AddFolder("D:\\");
        files.modulePath = "C:\\Setup\\SetUp.exe";
        files.AddFile(files.modulePath, "setup program");
        for (const char* name : {"Korvel2008.ARX", "Korvel2010.arx", "Korvel2013.ARX", "Korvel_EN.shx",
                                 "Korvel_HZ.shx", "ACAD2007.dll", "ACAD2013.dll", "Korvel.prt5"})
            files.AddFile(std::string(kData) + "\\" + name, name);
        for (const std::string& host : {std::string(kHost2008), std::string(kHost2013)}) {
            files.AddFile(host + (host.back() == '\\' ? "" : "\\") + "acad.exe", "host");
            files.AddFolder(host + (host.back() == '\\' ? "" : "\\") + "Fonts");
        }
        files.AddFile(std::string(kHost2008) + "\\Drv\\pdfplot9.hdi", "the host's own driver");
        EXPECT_EQ(LoadRegText(registry,
                              "Windows Registry Editor Version 5.00\r\n\r\n"
                              "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Autodesk\\AutoCAD\\R17.1\\ACAD-6001:804]\r\n"
                              "\"ProductName\"=\"AutoCAD 2008\"\r\n"
                              "\"AcadLocation\"=\"C:\\\\Program Files\\\\AutoCAD 2008\"\r\n\r\n"
                              "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Autodesk\\AutoCAD\\R17.1\\ACAD-6001:804\\Applications\\OtherVendor]\r\n"
                              "\"LOADER\"=\"C:\\\\Other\\\\other.arx\"\r\n"
                              "\"LOADCTRLS\"=dword:00000002\r\n\r\n"
                              "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Autodesk\\AutoCAD\\R19.0\\ACAD-B001:804]\r\n"
                              "\"ProductName\"=\"AutoCAD 2013\"\r\n"
                              "\"AcadLocation\"=\"C:\\\\Program Files\\\\Autodesk\\\\AutoCAD 2013\\\\\"\r\n\r\n"
                              "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Autodesk\\AutoCAD\\R19.0\\ACAD-B001:804\\Applications\\Korvel2013]\r\n"
                              "\"LOADER\"=\"C:\\\\Ancient\\\\Korvel2013.ARX\"\r\n"
                              "\"LOADCTRLS\"=dword:00000002\r\n\r\n"
                              "[HKEY_CURRENT_USER\\Software\\Autodesk\\AutoCAD\\R19.0\\ACAD-B001:804\\Profiles\\<<Unnamed Profile>>\\Variables]\r\n"
                              "\"TRUSTEDPATHS\"=\"d:\\\\tools\"\r\n\r\n"
                              "[HKEY_CURRENT_USER\\Software\\Autodesk\\AutoCAD\\R19.0\\ACAD-B001:804\\Profiles\\Second]\r\n"),
                  "");
    }

    // Everything a user could tell apart: both hives, and every file with content and attributes.
    std::string Snapshot() const {
        std::string out = registry.Dump(kHkeyLocalMachine, "SOFTWARE") + registry.Dump(kHkeyCurrentUser, "Software");
        std::function<void(const std::string&)> walk = [&](const std::string& folder) {
            for (const std::string& name : files.Children(folder)) {
                const std::string path = folder + (folder.back() == '\\' ? "" : "\\") + name;
                out += path + " " + std::to_string(files.Attributes(path)) + " " + files.Content(path) + "\n";
                if (files.IsFolder(path)) walk(path);
            }
        };
        walk("C:\\");
        walk("D:\\");
        return out;
    }

    // A whole install, as the setup dialog runs it with its default choices.
    int Install(const std::string& folder = "C:\\Korvel") {
        PromptDouble prompt;
        Journal journal(files, codec);
        RecordingRegistry recordingRegistry(registry, journal);
        RecordingFiles recordingFiles(files, journal);
        UndoRecorder recorder(journal, recordingRegistry, recordingFiles, {"Korvel-Tarnwick", "2025.01.21", "Tarnwick"});
        HostCatalogue catalogue(recordingRegistry, recordingFiles, prompt);
        catalogue.ScanInstalledReleases();
        SetupMembers members;
        ViewDouble view(members);
        view.ticks.fill(0);
        view.ticks[1] = view.ticks[6] = 1;
        view.editText = folder;
        bool armed = true;
        NoLog log;
        InstallRun run(view, members, view.progress, catalogue, recordingFiles, processes, armed, log);
        run.SetJournal(&recorder);
        run.OnInstall();
        return run.ExitCode();
    }

    // The uninstall as the package's SetUp.exe runs it, quiet.
    int Uninstall(UninstallRun** keep = nullptr, const std::string& folder = kFolder) {
        prompt = std::make_unique<PromptDouble>();
        run = std::make_unique<UninstallRun>(registry, files, codec, processes, *prompt, progress);
        if (keep) *keep = run.get();
        return run->Run(folder, "C:\\Setup\\SetUp.exe", true);
    }

    std::unique_ptr<PromptDouble> prompt;
    ProgressDouble progress;
    std::unique_ptr<UninstallRun> run;
};

TEST(Undo, InstallThenUninstallLeavesTheMachineAsItWas) {
    Machine m;
    const std::string before = m.Snapshot();
    ASSERT_EQ(m.Install(), kExitFinished);
    // What the install adds for the uninstall: the record, the program, the entry, the backup.
    EXPECT_TRUE(m.files.IsFile(std::string(kFolder) + "\\uninstall.dat"));
    EXPECT_EQ(m.files.Content(std::string(kFolder) + "\\uninstall.exe"), "setup program");
    const std::string entry = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Korvel-Tarnwick";
    EXPECT_EQ(m.registry.GetText(kHkeyLocalMachine, entry, "UninstallString"),
              "\"C:\\Korvel\\Korvel-Tarnwick\\uninstall.exe\" /uninstall");
    EXPECT_EQ(m.registry.GetText(kHkeyLocalMachine, entry, "QuietUninstallString"),
              "\"C:\\Korvel\\Korvel-Tarnwick\\uninstall.exe\" /uninstall /S");
    EXPECT_EQ(m.registry.GetText(kHkeyLocalMachine, entry, "InstallLocation"), kFolder);
    EXPECT_EQ(m.files.Content(std::string(kFolder) + "\\uninstall-backup\\1.bak"), "the host's own driver");
    EXPECT_EQ(m.files.Content(std::string(kHost2008) + "\\Drv\\pdfplot9.hdi"), "Korvel.prt5");
    EXPECT_NE(m.Snapshot(), before);

    EXPECT_EQ(m.Uninstall(), kExitFinished);
    EXPECT_TRUE(m.run->result.left.empty());
    EXPECT_EQ(m.Snapshot(), before);
    EXPECT_EQ(m.registry.OpenHandleCount(), 0);
}

// A copy over a host's file that fails part-way leaves that file as it was, from its backup.
TEST(Undo, AHostFileACopyFailedOverComesBackWhole) {
    Machine m;
    const std::string driver = std::string(kHost2008) + "\\Drv\\pdfplot9.hdi";
    m.files.BreakCopyTo(driver);
    m.Install();
    EXPECT_EQ(m.files.Content(driver), "the host's own driver");
    EXPECT_FALSE(m.files.Exists(std::string(kFolder) + "\\uninstall-backup\\1.bak"));
}

// Two installs into one folder keep one record that undoes both, and one entry.
TEST(Undo, ASecondInstallIsUndoneWithTheFirst) {
    Machine m;
    const std::string before = m.Snapshot();
    ASSERT_EQ(m.Install(), kExitFinished);
    m.files.AddFile(std::string(kData) + "\\Korvel.prt5", "a newer driver");
    ASSERT_EQ(m.Install(), kExitFinished);
    EXPECT_EQ(m.files.Content(std::string(kHost2008) + "\\Drv\\pdfplot9.hdi"), "a newer driver");
    m.files.AddFile(std::string(kData) + "\\Korvel.prt5", "Korvel.prt5");  // the package as it was
    EXPECT_EQ(m.Uninstall(), kExitFinished);
    EXPECT_EQ(m.Snapshot(), before);
}

// The uninstaller in the plug-in's folder cannot delete itself while it runs: its file and the
// folders that hold it are handed back, for removal once it has ended.
TEST(Undo, TheRunningUninstallerIsLeftForLater) {
    Machine m;
    const std::string before = m.Snapshot();
    ASSERT_EQ(m.Install(), kExitFinished);
    PromptDouble prompt;
    ProgressDouble progress;
    UninstallRun run(m.registry, m.files, m.codec, m.processes, prompt, progress);
    const std::string self = std::string(kFolder) + "\\uninstall.exe";
    m.files.SetLocked(self);
    EXPECT_EQ(run.Run(kFolder, self, true), kExitFinished);
    EXPECT_EQ(run.result.deferred, (std::vector<std::string>{self, kFolder, "C:\\Korvel"}));
    m.files.SetLocked(self, false);
    for (const std::string& path : run.result.deferred)
        m.files.IsFolder(path) ? m.files.RemoveFolder(path) : m.files.RemoveFile(path);
    EXPECT_EQ(m.Snapshot(), before);
}

// A file the user changed, a trusted path the user edited, and an install of the plug-in
// elsewhere since: each keeps what is not ours to take.
TEST(Undo, WhatChangedSinceTheInstallIsKeptAndReported) {
    Machine m;
    ASSERT_EQ(m.Install(), kExitFinished);
    const std::string font = std::string(kHost2013) + "Fonts\\Korvel_EN.shx";
    m.files.AddFile(font, "the user's own font");
    m.registry.PutString(kHkeyCurrentUser, kVariables, "TRUSTEDPATHS",
                         "D:\\TOOLS;C:\\KORVEL\\KORVEL-TARNWICK\\;E:\\MORE");
    // A newer install in D:\New takes over the loader keys and the entry.
    ASSERT_EQ(m.Install("D:\\New"), kExitFinished);

    UninstallRun* run = nullptr;
    EXPECT_EQ(m.Uninstall(&run), kExitUninstallIncomplete);
    EXPECT_EQ(m.files.Content(font), "Korvel_EN.shx");  // the newer install's copy: it needs it
    EXPECT_EQ(m.registry.GetText(kHkeyCurrentUser, kVariables, "TRUSTEDPATHS"),
              "D:\\TOOLS;E:\\MORE;D:\\NEW\\KORVEL-TARNWICK");
    EXPECT_EQ(m.registry.GetText(kHkeyLocalMachine, std::string(kKey2013) + "Applications\\Korvel2013", "LOADER"),
              "D:\\New\\Korvel-Tarnwick\\Korvel2013.ARX");
    EXPECT_EQ(m.registry.GetText(kHkeyLocalMachine,
                                 "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Korvel-Tarnwick",
                                 "InstallLocation"),
              "D:\\New\\Korvel-Tarnwick");
    EXPECT_TRUE(m.files.IsFile("D:\\New\\Korvel-Tarnwick\\Korvel2013.ARX"));
    // Our payload is gone; the host's own driver, which the newer install now covers, is kept in
    // its backup, and so is the folder that holds it.
    EXPECT_FALSE(m.files.Exists(std::string(kFolder) + "\\Korvel2013.ARX"));
    EXPECT_EQ(m.files.Content(std::string(kFolder) + "\\uninstall-backup\\1.bak"), "the host's own driver");
    ASSERT_FALSE(run->result.left.empty());
    for (const LeftBehind& left : run->result.left) EXPECT_NE(left.why.find("保留"), std::string::npos) << left.what;

    // The user's own changes to files we placed, with nothing else in the way: one of another
    // size, found so without reading it, and one of the same size, found by its hash.
    Machine alone;
    ASSERT_EQ(alone.Install(), kExitFinished);
    alone.files.AddFile(font, "the user's own font");
    const std::string module = std::string(kFolder) + "\\Korvel2013.ARX";
    const std::string sameSize(alone.files.Content(module).size(), '#');
    alone.files.AddFile(module, sameSize);
    alone.files.calls.clear();
    EXPECT_EQ(alone.Uninstall(&run), kExitUninstallIncomplete);
    EXPECT_EQ(alone.files.Content(font), "the user's own font");
    EXPECT_EQ(alone.files.Content(module), sameSize);
    ASSERT_EQ(run->result.left.size(), 4u);  // and the two folders that hold the module
    EXPECT_EQ(run->result.left[0].what, font);
    EXPECT_EQ(run->result.left[1].what, module);
    const auto& calls = alone.files.calls;
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "HashFile(" + font + ")"), 0);
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "HashFile(" + module + ")"), 1);
}

TEST(Undo, AMissingOrDamagedRecordChangesNothing) {
    Machine m;
    ASSERT_EQ(m.Install(), kExitFinished);
    const std::string record = std::string(kFolder) + "\\uninstall.dat";
    std::string text = m.files.Content(record);
    text[text.size() / 2] ^= 1;
    m.files.AddFile(record, text);
    const std::string installed = m.Snapshot();
    EXPECT_EQ(m.Uninstall(), kExitNoRecord);
    EXPECT_NE(m.run->messages.at(0).find("已损坏"), std::string::npos);
    EXPECT_EQ(m.Snapshot(), installed);
    m.files.Remove(record);
    const std::string withoutRecord = m.Snapshot();
    EXPECT_EQ(m.Uninstall(), kExitNoRecord);
    EXPECT_NE(m.run->messages.at(0).find("未找到卸载记录"), std::string::npos);
    EXPECT_EQ(m.Snapshot(), withoutRecord);
}

TEST(Undo, AskedFirstAndRefusedOnceWhileTheHostRuns) {
    Machine m;
    ASSERT_EQ(m.Install(), kExitFinished);
    const std::string installed = m.Snapshot();
    PromptDouble prompt;
    ProgressDouble progress;
    UninstallRun run(m.registry, m.files, m.codec, m.processes, prompt, progress);
    prompt.answers = {kIdNo};
    EXPECT_EQ(run.Run(kFolder, "", false), kExitCancelled);
    EXPECT_EQ(prompt.shown.at(0).type, kMbYesNo | kMbIconQuestion);
    EXPECT_EQ(prompt.shown.at(0).caption, "Korvel-软件安装");

    m.processes.names = {"acad.exe"};
    prompt.answers = {kIdYes, kIdCancel};
    EXPECT_EQ(run.Run(kFolder, "", false), kExitCancelled);
    EXPECT_EQ(run.Run(kFolder, "", true), kExitHostRunning);  // quiet: no second chance
    EXPECT_EQ(m.Snapshot(), installed);

    prompt.answers = {kIdYes, kIdRetry};  // the user closed it, or goes on regardless
    EXPECT_EQ(run.Run(kFolder, "", false), kExitFinished);
    EXPECT_NE(prompt.shown.back().text.find("已卸载"), std::string::npos);
}

// Every registry call of the uninstall, failed in turn: nothing of the user's is lost, nothing
// is reported as removed that is not, and a second uninstall finishes the work.
TEST(Undo, AFaultAtAnyRegistryCallLosesNothing) {
    int calls = 0;
    std::string before;
    {
        Machine m;
        before = m.Snapshot();
        m.Install();
        m.registry.ResetCallCounts();
        m.Uninstall();
        calls = m.registry.CallCount(RegOp::Any);
    }
    ASSERT_GT(calls, 20);
    for (int n = 1; n <= calls; ++n) {
        Machine m;
        m.Install();
        m.registry.ResetCallCounts();
        m.registry.FailCall(RegOp::Any, n, kErrorAccessDenied);
        UninstallRun* run = nullptr;
        const int code = m.Uninstall(&run);
        ASSERT_TRUE(code == kExitFinished || code == kExitUninstallIncomplete) << n;
        if (code == kExitUninstallIncomplete) {
            EXPECT_FALSE(run->result.left.empty()) << n;
        }
        const std::string trusted = m.registry.GetText(kHkeyCurrentUser, kVariables, "TRUSTEDPATHS");
        EXPECT_EQ(UpperCp936(trusted).find("D:\\TOOLS"), 0u) << n << " " << trusted;
        EXPECT_TRUE(m.registry.KeyExists(kHkeyLocalMachine, std::string(kKey2008) + "Applications\\OtherVendor")) << n;
        EXPECT_EQ(m.registry.OpenHandleCount(), 0) << n;
        if (code == kExitFinished) {
            EXPECT_EQ(m.Snapshot(), before) << n;
        }
    }
}

// The same for the files: each path the uninstall writes or removes, refused in turn.
TEST(Undo, AFileThatCannotBeRemovedOrRestoredIsReportedAndKept) {
    std::vector<std::string> touched;
    {
        Machine m;
        m.Install();
        m.files.calls.clear();
        m.Uninstall();
        for (const std::string& call : m.files.calls) {
            for (const char* op : {"RemoveFile(", "RemoveFolder(", "CopyOver("}) {
                if (call.rfind(op, 0) == 0) {
                    std::string path = call.substr(std::string(op).size());
                    path.pop_back();
                    if (call.rfind("CopyOver(", 0) == 0) path = path.substr(path.find(',') + 1);
                    touched.push_back(path);
                }
            }
        }
    }
    ASSERT_GT(touched.size(), 10u);
    for (const std::string& path : touched) {
        Machine m;
        m.Install();
        m.files.FailWrites(path);
        m.files.FailCopiesTo(path);
        UninstallRun* run = nullptr;
        const int code = m.Uninstall(&run);
        ASSERT_TRUE(code == kExitFinished || code == kExitUninstallIncomplete) << path;
        // The host's own driver is never lost: restored, or still kept in its backup.
        const std::string driver = m.files.Content(std::string(kHost2008) + "\\Drv\\pdfplot9.hdi");
        const bool kept = m.files.Content(std::string(kFolder) + "\\uninstall-backup\\1.bak") == "the host's own driver";
        EXPECT_TRUE(driver == "the host's own driver" || kept) << path;
        if (code == kExitUninstallIncomplete) {
            EXPECT_FALSE(run->result.left.empty()) << path;
        }
    }
}

}  // namespace

namespace {
// A record is a file: one rewritten to name anything an install could not have done (another
// program's key, a file outside the hosts' and the plug-in's folders) is refused whole, however
// well-formed, so that an uninstall run by an administrator never replays it.
TEST(Undo, ARecordNamingWhatNoInstallDoesIsRefusedWhole) {
    Machine m;
    ASSERT_EQ(m.Install(), kExitFinished);
    const std::string installed = m.Snapshot();
    const std::string folder = kFolder;
    std::vector<JournalEntry> forged(5);
    forged[0].kind = EntryKind::Value;  // another program's run key
    forged[0].root = kHkeyLocalMachine;
    forged[0].path = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
    forged[0].value = {"x", kRegSz, "x"};
    forged[1].kind = EntryKind::File;  // a system file
    forged[1].path = "C:\\Windows\\System32\\drivers\\etc\\hosts";
    forged[1].hash = std::string(64, '0');
    forged[2].kind = EntryKind::KeyDeleted;  // a key to make with any values
    forged[2].root = kHkeyLocalMachine;
    forged[2].path = "SOFTWARE\\Classes\\exefile\\shell\\open\\command";
    forged[3].kind = EntryKind::Replaced;  // a backup from elsewhere put over a host's file
    forged[3].path = std::string(kHost2008) + "\\Drv\\pdfplot9.hdi";
    forged[3].backup = "D:\\anything.bak";
    forged[3].hash = std::string(64, '0');
    forged[4].kind = EntryKind::Value;  // a loader value of ours, but not one we write
    forged[4].root = kHkeyLocalMachine;
    forged[4].path = std::string(kKey2013) + "Applications\\Korvel2013";
    forged[4].value = {"DEBUGGER", kRegSz, "x"};
    for (const JournalEntry& entry : forged) {
        Machine fresh;
        ASSERT_EQ(fresh.Install(), kExitFinished);
        std::string line;
        ASSERT_TRUE(FormatEntry(entry, fresh.codec, line));
        const std::string record = folder + "\\uninstall.dat";
        fresh.files.WriteBytes(record, line + "\n", true);
        const std::string before = fresh.Snapshot();
        EXPECT_EQ(fresh.Uninstall(), kExitNoRecord) << line;
        EXPECT_EQ(fresh.Snapshot(), before) << line;
    }
    // What every install writes is within it.
    std::vector<JournalEntry> entries;
    ASSERT_EQ(Journal::Load(m.files, m.codec, folder, entries), RecordState::Loaded);
    for (const JournalEntry& entry : entries) {
        std::string line;
        FormatEntry(entry, m.codec, line);
        EXPECT_TRUE(WithinInstallScope(entry, folder)) << line;
    }
    EXPECT_EQ(m.Snapshot(), installed);
}
}  // namespace

// Install, then uninstall, over the doubles: the machine is as it was before, and what was
// changed since the install, or cannot be undone, is left and reported, never lost.
#include <gtest/gtest.h>

#include <algorithm>

#include <functional>
#include <algorithm>
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
#include "journal/UninstallEntry.h"
#include "platform/Forwarding.h"
#include "setup/InstallRun.h"
#include "setup/UninstallRun.h"
#include "setup/UserSetup.h"
#include "register/UserHives.h"

namespace {

const char* const kKey2008 = "SOFTWARE\\Autodesk\\AutoCAD\\R17.1\\ACAD-6001:804\\";
const char* const kKey2013 = "SOFTWARE\\Autodesk\\AutoCAD\\R19.0\\ACAD-B001:804\\";
const char* const kHost2008 = "C:\\Program Files\\AutoCAD 2008";
const char* const kHost2013 = "C:\\Program Files\\Autodesk\\AutoCAD 2013\\";  // stored with a backslash
const char* const kVariables =
    "Software\\Autodesk\\AutoCAD\\R19.0\\ACAD-B001:804\\Profiles\\<<Unnamed Profile>>\\Variables";
const char* const kData = "C:\\Setup\\Data";
const char* const kFolder = "C:\\Korvel\\Korvel-Tarnwick";

struct Killed {};

// Counts the calls that change the machine, and ends the run at one of them: it does nothing
// (but write half of a line to the record), nor does any call after it.
struct Kill {
    explicit Kill(int at) : at(at) {}
    void Step() {
        if (at > 0 && ++count >= at) throw Killed{};
        if (at == 0) ++count;
    }
    int at;
    int count = 0;
};

class KillingRegistry : public ForwardingRegistry {
public:
    KillingRegistry(Registry& inner, Kill& kill) : ForwardingRegistry(inner), kill_(kill) {}
    long CreateKey(RegKey p, const char* k, RegKey& out) override { return kill_.Step(), inner_.CreateKey(p, k, out); }
    long SetDword(RegKey k, const char* n, std::uint32_t v) override { return kill_.Step(), inner_.SetDword(k, n, v); }
    long SetString(RegKey k, const char* n, const char* t, std::uint32_t c) override {
        return kill_.Step(), inner_.SetString(k, n, t, c);
    }
    long SetValue(RegKey k, const char* n, std::uint32_t t, const std::string& b) override {
        return kill_.Step(), inner_.SetValue(k, n, t, b);
    }
    long DeleteValue(RegKey k, const char* n) override { return kill_.Step(), inner_.DeleteValue(k, n); }
    long DeleteKey(RegKey p, const char* k) override { return kill_.Step(), inner_.DeleteKey(p, k); }

private:
    Kill& kill_;
};

class KillingFiles : public ForwardingFiles {
public:
    KillingFiles(Files& inner, Kill& kill) : ForwardingFiles(inner), kill_(kill) {}
    bool WriteAttributes(const std::string& p, std::uint32_t a) override { return kill_.Step(), inner_.WriteAttributes(p, a); }
    using Files::CopyOver;
    bool CopyOver(const std::string& s, const std::string& d, bool f, CopyReport& r) override {
        return kill_.Step(), inner_.CopyOver(s, d, f, r);
    }
    int MakeDir(const std::string& p) override { return kill_.Step(), inner_.MakeDir(p); }
    bool CreateFolder(const std::string& p) override { return kill_.Step(), inner_.CreateFolder(p); }
    bool CreateLockedFolder(const std::string& p) override { return kill_.Step(), inner_.CreateLockedFolder(p); }
    bool RemoveFile(const std::string& p) override { return kill_.Step(), inner_.RemoveFile(p); }
    bool RemoveFolder(const std::string& p) override { return kill_.Step(), inner_.RemoveFolder(p); }
    bool WriteBytes(const std::string& path, const std::string& bytes, bool append) override {
        try {
            kill_.Step();
        } catch (const Killed&) {
            inner_.WriteBytes(path, bytes.substr(0, bytes.size() / 2), append);  // cut in a line
            throw;
        }
        return inner_.WriteBytes(path, bytes, append);
    }

private:
    Kill& kill_;
};

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
        files.AddFile("C:\\Ancient\\Korvel2013.ARX", "an older module");
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
                              "[HKEY_CURRENT_USER\\Software\\Autodesk\\AutoCAD\\R19.0\\ACAD-B001:804\\Profiles\\Second]\r\n\r\n"
                              "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall]\r\n"),
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

    // A whole install, as the setup dialog runs it with its default choices. killAt: the run
    // ends as a kill would at that call that changes the machine (1 = the first; 0 = none).
    int Install(const std::string& folder = "C:\\Korvel", int killAt = 0) {
        PromptDouble prompt;
        Kill kill(killAt);
        KillingRegistry dyingRegistry(registry, kill);
        KillingFiles dyingFiles(files, kill);
        Journal journal(dyingFiles, codec);
        RecordingRegistry recordingRegistry(dyingRegistry, journal);
        RecordingFiles recordingFiles(dyingFiles, journal);
        UndoRecorder recorder(journal, recordingRegistry, recordingFiles, {"Korvel-Tarnwick", "2025.01.21", "Tarnwick", "20250121", 2025, 1});
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
        recorder.SetUser(processes.sid);
        try {
            run.OnInstall();
        } catch (const Killed&) {
            return -1;
        }
        changes = kill.count;
        return run.ExitCode();
    }
    int changes = 0;  // the calls that changed the machine in the last whole install

    std::uint32_t Dword(const std::string& path, const char* name) const {
        std::uint32_t type = 0;
        std::string bytes;
        if (!registry.GetValue(kHkeyLocalMachine, path, name, type, bytes) || type != kRegDword || bytes.size() != 4)
            return 0xFFFFFFFF;
        return static_cast<std::uint8_t>(bytes[0]) | static_cast<std::uint8_t>(bytes[1]) << 8 |
               static_cast<std::uint8_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(static_cast<std::uint8_t>(bytes[3])) << 24;
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
    // What management tools detect the install by.
    EXPECT_EQ(m.registry.GetText(kHkeyLocalMachine, entry, "DisplayVersion"), "2025.01.21");
    EXPECT_EQ(m.registry.GetText(kHkeyLocalMachine, entry, "InstallDate"), "20250121");
    EXPECT_EQ(m.Dword(entry, "VersionMajor"), 2025u);
    EXPECT_EQ(m.Dword(entry, "VersionMinor"), 1u);
    EXPECT_EQ(m.Dword(entry, "EstimatedSize"), 1u);  // a few bytes of payload round up to 1 KB
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
    const std::string before = m.Snapshot();
    const std::string driver = std::string(kHost2008) + "\\Drv\\pdfplot9.hdi";
    m.files.BreakCopyTo(driver);
    m.Install();
    EXPECT_EQ(m.files.Content(driver), "the host's own driver");
    // The backup stays with the record until the uninstall, which leaves the machine as it was.
    m.Uninstall();
    EXPECT_EQ(m.Snapshot(), before);
}

// Two installs into one folder keep one record that undoes both, and one entry.
TEST(Undo, ASecondInstallIsUndoneWithTheFirst) {
    Machine m;
    const std::string before = m.Snapshot();
    ASSERT_EQ(m.Install(), kExitFinished);
    m.files.AddFile(std::string(kData) + "\\Korvel.prt5", "a newer driver");
    // A newer package, 10 KB larger: the entry's size follows it.
    m.files.AddFile(std::string(kData) + "\\Korvel2010.arx", std::string(10240, 'x'));
    ASSERT_EQ(m.Install(), kExitFinished);
    EXPECT_EQ(m.Dword("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Korvel-Tarnwick", "EstimatedSize"), 11u);
    EXPECT_EQ(m.files.Content(std::string(kHost2008) + "\\Drv\\pdfplot9.hdi"), "a newer driver");
    m.files.AddFile(std::string(kData) + "\\Korvel.prt5", "Korvel.prt5");  // the package as it was
    m.files.AddFile(std::string(kData) + "\\Korvel2010.arx", "Korvel2010.arx");
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
// elsewhere since: each keeps what is not ours to take. What the newer install holds is its own,
// not something left: the uninstall ends with 0, and hands the host's own driver, which it kept,
// to the newer install's backup, so that the last uninstall puts it back.
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
    EXPECT_EQ(m.Uninstall(&run), kExitFinished);
    EXPECT_TRUE(run->result.left.empty());
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
    EXPECT_FALSE(m.files.Exists("C:\\Korvel"));

    EXPECT_EQ(m.Uninstall(&run, "D:\\New\\Korvel-Tarnwick"), kExitFinished);
    EXPECT_EQ(m.files.Content(std::string(kHost2008) + "\\Drv\\pdfplot9.hdi"), "the host's own driver");
    EXPECT_EQ(m.files.Content(font), "the user's own font");
    EXPECT_EQ(m.registry.GetText(kHkeyCurrentUser, kVariables, "TRUSTEDPATHS"), "D:\\TOOLS;E:\\MORE");
    EXPECT_EQ(m.registry.GetText(kHkeyLocalMachine, std::string(kKey2013) + "Applications\\Korvel2013", "LOADER"),
              "C:\\Ancient\\Korvel2013.ARX");
    EXPECT_FALSE(m.files.Exists("D:\\New"));

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

// With administrator rights: the component, and the folder trusted at once by a user logged on
// now, all within the record's scope; a profile made later gains the folder through the per-user
// step. The uninstall takes the folder out of every profile it reaches, removes the component,
// and names the user who is not logged on.
TEST(Undo, AnInstallForEveryUserIsUndoneForEveryUserItReaches) {
    Machine m;
    m.processes.elevated = true;
    const std::string other = "S-1-5-21-1-1-1-1001\\Software\\Autodesk\\AutoCAD\\R19.0\\ACAD-B001:804\\Profiles\\P\\Variables";
    m.registry.PutString(kHkeyUsers, other, "TRUSTEDPATHS", "f:\\x");
    m.registry.PutString(kHkeyLocalMachine, "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList\\S-1-5-21-1-1-1-1002",
                         "ProfileImagePath", "C:\\Users\\absent");
    const std::string before = m.Snapshot() + m.registry.Dump(kHkeyUsers, "");
    ASSERT_EQ(m.Install(), kExitFinished);
    EXPECT_EQ(m.registry.GetText(kHkeyLocalMachine, kActiveSetupKey, "StubPath"),
              "\"C:\\Korvel\\Korvel-Tarnwick\\uninstall.exe\" /usersetup");
    EXPECT_EQ(m.registry.GetText(kHkeyUsers, other, "TRUSTEDPATHS"), "F:\\X;C:\\KORVEL\\KORVEL-TARNWICK");
    std::vector<JournalEntry> entries;
    ASSERT_EQ(Journal::Load(m.files, m.codec, kFolder, entries), RecordState::Loaded);
    for (const JournalEntry& entry : entries) EXPECT_TRUE(WithinInstallScope(entry, kFolder)) << entry.path;

    const std::string later = "Software\\Autodesk\\AutoCAD\\R19.0\\ACAD-B001:804\\Profiles\\Later\\Variables";
    m.registry.PutString(kHkeyCurrentUser, later, "TRUSTEDPATHS", "E:\\Y");
    NoLog log;
    EXPECT_EQ(RunUserSetup(m.registry, m.files, log, std::string(kFolder) + "\\uninstall.exe"), kExitFinished);
    EXPECT_EQ(m.registry.GetText(kHkeyCurrentUser, later, "TRUSTEDPATHS"), "E:\\Y;C:\\KORVEL\\KORVEL-TARNWICK");

    UninstallRun* run = nullptr;
    EXPECT_EQ(m.Uninstall(&run), kExitFinished);
    EXPECT_EQ(m.registry.GetText(kHkeyCurrentUser, later, "TRUSTEDPATHS"), "E:\\Y");
    EXPECT_EQ(run->unreachedUsers, (std::vector<std::string>{"C:\\Users\\absent (S-1-5-21-1-1-1-1002)"}));
    m.registry.DeleteTree(kHkeyCurrentUser, "Software\\Autodesk\\AutoCAD\\R19.0\\ACAD-B001:804\\Profiles\\Later");
    EXPECT_EQ(m.Snapshot() + m.registry.Dump(kHkeyUsers, ""), before);
}

// A record may name the component and the logged-on users' trusted paths, nothing beside them.
TEST(Undo, EveryUserEntriesOutsideTheirKeysAreRefused) {
    const auto entry = [](EntryKind kind, RegKey root, const std::string& path, const std::string& name) {
        JournalEntry e;
        e.kind = kind;
        e.root = root;
        e.path = path;
        e.value = {name, kRegSz, "x"};
        return e;
    };
    const std::string profile = "S-1-5-21-1-2-3-4\\Software\\Autodesk\\AutoCAD\\R24.1\\ACAD-5101:409\\Profiles\\P\\Variables";
    for (const JournalEntry& e : {entry(EntryKind::Value, kHkeyLocalMachine, kActiveSetupKey, "StubPath"),
                                  entry(EntryKind::Key, kHkeyLocalMachine, "SOFTWARE\\Microsoft\\Active Setup", ""),
                                  entry(EntryKind::Value, kHkeyUsers, profile, "TRUSTEDPATHS"),
                                  entry(EntryKind::Key, kHkeyUsers, profile, "")})
        EXPECT_TRUE(WithinInstallScope(e, kFolder)) << e.path << " " << e.value.name;
    for (const JournalEntry& e :
         {entry(EntryKind::Value, kHkeyLocalMachine, std::string(kActiveSetupKey) + "X", "StubPath"),
          entry(EntryKind::Value, kHkeyLocalMachine, "SOFTWARE\\Microsoft\\Active Setup\\Installed Components\\{Other}", "StubPath"),
          entry(EntryKind::KeyDeleted, kHkeyLocalMachine, kActiveSetupKey, ""),
          entry(EntryKind::Value, kHkeyLocalMachine, kActiveSetupKey, "Locale"),
          entry(EntryKind::Value, kHkeyUsers, profile, "ACADPREFIX"),
          entry(EntryKind::Value, kHkeyUsers, "S-1-5-21-1-2-3-4\\Software\\Microsoft\\Windows\\CurrentVersion\\Run", "x"),
          entry(EntryKind::Value, kHkeyUsers, ".DEFAULT\\Software\\Autodesk\\AutoCAD\\R\\P\\Profiles\\P\\Variables",
                "TRUSTEDPATHS"),
          entry(EntryKind::Value, kHkeyCurrentUser, kActiveSetupKey, "StubPath")})
        EXPECT_FALSE(WithinInstallScope(e, kFolder)) << e.path << " " << e.value.name;
}
}  // namespace

namespace {
// Every file on the disk, counted.
int FileCount(const Machine& m) {
    int count = 0;
    std::function<void(const std::string&)> walk = [&](const std::string& folder) {
        for (const std::string& name : m.files.Children(folder)) {
            const std::string path = folder + (folder.back() == '\\' ? "" : "\\") + name;
            if (m.files.IsFolder(path))
                walk(path);
            else
                ++count;
        }
    };
    walk("C:\\");
    walk("D:\\");
    return count;
}

// The lines of one snapshot that the other lacks, each marked with the side that has it.
std::string Diff(const std::string& now, const std::string& before) {
    const auto lines = [](const std::string& text) {
        std::vector<std::string> out(1);
        for (char c : text) {
            if (c == '\n')
                out.emplace_back();
            else
                out.back() += c;
        }
        return out;
    };
    const std::vector<std::string> a = lines(now), b = lines(before);
    std::string diff;
    for (const std::string& line : a)
        if (std::find(b.begin(), b.end(), line) == b.end()) diff += "+ " + line + "\n";
    for (const std::string& line : b)
        if (std::find(a.begin(), a.end(), line) == a.end()) diff += "- " + line + "\n";
    return diff;
}

// An install killed at each of its changes in turn. Where the run got as far as its record, the
// uninstall (the setup program's, through the entry, wherever the entry was written) undoes it
// whole; before that it changed nothing but its two folders. Installed again instead, the two
// runs are undone by one uninstall.
TEST(Undo, AnInstallKilledAtAnyChangeIsUndoneWhole) {
    Machine whole;
    ASSERT_EQ(whole.Install(), kExitFinished);
    const int changes = whole.changes;
    ASSERT_GT(changes, 60);
    const std::string record = std::string(kFolder) + "\\uninstall.dat";
    const auto dropEmptyFolders = [](Machine& m) {
        for (const char* folder : {kFolder, "C:\\Korvel"})
            if (m.files.Children(folder).empty()) m.files.Remove(folder);
    };
    int listed = 0;
    for (int n = 1; n <= changes; ++n) {
        Machine m;
        const std::string before = m.Snapshot();
        ASSERT_EQ(m.Install("C:\\Korvel", n), -1) << n;
        // A kill inside the record's first write may cut it before the plug-in's folder: the
        // run changed nothing but its two folders then, and those may stay.
        std::vector<JournalEntry> entries;
        Journal::Load(m.files, m.codec, kFolder, entries);
        const bool recorded = std::any_of(entries.begin(), entries.end(), [](const JournalEntry& e) {
            return e.kind == EntryKind::Folder && e.path == kFolder;
        });
        std::string found;
        const bool inList = FindInstalledFolder(m.registry, found);
        listed += inList;
        EXPECT_TRUE(inList || !m.files.Exists(std::string(kFolder) + "\\uninstall.exe")) << n;
        if (inList || recorded) {
            EXPECT_EQ(m.Uninstall(nullptr, inList ? found : kFolder), kExitFinished) << n;
        }
        if (!recorded) {
            m.files.Remove(record);
            dropEmptyFolders(m);
        }
        EXPECT_EQ(Diff(m.Snapshot(), before), "") << n;

        Machine again;
        again.Install("C:\\Korvel", n);
        Journal::Load(again.files, again.codec, kFolder, entries);
        const bool live = std::any_of(entries.begin(), entries.end(), [](const JournalEntry& e) {
            return e.kind == EntryKind::Folder && e.path == kFolder;
        });
        EXPECT_EQ(again.Install(), kExitFinished) << n;
        const int code = again.Uninstall();
        EXPECT_TRUE(code == kExitFinished || !live) << n;
        if (!live) dropEmptyFolders(again);
        EXPECT_EQ(Diff(again.Snapshot(), before), "") << n;
    }
    std::printf("kill points of a whole install: %d, listed after %d of them\n", changes, listed);
}

// One to three installs of one package into one folder: each file is backed up once, the disk
// holds no more files after the third than after the first, and one uninstall undoes them all.
TEST(Undo, RepeatedInstallsKeepOneBackupAndOneUninstallUndoesThem) {
    Machine m;
    const std::string before = m.Snapshot();
    int once = 0;
    for (int times = 1; times <= 3; ++times) {
        ASSERT_EQ(m.Install(), kExitFinished) << times;
        if (times == 1) once = FileCount(m);
        EXPECT_EQ(FileCount(m), once) << times;
        EXPECT_EQ(m.files.Children(std::string(kFolder) + "\\uninstall-backup").size(), 1u) << times;
    }
    EXPECT_EQ(m.Uninstall(), kExitFinished);
    EXPECT_EQ(Diff(m.Snapshot(), before), "");
}

// Two and three installs into different folders (one whose upper levels the install made),
// uninstalled in every order: each uninstall ends with 0, and after the last the machine is as
// before, trusted paths byte for byte.
TEST(Undo, InstallsUninstalledInAnyOrderLeaveNothing) {
    const std::vector<std::string> folders = {"C:\\Korvel", "D:\\New", "C:\\CAD Plugins\\Third"};
    for (std::size_t count = 2; count <= 3; ++count) {
        std::vector<std::size_t> order(count);
        for (std::size_t i = 0; i < count; ++i) order[i] = i;
        do {
            Machine m;
            const std::string before = m.Snapshot();
            std::string named;
            for (std::size_t i = 0; i < count; ++i) ASSERT_EQ(m.Install(folders[i]), kExitFinished);
            for (std::size_t i : order) {
                named += folders[i] + " ";
                UninstallRun* run = nullptr;
                EXPECT_EQ(m.Uninstall(&run, folders[i] + "\\Korvel-Tarnwick"), kExitFinished) << named;
                for (const LeftBehind& left : run->result.left) ADD_FAILURE() << named << left.what << " " << left.why;
            }
            EXPECT_EQ(Diff(m.Snapshot(), before), "") << named;
        } while (std::next_permutation(order.begin(), order.end()));
    }
}
}  // namespace

namespace {
// Uninstalled as another account (an administrator's install, uninstalled as SYSTEM): the
// machine's part is undone, and the installing user's profiles, which this account's
// HKEY_CURRENT_USER is not, are named as left (exit 8), never passed over with 0.
TEST(Undo, AnotherAccountsProfilesAreReportedNotPassedOver) {
    Machine m;
    m.processes.sid = "S-1-5-21-1-2-3-1001";
    ASSERT_EQ(m.Install(), kExitFinished);
    m.processes.sid = "S-1-5-18";
    UninstallRun* run = nullptr;
    // The installing user's hive is not loaded: the double's HKEY_CURRENT_USER stands for this
    // account's own, which loses only the folder it may have been given at logon.
    EXPECT_EQ(m.Uninstall(&run), kExitUninstallIncomplete);
    EXPECT_EQ(m.registry.GetText(kHkeyCurrentUser, kVariables, "TRUSTEDPATHS"), "D:\\TOOLS");
    ASSERT_FALSE(run->result.left.empty());
    for (const LeftBehind& left : run->result.left) {
        EXPECT_EQ(left.what.rfind("HKEY_CURRENT_USER\\", 0), 0u) << left.what;
        EXPECT_NE(left.why.find("S-1-5-21-1-2-3-1001"), std::string::npos);
    }
    EXPECT_FALSE(m.registry.KeyExists(kHkeyLocalMachine, std::string(kKey2013) + "Applications\\Korvel2013DLL"));
    EXPECT_FALSE(m.files.Exists(kFolder));
}

// Where the installing user's hive is loaded (HKEY_USERS\<SID>), the uninstall undoes the
// install's profile changes there, and nothing is left.
TEST(Undo, AnotherAccountsLoadedHiveIsPutBack) {
    Machine m;
    m.processes.sid = "S-1-5-21-1-2-3-1001";
    const std::string before = m.registry.GetText(kHkeyCurrentUser, kVariables, "TRUSTEDPATHS");
    ASSERT_EQ(m.Install(), kExitFinished);
    const std::string hive = "S-1-5-21-1-2-3-1001\\" + std::string(kVariables);
    m.registry.PutString(kHkeyUsers, hive, "TRUSTEDPATHS", m.registry.GetText(kHkeyCurrentUser, kVariables, "TRUSTEDPATHS"));
    m.processes.sid = "S-1-5-18";
    EXPECT_EQ(m.Uninstall(), kExitFinished);
    EXPECT_EQ(m.registry.GetText(kHkeyUsers, hive, "TRUSTEDPATHS"), before);
}
}  // namespace

namespace {
// A host's file whose content cannot be backed up first is not replaced: the run ends with the
// warning and 6, and the uninstall still leaves the machine as it was.
TEST(Undo, AFileThatCannotBeBackedUpIsLeftAndWarnedAbout) {
    Machine m;
    const std::string before = m.Snapshot();
    m.files.FailCopiesTo(std::string(kFolder) + "\\uninstall-backup\\1.bak");
    EXPECT_EQ(m.Install(), kExitIncomplete);
    EXPECT_EQ(m.files.Content(std::string(kHost2008) + "\\Drv\\pdfplot9.hdi"), "the host's own driver");
    EXPECT_EQ(m.Uninstall(), kExitFinished);
    EXPECT_EQ(Diff(m.Snapshot(), before), "");
}
}  // namespace

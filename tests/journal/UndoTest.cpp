// Install, then uninstall, over the doubles: the machine is as it was before, and what was
// changed since the install, or cannot be undone, is left and reported, never lost.
#include <gtest/gtest.h>

#include <algorithm>

#include <functional>
#include <algorithm>
#include <memory>

#include "catalogue/HostCatalogue.h"
#include "deploy/InstallFolder.h"
#include "doubles/FileDouble.h"
#include "doubles/KillingSeams.h"
#include "doubles/ProcessDouble.h"
#include "doubles/ProgressDouble.h"
#include "doubles/PromptDouble.h"
#include "doubles/RegFile.h"
#include "doubles/RegistryDouble.h"
#include "doubles/TextCodecDouble.h"
#include "doubles/ViewDouble.h"
#include "journal/RecordPlace.h"
#include "journal/Recording.h"
#include "text/Sha256.h"
#include "text/Text.h"
#include "journal/Scope.h"
#include "journal/UndoRecorder.h"
#include "journal/UninstallEntry.h"
#include "platform/Forwarding.h"
#include "setup/InstallRun.h"
#include "setup/UninstallRun.h"
#include "setup/ProfileHives.h"
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
constexpr std::uint32_t kRead = 0x1200A9;

// The machine: two hosts, the package, a profile with trusted paths of its own, the 2008 host's
// own plot driver, another vendor's loader key, and an older registration of ours.
struct Machine {
    FileDouble files;
    RegistryDouble registry;
    TextCodecDouble codec;
    ProcessDouble processes;

    // elevated: run with administrator rights, the record kept under ProgramData.
    explicit Machine(bool elevated = false) {
        files.AddFolder("C:\\");
        files.AddFolder("D:\\");
        processes.elevated = elevated;
        // As Windows makes them: users may add to ProgramData but change nothing of others';
        // Program Files and an older version's folder only administrators change.
        files.environment["ProgramData"] = "C:\\ProgramData";
        files.environment["ProgramFiles"] = "C:\\Program Files";
        files.AddFolder("C:\\ProgramData");
        files.SetOthersRights("C:\\ProgramData", kRead | kRightWriteData | kRightAppendData, kRead);
        for (const char* locked : {"C:\\Program Files", "C:\\Ancient"}) {
            files.AddFolder(locked);
            files.SetOthersRights(locked, kRead, kRead);
        }
        files.AddFile("C:\\Ancient\\Korvel2013.ARX", "an older version");
        files.AddFile("C:\\Users\\Public\\evil.arx", "a user's program");  // Modify for users
        files.AddFile("C:\\Victim\\a.dll", "victim a");
        files.AddFile("C:\\Victim\\b.dll", "victim b");
        files.AddFile("C:\\Victim\\c.dll", "victim c");
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
    // answer: to a failed copy (Abort, Retry or Ignore); OK, as the message box's default, aborts.
    int Install(const std::string& folder = "C:\\Korvel", int killAt = 0, int answer = kIdOk) {
        PromptDouble prompt;
        Kill kill(killAt);
        KillingRegistry dyingRegistry(registry, kill);
        KillingFiles dyingFiles(files, kill);
        Journal journal(dyingFiles, codec);
        RecordingRegistry recordingRegistry(dyingRegistry, journal);
        RecordingFiles recordingFiles(dyingFiles, journal);
        CodeGuard guard(recordingRegistry, recordingFiles);
        UndoRecorder recorder(journal, guard, recordingFiles, {"Korvel-Tarnwick", "2025.01.21", "Tarnwick", "20250121", 2025, 1, ""});
        HostCatalogue catalogue(guard, recordingFiles, prompt);
        catalogue.ScanInstalledReleases();
        SetupMembers members;
        ViewDouble view(members);
        view.ticks.fill(0);
        for (int release : ticks) view.ticks[release] = 1;
        view.editText = folder;
        view.answers = {answer};
        bool armed = true;
        NoLog log;
        InstallRun run(view, members, view.progress, catalogue, recordingFiles, processes, armed, log);
        run.SetJournal(&recorder);
        recorder.SetUser(processes.sid);
        if (!image.empty()) recorder.SetProgramImage({image.size(), Sha256Hex(image)});
        try {
            run.OnInstall();
        } catch (const Killed&) {
            return -1;
        }
        changes = kill.count;
        shown.clear();
        for (const ViewDouble::Message& message : view.messages) shown += message.text + "\n";
        return run.ExitCode();
    }
    std::string image;  // the running program's bytes, as read from its held file (none: not known)
    int changes = 0;  // the calls that changed the machine in the last whole install
    std::string shown;  // the messages of the last whole install
    std::vector<int> ticks = {1, 6};  // the releases the dialog installs for: 2008 and 2013

    std::uint32_t Dword(const std::string& path, const char* name) const {
        std::uint32_t type = 0;
        std::string bytes;
        if (!registry.GetValue(kHkeyLocalMachine, path, name, type, bytes) || type != kRegDword || bytes.size() != 4)
            return 0xFFFFFFFF;
        return static_cast<std::uint8_t>(bytes[0]) | static_cast<std::uint8_t>(bytes[1]) << 8 |
               static_cast<std::uint8_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(static_cast<std::uint8_t>(bytes[3])) << 24;
    }

    // The uninstall as the package's SetUp.exe runs it, quiet.
    int Uninstall(UninstallRun** keep = nullptr, const std::string& folder = kFolder,
                  const std::string& self = "C:\\Setup\\SetUp.exe") {
        prompt = std::make_unique<PromptDouble>();
        run = std::make_unique<UninstallRun>(registry, seen ? *seen : files, codec, processes, *prompt, progress);
        if (keep) *keep = run.get();
        return run->Run(folder, self, true);
    }

    // Where the record of the default install lies.
    std::string Records() const {
        return processes.elevated ? ProtectedRecordFolder("C:\\ProgramData\\Korvel-Tarnwick", kFolder) : std::string(kFolder);
    }
    void Append(const JournalEntry& entry, const std::string& record) {
        std::string line;
        ASSERT_TRUE(FormatEntry(entry, codec, line));
        files.WriteBytes(record, line + "\n", true);
    }

    std::unique_ptr<PromptDouble> prompt;
    ProgressDouble progress;
    std::unique_ptr<UninstallRun> run;
    Files* seen = nullptr;  // what the uninstall sees of the files, when not the double itself
};

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

// Every loader key of ours names a module that is there, in an install that is there.
std::string LoadersIntoGoneFolders(Machine& m) {
    std::string gone;
    for (const char* product : {kKey2008, kKey2013}) {
        for (const std::string& name : m.registry.SubKeyNames(kHkeyLocalMachine, std::string(product) + "Applications")) {
            const std::string loader =
                m.registry.GetText(kHkeyLocalMachine, std::string(product) + "Applications\\" + name, "LOADER");
            if (name.rfind("Korvel", 0) == 0 && !loader.empty() && !m.files.IsFile(loader))
                gone += name + " = " + loader + "\n";
        }
    }
    return gone;
}

// A user with a profile on the PC: ProfileList names their folder (image, as stored), which holds
// their registry's file, NTUSER.DAT, with value as the TRUSTEDPATHS of one AutoCAD profile. Not
// logged on: the registry is in its file. Returns the file.
std::string AddProfile(Machine& m, const std::string& sid, const std::string& image, const std::string& folder,
                       const std::string& value, std::uint32_t folderAttributes = kAttrDirectory) {
    m.registry.PutValue(kHkeyLocalMachine, "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList\\" + sid,
                        "ProfileImagePath", kRegExpandSz, image + '\0');
    m.registry.PutValue(kHkeyUsers, sid + "\\" + kVariables, "TRUSTEDPATHS", kRegSz, value);
    const std::string hive = folder + "\\NTUSER.DAT";
    m.registry.SaveHive(kHkeyUsers, sid, hive);
    m.files.AddFolder(folder, folderAttributes);
    m.files.AddFile(hive, "hive", kAttrArchive | kAttrHidden);
    return hive;
}

TEST(Undo, InstallThenUninstallLeavesTheMachineAsItWas) {
    Machine m;
    // A loader key of ours that is there, empty, before any install: deleted and made again by
    // the install, it comes back as it was.
    m.registry.CreateKeyPath(kHkeyLocalMachine, std::string(kKey2008) + "Applications\\Korvel2008");
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

    // One the copy is refused on outright (no rights there): nothing to put back, where the
    // uninstall could not write either; only the backup goes.
    Machine refused;
    refused.files.FailCopiesTo(driver);
    const std::string untouched = refused.Snapshot();
    EXPECT_EQ(refused.Install(), kExitFinished);
    EXPECT_EQ(refused.Uninstall(), kExitFinished);
    EXPECT_EQ(refused.Snapshot(), untouched);

    // A read-only one is not copied over at all; its backup, read-only as it is, goes too.
    Machine readOnly(true);
    readOnly.files.AddFile(driver, "the host's own driver", kAttrReadOnly | kAttrArchive);
    const std::string kept = readOnly.Snapshot();
    EXPECT_EQ(readOnly.Install(), kExitFinished);
    EXPECT_EQ(readOnly.files.Content(driver), "the host's own driver");
    EXPECT_EQ(readOnly.Uninstall(), kExitFinished);
    EXPECT_EQ(readOnly.Snapshot(), kept);
}

// A package file whose name the record could not hold as it is written (one ending in a dot,
// which Windows would copy to another name) is not copied, and the record stays one that undoes.
TEST(Undo, AFileTheRecordCannotNameIsNotCopied) {
    Machine m;
    m.files.AddFile(std::string(kData) + "\\readme.", "a name ending in a dot");
    const std::string before = m.Snapshot();
    EXPECT_EQ(m.Install(), kExitStopped);
    EXPECT_FALSE(m.files.Exists(std::string(kFolder) + "\\readme."));
    EXPECT_EQ(m.Uninstall(), kExitFinished);
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
// folders that hold it are handed back, for removal once it has ended, unless it moved aside.
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

    // Moved out of the way first (a running program's file may be renamed), it leaves its folders
    // to go in the run. It is asked only once the uninstall goes ahead: not by a run refused
    // while the host runs; and one that could not move is left for later as before.
    Machine aside;
    ASSERT_EQ(aside.Install(), kExitFinished);
    aside.files.SetLocked(self);
    std::vector<std::string> asked;
    bool moves = true;
    UninstallRun stepping(aside.registry, aside.files, aside.codec, aside.processes, prompt, progress);
    stepping.stepAside = [&](const std::string& running) {
        asked.push_back(running);
        if (!moves) return false;
        aside.files.SetLocked(running, false);
        return aside.files.RemoveFile(running);
    };
    aside.processes.names = {"acad.exe"};
    EXPECT_EQ(stepping.Run(kFolder, self, true), kExitHostRunning);
    EXPECT_TRUE(asked.empty());
    aside.processes.names.clear();
    EXPECT_EQ(stepping.Run(kFolder, self, true), kExitFinished);
    EXPECT_EQ(asked, std::vector<std::string>{self});
    EXPECT_TRUE(stepping.result.deferred.empty());
    EXPECT_EQ(aside.Snapshot(), before);

    ASSERT_EQ(aside.Install(), kExitFinished);
    aside.files.SetLocked(self);
    moves = false;
    EXPECT_EQ(stepping.Run(kFolder, self, true), kExitFinished);
    EXPECT_EQ(stepping.result.deferred, (std::vector<std::string>{self, kFolder, "C:\\Korvel"}));

    // A file of the user's in the plug-in's folder keeps it, and the one above: reported (exit 8),
    // not left silently to the removal after the end, which cannot remove them either.
    Machine users;
    ASSERT_EQ(users.Install(), kExitFinished);
    users.files.AddFile(std::string(kFolder) + "\\notes.txt", "the user's");
    UninstallRun kept(users.registry, users.files, users.codec, users.processes, prompt, progress);
    users.files.SetLocked(self);
    EXPECT_EQ(kept.Run(kFolder, self, true), kExitUninstallIncomplete);
    EXPECT_EQ(kept.result.deferred, std::vector<std::string>{self});
    ASSERT_EQ(kept.result.left.size(), 2u);
    EXPECT_EQ(kept.result.left[0].what, kFolder);
    EXPECT_EQ(kept.result.left[1].what, "C:\\Korvel");

    // An earlier version's uninstaller that the install replaced cannot be put back over the
    // running one: it stays in its backup, which the report names, and is not lost.
    Machine earlier;
    earlier.files.AddFile(self, "an earlier uninstaller");
    ASSERT_EQ(earlier.Install(), kExitFinished);
    UninstallRun again(earlier.registry, earlier.files, earlier.codec, earlier.processes, prompt, progress);
    earlier.files.SetLocked(self);
    EXPECT_EQ(again.Run(kFolder, self, true), kExitUninstallIncomplete);
    ASSERT_EQ(again.result.left.size(), 1u);
    EXPECT_EQ(again.result.left[0].what, self);
    const std::string& why = again.result.left[0].why;
    const std::string backup = why.substr(why.find(kFolder));
    EXPECT_EQ(earlier.files.Content(backup), "an earlier uninstaller");
    EXPECT_EQ(again.result.deferred.front(), self);
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
    // The user's entry stays; the one the install wrote back in upper case is as it was before.
    EXPECT_EQ(m.registry.GetText(kHkeyCurrentUser, kVariables, "TRUSTEDPATHS"),
              "d:\\tools;E:\\MORE;D:\\NEW\\KORVEL-TARNWICK");
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
    EXPECT_EQ(m.registry.GetText(kHkeyCurrentUser, kVariables, "TRUSTEDPATHS"), "d:\\tools;E:\\MORE");
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
    // A trusted-path value grown past what the program reads whole (on Windows a user may store
    // hundreds of megabytes): left unread, byte for byte, and named.
    const std::string huge = "D:\\TOOLS;C:\\KORVEL\\KORVEL-TARNWICK;D:\\" + std::string(kLargestValueRead, 'X');
    alone.registry.PutString(kHkeyCurrentUser, kVariables, "TRUSTEDPATHS", huge);
    alone.files.calls.clear();
    EXPECT_EQ(alone.Uninstall(&run), kExitUninstallIncomplete);
    EXPECT_EQ(alone.files.Content(font), "the user's own font");
    EXPECT_EQ(alone.files.Content(module), sameSize);
    EXPECT_TRUE(alone.registry.GetText(kHkeyCurrentUser, kVariables, "TRUSTEDPATHS") == huge);
    // The font, the value (the undo's), the module and the two folders that hold it, and the
    // profile (the pass over every user's profiles).
    ASSERT_EQ(run->result.left.size(), 6u);
    EXPECT_EQ(run->result.left[0].what, font);
    EXPECT_TRUE(EqualsNoCase(run->result.left[1].what, std::string("HKEY_CURRENT_USER\\") + kVariables + "\\TRUSTEDPATHS"))
        << run->result.left[1].what;
    EXPECT_EQ(run->result.left[2].what, module);
    EXPECT_NE(run->result.left[5].what.find("<<Unnamed Profile>>"), std::string::npos);
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

// What a standard user's run sees of a folder made for administrators and SYSTEM alone: nothing
// in it can be looked at, and its own rights cannot be read.
class StandardUserView : public ForwardingFiles {
public:
    explicit StandardUserView(FileDouble& files) : ForwardingFiles(files), files_(files) {}
    std::uint32_t ReadAttributes(const std::string& path) override {
        return Hidden(path) ? kInvalidAttributes : inner_.ReadAttributes(path);
    }
    bool Exists(const std::string& path) override { return !Hidden(path) && inner_.Exists(path); }
    bool ReadProtection(const std::string& path, Protection& protection) override {
        return !Hidden(path) && !files_.HasPrivateRights(path) && inner_.ReadProtection(path, protection);
    }
    bool FindFirst(const std::string& pattern, FindHandle& handle, FindEntry& entry) override {
        return !Hidden(pattern) && inner_.FindFirst(pattern, handle, entry);
    }

private:
    bool Hidden(const std::string& path) const {
        const std::size_t cut = path.find_last_of('\\');
        return cut != std::string::npos && files_.HasPrivateRights(path.substr(0, cut));
    }
    FileDouble& files_;
};

// An administrator's install keeps its record where only administrators may look: the uninstaller
// beside the plug-in, run without the rights, says it needs them (11), not that nothing is
// installed, and changes nothing; whether or not it may see the record there. A folder where
// nothing is installed is still told so (7).
TEST(Undo, AnElevatedInstallUninstalledWithoutTheRightsAsksForThem) {
    Machine m(true);
    ASSERT_EQ(m.Install(), kExitFinished);
    const std::string installed = m.Snapshot();
    m.processes.elevated = false;
    StandardUserView view(m.files);
    for (Files* seen : {static_cast<Files*>(&m.files), static_cast<Files*>(&view)}) {
        m.seen = seen;
        EXPECT_EQ(m.Uninstall(nullptr, kFolder, std::string(kFolder) + "\\uninstall.exe"), kExitNeedsAdmin);
        EXPECT_EQ(m.Snapshot(), installed);
        EXPECT_EQ(m.Uninstall(nullptr, "D:\\X\\Korvel-Tarnwick", "D:\\X\\Korvel-Tarnwick\\uninstall.exe"),
                  kExitNoRecord);
    }
    m.seen = nullptr;
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
// With administrator rights the same holds for a user who is not logged on: whatever call fails,
// their registry is unloaded again or named, and their value is as before or without the entry.
TEST(Undo, AFaultAtAnyRegistryCallLosesNothing) {
  for (const bool elevated : {false, true}) {
    const std::string sid = "S-1-5-21-7-7-7-1001", hive = "C:\\Users\\away\\NTUSER.DAT";
    const std::string value = "d:\\mine;c:\\korvel\\korvel-tarnwick";
    const auto prepare = [&](Machine& m) {
        if (elevated) AddProfile(m, sid, "C:\\Users\\away", "C:\\Users\\away", value);
    };
    int calls = 0;
    std::string before;
    {
        Machine m(elevated);
        prepare(m);
        before = m.Snapshot();
        m.Install();
        m.registry.ResetCallCounts();
        m.Uninstall();
        calls = m.registry.CallCount(RegOp::Any);
    }
    ASSERT_GT(calls, 20);
    for (int n = 1; n <= calls; ++n) {
        Machine m(elevated);
        prepare(m);
        m.Install();
        m.registry.ResetCallCounts();
        m.registry.FailCall(RegOp::Any, n, kErrorAccessDenied);
        UninstallRun* run = nullptr;
        const int code = m.Uninstall(&run);
        // A host not found (its key unreadable) leaves its files out of scope: refused whole.
        ASSERT_TRUE(code == kExitFinished || code == kExitUninstallIncomplete || code == kExitNoRecord) << n;
        if (code == kExitUninstallIncomplete) {
            EXPECT_FALSE(run->result.left.empty() && run->unreachedUsers.empty()) << n;
        }
        if (elevated) {
            std::uint32_t type = 0;
            std::string now;
            m.registry.GetHiveValue(hive, kVariables, "TRUSTEDPATHS", type, now);
            EXPECT_TRUE(now == value || now == "d:\\mine") << n << " " << now;
            if (code == kExitFinished) {
                EXPECT_EQ(now, "d:\\mine") << n;
            }
            EXPECT_TRUE(!m.registry.KeyExists(kHkeyUsers, TemporaryHiveName(sid)) || !run->unreachedUsers.empty()) << n;
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
JournalEntry Forged(EntryKind kind, const std::string& path, const std::string& content = std::string()) {
    JournalEntry e;
    e.kind = kind;
    e.path = path;
    e.root = kHkeyLocalMachine;
    e.size = content.size();
    e.hash = Sha256Hex(content);
    return e;
}

// A user who acts (plant) just after the run's first look at a path: whatever the run looks at, or
// opens, after that finds what they left.
class AfterTheLook : public ForwardingFiles {
public:
    AfterTheLook(Files& inner, std::string path, std::function<void()> plant)
        : ForwardingFiles(inner), path_(std::move(path)), plant_(std::move(plant)) {}
    std::uint32_t ReadAttributes(const std::string& path) override { return After(path, inner_.ReadAttributes(path)); }
    bool ReadProtection(const std::string& path, Protection& protection) override {
        return After(path, inner_.ReadProtection(path, protection));
    }
    bool ReadBytes(const std::string& path, std::string& bytes) override {
        return After(path, inner_.ReadBytes(path, bytes));
    }
    CheckedRead ReadCheckedBytes(const std::string& path, const FileCheck& check, std::string& bytes) override {
        return After(path, inner_.ReadCheckedBytes(path, check, bytes));
    }

private:
    template <typename T>
    T After(const std::string& path, T answer) {
        if (plant_ && EqualsNoCase(path, path_)) {
            plant_();
            plant_ = nullptr;
        }
        return answer;
    }
    std::string path_;
    std::function<void()> plant_;
};

// What a standard user of the machine can do against an elevated install or uninstall: forge
// lines in a record (as if it could be written), plant a record, a copy of the uninstaller or a
// folder where they may. Each is refused, and nothing on the machine changes.
TEST(Undo, EveryForgedRecordAndPlantedFolderIsRefusedAndChangesNothing) {
    const std::string loaderKey = std::string(kKey2013) + "Applications\\Korvel";
    const std::string evil = "C:\\Users\\Public\\evil.arx";
    struct Attack {
        const char* name;
        // Plants what the attacker can on the installed machine; returns the exit code of the
        // elevated run that follows, which must leave the victims and the install alone.
        std::function<int(Machine&)> run;
        int code;
        bool undone = false;  // the uninstall ran, all but the refused value
        bool elevatedInstall = true;  // false: installed without administrator rights
    };
    const std::string driver = std::string(kHost2008) + "\\Drv\\pdfplot9.hdi";
    // A user's record that puts their bytes in place of the host's driver, with its backup, in a
    // records folder of theirs under ProgramData; left just after the run's first look at `look`,
    // as the uninstaller beside the plug-in runs with administrator rights.
    const char* const kUsersRecords = "C:\\ProgramData\\Korvel-Tarnwick";
    const auto plantedAfterTheLook = [&](Machine& m, const std::string& look) {
        const std::string records = ProtectedRecordFolder(kUsersRecords, kFolder);
        const std::string own = m.files.Content(std::string(kFolder) + "\\uninstall.dat");
        JournalEntry e = Forged(EntryKind::Replaced, driver, m.files.Content(driver));
        e.backup = records + "\\uninstall-backup\\1.bak";
        std::string line;
        EXPECT_TRUE(FormatEntry(e, m.codec, line));
        AfterTheLook planting(m.files, look, [&] {
            m.files.AddFolder(kUsersRecords);
            m.files.SetOwnedByOthers(kUsersRecords, "PC\\mallory");
            m.files.AddFile(e.backup, "a user's driver");
            m.files.AddFile(records + "\\uninstall.dat", own.substr(0, own.find('\n') + 1) + line + "\n");
            m.files.SetOwnedByOthers(records + "\\uninstall.dat", "PC\\mallory");
        });
        m.seen = &planting;
        const int code = m.Uninstall(nullptr, kFolder, std::string(kFolder) + "\\uninstall.exe");
        m.seen = nullptr;
        return code;
    };
    const std::vector<Attack> attacks = {
        {"a path that leaves the folder by / and ..", [](Machine& m) {
             m.Append(Forged(EntryKind::File, std::string(kFolder) + "\\x/../../../Victim/a.dll", "victim a"),
                      m.Records() + "\\uninstall.dat");
             return m.Uninstall();
         }, kExitNoRecord},
        {"a NUL byte that cuts a support file's path", [](Machine& m) {
             m.Append(Forged(EntryKind::File, std::string("C:\\Victim\\b.dll") + '\0' + "\\ACAD2022.DLL", "victim b"),
                      m.Records() + "\\uninstall.dat");
             return m.Uninstall();
         }, kExitNoRecord},
        {"a backup outside the backup folder", [](Machine& m) {
             JournalEntry e = Forged(EntryKind::Replaced, std::string(kFolder) + "\\Korvel2013.ARX", "Korvel2013.ARX");
             e.backup = m.Records() + "\\uninstall-backup/../../../../../../Victim/c.dll";
             m.Append(e, m.Records() + "\\uninstall.dat");
             return m.Uninstall();
         }, kExitNoRecord},
        // Lines an install could have written (the machine's own earlier loader), with a user's
        // program: undone but for that value, which is refused where it would be written.
        {"a deleted Korvel key put back with a user's loader", [&](Machine& m) {
             JournalEntry e = Forged(EntryKind::KeyDeleted, loaderKey + "2099");
             e.values = {{"LOADER", kRegSz, evil}, {"LOADCTRLS", kRegDword, std::string("\x02\0\0\0", 4)}};
             m.Append(e, m.Records() + "\\uninstall.dat");
             return m.Uninstall();
         }, kExitUninstallIncomplete, true},
        {"a loader value restored to a user's program", [&](Machine& m) {
             JournalEntry e = Forged(EntryKind::Value, loaderKey + "2013");
             e.value = {"LOADER", kRegSz, std::string(kFolder) + "\\Korvel2013.ARX"};
             e.hadOld = true;
             e.old = {"LOADER", kRegSz, evil};
             m.Append(e, m.Records() + "\\uninstall.dat");
             return m.Uninstall();
         }, kExitFinished, true},
        {"another program's key", [](Machine& m) {
             JournalEntry e = Forged(EntryKind::Value, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run");
             e.value = {"x", kRegSz, "x"};
             m.Append(e, m.Records() + "\\uninstall.dat");
             return m.Uninstall();
         }, kExitNoRecord},
        {"a record beside the plug-in, where users could write it", [](Machine& m) {
             m.files.AddFile(std::string(kFolder) + "\\uninstall.dat", m.files.Content(m.Records() + "\\uninstall.dat"));
             m.Append(Forged(EntryKind::File, std::string(kFolder) + "\\x/../../../Victim/a.dll", "victim a"),
                      std::string(kFolder) + "\\uninstall.dat");
             const std::string records = m.Records();
             m.files.Remove(records);
             return m.Uninstall();
         }, kExitNoRecord},
        {"the protected record folder made writable", [](Machine& m) {
             m.files.SetOthersRights(m.Records(), kRead | kRightWriteData);
             return m.Uninstall();
         }, kExitNoRecord},
        // An install without administrator rights has no protected record. A user's record, put in
        // a records folder of theirs under ProgramData as the run looks for it, is not read.
        {"a record put in a user's records folder as the look passes", [&](Machine& m) {
             m.files.AddFolder(kUsersRecords);
             m.files.SetOwnedByOthers(kUsersRecords, "PC\\mallory");
             return plantedAfterTheLook(m, ProtectedRecordFolder(kUsersRecords, kFolder) + "\\uninstall.dat");
         }, kExitNoRecord, false, false},
        {"a user's records folder made with a record in it as the look passes", [&](Machine& m) {
             return plantedAfterTheLook(m, kUsersRecords);
         }, kExitNoRecord, false, false},
        {"a copy of the uninstaller with a record beside it", [](Machine& m) {
             const std::string planted = "C:\\Users\\Public\\K";
             m.files.AddFile(planted + "\\uninstall.exe", "setup program");
             m.files.AddFile(planted + "\\uninstall.dat", m.files.Content(m.Records() + "\\uninstall.dat"));
             m.Append(Forged(EntryKind::File, planted + "\\x/../../../../Victim/a.dll", "victim a"), planted + "\\uninstall.dat");
             std::string folder;
             EXPECT_TRUE(LocateInstall(m.registry, planted + "\\uninstall.exe", true, folder));
             return m.Uninstall(nullptr, folder, planted + "\\uninstall.exe");
         }, kExitNoRecord},
        {"the user's own entry in the list of programs", [](Machine& m) {
             KeyHandle key(m.registry);
             m.registry.CreateKey(kHkeyCurrentUser, kUninstallKey, key.out());
             m.registry.SetString(key.get(), "InstallLocation", "C:\\Users\\Public", 15);
             m.registry.DeleteKey(kHkeyLocalMachine, kUninstallKey);
             std::string folder;
             return LocateInstall(m.registry, "C:\\pkg\\SetUp.exe", true, folder) ? 0 : kExitNoRecord;
         }, kExitNoRecord},
    };
    for (const Attack& attack : attacks) {
        Machine m(attack.elevatedInstall);
        ASSERT_EQ(m.Install(), kExitFinished) << attack.name;
        m.processes.elevated = true;
        const int code = attack.run(m);
        EXPECT_EQ(code, attack.code) << attack.name;
        for (const char* victim : {"a", "b", "c"})
            EXPECT_EQ(m.files.Content(std::string("C:\\Victim\\") + victim + ".dll"), std::string("victim ") + victim)
                << attack.name;
        EXPECT_FALSE(m.registry.KeyExists(kHkeyLocalMachine, loaderKey + "2099")) << attack.name;
        EXPECT_NE(m.registry.GetText(kHkeyLocalMachine, loaderKey + "2013", "LOADER"), evil) << attack.name;
        EXPECT_EQ(m.files.IsFile(std::string(kFolder) + "\\Korvel2013.ARX"), !attack.undone) << attack.name;
        EXPECT_NE(m.files.Content(driver), "a user's driver") << attack.name;
    }
}

// Planted before the install: a damaged record and folders that others own or may change. The
// elevated install is refused before it touches anything, the record included.
TEST(Undo, FoldersOthersCouldChangeAreRefusedBeforeAnythingIsTouched) {
    const std::vector<std::pair<const char*, std::function<std::string(Machine&)>>> plants = {
        {"a damaged record in a user's folder", [](Machine& m) {
             m.files.AddFile(std::string(kFolder) + "\\uninstall.dat", "damaged");
             m.files.SetOwnedByOthers("C:\\Korvel");
             return std::string("C:\\Korvel");
         }},
        {"a folder made with the rights users inherit from the root", [](Machine& m) {
             m.files.AddFolder("C:\\Korvel");
             return std::string("C:\\Korvel");
         }},
        {"a user's folder above the install folder", [](Machine& m) {
             m.files.AddFolder("D:\\CAD Plugins");
             m.files.SetOwnedByOthers("D:\\CAD Plugins");
             return std::string("D:\\CAD Plugins\\Korvel");
         }},
        {"a damaged record where the protected one goes", [](Machine& m) {
             m.files.AddFile(ProtectedRecordFolder("C:\\ProgramData\\Korvel-Tarnwick", kFolder) + "\\uninstall.dat", "damaged");
             return std::string("C:\\Korvel");
         }},
        {"a module with a second name in an earlier install's folder", [](Machine& m) {
             m.files.AddFile(std::string(kFolder) + "\\Korvel2013.ARX", "linked");
             m.files.SetLinks(std::string(kFolder) + "\\Korvel2013.ARX", 2);
             return std::string("C:\\Korvel");
         }},
        {"the plug-in's folder made by a user at a drive's root", [](Machine& m) {
             m.files.AddFile("C:\\Korvel-Tarnwick\\uninstall.exe", "a user's program");
             m.files.SetOwnedByOthers("C:\\Korvel-Tarnwick", "PC\\mallory");
             m.files.SetLocked("C:\\Korvel-Tarnwick\\uninstall.exe");  // held open
             return std::string("C:");
         }},
        {"a folder on a network drive", [](Machine& m) {
             m.files.SetDriveType("D:", kDriveRemote);
             return std::string("D:\\Plugins");
         }},
    };
    for (const auto& plant : plants) {
        Machine m(true);
        const std::string folder = plant.second(m);
        const std::string before = m.Snapshot();
        EXPECT_EQ(m.Install(folder), kExitCancelled) << plant.first;
        EXPECT_TRUE(m.Snapshot() == before) << plant.first;
    }
}

// Values that name code are written only over files that are the install's own, whoever left
// what in the way: a record folder a user made first is set aside; a module the package lacks but
// a user left in the folder is named by no loader, and the run stops; an uninstaller that cannot
// be placed stops the run unlisted; a run stopped at a copy reaches no other user.
// The file a value of the entry or the component names (empty when it names none).
std::string NamedBy(Machine& m, const std::string& key, const char* value) {
    return CodeGuard::NamedFile(value, m.registry.GetText(kHkeyLocalMachine, key, value));
}

TEST(Undo, NothingAUserLeftIsEverNamedByAValue) {
    // The records folder's name taken by a user before the first install, held open (it cannot be
    // renamed) and with it the names it could have been set aside under: the records go where no
    // user can add a folder, the user's folder stays as it is, and the uninstall finds them there.
    Machine squatted(true);
    squatted.files.AddFile("C:\\ProgramData\\Korvel-Tarnwick\\uninstall.dat", "a user's");
    squatted.files.SetOwnedByOthers("C:\\ProgramData\\Korvel-Tarnwick");
    squatted.files.SetLocked("C:\\ProgramData\\Korvel-Tarnwick");
    for (int n = 1; n < 100; ++n) squatted.files.AddFolder(Format("C:\\ProgramData\\Korvel-Tarnwick.untrusted-%d", n));
    const std::string beforeSquatted = squatted.Snapshot();
    ASSERT_EQ(squatted.Install(), kExitFinished) << squatted.shown;
    EXPECT_TRUE(squatted.files.IsFile(
        ProtectedRecordFolder("C:\\Program Files\\Korvel-Tarnwick Records", kFolder) + "\\uninstall.dat"));
    // Made so that no user may open what they hold, nor hold a record open against a later run.
    for (const std::string& made : {std::string("C:\\Program Files\\Korvel-Tarnwick Records"),
                                    ProtectedRecordFolder("C:\\Program Files\\Korvel-Tarnwick Records", kFolder)})
        EXPECT_TRUE(squatted.files.HasPrivateRights(made)) << made;
    EXPECT_EQ(squatted.Uninstall(), kExitFinished);
    EXPECT_EQ(Diff(squatted.Snapshot(), beforeSquatted), "");

    // A module the package lacks, left in an earlier folder: kept and named, never loaded.
    Machine planted(true);
    planted.files.AddFolder("C:\\Korvel");
    planted.files.SetOthersRights("C:\\Korvel", kRead);
    planted.files.Remove(std::string(kData) + "\\Korvel2013.ARX");
    planted.files.AddFile(std::string(kFolder) + "\\Korvel2013.ARX", "a user's module");
    const std::string loader2013 = std::string(kKey2013) + "Applications\\Korvel2013";
    EXPECT_EQ(planted.Install(), kExitStopped);
    EXPECT_EQ(planted.registry.GetText(kHkeyLocalMachine, loader2013, "LOADER"), "");
    EXPECT_FALSE(planted.registry.KeyExists(kHkeyLocalMachine, kActiveSetupKey));
    EXPECT_EQ(planted.files.Content(std::string(kFolder) + "\\Korvel2013.ARX"), "a user's module");
    EXPECT_EQ(planted.Uninstall(), kExitFinished);  // listed and removable; the folders were there before
    EXPECT_EQ(planted.registry.GetText(kHkeyLocalMachine, loader2013, "LOADER"), "C:\\Ancient\\Korvel2013.ARX");

    // A file no record accounts for where the uninstaller goes is never written over: it is
    // kept, and the uninstaller goes under the next name, which the values name. The uninstall
    // leaves it as it found it. Held open, it keeps the folder (which no install with
    // administrator rights made) from being made anew: refused before any change, and named.
    Machine heldOpen(true);
    heldOpen.files.AddFolder("C:\\Korvel");
    heldOpen.files.SetOthersRights("C:\\Korvel", kRead);
    heldOpen.files.AddFile(std::string(kFolder) + "\\uninstall.exe", "in use");
    heldOpen.files.SetLocked(std::string(kFolder) + "\\uninstall.exe");
    const std::string beforeHeldOpen = heldOpen.Snapshot();
    EXPECT_EQ(heldOpen.Install(), kExitCancelled);
    EXPECT_NE(heldOpen.shown.find("正被其他程序使用"), std::string::npos) << heldOpen.shown;
    EXPECT_NE(heldOpen.shown.find(std::string("\n\n") + kFolder + "\n\n"), std::string::npos) << heldOpen.shown;
    EXPECT_EQ(Diff(heldOpen.Snapshot(), beforeHeldOpen), "");
    Machine held(true);
    held.image = "setup program";
    held.files.AddFolder("C:\\Korvel");
    held.files.SetOthersRights("C:\\Korvel", kRead);
    held.files.AddFile(std::string(kFolder) + "\\uninstall.exe", "a user's");
    const std::string beforeHeld = held.Snapshot();
    EXPECT_EQ(held.Install(), kExitFinished);
    EXPECT_EQ(held.files.Content(std::string(kFolder) + "\\uninstall.exe"), "a user's");
    EXPECT_EQ(held.files.Content(NamedBy(held, kUninstallKey, "UninstallString")), "setup program");
    EXPECT_EQ(NamedBy(held, kActiveSetupKey, "StubPath"), std::string(kFolder) + "\\uninstall-2.exe");
    EXPECT_EQ(held.Uninstall(), kExitFinished);
    EXPECT_EQ(Diff(held.Snapshot(), beforeHeld), "");

    // A records folder an earlier version made, with Users' read, is closed by the next install,
    // and the record in it: no user can hold either open against the administrators' runs.
    Machine earlier(true);
    const std::string records = earlier.Records();
    for (const std::string& level : {std::string("C:\\ProgramData\\Korvel-Tarnwick"), records}) {
        ASSERT_TRUE(earlier.files.CreateLockedFolder(level));
        earlier.files.SetOthersRights(level, kRead, kRead);
    }
    ASSERT_EQ(earlier.Install(), kExitFinished);
    ASSERT_EQ(earlier.Install(), kExitFinished);  // the record is there now, as an earlier one's
    for (const std::string& made : {std::string("C:\\ProgramData\\Korvel-Tarnwick"), records, records + "\\uninstall.dat"}) {
        Protection protection;
        EXPECT_TRUE(earlier.files.HasPrivateRights(made) && earlier.files.ReadProtection(made, protection) &&
                    protection.othersRights == 0)
            << made;
    }

    // The program's path leads elsewhere by the time it is copied (a folder link on the way
    // re-pointed by its user): the uninstaller is not the running program's bytes, and nothing
    // names it.
    Machine relinked(true);
    relinked.image = "setup program";
    relinked.files.AddFile(relinked.files.modulePath, "a user's program");
    const std::string beforeRelinked = relinked.Snapshot();
    EXPECT_EQ(relinked.Install(), kExitStopped);
    EXPECT_FALSE(relinked.registry.KeyExists(kHkeyLocalMachine, kUninstallKey));
    EXPECT_FALSE(relinked.registry.KeyExists(kHkeyLocalMachine, kActiveSetupKey));
    EXPECT_EQ(Diff(relinked.Snapshot(), beforeRelinked), "");
    relinked.files.AddFile(relinked.files.modulePath, "setup program");
    EXPECT_EQ(relinked.Install(), kExitFinished) << relinked.shown;  // its own bytes: listed as ever
    // The same in a repair, the earlier install's uninstaller named by its entry and component, and
    // a user ready to hold whatever is written there: it stays the program's own, and named. So it
    // does when the copy of the program's own bytes over it breaks part-way (a full disk): the
    // earlier one is left whole, and holds those bytes already.
    for (const int way : {0, 1, 2}) {
        const bool held = way == 1;
        Machine repair(true);
        repair.image = "setup program";
        ASSERT_EQ(repair.Install(), kExitFinished);
        const std::string uninstaller = std::string(kFolder) + "\\uninstall.exe";
        const std::string entry = repair.registry.Dump(kHkeyLocalMachine, "SOFTWARE\\Microsoft");
        if (way == 2)
            repair.files.BreakCopyTo(uninstaller);
        else
            repair.files.AddFile(repair.files.modulePath, "a user's program");
        if (held) repair.files.FailWrites(uninstaller);
        EXPECT_EQ(repair.Install(), way == 2 ? kExitFinished : kExitStopped) << way;
        EXPECT_EQ(repair.files.Content(uninstaller), "setup program") << way;
        if (way == 2) {  // a finished repair: the component's version moves on, the values stay
            EXPECT_EQ(NamedBy(repair, kActiveSetupKey, "StubPath"), uninstaller);
            EXPECT_EQ(NamedBy(repair, kUninstallKey, "UninstallString"), uninstaller);
        } else {
            EXPECT_EQ(repair.registry.Dump(kHkeyLocalMachine, "SOFTWARE\\Microsoft"), entry) << way;
        }
    }
    // An upgrade while a user holds the earlier uninstaller open (any user may read it, and runs
    // it at logon): it stays as it is, the new one goes under the next name, which every value
    // names, and a second upgrade writes over that one. Once free, one uninstall takes both. A
    // file no record accounts for, held in the uninstaller's place, still stops the install (below).
    Machine upgrade(true);
    upgrade.image = "setup program";
    const std::string beforeUpgrade = upgrade.Snapshot();
    ASSERT_EQ(upgrade.Install(), kExitFinished);
    const std::string first = std::string(kFolder) + "\\uninstall.exe", second = std::string(kFolder) + "\\uninstall-2.exe";
    upgrade.files.SetHeld(first);
    for (const char* version : {"setup program 2", "setup program 3"}) {
        upgrade.image = version;
        upgrade.files.AddFile(upgrade.files.modulePath, version);
        EXPECT_EQ(upgrade.Install(), kExitFinished) << version << upgrade.shown;
        EXPECT_EQ(upgrade.files.Content(first), "setup program");
        EXPECT_EQ(upgrade.files.Content(second), version);
        EXPECT_FALSE(upgrade.files.IsFile(std::string(kFolder) + "\\uninstall-3.exe"));
        for (const char* value : {"UninstallString", "QuietUninstallString"})
            EXPECT_EQ(upgrade.registry.GetText(kHkeyLocalMachine, kUninstallKey, value).rfind("\"" + second + "\" ", 0), 0u);
        EXPECT_EQ(upgrade.registry.GetText(kHkeyLocalMachine, kActiveSetupKey, "StubPath"), "\"" + second + "\" /usersetup");
    }
    upgrade.files.SetHeld(first, false);
    upgrade.files.AddFile(upgrade.files.modulePath, "setup program");
    std::string located;
    EXPECT_TRUE(LocateInstall(upgrade.registry, second, true, located) && located == kFolder) << located;
    EXPECT_EQ(upgrade.Uninstall(), kExitFinished);
    EXPECT_EQ(Diff(upgrade.Snapshot(), beforeUpgrade), "");

    // Aborted at a copy failure: listed, but no component runs the step for other users, and no
    // other user's hive is touched.
    Machine stopped(true);
    const std::string hive = "S-1-5-21-1-1-1-1001\\" + std::string(kVariables);
    stopped.registry.PutString(kHkeyUsers, hive, "TRUSTEDPATHS", "f:\\x");
    stopped.files.FailCopiesTo(std::string(kFolder) + "\\Korvel2013.ARX");
    const std::string beforeStopped = stopped.Snapshot();
    EXPECT_EQ(stopped.Install(), kExitStopped);
    std::string listed;
    EXPECT_TRUE(FindInstalledFolder(stopped.registry, listed));
    EXPECT_FALSE(stopped.registry.KeyExists(kHkeyLocalMachine, kActiveSetupKey));
    EXPECT_EQ(stopped.registry.GetText(kHkeyUsers, hive, "TRUSTEDPATHS"), "f:\\x");
    stopped.files.ClearListingFaults();
    EXPECT_EQ(stopped.Uninstall(), kExitFinished);
    EXPECT_EQ(Diff(stopped.Snapshot(), beforeStopped), "");
}

// A loader the undo would put back is checked as the install's are, at the moment it is written:
// a folder a user makes again while the uninstall runs (between its look at the record and the
// write) is no place to load from, and the machine's own value that names a file others may
// change is not written back either. Neither value stays ours: the uninstall ends with 8.
TEST(Undo, ALoaderPutBackIsCheckedAsItIsWritten) {
    Machine m(true);
    const std::string loader = std::string(kKey2013) + "Applications\\Korvel2013";
    ASSERT_EQ(m.Install("C:\\A"), kExitFinished);
    ASSERT_EQ(m.Install("C:\\B"), kExitFinished);
    EXPECT_EQ(m.Uninstall(nullptr, "C:\\A\\Korvel-Tarnwick"), kExitFinished);
    // Made again by a user once the undo has looked for it, before the key is made again.
    bool made = false;
    m.registry.beforeCall = [&](RegOp op) {
        if (op != RegOp::CreateKey || made) return;
        made = true;
        m.files.AddFile("C:\\A\\Korvel-Tarnwick\\Korvel2013.ARX", "a user's module");
        m.files.SetOwnedByOthers("C:\\A");
    };
    UninstallRun* run = nullptr;
    m.Uninstall(&run, "C:\\B\\Korvel-Tarnwick");
    m.registry.beforeCall = nullptr;
    EXPECT_TRUE(made);
    EXPECT_EQ(m.registry.GetText(kHkeyLocalMachine, loader, "LOADER"), "C:\\Ancient\\Korvel2013.ARX");

    // The machine's own earlier loader, in a folder users may change, or naming its module in no
    // way that can be checked here (a variable; a bare name the host looks for on its search
    // path): kept in the record as the machine's, which stays readable, but not put back and not
    // ours (8), whether the install overwrote the key's values or deleted it. Without
    // administrator rights, the user's own run puts back what was there.
    // The same for one naming a module that is gone (the user removed the older version).
    for (const char* earlier : {"C:\\Users\\Public\\evil.arx", "Korvel2013.ARX", "%ProgramFiles%\\Ancient\\Korvel2013.ARX",
                                "C:\\Ancient\\Gone.arx"}) {
        for (const bool subKey : {true, false}) {
            for (const bool elevated : {true, false}) {
                Machine own(elevated);
                own.registry.PutString(kHkeyLocalMachine, loader, "LOADER", earlier);
                if (subKey) own.registry.CreateKeyPath(kHkeyLocalMachine, loader + "\\Commands");  // cannot be deleted whole
                const std::string before = own.Snapshot();
                ASSERT_EQ(own.Install(), kExitFinished);
                ASSERT_EQ(own.Install("D:\\New"), kExitFinished);  // a later install's record keeps it too
                for (const char* folder : {"D:\\New\\Korvel-Tarnwick", kFolder})
                    EXPECT_EQ(own.Uninstall(&run, folder), elevated && folder == std::string(kFolder) ? kExitUninstallIncomplete : kExitFinished)
                        << earlier << subKey << elevated << folder;
                if (!elevated) {
                    EXPECT_EQ(Diff(own.Snapshot(), before), "") << earlier << subKey;
                    continue;
                }
                std::uint32_t type = 0;
                std::string bytes;
                EXPECT_FALSE(own.registry.GetValue(kHkeyLocalMachine, loader, "LOADER", type, bytes)) << bytes;
                bool named = false;
                for (const LeftBehind& left : run->result.left)
                    named = named || (left.what.find("Korvel2013\\LOADER") != std::string::npos &&
                                      left.why.find(earlier) != std::string::npos);
                EXPECT_TRUE(named) << earlier << subKey;
            }
        }
    }
}

// Another program's entry and component that ours replaced (an older version's, installed in a
// folder of its own) come back as they were once ours goes, named programs checked as they are
// written; so also where a later install took the entry over and went first.
TEST(Undo, AnotherProgramsEntryThatOursReplacedComesBack) {
    const std::string old = "C:\\Program Files\\OldKorvel";
    for (const bool later : {false, true}) {
        Machine m(true);
        m.files.AddFile(old + "\\olduninst.exe", "an older version's uninstaller");
        m.files.AddFile(old + "\\oldstep.exe", "an older version's per-user step");
        m.registry.PutString(kHkeyLocalMachine, kUninstallKey, "DisplayName", "Korvel-Tarnwick (older)");
        m.registry.PutString(kHkeyLocalMachine, kUninstallKey, "UninstallString", "\"" + old + "\\olduninst.exe\"");
        m.registry.PutString(kHkeyLocalMachine, kUninstallKey, "InstallLocation", old);
        m.registry.PutString(kHkeyLocalMachine, kActiveSetupKey, "StubPath", "\"" + old + "\\oldstep.exe\"");
        m.registry.PutString(kHkeyLocalMachine, kActiveSetupKey, "Version", "1,0,0,0");
        const std::string before = m.Snapshot();
        ASSERT_EQ(m.Install(), kExitFinished);
        if (later) {
            ASSERT_EQ(m.Install("D:\\New"), kExitFinished);
            EXPECT_EQ(m.Uninstall(nullptr, "D:\\New\\Korvel-Tarnwick"), kExitFinished);
        }
        EXPECT_EQ(m.Uninstall(), kExitFinished) << later;
        EXPECT_EQ(Diff(m.Snapshot(), before), "") << later;
    }
    // But not where what they name lies where users may add files by then: the program itself in
    // a folder gone and made again by a user, or a system program given a library there to run
    // (rundll32): neither is written, and both are named as left. Nor any other program's line
    // with arguments, which no check here can read as its program does ("cmd /cname" runs a
    // program found on the search path; rundll32 finds "-name" there).
    for (const char* line : {"\"C:\\Windows\\System32\\cmd.exe\" /cevil", "\"C:\\Windows\\System32\\rundll32.exe\" -evil,Entry",
                             "\"C:\\Program Files\\OldKorvel\\olduninst.exe\" /user"}) {
        Machine m(true);
        m.files.AddFolder("C:\\Windows");
        m.files.SetOthersRights("C:\\Windows", kRead, kRead);
        for (const char* program : {"C:\\Windows\\System32\\cmd.exe", "C:\\Windows\\System32\\rundll32.exe",
                                    "C:\\Program Files\\OldKorvel\\olduninst.exe"})
            m.files.AddFile(program, "a program");
        m.registry.PutString(kHkeyLocalMachine, kUninstallKey, "InstallLocation", "C:\\Program Files\\OldKorvel");
        m.registry.PutString(kHkeyLocalMachine, kActiveSetupKey, "StubPath", line);
        ASSERT_EQ(m.Install(), kExitFinished);
        EXPECT_EQ(m.Uninstall(), kExitUninstallIncomplete) << line;
        EXPECT_EQ(m.registry.GetText(kHkeyLocalMachine, kActiveSetupKey, "StubPath"), "") << line;
    }
    for (const bool argument : {false, true}) {
        Machine m(true);
        m.files.AddFolder("C:\\Windows");
        m.files.SetOthersRights("C:\\Windows", kRead, kRead);
        m.files.AddFile("C:\\Windows\\System32\\rundll32.exe", "the system's rundll32");
        const std::string program = argument ? "C:\\Windows\\System32\\rundll32.exe C:\\OldKorvel\\old.dll,"
                                             : "\"C:\\OldKorvel\\olduninst.exe\" /";
        m.registry.PutString(kHkeyLocalMachine, kUninstallKey, "UninstallString", program + "Uninstall");
        m.registry.PutString(kHkeyLocalMachine, kUninstallKey, "InstallLocation", "C:\\OldKorvel");
        m.registry.PutString(kHkeyLocalMachine, kActiveSetupKey, "StubPath", program + "UserSetup");
        ASSERT_EQ(m.Install(), kExitFinished);
        m.files.AddFile(argument ? "C:\\OldKorvel\\old.dll" : "C:\\OldKorvel\\olduninst.exe", "a user's code");
        m.files.SetOwnedByOthers("C:\\OldKorvel");
        UninstallRun* run = nullptr;
        EXPECT_EQ(m.Uninstall(&run), kExitUninstallIncomplete) << argument;
        EXPECT_EQ(m.registry.GetText(kHkeyLocalMachine, kActiveSetupKey, "StubPath"), "") << argument;
        EXPECT_EQ(m.registry.GetText(kHkeyLocalMachine, kUninstallKey, "UninstallString"), "") << argument;
        std::size_t named = 0;
        for (const LeftBehind& left : run->result.left)
            named += left.what.find("StubPath") != std::string::npos || left.what.find("UninstallString") != std::string::npos;
        EXPECT_EQ(named, 2u) << argument;
    }
}

// An earlier loader in any spelling the host might read otherwise than it is checked, of any
// type, is never written back by an elevated uninstall, whether the install overwrote the key or
// deleted it (a reviewer's table).
TEST(Undo, NoEarlierLoaderSpellingIsWrittenUnchecked) {
    const std::string loader = std::string(kKey2013) + "Applications\\Korvel2013";
    const struct {
        std::uint32_t type;
        std::string bytes;
    } cases[] = {
        {kRegSz, "..\\Ancient\\Korvel2013.ARX"}, {kRegSz, "C:\\Ancient\\..\\Users\\Public\\evil.arx"},
        {kRegSz, "C:/Users/Public/evil.arx"}, {kRegSz, "\\\\server\\share\\evil.arx"},
        {kRegSz, "\\\\?\\C:\\Users\\Public\\evil.arx"}, {kRegSz, "\\??\\C:\\Users\\Public\\evil.arx"},
        {kRegSz, "C:\\Users\\Public\\evil.arx."}, {kRegSz, "C:\\Users\\Public\\evil.arx "},
        {kRegSz, "C:\\Users\\Public\\evil.arx::$DATA"}, {kRegSz, "C:\\Evil\\e.arx"},
        {kRegExpandSz, "%PUBLIC%\\evil.arx"}, {kRegExpandSz, "C:\\Users\\Public\\evil.arx"},
        {kRegBinary, "C:\\Users\\Public\\evil.arx"}, {kRegMultiSz, std::string("C:\\Users\\Public\\evil.arx\0\0", 27)},
        {kRegSz, std::string("\0C:\\Users\\Public\\evil.arx", 25)}, {kRegSz, "C:\\Ancient\\" + std::string(300, 'a') + ".arx"},
        {kRegSz, "C:\\Ancient"}, {kRegSz, "C:"}, {kRegSz, ""},
    };
    for (const auto& c : cases) {
        for (const bool subKey : {true, false}) {
            Machine own(true);
            own.files.AddFile("C:\\Evil\\e.arx", "a user's module");
            own.files.SetOwnedByOthers("C:\\Evil");
            own.registry.PutValue(kHkeyLocalMachine, loader, "LOADER", c.type, c.bytes);
            if (subKey) own.registry.CreateKeyPath(kHkeyLocalMachine, loader + "\\Commands");
            ASSERT_EQ(own.Install(), kExitFinished) << c.bytes.c_str();
            UninstallRun* run = nullptr;
            const int code = own.Uninstall(&run);
            std::uint32_t type = 0;
            std::string bytes;
            const bool there = own.registry.GetValue(kHkeyLocalMachine, loader, "LOADER", type, bytes);
            EXPECT_FALSE(there && bytes == c.bytes) << c.bytes.c_str() << " " << subKey << " " << code;
            EXPECT_EQ(code, kExitUninstallIncomplete) << c.bytes.c_str() << " " << subKey;
        }
    }
}

// What the undo puts back is judged as the folder will be once it is done: the machine's own
// earlier loader into the plug-in's folder (left dangling by an older version, or naming a file
// that was there before ours) would name a folder that goes, or bytes that come back that are not
// ours. It is left out (8), and ours goes with the folder.
TEST(Undo, ALoaderIntoTheFolderBeingRemovedIsNotPutBack) {
    const std::string loader = std::string(kKey2013) + "Applications\\Korvel2013";
    for (const bool planted : {false, true}) {
        Machine m(true);
        const std::string folder = planted ? "C:\\Korvel-Tarnwick" : kFolder;
        if (planted) m.files.AddFile(folder + "\\Korvel2013.ARX", "a user's module");
        m.registry.PutString(kHkeyLocalMachine, loader, "LOADER", folder + "\\Korvel2013.ARX");
        m.registry.CreateKeyPath(kHkeyLocalMachine, loader + "\\Commands");
        ASSERT_EQ(m.Install(planted ? "C:" : "C:\\Korvel"), kExitFinished) << m.shown;
        UninstallRun* run = nullptr;
        EXPECT_EQ(m.Uninstall(&run, folder), kExitUninstallIncomplete) << planted;
        EXPECT_EQ(m.registry.GetText(kHkeyLocalMachine, loader, "LOADER"), "") << planted;
        EXPECT_EQ(LoadersIntoGoneFolders(m), "") << planted;
    }
}

// A user who holds a file of the install open for reading (as any reader of a file does), or gives
// the record a second name (as anyone who may read a file may), keeps no later install or
// uninstall from running: a file that holds the very bytes of the copy already is the copy, and a
// second name changes neither the record's bytes nor who may change them.
TEST(Undo, AReaderOfAnInstalledFileStopsNoLaterInstall) {
    Machine m(true);
    const std::string before = m.Snapshot();
    ASSERT_EQ(m.Install(), kExitFinished);
    const std::vector<std::string> held = {std::string(kFolder) + "\\uninstall.exe", std::string(kHost2013) + "ACAD2013.dll",
                                           std::string(kFolder) + "\\Korvel2013.ARX"};
    for (const std::string& path : held) m.files.SetHeld(path);
    m.files.SetLinks(m.Records() + "\\uninstall.dat", 2);
    EXPECT_EQ(m.Install(), kExitFinished) << m.shown;
    for (const std::string& path : held) m.files.SetHeld(path, false);
    EXPECT_EQ(m.Uninstall(), kExitFinished);
    EXPECT_EQ(Diff(m.Snapshot(), before), "");
}

// A product whose host folder is gone (an entry an AutoCAD uninstall left behind): passed over,
// its release marked, and the rest installed and undone whole; no loader names a missing file.
TEST(Undo, AProductWhoseHostFolderIsGoneIsPassedOver) {
    Machine m(true);
    m.files.Remove(kHost2013);
    const std::string before = m.Snapshot();
    EXPECT_EQ(m.Install(), kExitIncomplete) << m.shown;
    EXPECT_EQ(LoadersIntoGoneFolders(m), "");
    EXPECT_EQ(m.Uninstall(), kExitFinished);
    EXPECT_EQ(Diff(m.Snapshot(), before), "");
}

// An earlier install's folder, left with a user's file and rights: taken back whole.
TEST(Undo, TheEarlierInstallsFolderIsTakenBackWithEveryFileInIt) {
    Machine m(true);
    m.files.AddFolder("C:\\Korvel");
    m.files.SetOthersRights("C:\\Korvel", kRead);
    m.files.AddFile(std::string(kFolder) + "\\planted.dll", "a user's");
    m.files.SetOwnedByOthers(std::string(kFolder) + "\\planted.dll");
    m.files.SetOthersRights(kFolder, kRead | kRightWriteData | kRightAppendData);
    ASSERT_EQ(m.Install(), kExitFinished);
    // Kept, as what the package does not hold is, but named: a user's file is not carried into
    // the folder made anew, and stays beside it.
    const std::string planted = std::string(kFolder) + "~setaside\\planted.dll";
    EXPECT_NE(m.shown.find(planted), std::string::npos) << m.shown;
    EXPECT_EQ(m.files.Content(planted), "a user's");
    Protection protection;
    ASSERT_TRUE(m.files.ReadProtection(kFolder, protection));
    EXPECT_TRUE(protection.administrativeOwner);
    EXPECT_EQ(protection.othersRights, 0u);
    // A link inside is not followed, and the install does not go on.
    Machine linked(true);
    linked.files.AddFolder("C:\\Korvel");
    linked.files.SetOthersRights("C:\\Korvel", kRead);
    linked.files.AddFolder(std::string(kFolder) + "\\link", kAttrDirectory | kAttrReparsePoint);
    EXPECT_EQ(linked.Install(), kExitCancelled);
}

// A plug-in folder that no install with administrator rights made (an earlier version's, copied
// in by hand) is made anew with all it held, as a new folder object: a handle opened to the one
// found there reaches the one moved aside, never the folder the hosts load from. Once its record
// is there, the next install relocks it in place. Killed at any change before it is listed, the
// next install first puts back what the kill left aside, and the machine comes back whole.
TEST(Undo, AFolderNoElevatedInstallMadeIsMadeAnew) {
    const std::string notes = std::string(kFolder) + "\\notes.txt", help = std::string(kFolder) + "\\help";
    const auto plant = [&](Machine& m) {
        m.files.AddFolder("C:\\Korvel");
        m.files.SetOthersRights("C:\\Korvel", kRead);
        m.files.AddFile(notes, "an earlier version's");
        m.files.AddFile(help + "\\index.htm", "its help");
    };
    Machine m(true);
    plant(m);
    const std::string before = m.Snapshot();
    const std::uint64_t folder = m.files.ObjectOf(kFolder), helpFolder = m.files.ObjectOf(help), file = m.files.ObjectOf(notes);
    ASSERT_EQ(m.Install(), kExitFinished) << m.shown;
    EXPECT_NE(m.files.ObjectOf(kFolder), folder);
    EXPECT_NE(m.files.ObjectOf(help), helpFolder);
    EXPECT_TRUE(m.files.HasLockedRights(kFolder) && m.files.HasLockedRights(help));
    EXPECT_EQ(m.files.ObjectOf(notes), file);  // moved, not copied
    EXPECT_EQ(m.files.Content(help + "\\index.htm"), "its help");
    EXPECT_EQ(m.files.Children("C:\\Korvel"), std::vector<std::string>{"Korvel-Tarnwick"});
    const std::uint64_t renewed = m.files.ObjectOf(kFolder);
    ASSERT_EQ(m.Install(), kExitFinished) << m.shown;
    EXPECT_EQ(m.files.ObjectOf(kFolder), renewed);
    EXPECT_EQ(m.Uninstall(), kExitFinished);
    EXPECT_EQ(Diff(m.Snapshot(), before), "");

    int aside = 0;
    for (int n = 1;; ++n) {
        Machine k(true);
        plant(k);
        std::string found;
        if (k.Install("C:\\Korvel", n) != -1 || FindInstalledFolder(k.registry, found, true)) break;
        aside += k.files.Children("C:\\Korvel").size() > 1;
        ASSERT_EQ(k.Install(), kExitFinished) << n << ": " << k.shown;
        EXPECT_EQ(k.files.Children("C:\\Korvel"), std::vector<std::string>{"Korvel-Tarnwick"}) << n;
        EXPECT_EQ(k.Uninstall(), kExitFinished) << n;
        EXPECT_EQ(Diff(k.Snapshot(), before), "") << n;
    }
    EXPECT_GE(aside, 5);  // the kills fell while the folder was made anew
}

// An install killed at any change while another install is there, that one installed again, then
// both uninstalled, that one first: the library's key, which the killed run's record never
// wrote, is not made again by the uninstall that knows it, since no uninstall would take it off
// later. No loader is left naming a library that is gone.
TEST(Undo, ALibrarysKeyNoLaterUninstallTakesOffIsNotMadeAgain) {
    Machine whole(true);
    ASSERT_EQ(whole.Install(), kExitFinished);
    const std::string other = "D:\\Other\\Korvel-Tarnwick";
    for (int n = 1; n <= whole.changes; ++n) {
        Machine m(true);
        ASSERT_EQ(m.Install("D:\\Other"), kExitFinished);
        ASSERT_EQ(m.Install("C:\\Korvel", n), -1) << n;
        ASSERT_EQ(m.Install("D:\\Other"), kExitFinished) << n;
        m.Uninstall(nullptr, other);
        m.Uninstall();
        EXPECT_EQ(LoadersIntoGoneFolders(m), "") << n;
    }
}

// What every install writes, elevated or not, is within what its uninstall accepts, and is undone.
TEST(Undo, WhatEveryInstallWritesIsInScope) {
    for (bool elevated : {false, true}) {
        Machine m(elevated);
        const std::string before = m.Snapshot();
        ASSERT_EQ(m.Install(), kExitFinished);
        std::vector<JournalEntry> entries;
        ASSERT_EQ(Journal::Load(m.files, m.codec, m.Records(), entries), RecordState::Loaded);
        InstallScope scope{kFolder, m.Records(), {kHost2008, kHost2013}};
        for (const JournalEntry& entry : entries) {
            std::string line;
            FormatEntry(entry, m.codec, line);
            EXPECT_TRUE(WithinInstallScope(entry, scope)) << line;
        }
        EXPECT_EQ(m.Uninstall(), kExitFinished) << elevated;
        EXPECT_TRUE(m.Snapshot() == before) << elevated;
    }
}

// With administrator rights: the component, and the folder trusted at once by users logged on
// now, all within the record's scope; a profile made later gains the folder through the per-user
// step. The uninstall takes the folder's entry out of every user's profiles by one rule: of the
// users logged on, and of every other user with a profile on the PC, whose registry it loads and
// unloads again; the rest of each value stays byte for byte. Whom it cannot reach it names, and
// ends with 8.
TEST(Undo, AnInstallForEveryUserIsUndoneForEveryUserOfThePC) {
    enum class When { NotSince, AfterInstall, AtInstall, AtUninstall, DuringUninstall };
    // RecordIsLink: the user made their record of the step a link (the registry refuses it).
    enum class Fault { None, InUse, FolderGone, FolderIsLink, NotLocal, Damaged, RecordIsLink };
    struct User {
        const char* name;  // the profile folder's name; the SID ends in its index
        When loggedOn;     // when the user last logged on (and the per-user step ran, once installed)
        const char* before;
        const char* after;  // nullptr: as before, byte for byte
        Fault fault = Fault::None;
    };
    const char* const mine = "d:\\mine";
    const char* const caseAndBackslash = "d:\\mine;c:\\korvel\\korvel-tarnwick\\";
    const char* const belowAndTwice = "C:\\KORVEL\\KORVEL-TARNWICK\\...;e:\\x;c:\\Korvel\\Korvel-Tarnwick";
    const User users[] = {
        {"never", When::NotSince, belowAndTwice, "e:\\x"},
        {"untouched", When::NotSince, mine, nullptr},
        {"stepped", When::AfterInstall, mine, nullptr},
        {"trusted", When::AfterInstall, caseAndBackslash, "d:\\mine"},  // the step wrote it in upper case
        {"installed", When::AtInstall, mine, nullptr},  // from our record, though not loaded now
        {"present", When::AtUninstall, belowAndTwice, "e:\\x"},
        {"arriving", When::DuringUninstall, caseAndBackslash, "d:\\mine"},
        {"busy", When::AfterInstall, mine, "D:\\MINE;C:\\KORVEL\\KORVEL-TARNWICK", Fault::InUse},
        {"gone", When::NotSince, mine, nullptr, Fault::FolderGone},
        {"linked", When::NotSince, caseAndBackslash, nullptr, Fault::FolderIsLink},
        {"far", When::NotSince, caseAndBackslash, nullptr, Fault::NotLocal},
        {"damaged", When::NotSince, caseAndBackslash, nullptr, Fault::Damaged},
        {"relinked", When::AtUninstall, mine, nullptr, Fault::RecordIsLink},
    };
    const std::string record = "Software\\Microsoft\\Active Setup\\Installed Components\\Korvel-Tarnwick";
    const auto sid = [&](const User& u) { return "S-1-5-21-7-7-7-" + std::to_string(1100 + (&u - users)); };
    const auto hive = [](const User& u) { return std::string("C:\\Users\\") + u.name + "\\NTUSER.DAT"; };

    Machine m;
    m.processes.elevated = true;
    m.files.environment["SystemDrive"] = "C:";
    const std::string other = "S-1-5-21-1-1-1-1001\\" + std::string(kVariables);
    m.registry.PutString(kHkeyUsers, other, "TRUSTEDPATHS", "f:\\x");
    for (const User& u : users) {
        const std::string image =
            (u.fault == Fault::NotLocal ? "\\\\server\\profiles\\" : "%SystemDrive%\\Users\\") + std::string(u.name);
        AddProfile(m, sid(u), image, "C:\\Users\\" + std::string(u.name), u.before,
                   kAttrDirectory | (u.fault == Fault::FolderIsLink ? kAttrReparsePoint : 0));
        if (u.fault == Fault::FolderGone) m.files.Remove("C:\\Users\\" + std::string(u.name));
        // Windows' copy of the entry of a profile it once failed to load names the same folder.
        if (u.loggedOn == When::AtUninstall) AddProfile(m, sid(u) + ".bak", image, "C:\\Users\\bak", "");
        if (u.loggedOn == When::AtInstall) {
            ASSERT_TRUE(m.registry.MountHive(sid(u), hive(u)));
        }
    }
    const std::string before = m.Snapshot();
    ASSERT_EQ(m.Install(), kExitFinished);
    EXPECT_EQ(m.registry.GetText(kHkeyLocalMachine, kActiveSetupKey, "StubPath"),
              "\"C:\\Korvel\\Korvel-Tarnwick\\uninstall.exe\" /usersetup");
    EXPECT_EQ(m.registry.GetText(kHkeyUsers, other, "TRUSTEDPATHS"), "F:\\X;C:\\KORVEL\\KORVEL-TARNWICK");
    std::vector<JournalEntry> entries;
    ASSERT_EQ(Journal::Load(m.files, m.codec, m.Records(), entries), RecordState::Loaded);
    const InstallScope scope{kFolder, m.Records(), {kHost2008, kHost2013}};
    for (const JournalEntry& entry : entries) EXPECT_TRUE(WithinInstallScope(entry, scope)) << entry.path;

    // Windows runs the step at each user's logon (its rule, in their hive), and then records that
    // it ran there.
    for (const User& u : users) {
        if (u.loggedOn == When::NotSince) continue;
        if (u.loggedOn != When::AtInstall) {
            ASSERT_TRUE(m.registry.MountHive(sid(u), hive(u)));
        }
        std::vector<UntouchedProfile> none;
        TrustFolderInHive(m.registry, UserHive{kHkeyUsers, sid(u), ""}, kFolder, none, true);
        m.registry.PutString(kHkeyUsers, sid(u) + "\\" + record, "Version", "2025,1,21,0");
        if (u.loggedOn != When::AtUninstall) {
            ASSERT_TRUE(m.registry.UnmountHive(sid(u)));
        }
    }
    NoLog log;
    const std::string step = std::string(kFolder) + "\\uninstall.exe";
    const std::string later = "Software\\Autodesk\\AutoCAD\\R19.0\\ACAD-B001:804\\Profiles\\Later\\Variables";
    m.registry.PutString(kHkeyCurrentUser, later, "TRUSTEDPATHS", "E:\\Y");
    EXPECT_EQ(RunUserSetup(m.registry, m.files, log, step), kExitFinished);
    EXPECT_EQ(m.registry.GetText(kHkeyCurrentUser, later, "TRUSTEDPATHS"), "E:\\Y;C:\\KORVEL\\KORVEL-TARNWICK");

    std::vector<std::string> unreached;
    for (const User& u : users) {
        if (u.fault == Fault::InUse) m.registry.SetHiveFile(hive(u), HiveFile::InUse);
        if (u.fault == Fault::Damaged) m.registry.SetHiveFile(hive(u), HiveFile::Damaged);
        if (u.fault == Fault::RecordIsLink) m.registry.FailKey(kHkeyUsers, sid(u) + "\\" + record, kErrorCantAccessFile);
        else if (u.fault != Fault::None) unreached.push_back(u.name);
    }
    // One user logs on while the uninstall runs: Windows holds their hive before it is loaded.
    const User& arriving = users[6];
    m.registry.beforeCall = [&](RegOp op) {
        if (op == RegOp::LoadHive && !m.registry.KeyExists(kHkeyUsers, sid(arriving)))
            m.registry.MountHive(sid(arriving), hive(arriving));
    };
    UninstallRun* run = nullptr;
    EXPECT_EQ(m.Uninstall(&run), kExitUninstallIncomplete);
    m.registry.beforeCall = nullptr;

    // The record that would not go is named, and stays.
    ASSERT_EQ(run->result.left.size(), 1u);
    EXPECT_EQ(run->result.left[0].what, sid(users[12]) + "\\" + record);
    EXPECT_NE(run->messages.back().find(run->result.left[0].what), std::string::npos);
    EXPECT_EQ(m.registry.OpenHandleCount(), 0);
    // Loaded hives are back in their files; those of the users logged on now stay loaded.
    EXPECT_EQ(m.registry.SubKeyNames(kHkeyUsers, ""),
              (std::vector<std::string>{"S-1-5-21-1-1-1-1001", sid(users[5]), sid(users[6]), sid(users[12])}));
    EXPECT_EQ(m.registry.GetText(kHkeyUsers, other, "TRUSTEDPATHS"), "f:\\x");
    ASSERT_EQ(run->unreachedUsers.size(), unreached.size());
    for (std::size_t i = 0; i < unreached.size(); ++i) {
        EXPECT_NE(run->unreachedUsers[i].find(unreached[i]), std::string::npos) << run->unreachedUsers[i];
        // Named in the summary, as a quiet run logs it.
        EXPECT_NE(run->messages.back().find(run->unreachedUsers[i]), std::string::npos);
    }
    for (const User& u : users) {
        // Where the user's registry is now: loaded for their session, or in its file.
        const bool loaded = u.loggedOn == When::AtUninstall || u.loggedOn == When::DuringUninstall;
        std::uint32_t type = 0;
        std::string now;
        if (loaded)
            m.registry.GetValue(kHkeyUsers, sid(u) + "\\" + kVariables, "TRUSTEDPATHS", type, now);
        else
            m.registry.GetHiveValue(hive(u), kVariables, "TRUSTEDPATHS", type, now);
        EXPECT_EQ(now, u.after != nullptr ? u.after : u.before) << u.name;
        EXPECT_EQ(type, kRegSz) << u.name;
        // Whom it reached, it makes run the step again at a later install.
        const bool recorded = loaded ? m.registry.KeyExists(kHkeyUsers, sid(u) + "\\" + record)
                                     : m.registry.HiveKeyExists(hive(u), record);
        EXPECT_EQ(recorded, u.fault != Fault::None && u.loggedOn != When::NotSince) << u.name;
    }
    EXPECT_EQ(m.registry.GetText(kHkeyCurrentUser, later, "TRUSTEDPATHS"), "E:\\Y");
    m.registry.DeleteTree(kHkeyCurrentUser, "Software\\Autodesk\\AutoCAD\\R19.0\\ACAD-B001:804\\Profiles\\Later");
    EXPECT_EQ(m.Snapshot(), before);
    // The step after the uninstall (a logon that raced it) finds nothing installed.
    EXPECT_EQ(RunUserSetup(m.registry, m.files, log, step), kExitNoRecord);
}

// What the per-user step keeps of a profile goes with the last install still there that needs it,
// and gives back the user's own spelling on the way, whichever uninstall takes out an entry
// (the random tester's finds: the step ran for one install while another's entry was in the
// value; and an install for one user alone was the last to go).
TEST(Undo, WhatThePerUserStepKeptComesBackAndGoesWithTheLastInstall) {
    const auto step = [](Machine& m, const std::string& folder) {
        NoLog log;
        EXPECT_EQ(RunUserSetup(m.registry, m.files, log, folder + "\\Korvel-Tarnwick\\uninstall.exe"), kExitFinished);
    };
    const auto check = [](Machine& m, const std::string& before, const char* name) {
        EXPECT_EQ(Diff(m.Snapshot(), before), "") << name;
        EXPECT_FALSE(m.registry.KeyExists(kHkeyCurrentUser, "Software\\Korvel-Tarnwick")) << name;
    };
    {
        Machine m(true);
        m.registry.PutString(kHkeyCurrentUser, kVariables, "TRUSTEDPATHS", "D:\\Tools");
        const std::string before = m.Snapshot();
        ASSERT_EQ(m.Install("C:\\A"), kExitFinished);
        ASSERT_EQ(m.Install("D:\\P"), kExitFinished);
        EXPECT_EQ(m.Uninstall(nullptr, "C:\\A\\Korvel-Tarnwick"), kExitFinished);
        step(m, "D:\\P");  // finds "D:\Tools;D:\P\Korvel-Tarnwick", as the uninstall left it
        ASSERT_EQ(m.Install("C:\\A"), kExitFinished);
        EXPECT_EQ(m.Uninstall(nullptr, "D:\\P\\Korvel-Tarnwick"), kExitFinished);
        ASSERT_EQ(m.Install("C:\\A"), kExitFinished);  // again: the component runs its step now
        EXPECT_EQ(m.Uninstall(nullptr, "C:\\A\\Korvel-Tarnwick"), kExitFinished);
        check(m, before, "entry taken out by another");
    }
    {
        // An install stopped at a copy failure (for this user alone: no step for others) is the
        // last to go; the step ran for another while its entry was in the value.
        Machine m(true);
        m.registry.PutString(kHkeyCurrentUser, kVariables, "TRUSTEDPATHS", "D:\\Tools");
        const std::string before = m.Snapshot();
        m.files.FailCopiesTo("C:\\P\\Korvel-Tarnwick\\Korvel2013.ARX");
        ASSERT_EQ(m.Install("C:\\P"), kExitStopped);
        m.files.ClearListingFaults();
        ASSERT_EQ(m.Install("C:\\B"), kExitFinished);
        m.registry.PutString(kHkeyCurrentUser, kVariables, "TRUSTEDPATHS", "D:\\Tools;C:\\P\\Korvel-Tarnwick;C:\\B\\KORVEL-TARNWICK");
        step(m, "C:\\B");
        EXPECT_EQ(m.Uninstall(nullptr, "C:\\B\\Korvel-Tarnwick"), kExitFinished);
        EXPECT_EQ(m.Uninstall(nullptr, "C:\\P\\Korvel-Tarnwick"), kExitFinished);
        check(m, before, "last install for one user");
    }
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
    const InstallScope scope{kFolder, kFolder, {}};
    for (const JournalEntry& e : {entry(EntryKind::Value, kHkeyLocalMachine, kActiveSetupKey, "StubPath"),
                                  entry(EntryKind::Key, kHkeyLocalMachine, "SOFTWARE\\Microsoft\\Active Setup", ""),
                                  entry(EntryKind::Value, kHkeyUsers, profile, "TRUSTEDPATHS"),
                                  entry(EntryKind::Key, kHkeyUsers, profile, "")})
        EXPECT_TRUE(WithinInstallScope(e, scope)) << e.path << " " << e.value.name;
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
        EXPECT_FALSE(WithinInstallScope(e, scope)) << e.path << " " << e.value.name;
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


// An install killed at each of its changes in turn. Where the run got as far as its record, the
// uninstall (the setup program's, through the entry, wherever the entry was written) undoes it
// whole; before that it changed nothing but its two folders. Installed again instead, the two
// runs are undone by one uninstall.
TEST(Undo, AnInstallKilledAtAnyChangeIsUndoneWhole) {
    // The 2008 library's loader key is there before, with a LOADER of its own: a run killed
    // before it reached that key leaves it as it was, whatever the module's key holds by then.
    const auto plant = [](Machine& m) {
        m.registry.PutString(kHkeyLocalMachine, std::string(kKey2008) + "Applications\\Korvel2008DLL", "LOADER",
                             "C:\\Ancient\\Korvel2013.ARX");
    };
    Machine whole;
    plant(whole);
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
        plant(m);
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
        // The uninstaller comes first, the entry that names it once it is there: killed between
        // the two, the run is in its record, and its uninstaller undoes it.
        EXPECT_TRUE(inList || recorded || !m.files.Exists(std::string(kFolder) + "\\uninstall.exe")) << n;
        if (inList || recorded) {
            EXPECT_EQ(m.Uninstall(nullptr, inList ? found : kFolder), kExitFinished) << n;
        }
        if (!recorded) {
            m.files.Remove(record);
            dropEmptyFolders(m);
        }
        EXPECT_EQ(Diff(m.Snapshot(), before), "") << n;

        Machine again;
        plant(again);
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

// Three installs, the first uninstalled first: its record names neither later one, the entry
// names the third, and only the third's record names the second. The uninstall learns of the
// second through it, so the host's own driver, which the second backed up after the first, comes
// back once all are gone.
TEST(Undo, AnInstallOnlyAnotherRecordNamesIsKnownToTheUninstall) {
    // The profile's value as the user left it; then also one naming a folder twice, in two spellings.
    for (const char* value : {"d:\\tools", "d:\\tools;D:\\Tools"}) {
        Machine m;
        m.registry.PutValue(kHkeyCurrentUser, kVariables, "TRUSTEDPATHS", kRegSz, std::string(value) + '\0');
        const std::string before = m.Snapshot();
        for (const char* folder : {"D:\\C", "C:\\A", "C:\\B"}) {
            m.ticks = folder[3] == 'B' ? std::vector<int>{6} : std::vector<int>{1, 6};  // the third: 2013 only
            ASSERT_EQ(m.Install(folder), kExitFinished);
        }
        m.ticks = {1, 6};
        UninstallRun* run = nullptr;
        EXPECT_EQ(m.Uninstall(&run, "D:\\C\\Korvel-Tarnwick"), kExitFinished);
        for (const LeftBehind& left : run->result.left) ADD_FAILURE() << left.what << " " << left.why;
        ASSERT_EQ(m.Install("C:\\A"), kExitFinished);
        std::string listed;
        for (int times = 0; times < 3 && FindInstalledFolder(m.registry, listed); ++times) m.Uninstall(nullptr, listed);
        // Letter case included: the profiles' values come back in the user's own spelling, though
        // the install whose record kept it went while others still named them.
        EXPECT_EQ(Diff(m.Snapshot(), before), "") << value;
    }
}

std::string CodePointerFault(Machine& m);  // with the random runs' cases, below

// A second install killed after it kept the first's copy of the host's own driver, before it
// copied over it; the first uninstalled, which hands the host's own driver into the second's
// backup; the second run again and uninstalled: the host's own driver comes back.
TEST(Undo, AHostFileHandedOnToAKilledInstallComesBack) {
    const std::string driver = std::string(kHost2008) + "\\Drv\\pdfplot9.hdi";
    int cases = 0;
    for (int at = 1; at < 200; ++at) {
        Machine m;
        ASSERT_EQ(m.Install("D:\\C"), kExitFinished);
        if (m.Install("C:\\B", at) != -1) break;
        bool kept = false;  // the first's copy, in the second's backup
        for (const std::string& name : m.files.Children("C:\\B\\Korvel-Tarnwick\\uninstall-backup"))
            kept = kept || m.files.Content("C:\\B\\Korvel-Tarnwick\\uninstall-backup\\" + name) == "Korvel.prt5";
        if (!kept || m.files.Content(driver) != "Korvel.prt5") continue;
        ++cases;
        UninstallRun* first = nullptr;
        EXPECT_EQ(m.Uninstall(&first, "D:\\C\\Korvel-Tarnwick"), kExitFinished) << at;
        for (const LeftBehind& left : first->result.left) ADD_FAILURE() << at << " " << left.what << " " << left.why;
        EXPECT_EQ(m.Install("C:\\B"), kExitFinished) << at;
        EXPECT_EQ(m.Uninstall(nullptr, "C:\\B\\Korvel-Tarnwick"), kExitFinished) << at;
        EXPECT_EQ(m.files.Content(driver), "the host's own driver") << at;
    }
    EXPECT_GT(cases, 0);

    // The same kill over a font the first install made where none was; the first run again, then
    // uninstalled before the killed one: the font is gone once both are.
    const std::string font = std::string(kHost2008) + "\\Fonts\\Korvel_EN.shx";
    cases = 0;
    for (int at = 1; at < 200; ++at) {
        Machine m;
        const std::string before = m.Snapshot();
        ASSERT_EQ(m.Install("D:\\C"), kExitFinished);
        if (m.Install("C:\\B", at) != -1) break;
        bool kept = false;
        for (const std::string& name : m.files.Children("C:\\B\\Korvel-Tarnwick\\uninstall-backup"))
            kept = kept || m.files.Content("C:\\B\\Korvel-Tarnwick\\uninstall-backup\\" + name) == "Korvel_EN.shx";
        if (!kept) continue;
        ++cases;
        ASSERT_EQ(m.Install("D:\\C"), kExitFinished) << at;
        EXPECT_EQ(m.Uninstall(nullptr, "D:\\C\\Korvel-Tarnwick"), kExitFinished) << at;
        EXPECT_TRUE(m.files.IsFile(font)) << at;  // the killed install's, while it is listed
        m.Uninstall(nullptr, "C:\\B\\Korvel-Tarnwick");
        const std::string diff = Diff(m.Snapshot(), before);
        EXPECT_EQ(diff.find("C:\\Program Files\\"), std::string::npos) << at << "\n" << diff;
    }
    EXPECT_GT(cases, 0);

    // Both killed: the first while it made the font where none was, the second, run again, after
    // it kept what the first left there, before its own copy. The first uninstalled, then the
    // second: the font is gone.
    const auto lastLine = [](Machine& m, const std::string& folder, const std::string& path) {
        std::vector<JournalEntry> entries;
        Journal::Load(m.files, m.codec, folder, entries);
        const JournalEntry* last = nullptr;
        for (const JournalEntry& e : entries)
            if (EqualsNoCase(e.path, path)) last = &e;
        return last ? std::optional<JournalEntry>(*last) : std::nullopt;
    };
    cases = 0;
    for (int at = 1, again = 1; at < 200 && again < 200;) {
        Machine m;
        const std::string before = m.Snapshot();
        m.ticks = {6};
        ASSERT_EQ(m.Install("C:\\B"), kExitFinished);
        m.ticks = {1, 6};
        ASSERT_EQ(m.Install("D:\\C", at), -1);
        const auto begun = lastLine(m, "D:\\C\\Korvel-Tarnwick", font);
        if (!begun || begun->kind != EntryKind::PendingFile || !m.files.IsFile(font)) {
            ++at;
            continue;
        }
        if (m.Install("C:\\B", again) != -1) break;
        const auto kept = lastLine(m, "C:\\B\\Korvel-Tarnwick", font);
        ++again;
        if (!kept || kept->kind != EntryKind::PendingReplaced || m.files.Content(kept->backup) != "Korvel_EN.shx") continue;
        ++cases;
        EXPECT_EQ(m.Uninstall(nullptr, "D:\\C\\Korvel-Tarnwick"), kExitFinished) << at << " " << again;
        m.Uninstall(nullptr, "C:\\B\\Korvel-Tarnwick");
        const std::string diff = Diff(m.Snapshot(), before);
        EXPECT_EQ(diff.find("C:\\Program Files\\"), std::string::npos) << at << " " << again << "\n" << diff;
        break;
    }
    EXPECT_GT(cases, 0);

    // An install killed after the line of its copy of a host's library, before the copy; then two
    // installs elsewhere, the second over the first's copy. Once both are uninstalled the library
    // is gone: the second's uninstall took the killed one for the first to place it, and put the
    // first's copy back.
    const std::string library = std::string(kHost2008) + "\\ACAD2007.dll";
    int begun = 0;
    for (int at = 1; at < 200; ++at) {
        Machine m(true);
        if (m.Install("C:\\B", at) != -1) break;
        std::vector<JournalEntry> entries;
        Journal::Load(m.files, m.codec, ProtectedRecordFolder("C:\\ProgramData\\Korvel-Tarnwick", "C:\\B\\Korvel-Tarnwick"), entries);
        bool pending = false;
        for (const JournalEntry& e : entries)
            if (EqualsNoCase(e.path, library)) pending = e.kind == EntryKind::PendingFile;
        if (!pending || m.files.IsFile(library)) continue;
        ++begun;
        for (const char* folder : {"C:\\A", "D:\\C"}) ASSERT_EQ(m.Install(folder), kExitFinished) << at;
        for (const char* folder : {"C:\\A\\Korvel-Tarnwick", "D:\\C\\Korvel-Tarnwick"}) m.Uninstall(nullptr, folder);
        EXPECT_FALSE(m.files.IsFile(library)) << at;
        EXPECT_EQ(CodePointerFault(m), "") << at;
    }
    EXPECT_GT(begun, 0);
}

// Three versions of the fonts placed in turn, each install backing up the one before: in every
// order of uninstalls the fonts go. The first install's record names the file as made where none
// was; the one whose backup holds its copy learns that, whichever of the others it is.
TEST(Undo, AHostFileOfThreeVersionsGoesInEveryOrder) {
    std::vector<std::string> order = {"C:\\A", "C:\\B", "D:\\C"};
    do {
        Machine m;
        const std::string before = m.Snapshot();
        const std::string data = std::string(kData) + "\\Korvel_EN.shx";
        m.files.AddFile(data, "v1");
        ASSERT_EQ(m.Install("D:\\C"), kExitFinished);
        m.files.AddFile(data, "v2");
        ASSERT_EQ(m.Install("C:\\B"), kExitFinished);
        m.files.AddFile(data, "v3");
        ASSERT_EQ(m.Install("C:\\A"), kExitFinished);
        std::string codes;
        for (const std::string& folder : order) codes += std::to_string(m.Uninstall(nullptr, folder + "\\Korvel-Tarnwick")) + " ";
        const std::string diff = Diff(m.Snapshot(), before);
        EXPECT_EQ(diff.find("C:\\Program Files\\"), std::string::npos)
            << order[0] << " " << order[1] << " " << order[2] << " exits " << codes << "\n" << diff;
    } while (std::next_permutation(order.begin(), order.end()));
}

// What another install's record is to take over is written there before ours goes; where it
// cannot be written (here the record refuses writes), the uninstall says what was not handed on,
// and to which install, instead of ending as if all were done.
TEST(Undo, WhatCannotBeHandedOnIsReported) {
    for (const bool elevated : {false, true}) {
        Machine m(elevated);
        ASSERT_EQ(m.Install("D:\\C"), kExitFinished);
        ASSERT_EQ(m.Install("C:\\B"), kExitFinished);
        const std::string b = "C:\\B\\Korvel-Tarnwick";
        const std::string record =
            (elevated ? ProtectedRecordFolder("C:\\ProgramData\\Korvel-Tarnwick", b) : b) + "\\uninstall.dat";
        const std::string kept = m.files.Content(record);
        m.files.FailWrites(record);
        UninstallRun* run = nullptr;
        EXPECT_EQ(m.Uninstall(&run, "D:\\C\\Korvel-Tarnwick"), kExitUninstallIncomplete);
        const std::string font = std::string(kHost2008) + "\\Fonts\\Korvel_EN.shx";
        int named = 0;  // once, though two lines of it were not written
        for (const LeftBehind& item : run->result.left)
            named += EqualsNoCase(item.what, font) && item.why.find(b) != std::string::npos;
        EXPECT_EQ(named, 1) << elevated;
        EXPECT_TRUE(run->result.handed.empty());
        EXPECT_EQ(m.files.Content(record), kept);
    }
}

// A later install over the first's font, run again with a newer package and killed once its copy
// of the newer font is in place, before the line that says so (the doubles kill before a copy:
// it is made here); the first uninstalled, then the later one: the font is gone.
TEST(Undo, AHandedOnFileKeepsTheLaterInstallsBegunCopy) {
    const std::string font = std::string(kHost2008) + "\\Fonts\\Korvel_EN.shx";
    const std::string newer = "Korvel_EN.shx, newer";
    int cases = 0;
    for (int at = 1; at < 300; ++at) {
        Machine m;
        ASSERT_EQ(m.Install("D:\\C"), kExitFinished);
        ASSERT_EQ(m.Install("C:\\B"), kExitFinished);
        m.files.AddFile(std::string(kData) + "\\Korvel_EN.shx", newer);
        if (m.Install("C:\\B", at) != -1) break;
        std::vector<JournalEntry> entries;
        Journal::Load(m.files, m.codec, "C:\\B\\Korvel-Tarnwick", entries);
        EntryKind lastKind = EntryKind::User;
        for (const JournalEntry& e : entries)
            if (EqualsNoCase(e.path, font)) lastKind = e.kind;
        if (lastKind != EntryKind::PendingReplaced || m.files.Content(font) == newer) continue;
        ++cases;
        m.files.AddFile(font, newer);  // the copy, done just before the kill
        EXPECT_EQ(m.Uninstall(nullptr, "D:\\C\\Korvel-Tarnwick"), kExitFinished) << at;
        EXPECT_EQ(m.Uninstall(nullptr, "C:\\B\\Korvel-Tarnwick"), kExitFinished) << at;
        EXPECT_FALSE(m.files.IsFile(font)) << at << " " << m.files.Content(font);
    }
    EXPECT_GT(cases, 0);
}

// A second install, for one release, killed as it began to back up the first's copy of a font;
// run again for both releases, it backs up the other release's fonts first. No backup is given a
// name the killed run's line holds, so each file comes back with its own content.
TEST(Undo, ABackupAKillNeverMadeIsNotGivenToAnotherFile) {
    const std::string font = std::string(kHost2013) + "Fonts\\Korvel_HZ.shx";
    int cases = 0;
    for (int at = 1; at < 200; ++at) {
        Machine m;
        const std::string before = m.Snapshot();
        ASSERT_EQ(m.Install("D:\\C"), kExitFinished);
        m.ticks = {6};
        if (m.Install("C:\\B", at) != -1) break;
        std::vector<JournalEntry> entries;
        Journal::Load(m.files, m.codec, "C:\\B\\Korvel-Tarnwick", entries);
        if (entries.empty() || !EqualsNoCase(entries.back().path, font) ||
            entries.back().kind != EntryKind::PendingReplaced || m.files.Exists(entries.back().backup))
            continue;
        ++cases;
        m.ticks = {1, 6};
        ASSERT_EQ(m.Install("C:\\B"), kExitFinished) << at;
        EXPECT_EQ(m.Uninstall(nullptr, "C:\\B\\Korvel-Tarnwick"), kExitFinished) << at;
        EXPECT_EQ(m.Uninstall(nullptr, "D:\\C\\Korvel-Tarnwick"), kExitFinished) << at;
        EXPECT_EQ(Diff(m.Snapshot(), before), "") << at;
    }
    EXPECT_GT(cases, 0);
}

// A later install into another folder killed once the entry names it, but before it wrote the
// rest of the entry and the component: the earlier install's uninstall leaves no value that names
// its uninstaller behind, and the later one, run again, is undone whole with it.
TEST(Undo, AnEarlierInstallGoesWhileALaterOneWasKilledWritingTheEntry) {
    int at = 1;  // the first change after which the entry names the later install
    for (std::string listed; at < 40; ++at) {
        Machine m(true);
        m.Install("D:\\New");
        m.Install("C:\\Korvel", at);
        if (FindInstalledFolder(m.registry, listed) && listed == kFolder) break;
    }
    Machine m(true);
    const std::string before = m.Snapshot();
    ASSERT_EQ(m.Install("D:\\New"), kExitFinished);
    ASSERT_EQ(m.Install("C:\\Korvel", at), -1);
    EXPECT_EQ(m.Uninstall(nullptr, "D:\\New\\Korvel-Tarnwick"), kExitFinished);
    for (const char* name : {"UninstallString", "QuietUninstallString"})
        EXPECT_EQ(m.registry.GetText(kHkeyLocalMachine, kUninstallKey, name).find("D:\\New"), std::string::npos) << name;
    EXPECT_EQ(m.registry.GetText(kHkeyLocalMachine, kActiveSetupKey, "StubPath").find("D:\\New"), std::string::npos);
    ASSERT_EQ(m.Install("C:\\Korvel"), kExitFinished);
    EXPECT_EQ(m.Uninstall(), kExitFinished);
    EXPECT_EQ(Diff(m.Snapshot(), before), "");
}

// One to three installs of one package into one folder: each file is backed up once, the disk
// holds no more files after the third than after the first, and one uninstall undoes them all.
TEST(Undo, RepeatedInstallsKeepOneBackupAndOneUninstallUndoesThem) {
    Machine m;
    // A host's own library, which the library's loader key names once it is replaced: the values
    // the first install wrote are not put back once the library is back.
    m.files.AddFile(std::string(kHost2013) + "ACAD2013.dll", "the host's own library");
    // And its loader key, there before with a sub-key and an older LOADER: it cannot be deleted,
    // so its values are overwritten, and only put back.
    const std::string library = std::string(kKey2013) + "Applications\\Korvel2013DLL";
    m.registry.PutString(kHkeyLocalMachine, library, "LOADER", "C:\\Ancient\\Korvel2013.ARX");
    m.registry.CreateKeyPath(kHkeyLocalMachine, library + "\\Commands");
    // The other way round for 2008: the module's key has the sub-key, the library's can be
    // deleted; once the module's older LOADER is back, the library's key is made again too.
    const std::string module = std::string(kKey2008) + "Applications\\Korvel2008";
    m.registry.PutString(kHkeyLocalMachine, module, "LOADER", "C:\\Ancient\\Korvel2013.ARX");
    m.registry.CreateKeyPath(kHkeyLocalMachine, module + "\\Commands");
    m.registry.PutString(kHkeyLocalMachine, module + "DLL", "LOADER", "C:\\Ancient\\Korvel2013.ARX");
    const std::string before = m.Snapshot();
    int once = 0;
    for (int times = 1; times <= 3; ++times) {
        ASSERT_EQ(m.Install(), kExitFinished) << times;
        if (times == 1) once = FileCount(m);
        EXPECT_EQ(FileCount(m), once) << times;
        EXPECT_EQ(m.files.Children(std::string(kFolder) + "\\uninstall-backup").size(), 2u) << times;
    }
    EXPECT_EQ(m.Uninstall(), kExitFinished);
    EXPECT_EQ(Diff(m.Snapshot(), before), "");
}

// The record goes to the disk before each change that only it can undo (a host's file, a
// registry value), but once for all of the plug-in's own files and once a host for the new files
// there: forty more files in the package (twenty of them host libraries) add no write, in the
// first install or in a repeat.
TEST(Undo, NewFilesCostTheRecordOneWriteARun) {
    const auto recordWrites = [](int extra) {
        Machine m;
        for (int i = 0; i < extra; ++i)
            m.files.AddFile(i < 20 ? Format("%s\\ACAD%d.dll", kData, 2014 + i) : Format("%s\\Part%02d.dat", kData, i), "part");
        std::vector<int> writes;
        for (int run = 0; run < 2; ++run) {
            m.files.calls.clear();
            EXPECT_EQ(m.Install(), kExitFinished);
            writes.push_back(0);
            for (const std::string& call : m.files.calls)
                writes.back() += call.find("uninstall.dat") != std::string::npos && call.find("Bytes(") != std::string::npos &&
                                 call.rfind("Read", 0) != 0;
        }
        return writes;
    };
    const std::vector<int> few = recordWrites(0);
    EXPECT_EQ(recordWrites(40), few);
    EXPECT_LT(few[1], few[0]);
}

// A repeat into a folder used before (a repair) between other installs, then uninstalled oldest
// first: each uninstall ends with 0, no loader names a module that is gone, and the machine comes
// back whole (the host libraries the later install still names stayed with it).
TEST(Undo, ARepeatBetweenOtherInstallsKeepsEveryOrderWhole) {
    const std::vector<std::string> folders = {"C:\\Korvel", "D:\\New", "C:\\CAD Plugins\\Third"};
    for (const char* sequence : {"i1 i0 i2 i0 u0 u1 u2", "i1 i0 i0 i2 i0 u0 u1 u2", "i1 i0 i2 u0 u1 u2"}) {
        Machine m(true);
        const std::string before = m.Snapshot();
        const std::string s = sequence;
        for (std::size_t i = 0; i + 1 < s.size(); i += 3) {
            const std::string& folder = folders[static_cast<std::size_t>(s[i + 1] - '0')];
            if (s[i] == 'i') {
                ASSERT_EQ(m.Install(folder), kExitFinished) << sequence;
                continue;
            }
            EXPECT_EQ(m.Uninstall(nullptr, folder + "\\Korvel-Tarnwick"), kExitFinished) << sequence << " at " << s.substr(0, i + 2);
            EXPECT_EQ(LoadersIntoGoneFolders(m), "") << sequence << " at " << s.substr(0, i + 2);
        }
        EXPECT_EQ(Diff(m.Snapshot(), before), "") << sequence;
    }
}

// Two and three installs (one into a folder whose upper levels the install made) uninstalled in
// every order, by the account that installed and with administrator rights, on a machine whose
// loader keys could be deleted and on one where each has a sub-key (as demand-load keys have), so
// that installs write over their values one by one: after each uninstall no loader names a module
// that is gone, and after the last the machine is as before, trusted paths byte for byte.
TEST(Undo, InstallsUninstalledInAnyOrderLeaveNothing) {
    const std::vector<std::string> folders = {"C:\\Korvel", "D:\\New", "C:\\CAD Plugins\\Third"};
    for (const bool elevated : {false, true}) {
        for (const bool subKeys : {false, true}) {
            for (std::size_t count = 2; count <= 3; ++count) {
                std::vector<std::size_t> order(count);
                for (std::size_t i = 0; i < count; ++i) order[i] = i;
                do {
                    Machine m(elevated);
                    if (subKeys) {
                        for (const std::string& key : {std::string(kKey2008) + "Applications\\Korvel2008",
                                                       std::string(kKey2013) + "Applications\\Korvel2013"})
                            m.registry.CreateKeyPath(kHkeyLocalMachine, key + "\\Commands");
                    }
                    const std::string before = m.Snapshot();
                    std::string named = elevated ? "elevated " : "";
                    named += subKeys ? "sub-keys " : "";
                    for (std::size_t i = 0; i < count; ++i) ASSERT_EQ(m.Install(folders[i]), kExitFinished) << named;
                    for (std::size_t i : order) {
                        named += folders[i] + " ";
                        UninstallRun* run = nullptr;
                        EXPECT_EQ(m.Uninstall(&run, folders[i] + "\\Korvel-Tarnwick"), kExitFinished) << named;
                        for (const LeftBehind& left : run->result.left)
                            ADD_FAILURE() << named << left.what << " " << left.why;
                        EXPECT_EQ(LoadersIntoGoneFolders(m), "") << named;
                    }
                    EXPECT_EQ(Diff(m.Snapshot(), before), "") << named;
                } while (std::next_permutation(order.begin(), order.end()));
            }
        }
    }
    // The first installed again after the second, then uninstalled: the second keeps its loaders
    // (also with administrator rights, where its record is not found beside its module), and the
    // entry in the list of programs names it again.
    for (const bool elevated : {true, false}) {
        Machine again(elevated);
        for (const std::string& folder : {folders[0], folders[1], folders[0]}) ASSERT_EQ(again.Install(folder), kExitFinished);
        EXPECT_EQ(again.Uninstall(nullptr, folders[0] + "\\Korvel-Tarnwick"), kExitFinished);
        EXPECT_EQ(again.registry.GetText(kHkeyLocalMachine, std::string(kKey2013) + "Applications\\Korvel2013", "LOADER"),
                  folders[1] + "\\Korvel-Tarnwick\\Korvel2013.ARX") << elevated;
        EXPECT_EQ(again.registry.GetText(kHkeyLocalMachine, std::string(kKey2008) + "Applications\\Korvel2008DLL", "LOADER"),
                  std::string(kHost2008) + "\\ACAD2007.dll") << elevated;
    }
    Machine m;
    const std::string before = m.Snapshot();
    for (const std::string& folder : {folders[0], folders[1], folders[0]}) ASSERT_EQ(m.Install(folder), kExitFinished);
    EXPECT_EQ(m.Uninstall(nullptr, folders[0] + "\\Korvel-Tarnwick"), kExitFinished);
    std::string listed;
    EXPECT_TRUE(FindInstalledFolder(m.registry, listed));
    EXPECT_EQ(listed, folders[1] + "\\Korvel-Tarnwick");
    EXPECT_EQ(m.Uninstall(nullptr, listed), kExitFinished);
    EXPECT_EQ(Diff(m.Snapshot(), before), "");

    // One installed again after another: its uninstall hands the entry to the install the entry
    // named last before it, and that one's to the install named before the first; each hands it
    // on, and all come off.
    // Also where nothing else in the records names the earlier installs: no host, no profile.
    // And where one in the middle goes first (3, then its folder, stands for its uninstall).
    for (const bool bare : {false, true}) {
      for (const std::vector<std::size_t>& installs :
           {std::vector<std::size_t>{0, 1, 2, 1}, {0, 1, 2, 0}, {0, 2, 1, 2}, {2, 0, 1, 2}, {0, 1, 0, 2, 0}, {2, 1, 0, 1, 0, 1},
            {0, 1, 2, 3, 1}, {0, 2, 1, 2, 1, 3, 2}}) {
        Machine three;
        if (bare) {
            three.registry.DeleteTree(kHkeyLocalMachine, "SOFTWARE\\Autodesk");
            three.registry.DeleteTree(kHkeyCurrentUser, "Software\\Autodesk");
        }
        const std::string before = three.Snapshot();
        std::vector<std::string> left;
        for (std::size_t n = 0; n < installs.size(); ++n) {
            if (installs[n] < folders.size()) {
                ASSERT_EQ(three.Install(folders[installs[n]]), kExitFinished);
                continue;
            }
            left.push_back(folders[installs[++n]] + "\\Korvel-Tarnwick");
            EXPECT_EQ(three.Uninstall(nullptr, left.back()), kExitFinished);
        }
        for (int times = 0; times < 4 && FindInstalledFolder(three.registry, listed); ++times) {
            left.push_back(listed);
            EXPECT_EQ(three.Uninstall(nullptr, listed), kExitFinished) << listed;
        }
        EXPECT_EQ(left.size(), 3u) << installs[2] << installs[3] << bare;
        EXPECT_EQ(Diff(three.Snapshot(), before), "") << installs[2] << installs[3] << bare;
      }
    }

    // The user trusted an install's folder before it came, so its uninstall takes an entry from
    // the middle of what the others wrote (upper case): the user's own entry still comes back as
    // it was spelt, whichever install goes last.
    for (const bool firstGoesFirst : {true, false}) {
        Machine user;
        user.registry.PutString(kHkeyCurrentUser, kVariables, "TRUSTEDPATHS", "D:\\NEW\\KORVEL-TARNWICK\\...;D:\\Tools");
        for (const std::size_t i : {0, 1}) ASSERT_EQ(user.Install(folders[i]), kExitFinished);
        EXPECT_EQ(user.Uninstall(nullptr, folders[1] + "\\Korvel-Tarnwick"), kExitFinished);
        for (const std::size_t i : {2, 0}) ASSERT_EQ(user.Install(folders[i]), kExitFinished);
        for (const std::size_t i : firstGoesFirst ? std::vector<std::size_t>{0, 2} : std::vector<std::size_t>{2, 0})
            EXPECT_EQ(user.Uninstall(nullptr, folders[i] + "\\Korvel-Tarnwick"), kExitFinished);
        EXPECT_EQ(user.registry.GetText(kHkeyCurrentUser, kVariables, "TRUSTEDPATHS"), "D:\\Tools") << firstGoesFirst;
    }
    // The same, where the user's letters came back between two runs into one folder, the second
    // of which wrote the value in upper case again.
    Machine again;
    again.registry.PutString(kHkeyCurrentUser, kVariables, "TRUSTEDPATHS", "D:\\NEW\\KORVEL-TARNWICK\\...;D:\\Tools");
    for (const std::size_t i : {0, 1}) ASSERT_EQ(again.Install(folders[i]), kExitFinished);
    EXPECT_EQ(again.Uninstall(nullptr, folders[1] + "\\Korvel-Tarnwick"), kExitFinished);
    ASSERT_EQ(again.Install(folders[2]), kExitFinished);
    EXPECT_EQ(again.Uninstall(nullptr, folders[0] + "\\Korvel-Tarnwick"), kExitFinished);
    EXPECT_EQ(again.registry.GetText(kHkeyCurrentUser, kVariables, "TRUSTEDPATHS"), "D:\\Tools;" + UpperCp936(folders[2]) + "\\KORVEL-TARNWICK");
    ASSERT_EQ(again.Install(folders[2]), kExitFinished);
    EXPECT_EQ(again.Uninstall(nullptr, folders[2] + "\\Korvel-Tarnwick"), kExitFinished);
    EXPECT_EQ(again.registry.GetText(kHkeyCurrentUser, kVariables, "TRUSTEDPATHS"), "D:\\Tools");
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

namespace {
// What the random runs (tests/random) found, as their shrunk cases: values naming code that
// named files this program did not put in place, and earlier states of loader keys lost.

// Every LOADER, StubPath and uninstall command names a file this program put in place.
std::string CodePointerFault(Machine& m) {
    for (const std::string& key : {std::string(kKey2008) + "Applications\\Korvel2008", std::string(kKey2008) + "Applications\\Korvel2008DLL",
                                   std::string(kKey2013) + "Applications\\Korvel2013", std::string(kKey2013) + "Applications\\Korvel2013DLL"}) {
        const std::string loader = m.registry.GetText(kHkeyLocalMachine, key, "LOADER");
        if (!loader.empty() && loader != "C:\\Ancient\\Korvel2013.ARX" && !m.files.IsFile(loader)) return key + " names " + loader;
    }
    for (const auto& value : {std::make_pair(kUninstallKey, "UninstallString"), std::make_pair(kActiveSetupKey, "StubPath")}) {
        const std::string text = m.registry.GetText(kHkeyLocalMachine, value.first, value.second);
        const std::string program = text.empty() ? text : text.substr(1, text.find('"', 1) - 1);
        if (!program.empty() && m.files.Content(program) != "setup program") return std::string(value.second) + " names " + program;
    }
    return std::string();
}

// A release's loader key that has a sub-key before any install: the installs overwrite its values.
// Installed into A, then B, uninstalled A, then B: its LOADER went back to A's module, in a
// folder gone that any user may make again.
TEST(Undo, ALoaderKeyWithASubKeyIsAsBeforeOnceItsInstallsAreGone) {
    Machine m(true);
    m.registry.CreateKeyPath(kHkeyLocalMachine, std::string(kKey2013) + "Applications\\Korvel2013\\Commands");
    const std::string before = m.Snapshot();
    ASSERT_EQ(m.Install("C:\\A"), kExitFinished);
    ASSERT_EQ(m.Install("C:\\B"), kExitFinished);
    EXPECT_EQ(m.Uninstall(nullptr, "C:\\A\\Korvel-Tarnwick"), kExitFinished);
    EXPECT_EQ(CodePointerFault(m), "");
    EXPECT_EQ(m.Uninstall(nullptr, "C:\\B\\Korvel-Tarnwick"), kExitFinished);
    EXPECT_EQ(CodePointerFault(m), "");
    EXPECT_EQ(Diff(m.Snapshot(), before), "");
}

// Values written naming a file that is not there, or not the program's own: a module skipped at
// its failed copy (Ignore), the uninstaller's own copy failing over an earlier one, a library in
// a host folder that is gone. And values an earlier install wrote, left naming a file a repeated
// install removed to copy it anew: its module's copy failed and the run stopped (Abort), or its
// uninstaller's copy failed.
TEST(Undo, NoInstallNamesAFileItDidNotPutInPlace) {
    const std::vector<std::pair<const char*, std::function<int(Machine&)>>> cases = {
        {"a module skipped at its failed copy", [](Machine& m) {
             m.files.FailCopiesTo(std::string(kFolder) + "\\Korvel2013.ARX");
             return m.Install("C:\\Korvel", 0, kIdIgnore);
         }},
        {"the uninstaller's copy failing over an earlier one", [](Machine& m) {
             m.files.AddFolder("C:\\Korvel");
             m.files.SetOthersRights("C:\\Korvel", kRead);
             m.files.AddFile(std::string(kFolder) + "\\uninstall.exe", "an earlier uninstaller");
             m.files.FailCopiesTo(std::string(kFolder) + "\\uninstall.exe");
             return m.Install();
         }},
        {"a host folder that is gone", [](Machine& m) {
             m.files.Remove(kHost2008);
             return m.Install();
         }},
        {"a repeated install stopped at its module's failed copy", [](Machine& m) {
             m.Install();
             m.files.FailCopiesTo(std::string(kFolder) + "\\Korvel2013.ARX");
             return m.Install("C:\\Korvel", 0, kIdAbort);
         }},
        {"a repeated install whose uninstaller's copy fails", [](Machine& m) {
             m.Install();
             m.files.FailCopiesTo(std::string(kFolder) + "\\uninstall.exe");
             return m.Install();
         }},
    };
    for (const auto& c : cases) {
        Machine m(true);
        c.second(m);
        EXPECT_EQ(CodePointerFault(m), "") << c.first;
    }
}

// A host folder that users may change gets no library LOADER from an elevated install; it did,
// and a repeated install's record then held that loader's earlier state, which the uninstall
// refuses whole (exit 7): the install could never be removed. Also into A, B, then A again: the
// library's key each run made and removed again was kept as an earlier state, taken over by the
// next, and made again (empty) once all were uninstalled. And where that key was there before,
// empty: the first install removed it, the second made it anew as its own, and its uninstall,
// the last, deleted it once the first's had put it back. Or with an older version's values: the
// second took them for the first install's own, and left them out.
TEST(Undo, AHostFolderUsersMayChangeGetsNoLoaderAndTheInstallComesOff) {
    using Folders = std::vector<std::string>;
    enum { kNoKey, kEmptyKey, kOlderVersion };
    for (const auto& c : {std::make_pair(Folders{"C:\\Korvel", "C:\\Korvel"}, kNoKey),
                          std::make_pair(Folders{"C:\\A", "C:\\B", "C:\\A"}, kNoKey),
                          std::make_pair(Folders{"C:\\B", "C:\\A", "C:\\B"}, kEmptyKey),
                          std::make_pair(Folders{"C:\\A", "C:\\B", "C:\\A"}, kOlderVersion)}) {
        const Folders& folders = c.first;
        Machine m(true);
        m.files.SetOthersRights(kHost2008, 0x1301BF, 0x1301BF);  // Modify for users
        const std::string library = std::string(kKey2008) + "Applications\\Korvel2008DLL";
        if (c.second == kEmptyKey) m.registry.CreateKeyPath(kHkeyLocalMachine, library);
        if (c.second == kOlderVersion) {
            m.registry.PutString(kHkeyLocalMachine, library, "LOADER", "C:\\Ancient\\Korvel2013.ARX");
            m.registry.PutDword(kHkeyLocalMachine, library, "LOADCTRLS", 2);
        }
        const std::string before = m.Snapshot();
        for (const std::string& folder : folders) ASSERT_NE(m.Install(folder), -1);
        if (c.second != kOlderVersion) {
            EXPECT_EQ(m.registry.GetText(kHkeyLocalMachine, library, "LOADER"), "");
        }
        std::string listed;
        for (int times = 0; times < 3 && FindInstalledFolder(m.registry, listed, true); ++times)
            EXPECT_EQ(m.Uninstall(nullptr, listed), kExitFinished) << listed;
        EXPECT_EQ(Diff(m.Snapshot(), before), "") << folders.size() << c.second;
    }
}

// After A, B, then A again, B's record holds A's values as what the library's key held before B;
// uninstalled last, with A gone, B put them back (here the LOADER was refused, its host's own
// library being back, and MANAGED stayed): what the key held before A, nothing, was lost.
// Also where the module's key has a sub-key, and so is written over rather than deleted. And
// after A, B, A, B: A's record took B's record's states over, among them A's own first values,
// which its uninstall, the last, could not tell from an earlier state; their LOADER refused, it
// put MANAGED and LOADCTRLS back alone. Where an older version's values came before them, those
// were then lost.
// And after B, A, B over an earlier version in B's folder: B's uninstall put the earlier version's
// module back, and A's then made its key name it again, as B's module had been. Also where the
// entry named another install between B and A, one of another release only.
TEST(Undo, AnElevatedInstallLearnsWhatALoaderKeyHeldBeforeAnEarlierInstall) {
    const auto earlierVersion = [](Machine& m) {
        for (const char* name : {"Korvel2013.ARX", "uninstall.exe"})
            m.files.AddFile(std::string("C:\\B\\Korvel-Tarnwick\\") + name, "an earlier version");
        for (const char* path : {"C:\\B", "C:\\B\\Korvel-Tarnwick", "C:\\B\\Korvel-Tarnwick\\Korvel2013.ARX",
                                 "C:\\B\\Korvel-Tarnwick\\uninstall.exe"})
            m.files.SetOthersRights(path, kRead, kRead);
    };
    const std::vector<std::pair<std::vector<std::string>, std::function<void(Machine&)>>> cases = {
        {{"C:\\A", "C:\\B", "C:\\A"},
         [](Machine& m) { m.files.AddFile(std::string(kHost2013) + "ACAD2013.dll", "the host's own library"); }},
        {{"C:\\A", "C:\\B", "C:\\A"},
         [](Machine& m) {
             m.files.AddFile(std::string(kHost2013) + "ACAD2013.dll", "the host's own library");
             m.registry.CreateKeyPath(kHkeyLocalMachine, std::string(kKey2013) + "Applications\\Korvel2013\\Commands");
         }},
        {{"C:\\A", "C:\\B", "C:\\A", "C:\\B"},
         [](Machine& m) { m.files.AddFile(std::string(kHost2013) + "ACAD2013.dll", "the host's own library"); }},
        {{"C:\\A", "C:\\A", "C:\\B", "C:\\A"},
         [](Machine& m) {
             m.files.AddFile(std::string(kHost2013) + "ACAD2013.dll", "the host's own library");
             const std::string library = std::string(kKey2013) + "Applications\\Korvel2013DLL";
             m.registry.PutString(kHkeyLocalMachine, library, "LOADER", "C:\\Ancient\\Korvel2013.ARX");
             m.registry.PutDword(kHkeyLocalMachine, library, "LOADCTRLS", 2);
         }},
        {{"C:\\B", "C:\\A", "C:\\B"}, earlierVersion},
        {{"C:\\B", "2008:D:\\C", "C:\\A", "C:\\B"}, earlierVersion},
    };
    for (const auto& c : cases) {
        Machine m(true);
        c.second(m);
        const std::string before = m.Snapshot();
        for (const std::string& folder : c.first) {
            m.ticks = folder.compare(0, 5, "2008:") == 0 ? std::vector<int>{1} : std::vector<int>{1, 6};  // 2008 only
            ASSERT_EQ(m.Install(folder.substr(folder.find(':') == 4 ? 5 : 0)), kExitFinished);
        }
        std::string listed;
        for (int times = 0; times < 3 && FindInstalledFolder(m.registry, listed, true); ++times) m.Uninstall(nullptr, listed);
        EXPECT_EQ(Diff(m.Snapshot(), before), "") << &c - &cases[0];
    }
}
}  // namespace

// An install uninstalled, then run again and killed, while a later install into another folder
// holds the entry: that one's uninstall hands the entry back only to a run that had begun to write
// it (its uninstaller placed first), never to one killed before, whose uninstaller is not there.
// The values it gets that it had not written yet (UninstallString, the component's StubPath) its
// record learns of: its own uninstall left them naming its removed uninstaller.
// Over an administrator's shoulder the package folder may be a user's: a file of theirs in it under
// one of the uninstaller's names is never what the entry and the component name, neither in a
// first install nor in an upgrade that places the uninstaller beside a held one.
TEST(Undo, ThePackageNeverWritesOverTheUninstallerTheValuesName) {
    for (const bool upgrade : {false, true}) {
        Machine m(true);
        m.image = "setup program";
        if (upgrade) {
            ASSERT_EQ(m.Install(), kExitFinished);
            m.files.SetHeld(std::string(kFolder) + "\\uninstall.exe");
            m.image = "setup program 2";
            m.files.AddFile(m.files.modulePath, m.image);
        }
        m.files.AddFile(std::string(kData) + (upgrade ? "\\uninstall-2.exe" : "\\uninstall.exe"), "a user's program");
        EXPECT_EQ(m.Install(), kExitFinished) << upgrade;
        for (const auto& value : {std::make_pair(std::string(kUninstallKey), "UninstallString"),
                                  std::make_pair(std::string(kUninstallKey), "QuietUninstallString"),
                                  std::make_pair(std::string(kActiveSetupKey), "StubPath")})
            EXPECT_EQ(m.files.Content(NamedBy(m, value.first, value.second)), m.image) << value.second << upgrade;
    }
}

// A hard link a user makes, in a folder of theirs, to a file of the plug-in's they may read (the
// uninstaller every user runs at logon, a module) refuses no later install into that folder: the
// name here goes, and the file is made anew, with one name.
TEST(Undo, AUsersHardLinkToAnInstalledFileRefusesNoLaterInstall) {
    for (const char* name : {"uninstall.exe", "Korvel2013.ARX"}) {
        for (const bool upgrade : {false, true}) {
            Machine m(true);
            m.image = "setup program";
            const std::string before = m.Snapshot();
            ASSERT_EQ(m.Install(), kExitFinished);
            const std::string path = std::string(kFolder) + "\\" + name;
            m.files.SetLinks(path, 2);
            if (upgrade) {
                m.image = "setup program 2";
                m.files.AddFile(m.files.modulePath, m.image);
            }
            EXPECT_EQ(m.Install(), kExitFinished) << name << upgrade << "\n" << m.shown;
            Protection protection;
            EXPECT_TRUE(m.files.ReadProtection(path, protection) && protection.links == 1) << name << upgrade;
            m.files.AddFile(m.files.modulePath, "setup program");
            EXPECT_EQ(m.Uninstall(), kExitFinished) << name << upgrade;
            EXPECT_EQ(Diff(m.Snapshot(), before), "") << name << upgrade;
        }
    }
}

// Started under any name an install places it by, the uninstaller works on its own folder; a
// name near one of those is an ordinary program's.
TEST(Undo, TheUninstallerIsKnownByEachOfItsNames) {
    for (const char* name : {"uninstall.exe", "UNINSTALL.EXE", "uninstall-2.exe", "Uninstall-10.EXE", "uninstall-99.exe"})
        EXPECT_TRUE(IsUninstallerName(name)) << name;
    for (const char* name : {"uninstall-1.exe", "uninstall-02.exe", "uninstall-100.exe", "uninstall-.exe",
                             "uninstall-2x.exe", "uninstall-2.exe.new", "uninstall.exe.old", "xuninstall.exe"})
        EXPECT_FALSE(IsUninstallerName(name)) << name;
    for (int n = 1; n <= kUninstallerNames; ++n) EXPECT_TRUE(IsUninstallerName(UninstallerName(n))) << n;
}

TEST(Undo, AKilledRunAgainIsHandedTheEntryOnlyOnceItsUninstallerIsThere) {
    int handed = 0, dropped = 0;
    for (int at = 1; at < 40; ++at) {
        Machine m(true);
        ASSERT_EQ(m.Install("D:\\P\\C"), kExitFinished);
        ASSERT_EQ(m.Install("C:\\A"), kExitFinished);
        ASSERT_EQ(m.Uninstall(nullptr, "D:\\P\\C\\Korvel-Tarnwick"), kExitFinished);
        if (m.Install("D:\\P\\C", at) != -1) break;
        if (m.registry.GetText(kHkeyLocalMachine, kUninstallKey, "InstallLocation") != "C:\\A\\Korvel-Tarnwick") continue;
        UninstallRun* run = nullptr;
        m.Uninstall(&run, "C:\\A\\Korvel-Tarnwick");
        for (const LeftBehind& left : run->result.left)
            EXPECT_EQ(left.what.find("Korvel-Tarnwick\\"), std::string::npos) << at << " " << left.what << " " << left.why;
        if (!m.registry.KeyExists(kHkeyLocalMachine, kUninstallKey)) {
            ++dropped;
            EXPECT_FALSE(m.registry.KeyExists(kHkeyLocalMachine, kActiveSetupKey)) << at;
            continue;
        }
        ++handed;
        EXPECT_EQ(m.registry.GetText(kHkeyLocalMachine, kUninstallKey, "UninstallString"),
                  "\"D:\\P\\C\\Korvel-Tarnwick\\uninstall.exe\" /uninstall") << at;
        EXPECT_EQ(m.files.Content("D:\\P\\C\\Korvel-Tarnwick\\uninstall.exe"), "setup program") << at;
        // What it was handed goes with it: none names its uninstaller once it is gone.
        m.Uninstall(nullptr, "D:\\P\\C\\Korvel-Tarnwick");
        EXPECT_EQ(CodePointerFault(m), "") << at;
    }
    EXPECT_GT(dropped, 0);
    EXPECT_GT(handed, 0);

    // Killed once it had written the entry's InstallLocation, no more; then A, C, A, without
    // administrator rights. C's uninstall handed the entry on to it with what C's values had
    // replaced, A's, which named A's uninstaller, removed by then.
    int named = 0;
    for (int at = 1; at < 40; ++at) {
        Machine m;
        if (m.Install("C:\\B", at) != -1) break;
        const RegKey root = m.registry.KeyExists(kHkeyCurrentUser, kUninstallKey) ? kHkeyCurrentUser : kHkeyLocalMachine;
        if (m.registry.GetText(root, kUninstallKey, "InstallLocation") != "C:\\B\\Korvel-Tarnwick" ||
            !m.registry.GetText(root, kUninstallKey, "UninstallString").empty())
            continue;
        ++named;
        for (const char* folder : {"C:\\A", "D:\\P\\C", "C:\\A"}) ASSERT_EQ(m.Install(folder), kExitFinished) << at;
        for (const char* folder : {"C:\\A\\Korvel-Tarnwick", "D:\\P\\C\\Korvel-Tarnwick"}) m.Uninstall(nullptr, folder);
        for (const char* name : {"UninstallString", "QuietUninstallString"}) {
            const std::string text = m.registry.GetText(root, kUninstallKey, name);
            EXPECT_TRUE(text.empty() || m.files.IsFile(text.substr(1, text.find('"', 1) - 1))) << at << " " << text;
        }
    }
    EXPECT_GT(named, 0);
}

// A user links a file of the plug-in's from a folder of theirs (they may read it) the moment it is
// in place, in the run that places it (a loop of CreateHardLink, or an opportunistic lock that
// pauses the run at its next open, wins that race), or before a repair writes it again. The second
// name gives the user nothing of the file (its rights are the file's), so no install stops for it.
TEST(Undo, AUsersHardLinkMadeDuringTheRunRefusesNoInstall) {
    for (const char* name : {"uninstall.exe", "Korvel2013.ARX"}) {
        for (const bool repair : {false, true}) {
            Machine m(true);
            m.image = "setup program";
            if (repair) {
                ASSERT_EQ(m.Install(), kExitFinished) << name;
            }
            const std::string path = std::string(kFolder) + "\\" + name;
            m.files.copied = [&m, path](const std::string&) {
                if (m.files.IsFile(path)) m.files.SetLinks(path, 2);
            };
            EXPECT_EQ(m.Install(), kExitFinished) << name << " repair " << repair << "\n" << m.shown;
        }
    }
}

// A plug-in's folder the administrators own but users could add to (an earlier version's, one an
// administrator made under the drive's root) is taken back at the install's start. A user
// who made a file there under a name the install writes (a module, the uninstaller) opened it
// beforehand with WRITE_DAC, which its owner always may, and keeps that handle: the relock does not
// take an open handle's rights away, and a handle with no data access leaves the install's
// exclusive open free. Written over in place, the file the values then name stays the user's to
// re-permit and write, once the values are written (modelled here: a file object the install did
// not make anew is written by the user after the install). So it is when the file is an earlier
// install's, which its rights let users write until the relock. Every
// value names a file the run made.
TEST(Undo, AFileAUserMadeInATakenBackFolderIsNeverNamedInPlace) {
    for (const char* name : {"uninstall.exe", "Korvel2013.ARX"})
    for (const bool earlier : {false, true}) {
        Machine m(true);
        m.image = "setup program";
        m.files.AddFolder("C:\\Korvel");
        m.files.SetOthersRights("C:\\Korvel", kRead);
        const std::string path = std::string(kFolder) + "\\" + name;
        if (earlier) {
            ASSERT_EQ(m.Install(), kExitFinished);
            m.files.SetOthersRights(path, kRightsAll);
        } else {
            m.files.AddFile(path, "a user's file");
            m.files.SetOwnedByOthers(path);
        }
        m.files.SetOthersRights(kFolder, kRead | kRightWriteData | kRightAppendData);
        const std::uint64_t theirs = m.files.ObjectOf(path);
        const int exit = m.Install();
        if (m.files.ObjectOf(path) == theirs) m.files.AddFile(path, "a user's program");
        for (const auto& value : {std::make_pair(std::string(kUninstallKey), "UninstallString"),
                                  std::make_pair(std::string(kActiveSetupKey), "StubPath"),
                                  std::make_pair(std::string(kKey2013) + "Applications\\Korvel2013", "LOADER")}) {
            const std::string named = NamedBy(m, value.first, value.second);
            EXPECT_TRUE(named.empty() || m.files.Content(named) != "a user's program")
                << name << (earlier ? " (earlier)" : "") << ": " << value.second << " names " << named << " (exit "
                << exit << ")";
        }
    }
}

namespace {

// The whole install of Machine::Install, through a seam of the test's own between the run and
// the machine's files (the moment another program acts).
int InstallThrough(Machine& m, Files& seam, const std::string& folder) {
    PromptDouble prompt;
    Journal journal(seam, m.codec);
    RecordingRegistry recordingRegistry(m.registry, journal);
    RecordingFiles recordingFiles(seam, journal);
    CodeGuard guard(recordingRegistry, recordingFiles);
    UndoRecorder recorder(journal, guard, recordingFiles,
                          {"Korvel-Tarnwick", "2025.01.21", "Tarnwick", "20250121", 2025, 1, ""});
    HostCatalogue catalogue(guard, recordingFiles, prompt);
    catalogue.ScanInstalledReleases();
    SetupMembers members;
    ViewDouble view(members);
    view.ticks.fill(0);
    for (int release : m.ticks) view.ticks[release] = 1;
    view.editText = folder;
    view.answers = {kIdOk};
    bool armed = true;
    NoLog log;
    InstallRun run(view, members, view.progress, catalogue, recordingFiles, m.processes, armed, log);
    run.SetJournal(&recorder);
    recorder.SetUser(m.processes.sid);
    run.OnInstall();
    m.shown.clear();
    for (const ViewDouble::Message& message : view.messages) m.shown += message.text + "\n";
    return run.ExitCode();
}

// A user's program at the plug-in's folder's name at a drive's root, in a folder they own.
bool UsersFolder(Machine& m, const std::string& path) {
    Protection protection;
    return m.files.IsFolder(path) && m.files.ReadProtection(path, protection) && !protection.administrativeOwner;
}

void LegacyLoader(Machine& m, const std::string& module) {
    RegKey key = 0;
    ASSERT_EQ(m.registry.CreateKey(kHkeyLocalMachine, (std::string(kKey2013) + "Applications\\Korvel2013").c_str(), key), 0);
    ASSERT_EQ(m.registry.SetString(key, "LOADER", module.c_str(), static_cast<std::uint32_t>(module.size())), 0);
    m.registry.CloseKey(key);
}

}  // namespace

// A folder set aside while the plug-in's folder is made anew never takes its name again: not one
// a user made beside a folder at a drive's root (where nothing is made anew, since its name would
// be free for a moment: the folder is relocked in place), not the earlier folder a user holds
// open and controls, whether the run went on or was killed. What the user put in it stays there.
TEST(Undo, AFolderSetAsideNeverTakesThePlugInFoldersPlace) {
    const std::string root = "C:\\Korvel-Tarnwick", loaderKey = std::string(kKey2013) + "Applications\\Korvel2013";
    const auto earlier = [](Machine& m, const std::string& own) {
        m.files.AddFolder(own);
        m.files.SetOthersRights(own, kRead, kRead);
        m.files.AddFile(own + "\\Korvel2013.ARX", "an earlier version's module");
        LegacyLoader(m, own + "\\Korvel2013.ARX");
    };
    for (const bool there : {false, true}) {
        Machine m(true);
        if (there) earlier(m, root);
        const std::uint64_t object = m.files.ObjectOf(root);
        m.files.AddFile(root + "~setaside\\Korvel2013.ARX", "a user's program");
        m.files.SetOwnedByOthers(root + "~setaside", "PC\\mallory");
        EXPECT_EQ(m.Install("C:"), kExitFinished) << m.shown;
        EXPECT_FALSE(UsersFolder(m, root));
        EXPECT_EQ(m.files.Content(root + "~setaside\\Korvel2013.ARX"), "a user's program");
        EXPECT_EQ(m.files.ObjectOf(root) == object, there);
        EXPECT_FALSE(std::any_of(m.files.calls.begin(), m.files.calls.end(),
                                 [](const std::string& call) { return call.rfind("MoveEntry(", 0) == 0; }));
    }
    // The earlier folder, held open by a user who controls it through a handle kept from before:
    // a file added through it keeps it from being removed, and it is still there at the next
    // install (the first one uninstalled); or the run is killed just as it would be removed.
    for (const bool killed : {false, true}) {
        Machine m(true);
        m.files.AddFolder("C:\\Korvel");
        m.files.SetOthersRights("C:\\Korvel", kRead, kRead);
        earlier(m, kFolder);
        const std::string aside = std::string(kFolder) + "~setaside";
        struct Holder : ForwardingFiles {
            Holder(FileDouble& f, std::string a, bool k) : ForwardingFiles(f), files(f), aside(std::move(a)), kill(k) {}
            bool RemoveFolder(const std::string& path) override {
                if (EqualsNoCase(path, aside) && !done) {
                    done = true;
                    files.AddFile(aside + "\\keep.txt", "the user's");
                    files.SetOwnedByOthers(aside + "\\keep.txt", "PC\\mallory");
                    files.SetOthersRights(aside, kRightsAll, kRightsAll);
                    if (kill) throw Killed{};
                }
                return ForwardingFiles::RemoveFolder(path);
            }
            FileDouble& files;
            std::string aside;
            bool kill, done = false;
        } holder(m.files, aside, killed);
        try {
            EXPECT_EQ(InstallThrough(m, holder, "C:\\Korvel"), kExitFinished) << m.shown;
            EXPECT_TRUE(m.files.IsFolder(aside));
            EXPECT_EQ(m.Uninstall(), kExitFinished);
        } catch (const Killed&) {
            EXPECT_TRUE(killed);
        }
        const int exit = m.Install();
        Protection protection;
        const std::string loader = m.registry.GetText(kHkeyLocalMachine, loaderKey, "LOADER");
        ASSERT_TRUE(m.files.ReadProtection(kFolder, protection));
        EXPECT_FALSE(protection.othersRights & kRightWriteDac) << exit << " " << loader << "\n" << m.shown;
        EXPECT_TRUE(protection.administrativeOwner);
        EXPECT_FALSE(m.files.IsFile(std::string(kFolder) + "\\keep.txt"));
        EXPECT_EQ(m.files.Content(aside + "\\keep.txt"), "the user's");
        EXPECT_NE(m.shown.find(aside), std::string::npos) << m.shown;
    }
}

namespace {

// What Windows reads for a path: "X:" (no backslash) names the current folder on drive X, not the
// drive's root; the double reads it as the root. Otherwise the machine's files as they are.
struct DriveRelativeFiles : ForwardingFiles {
    explicit DriveRelativeFiles(FileDouble& f) : ForwardingFiles(f), files(f) {}
    bool ReadProtection(const std::string& path, Protection& protection) override {
        if (path.size() == 2 && path[1] == ':' && EqualsNoCase(path, files.currentFolder.substr(0, 2)))
            return ForwardingFiles::ReadProtection(files.currentFolder, protection);
        return ForwardingFiles::ReadProtection(path, protection);
    }
    FileDouble& files;
};

// The plug-in's folder as an earlier version left it there, copied in by hand (no install made
// it), in a folder of its own: users may read both, and no more.
void FolderOfUnknownHistory(Machine& m) {
    m.files.AddFolder("C:\\Korvel");
    m.files.SetOthersRights("C:\\Korvel", kRead, kRead);
    m.files.AddFolder(kFolder);
    m.files.SetOthersRights(kFolder, kRead, kRead);
}

// A user who controls the folder set aside through a handle kept to it: as the run moves
// `trigger` out of it, they take every right on it and put a file of their own in the place of
// `victim` (theirs: its object), held open once it is moved (hold) so that nothing replaces it.
struct SwapOnMove : ForwardingFiles {
    SwapOnMove(FileDouble& f, std::string trigger, std::string victim, std::string content, bool hold)
        : ForwardingFiles(f), files(f), aside(std::string(kFolder) + "~setaside"), trigger(std::move(trigger)),
          victim(std::move(victim)), content(std::move(content)), hold(hold) {}
    bool MoveEntry(const std::string& from, const std::string& to) override {
        if (EqualsNoCase(from, aside + "\\" + trigger)) {
            files.SetOthersRights(aside, kRightsAll, kRightsAll);
            files.Remove(aside + "\\" + victim);
            files.AddFile(aside + "\\" + victim, content);
            files.SetOwnedByOthers(aside + "\\" + victim, "PC\\mallory");
            theirs = files.ObjectOf(aside + "\\" + victim);
        }
        const bool moved = ForwardingFiles::MoveEntry(from, to);
        if (hold && moved && EqualsNoCase(from, aside + "\\" + victim)) files.SetLocked(to);
        return moved;
    }
    FileDouble& files;
    std::string aside, trigger, victim, content;
    bool hold;
    std::uint64_t theirs = 0;
};

}  // namespace

// At a drive's root the plug-in's folder is never made anew (its name is free for a moment, and
// any user may add a folder there), whatever folder the run's current folder on that drive is:
// an elevated run's is often the system folder, which only administrators may add to.
TEST(Undo, AtADriveRootTheFolderIsNeverMadeAnewWhateverTheCurrentFolder) {
    const std::string root = "C:\\Korvel-Tarnwick", loaderKey = std::string(kKey2013) + "Applications\\Korvel2013";
    Machine m(true);
    m.files.AddFolder("C:\\Windows\\System32");
    m.files.SetOthersRights("C:\\Windows\\System32", kRead, kRead);
    m.files.currentFolder = "C:\\Windows\\System32";
    m.files.AddFolder(root);
    m.files.SetOthersRights(root, kRead, kRead);
    m.files.AddFile(root + "\\Korvel2013.ARX", "an earlier version's module");
    LegacyLoader(m, root + "\\Korvel2013.ARX");
    // A user who waits for the name to be free takes it (a folder made at the root is theirs).
    struct Racer : DriveRelativeFiles {
        Racer(FileDouble& f, std::string o) : DriveRelativeFiles(f), own(std::move(o)) {}
        bool MakeFolderAnew(const std::string& path, const std::string& earlier) override {
            if (EqualsNoCase(path, own) && !files.IsFolder(own)) {
                files.AddFolder(own);
                files.SetOwnedByOthers(own, "PC\\mallory");
                files.AddFile(own + "\\Korvel2013.ARX", "a user's program");
                files.SetOwnedByOthers(own + "\\Korvel2013.ARX", "PC\\mallory");
            }
            return DriveRelativeFiles::MakeFolderAnew(path, earlier);
        }
        std::string own;
    } racer(m.files, root);
    const int exit = InstallThrough(m, racer, "C:");
    EXPECT_FALSE(std::any_of(m.files.calls.begin(), m.files.calls.end(),
                             [](const std::string& call) { return call.rfind("MoveEntry(", 0) == 0; }))
        << exit;
    EXPECT_FALSE(UsersFolder(m, root)) << exit << "\n" << m.shown;
    EXPECT_NE(m.files.Content(m.registry.GetText(kHkeyLocalMachine, loaderKey, "LOADER")), "a user's program");
}

// While the plug-in's folder is made anew, the folder set aside is the one a user may still
// control through a handle kept from before: a file they put in it under a name listed (their own
// file, which they hold open) is never carried into the plug-in's folder unnamed, where their
// handle would still write it after the relock.
TEST(Undo, AFileAUserSwapsIntoTheFolderSetAsideIsNeverCarriedOverUnnamed) {
    Machine m(true);
    FolderOfUnknownHistory(m);
    m.files.AddFile(std::string(kFolder) + "\\notes.txt", "an administrator's");
    m.files.AddFile(std::string(kFolder) + "\\zz.txt", "an administrator's");
    SwapOnMove swapper(m.files, "notes.txt", "zz.txt", "the user's", false);
    const int exit = InstallThrough(m, swapper, "C:\\Korvel");
    ASSERT_NE(swapper.theirs, 0u);
    const std::string zz = std::string(kFolder) + "\\zz.txt";
    const bool carried = m.files.ObjectOf(zz) == swapper.theirs;
    EXPECT_FALSE(carried && m.shown.find(zz) == std::string::npos)
        << "the user's file, held open, carried into the plug-in's folder unnamed; exit " << exit << "\n" << m.shown;
}

// A file a user owns in a plug-in folder of unknown history (whose rights others have since lost)
// is named to the administrator, as any file a user may have left there.
TEST(Undo, AFileAUserOwnsInAFolderOfUnknownHistoryIsNamed) {
    Machine m(true);
    FolderOfUnknownHistory(m);
    const std::string planted = std::string(kFolder) + "\\version.dll";
    m.files.AddFile(planted, "a user's program");
    m.files.SetOwnedByOthers(planted, "PC\\mallory");
    const int exit = m.Install();
    // Not carried into the folder made anew: left beside it, and named.
    EXPECT_FALSE(m.files.IsFile(planted));
    EXPECT_NE(m.shown.find(std::string(kFolder) + "~setaside\\version.dll"), std::string::npos) << exit << "\n" << m.shown;
}

// A folder set aside that a user made (the folder that holds it let users add to it once, and
// an administrator closed it since) is not taken for one a run of this program left.
TEST(Undo, AFolderSetAsideAUserMadeBelowAFolderClosedSinceIsNotTakenBack) {
    Machine m(true);
    m.files.AddFolder("C:\\Korvel");
    m.files.SetOthersRights("C:\\Korvel", kRead, kRead);
    const std::string aside = std::string(kFolder) + "~setaside";
    m.files.AddFile(aside + "\\version.dll", "a user's program");
    m.files.SetOwnedByOthers(aside, "PC\\mallory");
    m.files.SetOwnedByOthers(aside + "\\version.dll", "PC\\mallory");
    const int exit = m.Install();
    EXPECT_NE(m.files.Content(std::string(kFolder) + "\\version.dll"), "a user's program") << exit << "\n" << m.shown;
    EXPECT_EQ(m.Uninstall(), kExitFinished);
    EXPECT_FALSE(m.files.IsFolder(kFolder)) << "the plug-in's folder, made by the install, left by its uninstall";
}

// What a run ended part-way left aside (an administrator's files) never goes into a plug-in
// folder that another account owns: that folder is refused, and its owner could take them.
TEST(Undo, WhatWasSetAsideNeverGoesIntoAFolderAUserOwns) {
    Machine m(true);
    m.files.AddFolder("C:\\Korvel");
    m.files.SetOthersRights("C:\\Korvel", kRead, kRead);
    const std::string aside = std::string(kFolder) + "~setaside";
    m.files.AddFile(aside + "\\settings.ini", "an administrator's");
    m.files.AddFolder(kFolder);
    m.files.SetOwnedByOthers(kFolder, "PC\\mallory");
    const int exit = m.Install();
    EXPECT_NE(exit, kExitFinished);
    EXPECT_FALSE(m.files.IsFile(std::string(kFolder) + "\\settings.ini")) << exit << "\n" << m.shown;
    EXPECT_EQ(m.files.Content(aside + "\\settings.ini"), "an administrator's");
}

// A library's key that was the machine's own (an earlier version's, named by no record) when an
// install killed before it came to that key had taken the module key over: the install after it
// deleted it, and its uninstall puts it back, as no install wrote it.
TEST(Undo, AMachinesOwnLibraryKeyComesBackBehindAKilledInstall) {
    const std::string dllKey = std::string(kKey2013) + "Applications\\Korvel2013DLL";
    const std::string moduleKey = std::string(kKey2013) + "Applications\\Korvel2013";
    const std::string older = "C:\\Ancient\\ACAD2013.dll";
    int cases = 0;
    for (int n = 1; n < 400; ++n) {
        Machine m(true);
        m.files.AddFile(older, "an earlier version's library");
        m.registry.PutValue(kHkeyLocalMachine, dllKey, "LOADER", kRegSz, older + '\0');
        if (m.Install("D:\\Other", n) != -1) break;
        if (m.registry.GetText(kHkeyLocalMachine, moduleKey, "LOADER").rfind("D:\\Other", 0) != 0) continue;
        // Only the kills after the module key was taken over and before the library key was written.
        if (m.registry.GetText(kHkeyLocalMachine, dllKey, "LOADER") != older) continue;
        ++cases;
        ASSERT_EQ(m.Install(), kExitFinished) << n;
        ASSERT_EQ(m.Uninstall(), kExitFinished) << n;
        EXPECT_EQ(m.registry.GetText(kHkeyLocalMachine, dllKey, "LOADER"), older) << n << " after the later install's uninstall";
        m.Uninstall(nullptr, "D:\\Other\\Korvel-Tarnwick");
        EXPECT_EQ(m.registry.GetText(kHkeyLocalMachine, dllKey, "LOADER"), older) << n << " after both";
    }
    EXPECT_GT(cases, 0);
}

// The same swap, of the earlier version's module that a loader key names: the user's program,
// carried into the plug-in's folder under that name and then held open through the handle they
// kept to it, so that the package's copy cannot take its place. The loader key never ends up
// naming it.
TEST(Undo, AModuleAUserSwapsIntoTheFolderSetAsideIsNeverLoaded) {
    const std::string loaderKey = std::string(kKey2013) + "Applications\\Korvel2013";
    Machine m(true);
    FolderOfUnknownHistory(m);
    m.files.AddFile(std::string(kFolder) + "\\a.txt", "an administrator's");
    m.files.AddFile(std::string(kFolder) + "\\Korvel2013.ARX", "an earlier version's module");
    LegacyLoader(m, std::string(kFolder) + "\\Korvel2013.ARX");
    SwapOnMove swapper(m.files, "a.txt", "Korvel2013.ARX", "a user's program", true);
    const int exit = InstallThrough(m, swapper, "C:\\Korvel");
    const std::string loader = m.registry.GetText(kHkeyLocalMachine, loaderKey, "LOADER");
    // Carried in, it is not the administrators': it would go back, but is held there. The run
    // stops, naming it, and writes nothing: the loader that names it is the machine's own from
    // before, which the handle the user kept could point at their file anyway.
    EXPECT_EQ(exit, kExitCancelled) << loader << "\n" << m.shown;
    EXPECT_NE(m.shown.find(std::string(kFolder) + "\\Korvel2013.ARX"), std::string::npos) << m.shown;
    EXPECT_FALSE(m.registry.KeyExists(kHkeyLocalMachine, kUninstallKey));
}

// An administrator's file no package has, in a folder no install made, that a user linked from a
// folder of theirs: not relocked, and not left under the user's name only. It stays where it was,
// named.
TEST(Undo, AnAdministratorsFileAUserLinkedIsNotLeftOnlyUnderTheirName) {
    const std::string custom = std::string(kFolder) + "\\custom.lsp";
    Machine m(true);
    FolderOfUnknownHistory(m);
    m.files.AddFile(custom, "the administrator's own routines");
    m.files.SetLinks(custom, 2);
    EXPECT_EQ(m.Install(), kExitFinished) << m.shown;
    const std::string aside = std::string(kFolder) + "~setaside\\custom.lsp";
    EXPECT_EQ(m.files.Content(aside), "the administrator's own routines");
    EXPECT_NE(m.shown.find(aside), std::string::npos) << m.shown;
}

// A loader key a later install took over, left to it by the earlier install's uninstall; the
// earlier one is installed again without that release. The later one's uninstall does not make
// the key again with the earlier values, which name a module no record holds the key for (its
// install would leave it naming a folder it removes). With the key deleted, or its values written
// over (it has a sub-key).
TEST(Undo, ALoaderKeyIsNotMadeAgainForAnInstallThatNoLongerHoldsIt) {
    const std::string module = std::string(kKey2008) + "Applications\\Korvel2008";
    for (bool subKey : {false, true}) {
        Machine m(true);
        if (subKey) m.registry.CreateKeyPath(kHkeyLocalMachine, module + "\\Commands");
        m.ticks = {1};
        const std::string before = m.Snapshot();
        ASSERT_EQ(m.Install("C:\\A"), kExitFinished);
        ASSERT_EQ(m.Install("C:\\B"), kExitFinished);
        ASSERT_EQ(m.Uninstall(nullptr, "C:\\A\\Korvel-Tarnwick"), kExitFinished);
        m.ticks = {6};
        ASSERT_EQ(m.Install("C:\\A"), kExitFinished);
        EXPECT_EQ(m.Uninstall(nullptr, "C:\\B\\Korvel-Tarnwick"), kExitFinished) << subKey;
        EXPECT_EQ(CodePointerFault(m), "") << subKey;
        EXPECT_EQ(m.Uninstall(nullptr, "C:\\A\\Korvel-Tarnwick"), kExitFinished) << subKey;
        EXPECT_EQ(CodePointerFault(m), "") << subKey;
        EXPECT_EQ(Diff(m.Snapshot(), before), "") << subKey;
    }
}

// An install killed part-way between others, and installs run again after it: whichever kill
// point, as they are uninstalled, no library's key is left naming the host's library that one of
// them removed (no record held that key any more). Installs are written "B", the killed one
// "*C", uninstalls "-B".
TEST(Undo, NoLibraryKeyOutlivesTheHostLibraryItNames) {
    const std::map<char, std::string> folders = {{'A', "C:\\A"}, {'B', "C:\\B"}, {'C', "D:\\P\\C"}};
    for (const std::vector<std::string>& runs : {std::vector<std::string>{"B", "*C", "A", "B", "-B", "-A", "-C"},
                                                std::vector<std::string>{"B", "*A", "C", "B", "C", "-C", "-B", "-A"},
                                                std::vector<std::string>{"B", "A", "B", "-B", "*B", "A", "-A", "-B"}}) {
        int cases = 0;
        for (int n = 1; n < 400; ++n) {
            Machine m(true);
            bool killed = true;
            for (const std::string& run : runs) {
                const std::string folder = folders.at(run.back());
                if (run[0] == '*') {
                    killed = m.Install(folder, n) == -1;
                    if (!killed) break;
                } else if (run[0] == '-') {
                    m.Uninstall(nullptr, folder + "\\Korvel-Tarnwick");
                    ASSERT_EQ(CodePointerFault(m), "") << n << " after " << run;
                } else {
                    ASSERT_EQ(m.Install(folder), kExitFinished) << n << " " << run;
                }
            }
            if (!killed) break;
            ++cases;
        }
        EXPECT_GT(cases, 50);
    }
}

// The 2013 module's key held an older version's loader. An install into A was killed after it
// deleted that key and before it made it again; B then found no key and made it as new, and A
// was run again over B's. Whichever order they are uninstalled in, the older version's loader
// comes back: A's uninstall, finding the key B's, hands on what was there before A, which B's
// record never saw.
TEST(Undo, AKeyAKilledInstallDeletedComesBackWhicheverIsUninstalledFirst) {
    const std::string module = std::string(kKey2013) + "Applications\\Korvel2013";
    for (const bool aFirst : {true, false}) {
        int cases = 0;
        for (int n = 1; n < 400; ++n) {
            Machine m(true);
            const std::string before = m.Snapshot();
            if (m.Install("C:\\A", n) != -1) break;
            if (!m.registry.GetText(kHkeyLocalMachine, module, "LOADER").empty()) continue;  // not between the two
            ++cases;
            ASSERT_EQ(m.Install("C:\\B"), kExitFinished) << n;
            ASSERT_EQ(m.Install("C:\\A"), kExitFinished) << n;
            for (const char* folder : aFirst ? std::vector<const char*>{"C:\\A", "C:\\B"} : std::vector<const char*>{"C:\\B", "C:\\A"})
                m.Uninstall(nullptr, std::string(folder) + "\\Korvel-Tarnwick");
            ASSERT_EQ(Diff(m.Snapshot(), before), "") << n << (aFirst ? " A first" : " B first");
        }
        EXPECT_GT(cases, 0);
    }
    // Only the machine's own state is handed on, and only to a record that holds no other
    // install's: after A (killed), B, C over B, B over C and A, A's uninstall leaves the key to B
    // and B's to C, which is still there; no loader is left into a folder gone at the end.
    for (int n = 1; n < 400; ++n) {
        Machine m(true);
        if (m.Install("C:\\A", n) != -1) break;
        if (!m.registry.GetText(kHkeyLocalMachine, module, "LOADER").empty()) continue;
        for (const char* folder : {"C:\\B", "C:\\C", "C:\\B", "C:\\A"}) ASSERT_EQ(m.Install(folder), kExitFinished);
        const char* const owners[] = {"C:\\B\\", "C:\\C\\"};
        for (int i = 0; i < 2; ++i) {
            m.Uninstall(nullptr, std::string(i ? "C:\\B" : "C:\\A") + "\\Korvel-Tarnwick");
            EXPECT_EQ(m.registry.GetText(kHkeyLocalMachine, module, "LOADER").rfind(owners[i], 0), 0u) << n << " " << i;
        }
        m.Uninstall(nullptr, "C:\\C\\Korvel-Tarnwick");
        EXPECT_EQ(LoadersIntoGoneFolders(m), "") << n;
    }
    // A state a killed run of ours found there is an install's, not one handed on: A killed
    // before its key had a LOADER, B, A killed again just after it deleted B's key; B
    // uninstalled, then A.
    std::set<bool> tried;  // the first kill leaving the key gone, and leaving it empty
    for (int first = 1; first < 400 && tried.size() < 2; ++first) {
        Machine probe(true);
        if (probe.Install("C:\\A", first) != -1) break;
        if (!probe.registry.GetText(kHkeyLocalMachine, module, "LOADER").empty() ||
            !tried.insert(probe.registry.KeyExists(kHkeyLocalMachine, module)).second)
            continue;
        for (int n = 1; n < 400; ++n) {
            Machine m(true);
            const std::string before = m.Snapshot();
            m.Install("C:\\A", first);
            ASSERT_EQ(m.Install("C:\\B"), kExitFinished);
            if (m.Install("C:\\A", n) != -1) break;
            if (m.registry.KeyExists(kHkeyLocalMachine, module)) continue;
            for (const char* folder : {"C:\\B", "C:\\A"}) m.Uninstall(nullptr, std::string(folder) + "\\Korvel-Tarnwick");
            ASSERT_EQ(Diff(m.Snapshot(), before), "") << first << " " << n;
        }
    }
    // Lines that make the key after the state handed on (other uninstalls handing on keys they
    // made) leave it what was there before: A, B killed once it deleted A's key, C; uninstalled
    // A, B, C.
    for (int n = 1; n < 400; ++n) {
        Machine m(true);
        const std::string before = m.Snapshot();
        ASSERT_EQ(m.Install("C:\\A"), kExitFinished);
        if (m.Install("C:\\B", n) != -1) break;
        if (m.registry.KeyExists(kHkeyLocalMachine, module)) continue;
        ASSERT_EQ(m.Install("C:\\C"), kExitFinished);
        for (const char* folder : {"C:\\A", "C:\\B", "C:\\C"}) m.Uninstall(nullptr, std::string(folder) + "\\Korvel-Tarnwick");
        ASSERT_EQ(Diff(m.Snapshot(), before), "") << n;
    }
    // Nor is the machine's own loader our repeated run found (an administrator wrote it since):
    // where it may not be named (a file users may change), the state from before our first run
    // comes back instead, whether that run was whole or killed once it had deleted the key.
    for (int n = 0; n < 400; ++n) {
        Machine m(true);
        m.files.SetOthersRights("C:\\Users\\Public", kRead | kRightWriteData | kRightAppendData, kRead | kRightWriteData);
        ASSERT_EQ(m.Install("C:\\A"), kExitFinished);
        m.registry.PutString(kHkeyLocalMachine, module, "LOADER", "C:\\Users\\Public\\evil.arx");
        if (m.Install("C:\\A", n) != (n ? -1 : kExitFinished)) break;
        m.Uninstall(nullptr, "C:\\A\\Korvel-Tarnwick");
        const std::string loader = m.registry.GetText(kHkeyLocalMachine, module, "LOADER");
        EXPECT_TRUE(loader == "C:\\Ancient\\Korvel2013.ARX" || (n && loader == "C:\\Users\\Public\\evil.arx")) << n << " " << loader;
    }
    // Not a state handed on: a library's key whose older values a repeated install, killed
    // after it deleted the key again, had found the first time (its LOADER names the host's
    // library, outside the plug-in's folder, whichever install wrote it).
    const std::string library = module + "DLL";
    for (int n = 1; n < 400; ++n) {
        Machine m(true);
        m.registry.CreateKeyPath(kHkeyLocalMachine, module + "\\Commands");
        m.registry.PutString(kHkeyLocalMachine, library, "LOADER", "C:\\Ancient\\Korvel2013.ARX");
        m.registry.PutDword(kHkeyLocalMachine, library, "LOADCTRLS", 2);
        const std::string before = m.Snapshot();
        ASSERT_EQ(m.Install("C:\\A"), kExitFinished);
        if (m.Install("C:\\A", n) != -1) break;
        m.Uninstall(nullptr, "C:\\A\\Korvel-Tarnwick");
        ASSERT_EQ(Diff(m.Snapshot(), before), "") << n;
    }
}

// What a killed run left set aside, and a plug-in folder found there to which users may add: a
// folder a user makes in it while the run looks would be taken for one of its own, and the
// administrators' files moved into it. Nothing goes in; what is set aside stays, named. And a
// folder set aside that cannot be listed is named once.
TEST(Undo, WhatWasSetAsideGoesOnlyIntoAFolderNoOneElseMayAddTo) {
    struct UserAddsFolder : ForwardingFiles {
        UserAddsFolder(FileDouble& f, std::string at) : ForwardingFiles(f), files(f), path(std::move(at)) {}
        std::uint32_t ReadAttributes(const std::string& p) override {
            if (!done && EqualsNoCase(p, path)) {
                done = true;
                files.AddFolder(path);
                files.SetOwnedByOthers(path, "PC\\mallory");
            }
            return ForwardingFiles::ReadAttributes(p);
        }
        FileDouble& files;
        std::string path;
        bool done = false;
    };
    const std::string own = "C:\\Apps\\Korvel-Tarnwick", aside = own + "~setaside";
    {
        FileDouble f;
        f.AddFolder("C:\\");
        ASSERT_TRUE(f.CreateLockedFolder("C:\\Apps"));
        f.AddFolder(own);
        f.SetOthersRights(own, kRightWriteData | kRightAppendData, kRightWriteData | kRightAppendData);
        f.AddFile(aside + "\\sub\\Korvel2018.ARX", "the plug-in's module");
        UserAddsFolder racer(f, own + "\\sub");
        const PreparedFolders prepared = PrepareInstallFolders(racer, "C:\\Apps", "\\Korvel-Tarnwick", true);
        EXPECT_FALSE(f.IsFile(own + "\\sub\\Korvel2018.ARX")) << static_cast<int>(prepared.outcome);
        EXPECT_EQ(f.Content(aside + "\\sub\\Korvel2018.ARX"), "the plug-in's module");
        EXPECT_NE(std::find(prepared.left.begin(), prepared.left.end(), aside), prepared.left.end());
    }
    {
        FileDouble f;
        f.AddFolder("C:\\");
        ASSERT_TRUE(f.CreateLockedFolder("C:\\Apps"));
        f.AddFile(own + "\\Korvel2018.ARX", "the plug-in's module");
        f.FailListing(aside);
        const PreparedFolders prepared = PrepareInstallFolders(f, "C:\\Apps", "\\Korvel-Tarnwick", true);
        EXPECT_EQ(std::count(prepared.left.begin(), prepared.left.end(), aside), 1);
    }
}

// A record an earlier build keeps for a folder named with double-byte letters ("ωmega"), under
// the key it made by upper-casing ASCII letters alone, is found still.
TEST(Undo, AnEarlierBuildsRecordForAFolderOfOtherLettersIsFound) {
    Machine m(true);
    const std::string folder = "C:\\\xA6\xD8mega\\Korvel-Tarnwick";
    const std::string root = "C:\\ProgramData\\Korvel-Tarnwick";
    const std::string earlier = root + "\\" + Sha256Hex(UpperAsciiLetters(folder)).substr(0, 16);
    ASSERT_NE(earlier, ProtectedRecordFolder(root, folder));
    ASSERT_TRUE(m.files.CreateLockedFolder(root));
    ASSERT_TRUE(m.files.CreateLockedFolder(earlier));
    std::string found, recordFolder;
    ASSERT_TRUE(FindProtectedRecord(m.files, folder, found, recordFolder));
    EXPECT_EQ(recordFolder, earlier);
}

// One folder under two spellings, its long name and its short (8.3) one: whichever a run is
// handed, each install is the others' again, and the uninstall leaves the machine as it was, with
// nothing named into the folder it removed. That holds too for an install of an earlier build,
// which kept the spelling it was typed in (the short name, when the folder was made by it) in its
// record and values.
TEST(Undo, AFolderTypedByAnotherSpellingIsTheOneItNames) {
    const std::string shortName = "C:\\KORVEL~1", longName = "C:\\Korvel Plug";
    struct Case {
        std::string first;          // typed for the first install; a short name: an earlier build's
        std::string again;          // typed for a second install ("": none)
        std::string uninstallFrom;  // the folder the uninstall is handed
    };
    const Case cases[] = {
        {longName, shortName, shortName},
        {shortName, "", shortName},
        {shortName, "", longName},
        {shortName, shortName, longName},
        {shortName, longName, shortName},
        {shortName, longName, longName},
        {"c:\\korvel~1", longName, longName},
    };
    for (const Case& c : cases) {
        const std::string name = c.first + ", " + c.again + " -> " + c.uninstallFrom;
        Machine m(true);
        const std::string before = m.Snapshot();
        ASSERT_EQ(m.Install(c.first), kExitFinished) << m.shown;  // no such short name yet: as typed
        if (c.first != longName) {
            ASSERT_TRUE(m.files.MoveEntry(c.first, c.first.substr(0, 3) + "Korvel Plug")) << name;
        }
        m.files.AddShortName(longName, "KORVEL~1");
        if (!c.again.empty()) {
            ASSERT_EQ(m.Install(c.again), kExitFinished) << name << m.shown;
        }
        EXPECT_EQ(m.Uninstall(nullptr, c.uninstallFrom + "\\Korvel-Tarnwick"), kExitFinished) << name;
        EXPECT_EQ(LoadersIntoGoneFolders(m), "") << name;
        EXPECT_EQ(Diff(m.Snapshot(), before), "") << name;
    }
}

// An administrators' folder there under a name that a typed one could not be, typed by its short
// name: refused as that name typed would be, before anything is made. Windows reads a trailing dot
// or blank as another name, a ';' splits every user's list of trusted paths, and a long name takes
// the install past the path buffers.
TEST(Undo, AFolderWhoseNameATypedOneCouldNotBeIsRefused) {
    for (const std::string& stored : {std::string("C:\\Plug."), std::string("C:\\Korvel "),
                                      std::string("C:\\Tools;Korvel"), "C:\\" + std::string(250, 'k')}) {
        Machine m(true);
        m.files.AddFolder(stored);
        m.files.SetOthersRights(stored, kRead, kRead);
        m.files.AddShortName(stored, "ODD~1");
        const std::string before = m.Snapshot();
        EXPECT_NE(m.Install("C:\\ODD~1"), kExitFinished) << stored;
        EXPECT_EQ(Diff(m.Snapshot(), before), "") << stored;
    }
}

// A library's key that no record holds (another product's, the 32-bit view's), naming the host's
// library the uninstall removes, that also holds a value of someone else's too large to be
// listed: the listing breaking off is not its end, and the key is not deleted with that value.
TEST(Undo, ALibraryKeyWhoseValuesCannotAllBeListedKeepsThem) {
    Machine m(true);
    m.ticks = {6};
    ASSERT_EQ(m.Install("C:\\A"), kExitFinished);
    const std::string library = std::string(kHost2013) + "ACAD2013.dll";
    ASSERT_TRUE(m.files.IsFile(library));
    const std::string key = "SOFTWARE\\Wow6432Node\\Autodesk\\AutoCAD\\R19.0\\ACAD-B001:804\\Applications\\Korvel2013DLL";
    m.registry.PutValue(kHkeyLocalMachine, key, "LOADER", kRegSz, library);
    m.registry.PutValue(kHkeyLocalMachine, key, "VendorNotes", kRegBinary, std::string(kLargestValueRead + 1, 'x'));
    m.Uninstall(nullptr, "C:\\A\\Korvel-Tarnwick");
    ASSERT_FALSE(m.files.IsFile(library));
    std::uint32_t type = 0;
    std::string bytes;
    EXPECT_TRUE(m.registry.GetValue(kHkeyLocalMachine, key, "VendorNotes", type, bytes));
    EXPECT_EQ(m.registry.GetText(kHkeyLocalMachine, key, "LOADER"), "");
}

// The unattended install over the same machine as the dialog's tests, wired as start-up wires
// it: the catalogue over the logging registry and files, and messages answered into the log; with
// the undo record where the test needs it (a repeat, the package's uninstall).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "doubles/ProgressDouble.h"
#include "doubles/TextCodecDouble.h"
#include "journal/CodeGuard.h"
#include "journal/Recording.h"
#include "journal/UndoRecorder.h"
#include "journal/UninstallEntry.h"
#include "setup/InstallRunFixture.h"
#include "setup/LogPlace.h"
#include "setup/Unattended.h"
#include "setup/UninstallCommand.h"
#include "setuplog/LoggedPrompt.h"
#include "setuplog/LoggingFiles.h"
#include "setuplog/LoggingRegistry.h"

namespace {
const char* const kInstalled = "C:\\Korvel\\Korvel-Tarnwick";

// A machine of the fixture; several can exist in one test.
class Machine : public InstallRunFixture {
public:
    Machine() { SetUp(); }
    void TestBody() override {}

    int Unattended(std::vector<int> releases = {}, std::string folder = "C:\\Korvel", int bitness = 64) {
        HostCatalogue& used = recorded ? recordedCatalogue : logged;
        used.hostKeys = catalogue.hostKeys;
        used.hostFolders = catalogue.hostFolders;
        recorder.SetUser(processes.sid);
        recorder.SetLog(log);
        return RunUnattended(UnattendedChoice{releases, folder, ifPresent}, bitness, used,
                             recorded ? static_cast<Files&>(recordedFiles) : loggingFiles, processes, quiet, log,
                             recorded ? &recorder : nullptr, nullptr, &outcome);
    }
    // The package's SetUp.exe /uninstall /S, or (self) the uninstaller in a plug-in's folder.
    int UninstallFromPackage(const std::string& self = std::string()) {
        LoggingRegistry undoRegistry(registry, log, true);
        LoggingFiles undoFiles(files, log, true);
        ProgressDouble progress;
        return UninstallCommand(undoRegistry, undoFiles, codec, processes, quiet, progress, log)
            .Run(self.empty() ? files.modulePath : self, true);
    }
    bool recorded = false;       // the run keeps its undo record, lists itself, as start-up wires it
    std::vector<int> ifPresent;  // /RELEASES-IF-PRESENT=
    std::string outcome;  // the install run's account of its exit code
    // The registry below both roots, and every file under a folder with its content.
    std::string State(const std::string& folder = "C:") {
        std::string state = folder != "C:" ? "" : registry.Dump(kHkeyLocalMachine, "SOFTWARE") +
                                                      registry.Dump(kHkeyCurrentUser, "Software");
        for (const std::string& name : files.Children(folder + "\\")) {
            const std::string path = folder + "\\" + name;
            if (name == "." || name == "..") continue;
            state += path + (files.IsFolder(path) ? "\\\n" + State(path) : "=" + files.Content(path) + "\n");
        }
        return state;
    }

    LoggingRegistry loggingRegistry{registry, log};
    LoggingFiles loggingFiles{files, log};
    LoggedPrompt quiet{log, nullptr};
    HostCatalogue logged{loggingRegistry, loggingFiles, quiet};

    TextCodecDouble codec;
    Journal journal{files, codec};
    RecordingRegistry recordingRegistry{registry, journal};
    RecordingFiles recordingFiles{files, journal};
    CodeGuard guard{recordingRegistry, recordingFiles};
    LoggingRegistry recordedRegistry{guard, log};
    LoggingFiles recordedFiles{recordingFiles, log};
    UndoRecorder recorder{journal, guard, recordingFiles, {"Korvel-Tarnwick", "2025.01.21", "Tarnwick", "20250121", 2025, 1, ""}};
    HostCatalogue recordedCatalogue{recordedRegistry, recordedFiles, quiet};
};

bool NothingInstalled(Machine& m) {
    return !m.files.Exists("C:\\Korvel") && m.files.copies.empty() &&
           !m.registry.KeyExists(kHkeyLocalMachine, std::string(Machine::kKey2008) + "Applications");
}
}  // namespace

TEST(Unattended, InstallsExactlyWhatTheDialogsDefaultInstallDoesAndLogsEveryChange) {
    Machine gui, silent;
    ASSERT_EQ(gui.run.OnInstall(), SetupState::Finished);
    ASSERT_EQ(silent.Unattended(), kExitFinished);
    EXPECT_EQ(silent.State(), gui.State());
    EXPECT_NE(silent.State().find(std::string(kInstalled) + "\\Korvel2013.ARX="), std::string::npos);

    const LogDouble& log = silent.log;
    EXPECT_FALSE(log.Has("message:"));
    EXPECT_TRUE(log.Has("releases chosen: AutoCAD2008, AutoCAD2013"));
    EXPECT_TRUE(log.Has(std::string("install folder: ") + kInstalled));
    // Every copy, payload and support file alike, has its line; so has every registry write.
    int copied = 0;
    for (const FileDouble::CopyRecord& copy : silent.files.copies) {
        copied += copy.succeeded;
        EXPECT_TRUE(copy.succeeded && log.Has(" -> " + copy.destination)) << copy.destination;
    }
    EXPECT_EQ(static_cast<int>(log.With("copied ").size()), copied);
    // Library years the package lacks are one line for every host.
    EXPECT_EQ(log.With("not in the package"),
              std::vector<std::string>{"not in the package, not placed in the hosts (42 files): ACAD2008.dll to "
                                       "ACAD2012.dll, ACAD2014.dll to ACAD2050.dll"});
    // Keys and folders there before are said to be there, not made.
    EXPECT_TRUE(log.Has("registry key exists HKCU\\SOFTWARE\\Autodesk\\AutoCAD\\R19.0\\ACAD-B001:804\\Profiles"));
    EXPECT_FALSE(log.Has("registry key created HKCU"));
    EXPECT_EQ(log.With("folder made C:\\Korvel").size(), 2u);  // the folder and the plug-in's
    EXPECT_EQ(log.With("folder exists").size(), 1u);            // the plug-in's, made a step before
    EXPECT_FALSE(log.Has("copy failed"));
    EXPECT_TRUE(log.Has(std::string("registry value set HKLM\\") + Machine::kKey2013 +
                        "Applications\\Korvel2013 LOADER = \"" + kInstalled + "\\Korvel2013.ARX\""));
    EXPECT_TRUE(log.Has(std::string("registry value set HKLM\\") + Machine::kKey2008 +
                        "Applications\\Korvel2008DLL MANAGED = dword:1"));
    EXPECT_TRUE(log.Has("registry value set HKCU\\SOFTWARE\\Autodesk\\AutoCAD\\R19.0\\ACAD-B001:804\\Profiles"
                        "\\<<Unnamed Profile>>\\Variables TRUSTEDPATHS = \"C:\\Korvel\\Korvel-Tarnwick\""));
    // The loader keys are deleted before they are made; a key that was not there is no news.
    EXPECT_FALSE(log.Has("registry key deleted"));
    EXPECT_FALSE(log.Has("not deleted"));
    EXPECT_EQ(silent.loggingRegistry.PathOf(0x1234), "(key 0x1234)");
}

TEST(Unattended, InstallsOnlyTheNamedReleasesAndRefusesOnesNotFound) {
    Machine m;
    EXPECT_EQ(m.Unattended({2013}), kExitFinished);
    EXPECT_TRUE(m.log.Has("releases chosen: AutoCAD2013"));
    EXPECT_FALSE(m.registry.KeyExists(kHkeyLocalMachine, std::string(Machine::kKey2008) + "Applications"));
    EXPECT_EQ(m.Loader(Machine::kKey2013, "Korvel2013"), std::string(kInstalled) + "\\Korvel2013.ARX");
    EXPECT_FALSE(m.files.Exists(std::string(Machine::kHost2008) + "\\Fonts\\Korvel_EN.shx"));
    EXPECT_TRUE(m.files.IsFile(std::string(Machine::kHost2013) + "\\Fonts\\Korvel_EN.shx"));

    // Named but not installed here, or hidden by the 32-bit edition: nothing is done.
    for (const int bitness : {64, 32}) {
        Machine other;
        other.catalogue.hostFolders[16] = {"C:\\AutoCAD 2023"};
        EXPECT_EQ(other.Unattended({2013, bitness == 32 ? 2023 : 2018}, "C:\\Korvel", bitness), kExitBadCommandLine);
        EXPECT_TRUE(NothingInstalled(other));
        EXPECT_TRUE(other.log.Has("bad command line: AutoCAD20")) << other.log.lines.back();
    }
    Machine none;
    none.catalogue.hostFolders = {};
    none.catalogue.hostKeys = {};
    EXPECT_EQ(none.Unattended(), kExitNothingToInstall);
    EXPECT_TRUE(NothingInstalled(none));
}

TEST(Unattended, StopsWithoutAWindowWhereTheDialogWouldAsk) {
    {   // A running host stops the run at once; there is no second press.
        Machine m;
        m.processes.names = {"explorer.exe", "ACAD.EXE"};
        EXPECT_EQ(m.Unattended(), kExitHostRunning);
        EXPECT_TRUE(NothingInstalled(m));
        EXPECT_TRUE(m.log.Has("(unattended) 请关闭AutoCAD后再进行安装 !"));
        EXPECT_TRUE(m.log.Has("install stopped: AutoCAD is running"));
    }
    {   // A failed copy is answered with Abort: the copy stops and nothing is registered.
        Machine m;
        m.files.SetLocked(std::string(Machine::kData) + "\\Korvel2010.arx");
        EXPECT_EQ(m.Unattended(), kExitStopped);
        EXPECT_TRUE(m.log.Has("copy failed (error 32) C:\\Setup\\Data\\Korvel2010.arx -> C:\\Korvel\\Korvel-Tarnwick\\Korvel2010.arx"));
        // Nobody saw the message, nor answered it.
        EXPECT_EQ(m.log.With("(unattended) ").size(), 1u);
        EXPECT_FALSE(m.log.Has("answer: ") || m.log.Has("message: "));
        EXPECT_TRUE(m.log.Has("install stopped"));
        EXPECT_FALSE(m.registry.KeyExists(kHkeyLocalMachine, std::string(Machine::kKey2008) + "Applications"));
    }
    {   // The package is missing: stopped, with the message in the log.
        Machine m;
        m.recorded = true;
        m.files.Remove(Machine::kData);
        EXPECT_EQ(m.Unattended(), kExitStopped);
        EXPECT_TRUE(m.log.Has("(unattended) 未找到安装所需的Data文件夹 !"));
        // It stopped before its first change: the folders it made are gone, and only those.
        EXPECT_FALSE(m.files.Exists("C:\\Korvel"));
        EXPECT_TRUE(m.log.Has("folder removed: C:\\Korvel\\Korvel-Tarnwick"));
        Machine deeper;
        deeper.recorded = true;
        deeper.files.Remove(Machine::kData);
        deeper.files.AddFile("D:\\CAD Plugins\\notes.txt", "the user's");
        EXPECT_EQ(deeper.Unattended({}, "D:\\CAD Plugins\\Korvel\\2025"), kExitStopped);
        EXPECT_FALSE(deeper.files.Exists("D:\\CAD Plugins\\Korvel"));
        EXPECT_EQ(deeper.files.Content("D:\\CAD Plugins\\notes.txt"), "the user's");
    }
    // Folders the dialog would refuse end the run as a bad command line, with nothing made.
    for (const char* folder : {"Korvel", "C:\\a;b", "C:\\Users\\a*b"}) {
        Machine m;
        EXPECT_EQ(m.Unattended({}, folder), kExitBadCommandLine) << folder;
        EXPECT_TRUE(NothingInstalled(m)) << folder;
        EXPECT_TRUE(m.log.Has("bad command line: the folder was refused")) << folder;
    }
    {   // With administrator rights, a folder others may change: stopped, named in the log.
        Machine m;
        m.processes.elevated = true;
        m.files.AddFolder("C:\\Korvel");
        EXPECT_EQ(m.Unattended(), kExitStopped);
        EXPECT_TRUE(m.files.copies.empty());
        EXPECT_FALSE(m.log.With("(unattended) 安装路径中的以下文件夹其他用户可以更改").empty());
    }
    {   // The plug-in's folder another account made, at a drive's root: stopped, its owner named.
        Machine m;
        m.processes.elevated = true;
        m.files.AddFile("C:\\Korvel-Tarnwick\\uninstall.exe", "a user's program");
        m.files.SetOwnedByOthers("C:\\Korvel-Tarnwick", "PC\\mallory");
        EXPECT_EQ(m.Unattended({}, "C:\\"), kExitStopped);
        EXPECT_FALSE(m.log.With("(unattended) 安装路径中的以下文件夹属于 PC\\mallory").empty());
        EXPECT_EQ(m.files.Content("C:\\Korvel-Tarnwick\\uninstall.exe"), "a user's program");
    }
    {   // A network drive: stopped with administrator rights, its kind named; a run without them
        // (the user's own) may use it.
        Machine m;
        m.processes.elevated = true;
        m.files.SetDriveType("D:", kDriveRemote);
        EXPECT_EQ(m.Unattended({}, "D:\\Plugins"), kExitStopped);
        EXPECT_FALSE(m.log.With("(unattended) 安装路径所在的驱动器 D: 是网络驱动器").empty());
        Machine own;
        own.files.SetDriveType("D:", kDriveRemote);
        EXPECT_EQ(own.Unattended({}, "D:\\Plugins"), kExitFinished);
    }
}

TEST(Unattended, FinishesWithTheWarningsCodeWhenRegistrationFails) {
    Machine m;
    m.registry.FailKey(kHkeyLocalMachine, std::string(Machine::kKey2013) + "Applications\\Korvel2013",
                       kErrorAccessDenied);
    m.registry.RefuseValueWrite(kHkeyCurrentUser, Machine::kVariables, "TRUSTEDPATHS");
    EXPECT_EQ(m.Unattended(), kExitIncomplete);
    EXPECT_TRUE(m.log.Has(std::string("registry key failed (error 5) HKLM\\") + Machine::kKey2013 +
                          "Applications\\Korvel2013"));
    EXPECT_TRUE(m.log.Has("not registered: AutoCAD2013 (a loader key could not be written)"));
    EXPECT_TRUE(m.log.Has("trusted paths left alone: R19.0\\ACAD-B001:804\\<<Unnamed Profile>> (the new value was refused)"));
    EXPECT_TRUE(m.log.Has("registry value failed"));
    EXPECT_EQ(m.log.With("(unattended) ").size(), 1u);  // the warning
    EXPECT_FALSE(m.log.Has("answer: "));
    EXPECT_TRUE(m.files.IsFile(std::string(kInstalled) + "\\Korvel2013.ARX"));  // the rest was done
    // Which of the outcomes 6 stands for, in words for the log's last line.
    EXPECT_EQ(m.outcome, "installed, but some release, profile or host file was left as it was: not registered: "
                         "AutoCAD2013; 1 AutoCAD profile(s) whose trusted paths were left as they were");
}

// What support reads in the log of a listed install: the record's place, the uninstaller, the
// entry and the component, each one line that says what it is.
TEST(Unattended, TheLogNamesTheRecordTheUninstallerTheEntryAndTheComponent) {
    Machine m;
    m.recorded = true;
    ASSERT_EQ(m.Unattended({}, "D:\\CAD Plugins\\Korvel"), kExitFinished);
    const std::string plugIn = "D:\\CAD Plugins\\Korvel\\Korvel-Tarnwick";
    EXPECT_TRUE(m.log.Has("undo record: " + plugIn + "\\uninstall.dat (new)"));
    EXPECT_TRUE(m.log.Has("uninstaller in place: " + plugIn + "\\uninstall.exe"));
    EXPECT_EQ(m.log.With("Programs and Features entry written: HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion"
                         "\\Uninstall\\Korvel-Tarnwick (InstallLocation " + plugIn).size(), 1u);
    EXPECT_TRUE(m.log.Has("Programs and Features entry updated: ") && m.log.Has(", Releases 2008,2013)"));
    EXPECT_TRUE(m.log.Has("Active Setup component registered: HKLM\\SOFTWARE\\Microsoft\\Active Setup\\Installed "
                          "Components\\Korvel-Tarnwick (StubPath \"" + plugIn + "\\uninstall.exe\" /usersetup)"));
    // The entry's values are that one line, not one each.
    EXPECT_FALSE(m.log.Has("DisplayVersion ="));
    EXPECT_EQ(m.registry.GetText(kHkeyLocalMachine, kUninstallKey, "Releases"), "2008,2013");
}

// A repeat without a folder (a repair, or a release deployed later) goes where the install
// listed on the PC is, whatever folder that was; with none listed, C:\Korvel. With administrator
// rights only the machine's entry counts: a user writes their own.
TEST(Unattended, ARepeatWithoutAFolderKeepsTheListedInstallsFolder) {
    Machine m;
    m.recorded = true;
    ASSERT_EQ(m.Unattended({2013}, "D:\\CAD Plugins\\Korvel"), kExitFinished);
    const std::string plugIn = "D:\\CAD Plugins\\Korvel\\Korvel-Tarnwick";
    m.log.lines.clear();
    ASSERT_EQ(m.Unattended({}, ""), kExitFinished);
    EXPECT_TRUE(m.log.Has("folder chosen: D:\\CAD Plugins\\Korvel (that of the install listed on this PC)"));
    EXPECT_FALSE(m.files.Exists("C:\\Korvel"));
    EXPECT_EQ(m.registry.GetText(kHkeyLocalMachine, kUninstallKey, "InstallLocation"), plugIn);
    EXPECT_EQ(m.Loader(Machine::kKey2008, "Korvel2008"), plugIn + "\\Korvel2008.ARX");
    EXPECT_TRUE(m.log.Has("folder exists D:\\CAD Plugins\\Korvel") && !m.log.Has("folder not made"));
    // Registered with both now: the first run's and this one's.
    EXPECT_EQ(m.registry.GetText(kHkeyLocalMachine, kUninstallKey, "Releases"), "2008,2013");

    RegistryDouble registry;
    std::string how;
    EXPECT_EQ(UnattendedFolder(registry, false, how), "C:\\Korvel");
    EXPECT_NE(how.find("no install is listed"), std::string::npos);
    registry.PutString(kHkeyCurrentUser, kUninstallKey, "InstallLocation", "E:\\Mine\\Korvel-Tarnwick");
    EXPECT_EQ(UnattendedFolder(registry, false, how), "E:\\Mine");
    EXPECT_EQ(UnattendedFolder(registry, true, how), "C:\\Korvel");
    registry.PutString(kHkeyLocalMachine, kUninstallKey, "InstallLocation", "E:\\Elsewhere");
    EXPECT_EQ(UnattendedFolder(registry, true, how), "C:\\Korvel");
    EXPECT_NE(how.find("no install is listed"), std::string::npos);  // none that an install makes
}

// One command line for PCs with different releases: those present are installed, the others
// passed over and named; none present installs nothing (9). The strict list still refuses.
TEST(Unattended, ReleasesWherePresentPassOverTheOthers) {
    Machine m;
    m.recorded = true;
    m.ifPresent = {2013, 2018, 2024};
    ASSERT_EQ(m.Unattended(), kExitFinished);
    EXPECT_TRUE(m.log.Has("passed over, not installed here or not offered: AutoCAD2018, AutoCAD2024"));
    EXPECT_TRUE(m.log.Has("releases chosen: AutoCAD2013"));
    EXPECT_EQ(m.registry.GetText(kHkeyLocalMachine, kUninstallKey, "Releases"), "2013");
    m.ifPresent = {2008, 2050 - 25};
    ASSERT_EQ(m.Unattended({}, kInstalled), kExitFinished);  // (its folder as /D= names it)
    EXPECT_EQ(m.registry.GetText(kHkeyLocalMachine, kUninstallKey, "Releases"), "2008,2013");

    Machine none;
    none.ifPresent = {2018, 2024};
    EXPECT_EQ(none.Unattended(), kExitNothingToInstall);
    EXPECT_TRUE(none.log.Has("passed over, not installed here or not offered: AutoCAD2018, AutoCAD2024"));
    EXPECT_TRUE(NothingInstalled(none));
    Machine mixed;
    mixed.ifPresent = {2018};
    EXPECT_EQ(mixed.Unattended({2008}), kExitFinished);
    EXPECT_TRUE(mixed.log.Has("releases chosen: AutoCAD2008"));
    EXPECT_EQ(mixed.Unattended({2018}), kExitBadCommandLine);
}

// The package's uninstall removes every install listed, each by its own record, newest first,
// and leaves the machine as it was; it tells each item in the log. Run again, it finds nothing:
// 12, not the 7 of a damaged record.
TEST(Unattended, ThePackagesUninstallRemovesEveryListedInstall) {
    Machine m;
    m.recorded = true;
    // Where the uninstall's own discovery finds the hosts, whose folders it may touch.
    m.registry.PutString(kHkeyLocalMachine, "SOFTWARE\\Autodesk\\AutoCAD\\R17.1\\ACAD-6001:804", "AcadLocation", Machine::kHost2008);
    m.registry.PutString(kHkeyLocalMachine, "SOFTWARE\\Autodesk\\AutoCAD\\R19.0\\ACAD-B001:804", "AcadLocation", Machine::kHost2013);
    const std::string before = m.State() + m.State("D:");
    ASSERT_EQ(m.Unattended({}, "D:\\CAD Plugins\\Korvel"), kExitFinished);
    ASSERT_EQ(m.Unattended({2013}, "C:\\Korvel"), kExitFinished);  // a second install, listed now
    m.log.lines.clear();
    EXPECT_EQ(m.UninstallFromPackage(), kExitFinished);
    EXPECT_EQ(m.State() + m.State("D:"), before);
    const std::vector<std::string> order = m.log.With("uninstall of ");
    ASSERT_EQ(order.size(), 2u);
    EXPECT_EQ(order[0], "uninstall of C:\\Korvel\\Korvel-Tarnwick, quiet (1 of 2, newest first)");
    EXPECT_EQ(order[1], "uninstall of D:\\CAD Plugins\\Korvel\\Korvel-Tarnwick, quiet (2 of 2, newest first)");
    EXPECT_TRUE(m.log.Has("removed: file C:\\Korvel\\Korvel-Tarnwick\\Korvel2013.ARX"));
    EXPECT_TRUE(m.log.Has("removed: registry key HKLM\\SOFTWARE\\Autodesk\\AutoCAD\\R19.0\\ACAD-B001:804\\Applications\\Korvel2013"));
    EXPECT_TRUE(m.log.Has("put back: HKCU\\") && m.log.Has("TRUSTEDPATHS = \"\""));
    EXPECT_FALSE(m.log.Has("left: "));
    EXPECT_FALSE(m.log.Has("remains: "));

    m.log.lines.clear();
    EXPECT_EQ(m.UninstallFromPackage(), kExitNotInstalled);
    EXPECT_TRUE(m.log.Has("not installed: no install of the plug-in is listed on this PC"));
    EXPECT_EQ(m.State() + m.State("D:"), before);

    // The uninstaller in a plug-in's folder removes that install only; the other stays listed.
    ASSERT_EQ(m.Unattended({}, "D:\\CAD Plugins\\Korvel"), kExitFinished);
    ASSERT_EQ(m.Unattended({2013}, "C:\\Korvel"), kExitFinished);
    const std::string older = "D:\\CAD Plugins\\Korvel\\Korvel-Tarnwick";
    EXPECT_EQ(m.UninstallFromPackage(older + "\\uninstall.exe"), kExitFinished);
    EXPECT_EQ(m.registry.GetText(kHkeyLocalMachine, kUninstallKey, "InstallLocation"), kInstalled);
    EXPECT_EQ(m.Loader(Machine::kKey2013, "Korvel2013"), std::string(kInstalled) + "\\Korvel2013.ARX");
    EXPECT_EQ(m.log.With("uninstall of ").size(), 1u);
    m.log.lines.clear();
    EXPECT_EQ(m.UninstallFromPackage(), kExitFinished);
    EXPECT_FALSE(m.registry.KeyExists(kHkeyLocalMachine, kUninstallKey));
    EXPECT_FALSE(m.registry.KeyExists(kHkeyLocalMachine, std::string(Machine::kKey2013) + "Applications\\Korvel2013"));
    EXPECT_FALSE(m.files.Exists("C:\\Korvel"));
    // The uninstaller that ran is left for its helper, which removes it once it has ended.
    EXPECT_EQ(m.files.Children(older), std::vector<std::string>{"uninstall.exe"});
}

// Where a run with administrator rights writes the log /LOG= names: where no other user could
// have put a link on the way; a share gets the finished log copied; anything else is refused (the
// run then writes the default log, saying why).
TEST(Unattended, ALogAskedForIsWrittenOnlyWhereNoOtherUserCouldRedirectIt) {
    FileDouble files;
    files.AddFolder("C:\\");
    files.AddFolder("C:\\Logs");
    files.SetOthersRights("C:\\Logs", kRightWriteData | kRightAppendData);  // users may add files
    files.AddFolder("C:\\Users\\bob");
    files.SetOwnedByOthers("C:\\Users\\bob", "PC\\bob");
    files.SetDriveType("Z:", kDriveRemote);
    struct Case {
        const char* path;
        bool usable, share;
        const char* why;
    };
    for (const Case& c : {Case{"C:\\Logs\\PC01.log", true, false, ""},
                          Case{"\\\\fileserver\\logs\\PC01.log", false, true, "a network share"},
                          Case{"\\\\?\\UNC\\fileserver\\logs\\PC01.log", false, false, "not a plain path"},
                          Case{"Z:\\logs\\PC01.log", false, true, "a network drive"},
                          Case{"C:\\Users\\bob\\setup.log", false, false, "other users could change C:\\Users"},
                          Case{"\\\\.\\pipe\\log", false, false, "not a plain path"},
                          Case{"C:\\Logs\\", false, false, "not a file"}}) {
        const LogPlace place = CheckLogPlace(files, c.path);
        EXPECT_EQ(place.usable, c.usable) << c.path;
        EXPECT_EQ(place.share, c.share) << c.path;
        EXPECT_EQ(place.why.compare(0, std::string(c.why).size(), c.why), 0) << c.path << ": " << place.why;
    }
}

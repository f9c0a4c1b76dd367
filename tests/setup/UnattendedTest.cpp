// The unattended install over the same machine as the dialog's tests, wired as start-up wires
// it: the catalogue over the logging registry and files, and messages answered into the log.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "setup/InstallRunFixture.h"
#include "setup/Unattended.h"
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
        logged.hostKeys = catalogue.hostKeys;
        logged.hostFolders = catalogue.hostFolders;
        return RunUnattended(UnattendedChoice{releases, folder}, bitness, logged, loggingFiles,
                             processes, quiet, log, nullptr, nullptr, &outcome);
    }
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
        EXPECT_TRUE(copy.succeeded ? log.Has(" -> " + copy.destination)
                                   : log.Has("not in the package: " + copy.source))
            << copy.destination;
    }
    EXPECT_EQ(static_cast<int>(log.With("copied ").size()), copied);
    // Library years the package lacks are tried for each host but named once.
    EXPECT_EQ(log.With("not in the package: C:\\Setup\\Data\\ACAD2030.dll").size(), 1u);
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
        EXPECT_TRUE(m.log.Has("message: 请关闭AutoCAD后再进行安装 !"));
        EXPECT_TRUE(m.log.Has("install stopped: AutoCAD is running"));
    }
    {   // A failed copy is answered with Abort: the copy stops and nothing is registered.
        Machine m;
        m.files.SetLocked(std::string(Machine::kData) + "\\Korvel2010.arx");
        EXPECT_EQ(m.Unattended(), kExitStopped);
        EXPECT_TRUE(m.log.Has("copy failed (error 32) C:\\Setup\\Data\\Korvel2010.arx -> C:\\Korvel\\Korvel-Tarnwick\\Korvel2010.arx"));
        const std::vector<std::string> answers = m.log.With("answer: ");
        EXPECT_EQ(answers, std::vector<std::string>{"answer: Abort"});
        EXPECT_TRUE(m.log.Has("install stopped"));
        EXPECT_FALSE(m.registry.KeyExists(kHkeyLocalMachine, std::string(Machine::kKey2008) + "Applications"));
    }
    {   // The package is missing: stopped, with the message in the log.
        Machine m;
        m.files.Remove(Machine::kData);
        EXPECT_EQ(m.Unattended(), kExitStopped);
        EXPECT_TRUE(m.log.Has("message: 未找到安装所需的Data文件夹 !"));
    }
    // Folders the dialog would refuse end the run as a bad command line, with nothing made.
    for (const char* folder : {"Korvel", "C:\\a;b", "", "C:\\Users\\a*b"}) {
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
        EXPECT_FALSE(m.log.With("message: 安装路径中的以下文件夹其他用户可以更改").empty());
    }
    {   // The plug-in's folder another account made, at a drive's root: stopped, its owner named.
        Machine m;
        m.processes.elevated = true;
        m.files.AddFile("C:\\Korvel-Tarnwick\\uninstall.exe", "a user's program");
        m.files.SetOwnedByOthers("C:\\Korvel-Tarnwick", "PC\\mallory");
        EXPECT_EQ(m.Unattended({}, "C:\\"), kExitStopped);
        EXPECT_FALSE(m.log.With("message: 安装路径中的以下文件夹属于 PC\\mallory").empty());
        EXPECT_EQ(m.files.Content("C:\\Korvel-Tarnwick\\uninstall.exe"), "a user's program");
    }
    {   // A network drive: stopped with administrator rights, its kind named; a run without them
        // (the user's own) may use it.
        Machine m;
        m.processes.elevated = true;
        m.files.SetDriveType("D:", kDriveRemote);
        EXPECT_EQ(m.Unattended({}, "D:\\Plugins"), kExitStopped);
        EXPECT_FALSE(m.log.With("message: 安装路径所在的驱动器 D: 是网络驱动器").empty());
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
    EXPECT_EQ(m.log.With("answer: "), std::vector<std::string>{"answer: OK"});  // the warning
    EXPECT_TRUE(m.files.IsFile(std::string(kInstalled) + "\\Korvel2013.ARX"));  // the rest was done
    // Which of the outcomes 6 stands for, in words for the log's last line.
    EXPECT_EQ(m.outcome, "installed, but some release, profile or host file was left as it was: not registered: "
                         "AutoCAD2013; 1 AutoCAD profile(s) whose trusted paths were left as they were");
}

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "deploy/InstallFolder.h"
#include "platform/Forwarding.h"
#include "setup/InstallRunFixture.h"
#include "setup/RegistrationWarning.h"

namespace {
const char* const kInstalled = "C:\\Korvel\\Korvel-Tarnwick";

// The view and progress operations of a run, with the bar's positions during the payload copy
// given as one "copy" entry each.
std::vector<std::string> ExpectedRun(int copyPositions) {
    std::vector<std::string> calls = {"Pull",          "Hide(1017)",  "Hide(1000)", "Hide(1015)",
                                      "Show(1014)",    "SetRange(0,50)", "SetStep(1)", "SetPos(0)"};
    calls.insert(calls.end(), copyPositions, "copy");
    for (const char* call : {"StepIt", "StepIt", "StepIt", "SetPos(50)"}) calls.push_back(call);
    return calls;
}

// The calls with the copy's positions as "copy", once each is checked: they follow the bytes up
// to 47, never backwards, so that the three phases after the copy fill the bar to 50 a step each.
std::vector<std::string> CopyCollapsed(const std::vector<std::string>& calls) {
    std::vector<std::string> out;
    const auto start = std::find(calls.begin(), calls.end(), "SetPos(0)");
    EXPECT_NE(start, calls.end());
    out.assign(calls.begin(), start == calls.end() ? start : start + 1);
    int last = 0;
    auto it = out.size() < calls.size() ? calls.begin() + out.size() : calls.end();
    for (; it != calls.end() && it->rfind("SetPos(", 0) == 0 && *it != "SetPos(50)"; ++it) {
        const int position = std::stoi(it->substr(7));
        EXPECT_GE(position, last) << "the bar ran backwards";
        last = position;
        out.push_back("copy");
    }
    EXPECT_EQ(last, 47);
    out.insert(out.end(), it, calls.end());
    return out;
}

std::vector<std::string> ExpectedFinishedView() {
    std::vector<std::string> calls = {"Show(1023)", "Show(1024)", "Hide(1016)", "Hide(1014)",
                                      "Show(1)",    "Hide(1022)", "Hide(2)"};
    for (const ReleaseRow& row : ReleaseTable)
        calls.push_back("Hide(" + std::to_string(row.controlId) + ")");
    // The window loses the 48 dialog units (72 pixels) between the OK and Cancel bottoms.
    for (const char* call : {"Push", "WindowRect", "ControlRect(1)", "ControlRect(2)",
                             "MoveTo(300,200,731,579)"})
        calls.push_back(call);
    return calls;
}

std::vector<std::string> Concat(std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

class InstallRunTest : public InstallRunFixture {};
}  // namespace

TEST_F(InstallRunTest, DefaultInstallRunsEveryStepInOrder) {
    processes.names = {"explorer.exe", "notepad.exe"};
    EXPECT_EQ(run.OnInstall(), SetupState::Finished);
    EXPECT_EQ(run.ExitCode(), kExitFinished);

    // Six files copied (the fonts go to the hosts), each of one block: the bar is set after the
    // block and after the file.
    EXPECT_EQ(CopyCollapsed(view.calls), Concat(ExpectedRun(12), ExpectedFinishedView()));
    EXPECT_EQ(view.progress.position, 50);
    EXPECT_TRUE(view.messages.empty());
    EXPECT_FALSE(view.closedCancelled);
    const std::vector<int> finished = {1, 1013, 1021, kControlFinishedText, kControlMenusPicture};
    EXPECT_EQ(view.VisibleControls(), finished);

    EXPECT_EQ(MakeDirCalls().at(0), "MakeDir(C:\\Korvel)");
    EXPECT_EQ(MakeDirCalls().at(1), "MakeDir(C:\\Korvel\\Korvel-Tarnwick)");
    EXPECT_EQ(members.folderText, kInstalled);
    EXPECT_EQ(view.editText, kInstalled);  // pushed back, though hidden by now
    EXPECT_EQ(catalogue.installFolder, kInstalled);

    // The payload, without the setup program and the fonts.
    EXPECT_EQ(files.Children(kInstalled),
              (std::vector<std::string>{"ACAD2007.dll", "ACAD2013.dll", "Korvel.prt5",
                                        "Korvel2008.ARX", "Korvel2010.arx", "Korvel2013.ARX"}));
    // Loader keys name the installed modules and each host's own library.
    EXPECT_EQ(Loader(kKey2008, "Korvel2008"), std::string(kInstalled) + "\\Korvel2008.ARX");
    EXPECT_EQ(Loader(kKey2008, "Korvel2008DLL"), std::string(kHost2008) + "\\ACAD2007.dll");
    EXPECT_EQ(Loader(kKey2013, "Korvel2013"), std::string(kInstalled) + "\\Korvel2013.ARX");
    EXPECT_EQ(Loader(kKey2013, "Korvel2013DLL"), std::string(kHost2013) + "\\ACAD2013.dll");
    EXPECT_NE(registry.GetText(kHkeyCurrentUser, kVariables, "TRUSTEDPATHS").find(kInstalled),
              std::string::npos);
    // Support files in both hosts; the plot driver only for 2008.
    for (const char* host : {kHost2008, kHost2013}) {
        EXPECT_TRUE(files.IsFile(std::string(host) + "\\Fonts\\Korvel_HZ.shx")) << host;
        EXPECT_TRUE(files.IsFile(std::string(host) + "\\ACAD2013.dll")) << host;
    }
    EXPECT_TRUE(files.IsFile(std::string(kHost2008) + "\\Drv\\pdfplot9.hdi"));
    EXPECT_FALSE(files.Exists(std::string(kHost2013) + "\\Drv\\pdfplot9.hdi"));
    EXPECT_FALSE(catalogPrompt.shown.size());
    EXPECT_EQ(registry.OpenHandleCount(), 0);
    EXPECT_EQ(processes.openSnapshots, 0);
}

TEST_F(InstallRunTest, UntickedReleaseIsNeitherRegisteredNorGivenFiles) {
    view.ticks[k2008] = 0;
    EXPECT_EQ(run.OnInstall(), SetupState::Finished);
    EXPECT_FALSE(registry.KeyExists(kHkeyLocalMachine, std::string(kKey2008) + "Applications"));
    EXPECT_EQ(CopiesInto(kHost2008), 0);
    EXPECT_EQ(Loader(kKey2013, "Korvel2013"), std::string(kInstalled) + "\\Korvel2013.ARX");
}

TEST_F(InstallRunTest, RunningHostIsRefusedOnceAndTheSecondPressInstalls) {
    processes.names = {"explorer.exe", "ACAD.EXE"};
    EXPECT_EQ(run.OnInstall(), SetupState::Choosing);
    ASSERT_EQ(view.messages.size(), 1u);
    EXPECT_EQ(view.messages[0].text, "请关闭AutoCAD后再进行安装 !");
    EXPECT_EQ(view.messages[0].caption, "Korvel-软件安装");
    EXPECT_EQ(view.messages[0].type, kMbOk);
    // Nothing else happened: no data exchange, no control change, no folder.
    EXPECT_EQ(view.calls.size(), 1u);
    EXPECT_TRUE(files.calls.empty());
    EXPECT_FALSE(hostCheckArmed);
    EXPECT_EQ(run.ExitCode(), kExitCancelled);

    // The host still runs; the check is not even made again.
    const int snapshots = processes.snapshotsTaken;
    EXPECT_EQ(run.OnInstall(), SetupState::Finished);
    EXPECT_EQ(processes.snapshotsTaken, snapshots);
    EXPECT_EQ(view.messages.size(), 1u);
    EXPECT_EQ(catalogue.installFolder, kInstalled);
}

TEST_F(InstallRunTest, HostIsAskedForOnlyWhileTheProcessWideFlagIsArmed) {
    processes.names = {"explorer.exe"};
    view.editText.clear();  // stops the command right after the check
    run.OnInstall();
    EXPECT_TRUE(hostCheckArmed);  // no refusal, so it stays armed
    EXPECT_EQ(processes.snapshotsTaken, 1);

    // Disarmed by another dialog of the same process: this one never asks.
    hostCheckArmed = false;
    processes.names = {"acad.exe"};
    view.editText = "C:\\Korvel";
    EXPECT_EQ(run.OnInstall(), SetupState::Finished);
    EXPECT_EQ(processes.snapshotsTaken, 1);
    EXPECT_EQ(view.messages.size(), 1u);  // only the empty folder's
}

TEST_F(InstallRunTest, OneTrailingBackslashIsCut) {
    view.editText = "C:\\Korvel\\";
    EXPECT_EQ(run.OnInstall(), SetupState::Finished);
    EXPECT_EQ(MakeDirCalls().at(0), "MakeDir(C:\\Korvel)");
    EXPECT_EQ(MakeDirCalls().at(1), "MakeDir(C:\\Korvel\\Korvel-Tarnwick)");
    EXPECT_EQ(catalogue.installFolder, kInstalled);
    EXPECT_TRUE(files.IsFile(std::string(kInstalled) + "\\Korvel2010.arx"));
}

TEST_F(InstallRunTest, DriveRootInstallsIntoTheSubFolderOnThatDrive) {
    view.editText = "D:\\";
    EXPECT_EQ(run.OnInstall(), SetupState::Finished);
    // "D:" alone is the drive's current folder: it is neither made nor checked as a folder.
    EXPECT_EQ(MakeDirCalls().at(0), "MakeDir(D:\\Korvel-Tarnwick)");
    for (const std::string& call : files.calls) EXPECT_EQ(call.find("(D:)"), std::string::npos);
    EXPECT_EQ(catalogue.installFolder, "D:\\Korvel-Tarnwick");
    EXPECT_TRUE(files.IsFile("D:\\Korvel-Tarnwick\\Korvel2010.arx"));
    EXPECT_EQ(Loader(kKey2013, "Korvel2013"), "D:\\Korvel-Tarnwick\\Korvel2013.ARX");
}

// --- Who may change the install folder ---

// With administrator rights both levels are made with rights of their own; without them,
// as before.
TEST_F(InstallRunTest, FoldersAreMadeLockedOnlyWithAdministratorRights) {
    processes.elevated = true;
    EXPECT_EQ(run.OnInstall(), SetupState::Finished);
    EXPECT_EQ(run.ExitCode(), kExitFinished);
    EXPECT_TRUE(files.HasLockedRights("C:\\Korvel"));
    EXPECT_TRUE(files.HasLockedRights(kInstalled));
    const auto made = std::find(files.calls.begin(), files.calls.end(), "CreateLockedFolder(C:\\Korvel)");
    ASSERT_NE(made, files.calls.end());
    EXPECT_NE(std::find(made, files.calls.end(), "CreateLockedFolder(C:\\Korvel\\Korvel-Tarnwick)"), files.calls.end());
    EXPECT_TRUE(files.IsFile(std::string(kInstalled) + "\\Korvel2010.arx"));

    // A standard user: made as any folder, and the install goes on as it always did.
    FileDouble plain;
    plain.AddFolder("C:\\");
    ProcessDouble standard;
    EXPECT_EQ(PrepareInstallFolders(plain, "C:\\Korvel", "\\Korvel-Tarnwick", standard.RunsElevated())
                  .outcome,
              FolderOutcome::Ready);
    EXPECT_TRUE(plain.IsFolder(kInstalled));
    EXPECT_FALSE(plain.HasLockedRights("C:\\Korvel"));
    EXPECT_FALSE(plain.HasLockedRights(kInstalled));
}

// A user who makes a folder, and owns it, in the moment between the run's look for it and its
// making (a drive's root lets every user add folders).
class FolderMadeFirst : public ForwardingFiles {
public:
    FolderMadeFirst(FileDouble& inner, std::string path) : ForwardingFiles(inner), disk_(inner), path_(std::move(path)) {}
    bool CreateLockedFolder(const std::string& path) override {
        if (path == path_ && !disk_.IsFolder(path)) {
            disk_.AddFolder(path);
            disk_.SetOwnedByOthers(path, "PC\\mallory");
        }
        return inner_.CreateLockedFolder(path);
    }

private:
    FileDouble& disk_;
    std::string path_;
};

// A junction or link anywhere on the way, or (with administrator rights) a folder another user
// owns or may change, is refused with its name before anything is copied, registered or trusted; the user may
// choose another folder.
TEST_F(InstallRunTest, RedirectedOrForeignFoldersAreRefusedBeforeAnythingIsCopied) {
    struct Case {
        const char* what;
        const char* typed;
        const char* refused;
        bool elevated;
        bool ownedByOthers;
        const char* reason;
        bool madeFirst = false;  // made by the user as the run makes it, not there at its look
        std::uint32_t othersRights = 0;  // given to the refused folder, when not 0
        bool listingFails = false;       // the refused folder's listing fails after its first entry
    };
    const std::string inPlugIn = std::string(kInstalled) + "\\Fonts";
    const std::string dotted = inPlugIn + ".", blank = std::string(kInstalled) + "\\Korvel2013.arx ",
                      device = std::string(kInstalled) + "\\nul .x";
    const Case cases[] = {
        {"install folder a link", "C:\\Korvel", "C:\\Korvel", false, false, "链接"},
        {"sub-folder a link", "C:\\Korvel", kInstalled, true, false, "链接"},
        {"a level above a link", "C:\\Link\\Korvel", "C:\\Link", false, false, "链接"},
        {"owned by a user", "C:\\Korvel", "C:\\Korvel", true, true, "不属于管理员"},
        {"a user's level above", "D:\\CAD Plugins\\Korvel", "D:\\CAD Plugins", true, true, "不属于管理员"},
        {"made with the rights users inherit", "C:\\Korvel", "C:\\Korvel", true, false, "其他用户可以更改"},
        {"a user's at a drive's root, made as the run makes it", "C:\\", "C:\\Korvel-Tarnwick", true, true,
         "不属于管理员", true},
        // The plug-in's folder or one in it, left by an earlier install: one whose rights or
        // owner a user could change, or that a user owns, may be changed back through a handle
        // opened before the relock.
        {"the plug-in's folder, whose rights users may change", "C:\\Korvel", kInstalled, true, false,
         "其他用户可以更改其权限或所有者", false, 0x1200A9 | kRightWriteDac},
        {"a folder in it that a user owns", "C:\\Korvel", inPlugIn.c_str(), true, true, "不属于管理员"},
        {"a folder in it whose owner users may change", "C:\\Korvel", inPlugIn.c_str(), true, false,
         "其他用户可以更改其权限或所有者", false, 0x1200A9 | kRightWriteOwner},
        // Names Win32 reads as another entry (made only through \\?\ names), and a listing that
        // cannot show all there is.
        {"a folder in it whose name ends in a dot", "C:\\Korvel", dotted.c_str(), true, false, "点或空格"},
        {"a file in it whose name ends in a blank", "C:\\Korvel", blank.c_str(), true, false, "点或空格"},
        {"a folder in it named as a device", "C:\\Korvel", device.c_str(), true, false, "设备名"},
        {"a listing that fails part-way", "C:\\Korvel", kInstalled, true, false, "无法读取", false, 0, true},
    };
    for (const Case& c : cases) {
        FileDouble disk;
        disk.keepCalls = true;
        disk.AddFolder("C:\\");
        disk.modulePath = files.modulePath;
        disk.AddFolder(kData);
        disk.AddFile(std::string(kData) + "\\Korvel2010.arx");
        if (std::string(c.reason) == "链接")
            disk.AddFolder(c.refused, kAttrDirectory | kAttrReparsePoint);
        else if (std::string(c.refused) == blank)
            disk.AddFile(c.refused);
        else if (!c.madeFirst)
            disk.AddFolder(c.refused);
        if (c.listingFails) {
            disk.AddFile(std::string(kInstalled) + "\\a.txt");
            disk.AddFile(std::string(kInstalled) + "\\b.txt");
            disk.FailListingAt(kInstalled, 2);
        }
        if (c.ownedByOthers && !c.madeFirst) disk.SetOwnedByOthers(c.refused);
        if (c.elevated && std::string(c.refused).rfind(kInstalled, 0) == 0) disk.SetOthersRights("C:\\Korvel", 0);
        if (c.othersRights != 0) disk.SetOthersRights(c.refused, c.othersRights);
        ProcessDouble host;
        host.elevated = c.elevated;
        RegistryDouble machine;
        FolderMadeFirst racing(disk, c.refused);
        Files& seen = c.madeFirst ? static_cast<Files&>(racing) : disk;
        HostCatalogue hosts{machine, seen, catalogPrompt};
        SetupMembers chosen;
        ViewDouble dialog{chosen};
        dialog.editText = c.typed;
        bool armed = false;
        NoLog quiet;
        InstallRun install{dialog, chosen, dialog.progress, hosts, seen, host, armed, quiet};

        EXPECT_EQ(install.OnInstall(), SetupState::Choosing) << c.what;
        ASSERT_EQ(dialog.messages.size(), 1u) << c.what;
        EXPECT_NE(dialog.messages[0].text.find(c.reason), std::string::npos) << c.what;
        EXPECT_NE(dialog.messages[0].text.find(std::string("\n\n") + c.refused + "\n\n"),
                  std::string::npos) << c.what;
        EXPECT_EQ(dialog.messages[0].caption, "Korvel-软件安装");
        EXPECT_EQ(dialog.messages[0].type, kMbOk | kMbIconExclamation);
        EXPECT_TRUE(disk.copies.empty()) << c.what;
        for (const std::string& call : disk.calls) EXPECT_NE(call.rfind("Relock(", 0), 0u) << c.what << ": " << call;
        EXPECT_TRUE(hosts.installFolder.empty()) << c.what;
        EXPECT_EQ(machine.Dump(kHkeyCurrentUser, "Software"), "") << c.what;
        EXPECT_EQ(install.ExitCode(), kExitCancelled) << c.what;
    }

    // The same folders, not redirected, owned by others and without administrator rights: used.
    files.AddFolder(kInstalled);
    files.SetOwnedByOthers("C:\\Korvel");
    files.SetOwnedByOthers(kInstalled);
    EXPECT_EQ(run.OnInstall(), SetupState::Finished);
}

// A new path whose upper levels do not exist yet is made level by level, each as the folder
// itself (locked with administrator rights). With administrator rights a level that cannot be
// made is refused at once: the payload copy would make it with the rights it inherits.
TEST_F(InstallRunTest, MissingUpperLevelsAreMadeOneByOne) {
    for (const bool elevated : {true, false}) {
        FileDouble disk;
        disk.AddFolder("C:\\");
        disk.AddFolder(kData);
        disk.AddFile(std::string(kData) + "\\Korvel2010.arx");
        disk.modulePath = files.modulePath;
        ProcessDouble host;
        host.elevated = elevated;
        HostCatalogue hosts{registry, disk, catalogPrompt};
        SetupMembers chosen;
        ViewDouble dialog{chosen};
        dialog.editText = "C:\\CAD Plugins\\插件 目录\\Korvel";
        bool armed = false;
        NoLog quiet;
        InstallRun install{dialog, chosen, dialog.progress, hosts, disk, host, armed, quiet};
        EXPECT_EQ(install.OnInstall(), SetupState::Finished) << elevated;
        EXPECT_TRUE(disk.IsFile("C:\\CAD Plugins\\插件 目录\\Korvel\\Korvel-Tarnwick\\Korvel2010.arx"));
        EXPECT_EQ(disk.HasLockedRights("C:\\CAD Plugins"), elevated);
        EXPECT_EQ(disk.HasLockedRights("C:\\CAD Plugins\\插件 目录"), elevated);
    }

    processes.elevated = true;
    view.editText = "E:\\Missing\\Korvel";  // no such drive
    EXPECT_EQ(run.OnInstall(), SetupState::Choosing);
    ASSERT_EQ(view.messages.size(), 1u);
    EXPECT_NE(view.messages[0].text.find("无法创建安装文件夹：\n\nE:\\Missing\n"), std::string::npos);
    EXPECT_TRUE(files.copies.empty());
    EXPECT_TRUE(MakeDirCalls().empty());
}

TEST_F(InstallRunTest, EmptyFolderAsksForOneAndChangesNothing) {
    view.editText.clear();
    EXPECT_EQ(run.OnInstall(), SetupState::Choosing);
    EXPECT_EQ(view.calls, (std::vector<std::string>{"Pull", "Message(请输入安装路径 !)"}));
    EXPECT_EQ(view.messages.at(0).caption, "Korvel-软件安装");
    EXPECT_TRUE(MakeDirCalls().empty());
    EXPECT_TRUE(catalogue.installFolder.empty());

    view.editText = "C:\\Korvel";  // the user types one and presses again
    EXPECT_EQ(run.OnInstall(), SetupState::Finished);
    EXPECT_EQ(catalogue.installFolder, kInstalled);
}

TEST_F(InstallRunTest, MissingPackageClosesAsCancelledBeforeAnyRegistration) {
    files.Remove(kData);
    const std::string machineBefore = registry.Dump(kHkeyLocalMachine, "SOFTWARE");
    const std::string userBefore = registry.Dump(kHkeyCurrentUser, "Software");

    EXPECT_EQ(run.OnInstall(), SetupState::Stopped);
    EXPECT_EQ(run.ExitCode(), kExitStopped);
    EXPECT_TRUE(view.closedCancelled);
    ASSERT_EQ(view.messages.size(), 1u);  // the package's own message, owned by the dialog
    EXPECT_EQ(view.calls.back(), "CloseCancelled");
    EXPECT_EQ(std::count(view.calls.begin(), view.calls.end(), "StepIt"), 0);
    EXPECT_EQ(registry.Dump(kHkeyLocalMachine, "SOFTWARE"), machineBefore);
    EXPECT_EQ(registry.Dump(kHkeyCurrentUser, "Software"), userBefore);
    EXPECT_TRUE(catalogue.installFolder.empty());
    EXPECT_EQ(CopiesInto(kHost2008) + CopiesInto(kHost2013), 0);
    EXPECT_TRUE(files.IsFolder(kInstalled));  // the folders made stay
}

TEST_F(InstallRunTest, AbortAfterAFailedCopyStopsTheRun) {
    files.FailCopiesTo(std::string(kInstalled) + "\\Korvel2010.arx");
    view.answers = {kIdRetry, kIdAbort};
    EXPECT_EQ(run.OnInstall(), SetupState::Stopped);
    EXPECT_EQ(view.messages.size(), 2u);
    EXPECT_EQ(view.messages[1].type, kMbAbortRetryIgnore);
    EXPECT_TRUE(view.closedCancelled);
    EXPECT_FALSE(registry.KeyExists(kHkeyLocalMachine, std::string(kKey2013) + "Applications"));
    EXPECT_EQ(CopiesInto(kHost2013), 0);
    EXPECT_TRUE(files.IsFile(std::string(kInstalled) + "\\Korvel2008.ARX"));  // copied before
}

// Past 50 files and through blocks of a large one, the bar only moves forwards, and ends full.
TEST_F(InstallRunTest, TheBarFollowsTheBytesAndNeverRunsBackwards) {
    for (int i = 0; i < 60; ++i)
        files.AddFile(std::string(kData) + "\\extra" + std::to_string(100 + i) + ".dat", std::string(1000, 'x'));
    files.AddFile(std::string(kData) + "\\large.dat", std::string(5 * FileDouble::kBlockSize + 17, 'L'));
    EXPECT_EQ(run.OnInstall(), SetupState::Finished);
    const std::vector<int>& positions = view.progress.positions;
    EXPECT_TRUE(std::is_sorted(positions.begin() + 2, positions.end()));  // after the range is set
    EXPECT_EQ(positions.back(), 50);
    // The large file holds nearly all the bytes: the bar crosses most of its length block by block.
    EXPECT_GE(std::set<int>(positions.begin(), positions.end()).size(), 7u);
    EXPECT_EQ(CopyCollapsed(view.calls), Concat(ExpectedRun((6 + 60 + 1) * 2 + 5), ExpectedFinishedView()));
}

TEST_F(InstallRunTest, FailedRegistrationIsWarnedAboutBeforeTheFinishedView) {
    registry.FailKey(kHkeyLocalMachine, std::string(kKey2008) + "Applications");
    registry.RefuseValueWrite(kHkeyLocalMachine, std::string(kKey2013) + "Applications\\Korvel2013DLL", "");
    EXPECT_EQ(run.OnInstall(), SetupState::Finished);
    ASSERT_EQ(view.messages.size(), 1u);
    const ViewDouble::Message& warning = view.messages[0];
    EXPECT_EQ(warning.caption, "Korvel-软件安装");
    EXPECT_EQ(warning.type, kMbOk | kMbIconExclamation);
    EXPECT_NE(warning.text.find("AutoCAD2008、AutoCAD2013"), std::string::npos);
    EXPECT_NE(warning.text.find("管理员"), std::string::npos);
    // Between the full bar and the finished view; the run still finishes.
    const auto at = std::find(view.calls.begin(), view.calls.end(), "Message(" + warning.text + ")");
    ASSERT_NE(at, view.calls.end());
    EXPECT_EQ(*(at - 1), "SetPos(50)");
    EXPECT_EQ(*(at + 1), "Show(1023)");
    EXPECT_EQ(run.ExitCode(), kExitIncomplete);
}

TEST_F(InstallRunTest, WarningNamesOnlyTickedReleasesThatFailed) {
    ReleaseFlags flags{};
    flags[k2013] = 1;
    catalogue.registrationFailed[k2008] = true;  // not ticked: not this run's concern
    EXPECT_EQ(RegistrationWarning(catalogue, flags), "");
    catalogue.registrationFailed[k2013] = true;
    const std::string text = RegistrationWarning(catalogue, flags);
    EXPECT_NE(text.find("AutoCAD2013"), std::string::npos);
    EXPECT_EQ(text.find("AutoCAD2008"), std::string::npos);
}

// Only an absolute folder of valid names is installed into: a relative one would follow the
// current folder, and a ';' would make every host trust more than this folder. The dialog stays
// open with the reason, and nothing is made or written.
TEST_F(InstallRunTest, TypedFolderMustBeAbsoluteAndHoldOnlyValidNames) {
    const std::string machine = registry.Dump(kHkeyLocalMachine, "SOFTWARE");
    const std::string user = registry.Dump(kHkeyCurrentUser, "Software");
    for (const char* typed : {"Korvel", "\\", "\\Korvel", "C:Korvel", "C:\\Users;X", "C:\\a|b",
                              "C:\\Korvel\\\\", "C:\\Kor\x01vel", "C:\\J?rg", "\\\\server\\share"}) {
        view.messages.clear();
        view.editText = typed;
        EXPECT_EQ(run.OnInstall(), SetupState::Choosing) << typed;
        ASSERT_EQ(view.messages.size(), 1u) << typed;
        EXPECT_NE(view.messages[0].text.find("安装路径无效"), std::string::npos);
        EXPECT_EQ(view.messages[0].caption, "Korvel-软件安装");
    }
    EXPECT_TRUE(MakeDirCalls().empty());
    EXPECT_TRUE(files.copies.empty());
    EXPECT_EQ(registry.Dump(kHkeyLocalMachine, "SOFTWARE"), machine);
    EXPECT_EQ(registry.Dump(kHkeyCurrentUser, "Software"), user);
    EXPECT_EQ(run.ExitCode(), kExitCancelled);
}

// "禱" is B6 5C: its trail byte is no trailing backslash to cut.
TEST_F(InstallRunTest, TrailByteBackslashIsNeitherCutNorASeparator) {
    const std::string folder = "D:\\\xB6\x5C";
    view.editText = folder;
    EXPECT_EQ(run.OnInstall(), SetupState::Finished);
    EXPECT_EQ(MakeDirCalls().at(0), "MakeDir(" + folder + ")");
    EXPECT_EQ(catalogue.installFolder, folder + "\\Korvel-Tarnwick");
    EXPECT_TRUE(files.IsFile(folder + "\\Korvel-Tarnwick\\Korvel2010.arx"));
    EXPECT_EQ(Loader(kKey2013, "Korvel2013"), folder + "\\Korvel-Tarnwick\\Korvel2013.ARX");
}

TEST_F(InstallRunTest, FolderTooLongForItsSubFolderIsRefusedBeforeAnythingIsMade) {
    const std::string longest = "C:\\" + std::string(259 - 3 - 16, 'k');  // 259 with the sub-folder
    view.editText = longest + "k";
    EXPECT_EQ(run.OnInstall(), SetupState::Choosing);
    ASSERT_EQ(view.messages.size(), 1u);
    EXPECT_NE(view.messages[0].text.find("路径太长"), std::string::npos);
    EXPECT_TRUE(MakeDirCalls().empty());

    view.editText = longest;
    EXPECT_EQ(run.OnInstall(), SetupState::Finished);
    EXPECT_EQ(catalogue.installFolder, longest + "\\Korvel-Tarnwick");
}

TEST_F(InstallRunTest, ExitCodeSaysWhenFilesWereSkippedOrTheListingFailed) {
    files.FailCopiesTo(std::string(kInstalled) + "\\Korvel2010.arx");
    view.answers = {kIdIgnore};
    EXPECT_EQ(run.OnInstall(), SetupState::Finished);
    EXPECT_EQ(run.ExitCode(), kExitFilesSkipped);
    EXPECT_EQ(view.messages.size(), 1u);  // the copy's; no warning
    EXPECT_EQ(log.With("skipped "), std::vector<std::string>{"skipped " + std::string(kInstalled) + "\\Korvel2010.arx"});

    // A listing that breaks off is a failed copy: its message, then the dialog closes.
    FileDouble broken;
    broken.AddFolder("C:\\");
    broken.modulePath = "C:\\Setup\\SetUp.exe";
    for (const char* name : {"a.arx", "b.arx", "Korvel2010.arx"}) broken.AddFile(std::string(kData) + "\\" + name);
    broken.FailListingAt(kData, 3);
    ViewDouble otherView{members};
    otherView.editText = "C:\\Korvel";
    bool armed = false;
    InstallRun other{otherView, members, otherView.progress, catalogue, broken, processes, armed, log};
    EXPECT_EQ(other.OnInstall(), SetupState::Stopped);
    EXPECT_EQ(other.ExitCode(), kExitStopped);
    ASSERT_EQ(otherView.messages.size(), 1u);
    EXPECT_NE(otherView.messages[0].text.find("无法读取安装文件列表"), std::string::npos);
    EXPECT_TRUE(otherView.closedCancelled);
}

// Every change the run could not make is in the one warning, each with its reason; a loader
// path too long is not blamed on missing rights.
TEST_F(InstallRunTest, WarningNamesUntouchedProfilesAndTooLongPathsWithTheirReasons) {
    ReleaseFlags flags{};
    flags[k2013] = 1;
    catalogue.installFolder = kInstalled;
    catalogue.loaderTooLong[k2013] = true;
    std::string text = RegistrationWarning(catalogue, flags);
    EXPECT_NE(text.find("路径太长"), std::string::npos);
    EXPECT_EQ(text.find("管理员"), std::string::npos);

    catalogue.loaderTooLong[k2013] = false;
    catalogue.untouchedProfiles = {{"R19.0\\ACAD-B001:804\\A", ProfileProblem::TooLong},
                                   {"R19.0\\ACAD-B001:804\\B", ProfileProblem::Unrepresentable},
                                   {"R19.0\\ACAD-B001:804\\C", ProfileProblem::NotPlainText},
                                   {"R19.0\\ACAD-B001:804\\D", ProfileProblem::Unreadable},
                                   {"R19.0\\ACAD-B001:804\\E", ProfileProblem::NotWritten}};
    text = RegistrationWarning(catalogue, flags);
    for (const char* part : {"R19.0\\ACAD-B001:804\\A（原有内容太长）", "B（含有本机代码页无法表示的字符）",
                             "C（不是普通文本）", "D（无法读取）", "E（无法写入）",
                             "选项 > 文件 > 受信任的位置", kInstalled})
        EXPECT_NE(text.find(part), std::string::npos) << part;
    EXPECT_EQ(text.find("管理员"), std::string::npos);

    // Many profiles: the box stays readable.
    catalogue.untouchedProfiles.assign(20, {"R19.0\\ACAD-B001:804\\X", ProfileProblem::TooLong});
    text = RegistrationWarning(catalogue, flags);
    EXPECT_NE(text.find("另有 12 个配置"), std::string::npos);
}

// --- A fault at every call of the file, process and prompt seams ---

namespace {

const char* const kUserEntries = "D:\\Tools;E:\\乤Lib\\...";

// A machine of the fixture on its own, so that a sweep can make one per fault.
class Machine : public InstallRunFixture {
public:
    Machine(bool elevated, bool reinstall) {
        SetUp();
        registry.PutString(kHkeyCurrentUser, kVariables, "TRUSTEDPATHS", kUserEntries);
        processes.elevated = elevated;
        if (reinstall) {
            // An earlier install's: the folder locked, the sub-folder as an older version left it.
            files.AddFile(std::string(kInstalled) + "\\Korvel2008.ARX", "older");
            files.SetOthersRights("C:\\Korvel", 0);
        }
        files.calls.clear();
    }
    void TestBody() override {}
    using InstallRunFixture::catalogPrompt;
    using InstallRunFixture::catalogue;
    using InstallRunFixture::files;
    using InstallRunFixture::processes;
    using InstallRunFixture::registry;
    using InstallRunFixture::run;
    using InstallRunFixture::view;
    using InstallRunFixture::kKey2013;

    std::string Trusted() const { return registry.GetText(kHkeyCurrentUser, kVariables, "TRUSTEDPATHS"); }
    std::string Machines() const { return registry.Dump(kHkeyLocalMachine, "SOFTWARE"); }
};

// What the run ended in is one the behaviour allows, and what it claims was done was done.
void ExpectHonestOutcome(Machine& m, const std::string& machineBefore, const std::string& where) {
    const SetupState state = m.run.state();
    const int exitCode = m.run.ExitCode();
    // The user's trusted paths keep every entry, whatever happened.
    EXPECT_EQ(UpperCp936(m.Trusted()).rfind(UpperCp936(kUserEntries), 0), 0u) << where << m.Trusted();
    EXPECT_EQ(m.files.OpenListings(), 0) << where;
    EXPECT_EQ(m.processes.openSnapshots, 0) << where;
    EXPECT_EQ(m.registry.OpenHandleCount(), 0) << where;
    if (state != SetupState::Finished) {
        // Refused or stopped: the user was told, and nothing was registered or trusted.
        EXPECT_FALSE(m.view.messages.empty()) << where;
        EXPECT_EQ(m.Machines(), machineBefore) << where;
        EXPECT_EQ(m.Trusted(), kUserEntries) << where;
        EXPECT_EQ(state == SetupState::Stopped, m.view.closedCancelled) << where;
        EXPECT_EQ(exitCode, state == SetupState::Stopped ? kExitStopped : kExitCancelled) << where;
        return;
    }
    // Finished: the payload is in place (but for files the user chose to ignore)...
    for (const char* name : {"Korvel2008.ARX", "Korvel2010.arx", "Korvel2013.ARX", "ACAD2013.dll"}) {
        const bool there = m.files.Content(std::string(kInstalled) + "\\" + name) == name;
        EXPECT_TRUE(there || exitCode == kExitFilesSkipped) << where << " lacks " << name;
    }
    // ...and a clean exit means both releases load the plug-in and the folder is trusted.
    if (exitCode == kExitFinished) {
        EXPECT_EQ(m.registry.GetText(kHkeyLocalMachine,
                                     std::string(Machine::kKey2013) + "Applications\\Korvel2013",
                                     "LOADER"),
                  std::string(kInstalled) + "\\Korvel2013.ARX")
            << where;
        EXPECT_NE(UpperCp936(m.Trusted()).find(UpperCp936(kInstalled)), std::string::npos) << where;
    } else {
        EXPECT_TRUE(exitCode == kExitFilesSkipped || exitCode == kExitIncomplete) << where;
    }
}

}  // namespace

TEST(InstallRunFaults, AFaultAtAnyFileProcessOrPromptCallEndsHonestly) {
    int sweeps = 0, filesFailed = 0, processFailed = 0, boxesFailed = 0;
    std::size_t fileCallsSwept = 0;
    for (bool elevated : {false, true}) {
        for (bool reinstall : {false, true}) {
            // The calls a clean run makes, and the boxes it shows.
            std::size_t fileCalls = 0;
            int processCalls = 0;
            {
                Machine clean(elevated, reinstall);
                clean.processes.names = {"explorer.exe", "notepad.exe"};
                ASSERT_EQ(clean.run.OnInstall(), SetupState::Finished);
                ASSERT_EQ(clean.run.ExitCode(), kExitFinished);
                fileCalls = clean.files.calls.size();
                processCalls = clean.processes.callsMade;
            }
            ASSERT_GT(fileCalls, 50u);
            fileCallsSwept += fileCalls;
            const std::string mode = std::string(elevated ? "elevated" : "standard") +
                                     (reinstall ? ", reinstall" : ", fresh");
            for (std::size_t n = 1; n <= fileCalls; ++n) {
                for (int rest : {0, 1}) {          // this call only, or every call from it on
                    for (int box : {0, 1}) {       // and the first message box fails too
                        Machine m(elevated, reinstall);
                        const std::string before = m.Machines();
                        m.files.failFromCall = n;
                        m.files.failCallCount = rest ? 1u << 20 : 1;
                        m.view.failMessageAt = box;
                        m.catalogPrompt.failShowAt = box;
                        m.run.OnInstall();
                        const std::string where = mode + ", file call " + std::to_string(n) +
                                                  (rest ? "+" : "") + (box ? ", box fails" : "") +
                                                  " (" + m.files.calls.at(n - 1) + ")";
                        ExpectHonestOutcome(m, before, where);
                        filesFailed += m.files.failedCalls > 0;
                        boxesFailed += box && !m.view.messages.empty();
                        ++sweeps;
                        if (testing::Test::HasFailure()) return;
                    }
                }
            }
            for (int n = 1; n <= processCalls; ++n) {
                Machine m(elevated, reinstall);
                const std::string before = m.Machines();
                m.processes.names = {"explorer.exe", "acad.exe"};
                m.processes.failAtCall = n;
                m.run.OnInstall();
                if (m.run.state() == SetupState::Choosing) m.run.OnInstall();  // pressed again
                ExpectHonestOutcome(m, before, mode + ", process call " + std::to_string(n));
                ++processFailed;
                ++sweeps;
            }
        }
    }
    std::printf("install runs with a fault: %d; file calls swept %zu (failed in %d runs), process "
                "calls %d, runs with a failing message box %d\n",
                sweeps, fileCallsSwept, filesFailed, processFailed, boxesFailed);
}

// The package is removed once its files are copied: the run still ends, the payload and
// registration stand, the user hears of the missing package, and the exit code does not
// claim a complete install.
TEST_F(InstallRunTest, APackageThatVanishesAfterThePayloadCopyEndsTheRunHonestly) {
    registry.PutString(kHkeyCurrentUser, kVariables, "TRUSTEDPATHS", kUserEntries);
    bool removed = false;
    view.progress.beforeStep = [&] {
        if (!removed) files.Remove(kData);
        removed = true;
    };
    EXPECT_EQ(run.OnInstall(), SetupState::Finished);
    EXPECT_TRUE(removed);
    EXPECT_TRUE(files.IsFile(std::string(kInstalled) + "\\Korvel2013.ARX"));
    EXPECT_EQ(Loader(kKey2013, "Korvel2013"), std::string(kInstalled) + "\\Korvel2013.ARX");
    EXPECT_FALSE(files.Exists(std::string(kHost2013) + "\\Fonts\\Korvel_HZ.shx"));
    EXPECT_EQ(UpperCp936(registry.GetText(kHkeyCurrentUser, kVariables, "TRUSTEDPATHS")),
              UpperCp936(std::string(kUserEntries) + ";" + kInstalled));
    // Told (once per host folder) that the package is gone, and the run is not called complete.
    ASSERT_EQ(catalogPrompt.shown.size(), 2u);
    EXPECT_NE(catalogPrompt.shown[0].text.find("Data"), std::string::npos);
    EXPECT_EQ(run.ExitCode(), kExitIncomplete);
}

#include "deploy/PackageCopy.h"

#include <vector>

#include "DeployFixture.h"

namespace {
const char* const kTarget = "C:\\Korvel\\Korvel-Tarnwick";

std::string CopyFailed(const std::string& destination) {
    return "拷贝文件 " + destination +
           " 失败，可能原因如下：\n\n1、AutoCAD未关闭\n\n2、系统权限未开放，请以管理者权限登陆系统";
}
}  // namespace

class PackageCopyTest : public DeployFixture {
protected:
    void SetUp() override {
        DeployFixture::SetUp();
        files.AddFolder("C:\\Korvel");
    }
    bool Run(const std::string& target = kTarget) {
        PackageCopy copy(files, prompt, target, progress);
        return copy.Run();
    }
    std::string Target(const std::string& name) const { return std::string(kTarget) + "\\" + name; }
};

TEST_F(PackageCopyTest, CopiesTopLevelFilesOnlyAndSkipsTheSkipListInAnyCase) {
    AddPackage({"Korvel2010.arx", "korvel_en.SHX", "KORVEL_HZ.shx", "Korvel_HZ.shx.bak", "SETUP.exe",
                "SetUp.exe.config"});
    files.AddFolder(std::string(kData) + "\\Sub", kAttrDirectory | kAttrReadOnly | kAttrHidden);
    files.AddFile(std::string(kData) + "\\Sub\\inner.dll");
    files.AddFolder(std::string(kData) + "\\Plain.dll");  // a folder with a file's name

    EXPECT_TRUE(Run(std::string(kTarget) + "\\"));  // one trailing backslash is dropped
    EXPECT_EQ(files.Children(kTarget),
              (std::vector<std::string>{"Korvel2010.arx", "Korvel_HZ.shx.bak", "SetUp.exe.config"}));
    EXPECT_EQ(files.Content(Target("Korvel_HZ.shx.bak")), "Korvel_HZ.shx.bak");
    EXPECT_TRUE(prompt.shown.empty());
    EXPECT_EQ(files.OpenListings(), 0);
    EXPECT_EQ(progress.position, 100);
}

TEST_F(PackageCopyTest, FlatPackageLeavesTheSetupProgramOutButNotARenamedOne) {
    files.AddFile("C:\\Setup\\Data", "a file, not the package");
    files.AddFile("C:\\Setup\\Korvel2010.arx", "arx");
    EXPECT_TRUE(Run());
    EXPECT_EQ(files.Children(kTarget), (std::vector<std::string>{"Data", "Korvel2010.arx"}));

    files.Remove("C:\\Setup\\SetUp.exe");
    files.modulePath = "C:\\Setup\\Install.exe";
    files.AddFile(files.modulePath, "renamed setup");
    EXPECT_TRUE(Run());
    EXPECT_EQ(files.Content(Target("Install.exe")), "renamed setup");
}

TEST_F(PackageCopyTest, ReadOnlyTargetFileIsReplacedAndBothSidesEndWritable) {
    AddPackage({"a.arx"});
    files.AddFile(std::string(kData) + "\\a.arx", "new", kAttrReadOnly | kAttrHidden);
    files.AddFile(Target("A.ARX"), "old", kAttrReadOnly);
    EXPECT_TRUE(Run());
    EXPECT_EQ(files.Content(Target("a.arx")), "new");
    EXPECT_EQ(files.NameOf(Target("a.arx")), "A.ARX");  // an overwrite keeps the old spelling
    EXPECT_EQ(files.Attributes(std::string(kData) + "\\a.arx"), kAttrHidden);
    EXPECT_EQ(files.Attributes(Target("a.arx")) & kAttrReadOnly, 0u);
    EXPECT_TRUE(prompt.shown.empty());
}

TEST_F(PackageCopyTest, RetrySucceedsOnceTheObstacleIsGone) {
    AddPackage({"a.arx", "b.arx"});
    files.AddFolder(Target("a.arx"));  // a folder where the file should go
    prompt.answers = {kIdRetry, kIdRetry};
    int shows = 0;
    prompt.onShow = [&](const PromptDouble::Shown&) {
        if (++shows == 2) files.Remove(Target("a.arx"));
    };
    EXPECT_TRUE(Run());
    ASSERT_EQ(prompt.shown.size(), 2u);
    EXPECT_EQ(prompt.shown[0].text, CopyFailed("C:\\Korvel\\Korvel-Tarnwick\\a.arx"));
    EXPECT_EQ(prompt.shown[0].caption, "Korvel-软件安装");
    EXPECT_EQ(prompt.shown[0].type, kMbAbortRetryIgnore);
    EXPECT_EQ(files.Content(Target("a.arx")), "a.arx");
    EXPECT_EQ(files.Content(Target("b.arx")), "b.arx");
    EXPECT_EQ(progress.position, 100);
}

// Set after every block and every file, by the share of the package's bytes copied; a file whose
// copy failed and was retried does not move the bar twice.
TEST_F(PackageCopyTest, TheBarFollowsTheBytesBlockByBlock) {
    files.AddFolder(kData);
    files.AddFile(std::string(kData) + "\\a.dat", std::string(3 * FileDouble::kBlockSize, 'a'));
    files.AddFile(std::string(kData) + "\\b.dat", std::string(FileDouble::kBlockSize, 'b'));
    files.FailCopiesTo(Target("a.dat"), 1);
    prompt.answers = {kIdRetry};
    EXPECT_TRUE(Run());
    EXPECT_EQ(progress.calls, (std::vector<std::string>{"SetPos(25)", "SetPos(50)", "SetPos(75)", "SetPos(75)",
                                                        "SetPos(100)", "SetPos(100)"}));
}

TEST_F(PackageCopyTest, IgnoreKeepsTheOldTargetFileAndGoesOn) {
    AddPackage({"a.arx", "b.arx"});
    files.AddFile(Target("a.arx"), "old", kAttrReadOnly);
    files.SetLocked(Target("a.arx"));
    prompt.answers = {kIdIgnore};
    EXPECT_TRUE(Run());
    ASSERT_EQ(prompt.shown.size(), 1u);
    EXPECT_EQ(files.Content(Target("a.arx")), "old");
    EXPECT_EQ(files.Attributes(Target("a.arx")) & kAttrReadOnly, 0u);
    EXPECT_EQ(files.Content(Target("b.arx")), "b.arx");
}

TEST_F(PackageCopyTest, AbortKeepsEarlierCopiesAndStopsAtOnce) {
    AddPackage({"a.arx", "b.arx", "c.arx"});
    files.FailCopiesTo(Target("b.arx"));
    prompt.answers = {kIdAbort};
    EXPECT_FALSE(Run());
    EXPECT_EQ(files.Children(kTarget), std::vector<std::string>{"a.arx"});
    EXPECT_EQ(files.OpenListings(), 0);
    EXPECT_EQ(progress.position, 33);  // a's third of the bytes

    // A box that could not be shown answers nothing it offers: stop rather than loop.
    prompt.shown.clear();
    prompt.answers = {0};
    EXPECT_FALSE(Run());
    EXPECT_EQ(prompt.shown.size(), 1u);
}

TEST_F(PackageCopyTest, MissingPackageTouchesNothing) {
    EXPECT_FALSE(Run());
    ASSERT_EQ(prompt.shown.size(), 1u);
    EXPECT_EQ(prompt.shown[0].text, kPackageMissing);
    EXPECT_TRUE(progress.calls.empty());
    EXPECT_FALSE(files.IsFolder(kTarget));
}

TEST_F(PackageCopyTest, EveryFileOfALargePackageIsInstalled) {
    files.AddFolder(kData);
    for (int i = 0; i < 150; ++i) files.AddFile(std::string(kData) + "\\f" + std::to_string(1000 + i));
    EXPECT_TRUE(Run());
    EXPECT_EQ(files.Children(kTarget).size(), 150u);
    EXPECT_EQ(progress.position, 100);
    EXPECT_EQ(files.OpenListings(), 0);
}

TEST_F(PackageCopyTest, PathsTooLongForTheBuffersAreRefusedBeforeAnythingIsWritten) {
    AddPackage({"a.arx"});
    const std::string longTarget = "C:\\Korvel\\" + std::string(250, 't');  // 260 characters
    files.calls.clear();
    EXPECT_FALSE(Run(longTarget + "\\"));
    ASSERT_EQ(prompt.shown.size(), 1u);
    EXPECT_EQ(prompt.shown[0].caption, "Korvel-软件安装");
    EXPECT_TRUE(progress.calls.empty());
    for (const std::string& call : files.calls) {
        EXPECT_EQ(call.find("MakeDir"), std::string::npos) << call;
        EXPECT_EQ(call.find("CopyOver"), std::string::npos) << call;
    }
    EXPECT_TRUE(Run(longTarget.substr(0, 259)));  // 259 fits

    // The package's listing pattern "...\Data\*.*" has a buffer of its own.
    const std::string deep = "C:\\" + std::string(248, 'd');
    files.modulePath = deep + "\\S.exe";  // 257 characters: readable
    files.AddFile(deep + "\\Data\\a.arx");
    prompt.shown.clear();
    EXPECT_FALSE(Run());
    EXPECT_EQ(prompt.shown.size(), 1u);
}

// A listing that cannot be opened, or breaks off before its end, would install part of the
// package at best: the user is told, the copy fails, and nothing is copied.
TEST_F(PackageCopyTest, UnreadableListingIsAFailedCopy) {
    AddPackage({"a.arx", "b.arx", "c.arx"});
    files.FailListing(kData);
    EXPECT_FALSE(Run());
    EXPECT_TRUE(files.Children(kTarget).empty());
    EXPECT_TRUE(progress.calls.empty());
    ASSERT_EQ(prompt.shown.size(), 1u);
    EXPECT_NE(prompt.shown[0].text.find("无法读取安装文件列表"), std::string::npos);
    EXPECT_NE(prompt.shown[0].text.find(kData), std::string::npos);
    EXPECT_EQ(prompt.shown[0].caption, "Korvel-软件安装");

    // ".", "..", "a.arx", then the listing fails.
    files.ClearListingFaults();
    files.FailListingAt(kData, 3);
    prompt.shown.clear();
    EXPECT_FALSE(Run());
    EXPECT_TRUE(files.Children(kTarget).empty());
    EXPECT_TRUE(progress.calls.empty());
    ASSERT_EQ(prompt.shown.size(), 1u);
    EXPECT_NE(prompt.shown[0].text.find("无法读取安装文件列表"), std::string::npos);
}

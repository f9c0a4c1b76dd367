// Package copy and support files on real files. The program path is redirected to a scratch
// package, since under Wine the running program is win_tests.exe.
#include <gtest/gtest.h>

#include "DeployWin32Tree.h"
#include "catalogue/HostCatalogue.h"
#include "deploy/PackageCopy.h"
#include "deploy/SupportFiles.h"
#include "doubles/ProgressDouble.h"
#include "doubles/PromptDouble.h"
#include "doubles/RegistryDouble.h"
#include "platform/win32/Win32Files.h"

namespace {
class RedirectedFiles : public Win32Files {
public:
    PathRead ModulePath(std::string& path, std::uint32_t capacity) override {
        if (program.size() + 1 > capacity) return PathRead::Failed;
        path = program;
        return PathRead::Read;
    }
    std::string program;
};

std::string CopyFailed(const std::string& destination) {
    return "拷贝文件 " + destination +
           " 失败，可能原因如下：\n\n1、AutoCAD未关闭\n\n2、系统权限未开放，请以管理者权限登陆系统";
}
}  // namespace

class DeployWin32Test : public testing::Test {
protected:
    void SetUp() override {
        files.program = tree.Path("pkg\\SetUp.exe");
        tree.File("pkg\\SetUp.exe", "program");
        tree.Folder("pkg\\Data");
        tree.Folder("Korvel");
    }
    bool Run() {
        PackageCopy copy(files, prompt, target, progress);
        return copy.Run();
    }

    ScratchTree tree{"deploy"};
    RedirectedFiles files;
    PromptDouble prompt;
    ProgressDouble progress;
    std::string target = tree.Path("Korvel\\Korvel-Tarnwick");
};

TEST_F(DeployWin32Test, CopiesARealPackageLeavingBothSidesWritable) {
    for (const char* name : {"Korvel2010.arx", "ACAD2013.dll", "setup.EXE", "Korvel_EN.shx",
                             "Korvel_HZ.shx.bak"})
        tree.File(std::string("pkg\\Data\\") + name, name);
    tree.File("pkg\\Data\\Sub\\inner.arx", "inner");
    tree.File("Korvel\\Korvel-Tarnwick\\Korvel2010.arx", "old");
    SetFileAttributesW(WidenCp936(tree.Path("pkg\\Data\\ACAD2013.dll")).c_str(), FILE_ATTRIBUTE_READONLY);
    SetFileAttributesW(WidenCp936(tree.Path("Korvel\\Korvel-Tarnwick\\Korvel2010.arx")).c_str(),
                       FILE_ATTRIBUTE_READONLY);

    EXPECT_TRUE(Run());
    EXPECT_TRUE(prompt.shown.empty());
    EXPECT_EQ(tree.Names("Korvel\\Korvel-Tarnwick"),
              (std::vector<std::string>{"ACAD2013.dll", "Korvel2010.arx", "Korvel_HZ.shx.bak"}));
    EXPECT_EQ(tree.Read("Korvel\\Korvel-Tarnwick\\Korvel2010.arx"), "Korvel2010.arx");
    EXPECT_EQ(tree.Read("Korvel\\Korvel-Tarnwick\\ACAD2013.dll"), "ACAD2013.dll");
    for (const char* path : {"pkg\\Data\\ACAD2013.dll", "Korvel\\Korvel-Tarnwick\\ACAD2013.dll",
                             "Korvel\\Korvel-Tarnwick\\Korvel2010.arx"})
        EXPECT_EQ(tree.Attributes(path) & FILE_ATTRIBUTE_READONLY, 0u) << path;
    EXPECT_EQ(progress.position, 100);  // full once every file is copied
}

TEST_F(DeployWin32Test, AFolderInTheWayFailsTheCopyUntilItIsGone) {
    tree.File("pkg\\Data\\a.arx", "a");
    tree.Folder("Korvel\\Korvel-Tarnwick\\a.arx");
    prompt.answers = {kIdRetry, kIdRetry};
    prompt.onShow = [&](const PromptDouble::Shown&) {
        if (prompt.shown.size() == 2) RemoveDirectoryW(WidenCp936(target + "\\a.arx").c_str());
    };
    EXPECT_TRUE(Run());
    ASSERT_EQ(prompt.shown.size(), 2u);
    EXPECT_EQ(prompt.shown[0].text, CopyFailed(target + "\\a.arx"));
    EXPECT_EQ(prompt.shown[0].type, kMbAbortRetryIgnore);
    EXPECT_EQ(tree.Read("Korvel\\Korvel-Tarnwick\\a.arx"), "a");
}

TEST_F(DeployWin32Test, FlatPackageAndMissingPackage) {
    ScratchTree::RemoveTree(tree.Path("pkg\\Data"));
    tree.Folder("pkg\\Korvel2010.arx");  // a folder does not mark a package
    EXPECT_FALSE(Run());
    ASSERT_EQ(prompt.shown.size(), 1u);
    EXPECT_EQ(prompt.shown[0].text,
              "未找到安装所需的Data文件夹 !\n\n可能安装文件下载后没有解压，\n\n请解压后再执行SetUp.exe !");
    EXPECT_EQ(tree.Names("Korvel"), std::vector<std::string>{});

    ScratchTree::RemoveTree(tree.Path("pkg\\Korvel2010.arx"));
    tree.File("pkg\\Korvel2010.arx", "arx");
    EXPECT_TRUE(Run());
    EXPECT_EQ(tree.Names("Korvel\\Korvel-Tarnwick"), std::vector<std::string>{"Korvel2010.arx"});
}

TEST_F(DeployWin32Test, SupportFilesLandInTheHostFolders) {
    for (const char* name : {"Korvel_EN.shx", "Korvel_HZ.shx", "ACAD2007.dll", "ACAD2013.dll", "Korvel.prt5"})
        tree.File(std::string("pkg\\Data\\") + name, name);
    for (const char* host : {"AutoCAD 2008", "AutoCAD 2010"}) {
        tree.Folder(std::string("hosts\\") + host + "\\Fonts");
        tree.File(std::string("hosts\\") + host + "\\Drv\\pdfplot9.hdi", "driver");
    }
    tree.Folder("hosts\\Bare");
    RegistryDouble registry;
    HostCatalogue catalogue(registry, files, prompt);
    catalogue.hostFolders[1] = {tree.Path("hosts\\AutoCAD 2008")};
    catalogue.hostFolders[3] = {tree.Path("hosts\\AutoCAD 2010"), tree.Path("hosts\\Bare")};
    ReleaseFlags flags{};
    flags[1] = flags[3] = 1;
    catalogue.CopySupportFiles(flags);

    EXPECT_EQ(tree.Names("hosts\\AutoCAD 2008"),
              (std::vector<std::string>{"ACAD2007.dll", "ACAD2013.dll", "Drv", "Fonts"}));
    EXPECT_EQ(tree.Names("hosts\\AutoCAD 2008\\Fonts"),
              (std::vector<std::string>{"Korvel_EN.shx", "Korvel_HZ.shx"}));
    EXPECT_EQ(tree.Read("hosts\\AutoCAD 2008\\Drv\\pdfplot9.hdi"), "Korvel.prt5");
    EXPECT_EQ(tree.Read("hosts\\AutoCAD 2010\\Drv\\pdfplot9.hdi"), "driver");
    EXPECT_EQ(tree.Read("hosts\\AutoCAD 2010\\Fonts\\Korvel_HZ.shx"), "Korvel_HZ.shx");
    EXPECT_EQ(tree.Read("hosts\\AutoCAD 2010\\ACAD2013.dll"), "ACAD2013.dll");
    EXPECT_EQ(tree.Names("hosts\\Bare"), (std::vector<std::string>{"ACAD2007.dll", "ACAD2013.dll"}));
    EXPECT_TRUE(prompt.shown.empty());
}

TEST_F(DeployWin32Test, ChinesePathsTravelAsCp936) {
    ASSERT_EQ(GetACP(), 936u) << "run with LC_ALL=zh_CN.UTF-8";
    // Wine keeps non-ASCII names only when its Unix locale exists (a generated zh_CN.UTF-8).
    if (!CreateDirectoryW(WidenCp936(tree.Path("软件")).c_str(), nullptr))
        GTEST_SKIP() << "this Wine cannot hold Chinese file names (no zh_CN.UTF-8 locale)";
    tree.Folder("安装包\\Data");
    tree.File("安装包\\Data\\中文说明.txt", "说明");
    tree.File("安装包\\Data\\Korvel2010.arx", "arx");
    files.program = tree.Path("安装包\\祈禱.exe");  // "禱" ends in the byte 0x5C
    target = tree.Path("软件\\Korvel-Tarnwick");
    EXPECT_TRUE(Run());
    EXPECT_TRUE(prompt.shown.empty());
    EXPECT_EQ(tree.Names("软件\\Korvel-Tarnwick"),
              (std::vector<std::string>{"Korvel2010.arx", "中文说明.txt"}));
    EXPECT_EQ(tree.Read("软件\\Korvel-Tarnwick\\中文说明.txt"), "说明");
}

#include "deploy/PackageFolder.h"

#include "catalogue/HostCatalogue.h"
#include "DeployFixture.h"

using PackageFolderTest = DeployFixture;

TEST_F(PackageFolderTest, ProbeTellsNothingFileAndFolderWhateverTheirOtherBits) {
    files.AddFile("C:\\p\\plain.txt");
    files.AddFile("C:\\p\\odd.txt", "", kAttrReadOnly | kAttrHidden | kAttrSystem);
    files.AddFolder("C:\\p\\dir", kAttrDirectory | kAttrReadOnly | kAttrHidden);
    EXPECT_EQ(ProbePath(files, "C:\\p\\none"), 0);
    EXPECT_EQ(ProbePath(files, "C:\\p\\PLAIN.TXT"), 1);
    EXPECT_EQ(ProbePath(files, "C:\\p\\odd.txt"), 1);
    EXPECT_EQ(ProbePath(files, "C:\\p\\Dir"), 2);
    EXPECT_EQ(files.OpenListings(), 0);
}

TEST_F(PackageFolderTest, ClearReadOnlyKeepsEveryOtherBitAndLeavesMissingPathsAlone) {
    files.AddFile("C:\\p\\a", "", kAttrReadOnly | kAttrHidden | kAttrSystem | kAttrArchive);
    ClearReadOnly(files, "C:\\p\\a");
    EXPECT_EQ(files.Attributes("C:\\p\\a"), kAttrHidden | kAttrSystem | kAttrArchive);

    files.calls.clear();
    ClearReadOnly(files, "C:\\p\\a");      // not read-only: nothing written
    ClearReadOnly(files, "C:\\p\\none");
    for (const std::string& call : files.calls) EXPECT_EQ(call.find("WriteAttributes"), std::string::npos);
}

TEST_F(PackageFolderTest, DataFolderWinsOverMarkerBesideProgram) {
    files.AddFolder(kData);
    files.AddFile("C:\\Setup\\Korvel2010.arx");
    std::string folder;
    EXPECT_TRUE(LocatePackageFolder(files, prompt, folder));
    EXPECT_EQ(folder, "C:\\Setup\\Data");
    EXPECT_TRUE(prompt.shown.empty());
}

TEST_F(PackageFolderTest, FlatPackageWhenDataIsOnlyAFile) {
    files.AddFile("C:\\Setup\\Data", "not a folder");
    files.AddFile("C:\\Setup\\KORVEL2010.ARX");
    std::string folder;
    EXPECT_TRUE(LocatePackageFolder(files, prompt, folder));
    EXPECT_EQ(folder, "C:\\Setup");
    EXPECT_TRUE(prompt.shown.empty());
}

TEST_F(PackageFolderTest, MarkerAsFolderOrNothingAtAllIsAMissingPackage) {
    std::string folder;
    EXPECT_FALSE(LocatePackageFolder(files, prompt, folder));
    files.AddFolder("C:\\Setup\\Korvel2010.arx");
    EXPECT_FALSE(LocatePackageFolder(files, prompt, folder));
    ASSERT_EQ(prompt.shown.size(), 2u);
    for (const PromptDouble::Shown& shown : prompt.shown) {
        EXPECT_EQ(shown.text, kPackageMissing);
        EXPECT_EQ(shown.caption, "Korvel-软件安装");
        EXPECT_EQ(shown.type, kMbOk);
    }
}

TEST_F(PackageFolderTest, ProgramPathOverTheBufferIsRefusedWithAMessage) {
    const std::string deep = "C:\\" + std::string(240, 'd');
    files.modulePath = deep + "\\" + std::string(260 - deep.size() - 1, 's');  // 260: fits
    files.AddFolder(deep + "\\Data");
    std::string folder;
    EXPECT_TRUE(LocatePackageFolder(files, prompt, folder));
    EXPECT_EQ(folder, deep + "\\Data");

    files.modulePath += "x";  // 261 characters
    EXPECT_FALSE(LocatePackageFolder(files, prompt, folder));
    ASSERT_EQ(prompt.shown.size(), 1u);
    EXPECT_NE(prompt.shown[0].text, kPackageMissing);
    EXPECT_EQ(prompt.shown[0].caption, "Korvel-软件安装");
}

TEST_F(PackageFolderTest, ProgramNameWithA5CTrailByteIsCutAtTheRealSeparator) {
    files.modulePath = "C:\\Setup\\祈禱.exe";  // "禱" is B6 5C
    ASSERT_EQ(files.modulePath.find("\xB6\x5C"), 11u);
    files.AddFolder(kData);
    std::string folder;
    EXPECT_TRUE(LocatePackageFolder(files, prompt, folder));
    EXPECT_EQ(folder, "C:\\Setup\\Data");
}

// Started from "C:\Users\Jörg\Downloads\...": no CP936 text names the folder, so the user hears
// that, not that the package is missing.
TEST_F(PackageFolderTest, ProgramFolderBeyondTheCodePageIsNamedAsTheCause) {
    files.modulePathUnrepresentable = true;
    std::string folder;
    EXPECT_FALSE(LocatePackageFolder(files, prompt, folder));
    ASSERT_EQ(prompt.shown.size(), 1u);
    EXPECT_NE(prompt.shown[0].text.find("无法表示的字符"), std::string::npos);
    EXPECT_NE(prompt.shown[0].text.find("只含中文、英文字母和数字"), std::string::npos);
    EXPECT_EQ(prompt.shown[0].caption, "Korvel-软件安装");
}

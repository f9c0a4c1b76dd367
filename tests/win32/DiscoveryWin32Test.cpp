// Discovery against Wine's registry, with the fixture brought in by reg import, must find what
// it finds in the double loaded from the same file; and with the same bytes whatever the ANSI
// code page (the test runs under LC_ALL=zh_CN.UTF-8 and en_US.UTF-8).
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>

#include "catalogue/HostCatalogue.h"
#include "doubles/FileDouble.h"
#include "doubles/PromptDouble.h"
#include "doubles/RegFile.h"
#include "doubles/RegistryDouble.h"
#include "platform/win32/Win32Registry.h"
#include "win32/WineSupport.h"

namespace {

const char* const kFixture = KORVEL_FIXTURES "\\catalogue-hosts.reg";

struct DiscoveryWin32Test : testing::Test {
    void SetUp() override {
        RecordProperty("AnsiCodePage", static_cast<int>(GetACP()));
        // The runs under both locales say which code page they mean to test.
        if (const char* expected = std::getenv("KORVEL_EXPECT_ACP"))
            ASSERT_EQ(GetACP(), static_cast<UINT>(std::atoi(expected)));
        ASSERT_TRUE(DeleteRegistryTree(kHkeyLocalMachine, "SOFTWARE\\Autodesk"));
        ASSERT_TRUE(DeleteRegistryTree(kHkeyLocalMachine, "SOFTWARE\\Wow6432Node\\Autodesk"));
        ASSERT_TRUE(ImportRegFile(kFixture));
    }
    void TearDown() override {
        DeleteRegistryTree(kHkeyLocalMachine, "SOFTWARE\\Autodesk");
        DeleteRegistryTree(kHkeyLocalMachine, "SOFTWARE\\Wow6432Node\\Autodesk");
    }
};

TEST_F(DiscoveryWin32Test, FindsWhatTheDoubleFinds) {
    FileDouble files;
    PromptDouble prompt;
    Win32Registry real;
    HostCatalogue onWine(real, files, prompt);
    onWine.ScanInstalledReleases();

    RegistryDouble twin;
    ASSERT_EQ(LoadRegFile(twin, kFixture), "");
    HostCatalogue onDouble(twin, files, prompt);
    onDouble.ScanInstalledReleases();

    for (int k = 0; k < kReleaseCount; ++k) {
        EXPECT_EQ(onWine.hostKeys[k], onDouble.hostKeys[k]) << ReleaseTable[k].year;
        EXPECT_EQ(onWine.hostFolders[k], onDouble.hostFolders[k]) << ReleaseTable[k].year;
    }
    // The Chinese folder arrives as CP936 bytes on an English Windows too.
    ASSERT_EQ(onWine.hostFolders[1].size(), 2u);
    EXPECT_EQ(onWine.hostFolders[1][0], "C:\\Program Files\\AutoCAD 2008 中文版");
    EXPECT_EQ(onWine.hostKeys[1][0], "SOFTWARE\\Wow6432Node\\Autodesk\\AutoCAD\\R17.1\\ACAD-6001:804\\");
}

TEST_F(DiscoveryWin32Test, RegImportAndTheLoaderAgreeOnEveryValue) {
    RegistryDouble exported, loaded;
    ASSERT_EQ(ExportToDouble("HKEY_LOCAL_MACHINE\\SOFTWARE\\Autodesk", exported), "");
    ASSERT_EQ(LoadRegFile(loaded, kFixture), "");
    const std::string dump = loaded.Dump(kHkeyLocalMachine, "SOFTWARE\\Autodesk");
    EXPECT_NE(dump.find("中文版"), std::string::npos);
    EXPECT_EQ(exported.Dump(kHkeyLocalMachine, "SOFTWARE\\Autodesk"), dump);
}

TEST_F(DiscoveryWin32Test, ListSubKeysSeesTheRealRegistry) {
    Win32Registry real;
    KeyHandle key(real);
    ASSERT_EQ(real.OpenKeyRead(kHkeyLocalMachine, "SOFTWARE\\Autodesk\\AutoCAD\\R18.2", key.out()),
              kErrorSuccess);
    StringList names{"kept"};
    ListSubKeys(real, key.get(), names);
    EXPECT_EQ(names, (StringList{"kept", "ACAD-A001:804", "ACAD-A002:409", "ACAD-A003:804"}));
}

}  // namespace

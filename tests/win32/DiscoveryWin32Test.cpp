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
        if (const char* expected = std::getenv("KORVEL_EXPECT_ACP")) {
            ASSERT_EQ(GetACP(), static_cast<UINT>(std::atoi(expected)));
        }
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

// The x86 edition on a 64-bit Windows sees the 32-bit registry view, where SOFTWARE is the
// 64-bit view's SOFTWARE\Wow6432Node and SOFTWARE\Wow6432Node names that same key again. A 32-bit
// AutoCAD 2008 is therefore met by both scans: once under each path, both of them its own key.
// Registering through both writes the one key the host reads, with no failure.
// Removes SOFTWARE\Wow6432Node\<name> of the 64-bit view with everything below it.
void DeleteUnderWow6432Node(const wchar_t* name) {
    HKEY node = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Wow6432Node", 0, KEY_ALL_ACCESS | KEY_WOW64_64KEY, &node) ==
        ERROR_SUCCESS) {
        RegDeleteTreeW(node, name);
        RegCloseKey(node);
    }
}

TEST(DiscoveryWow64Test, BothScansMeetA32BitHostUnderOneKey) {
    BOOL wow64 = FALSE;
    if (!IsWow64Process(GetCurrentProcess(), &wow64) || !wow64)
        GTEST_SKIP() << "only a 32-bit program on a 64-bit Windows has two registry views";
    const wchar_t* const kAutodesk = L"SOFTWARE\\Wow6432Node\\Autodesk";
    const std::wstring product = std::wstring(kAutodesk) + L"\\AutoCAD\\R17.1\\ACAD-6001:804";
    // Earlier tests' fixtures, imported by the 32-bit reg.exe, may have left a nested key of
    // that name (Wine makes one): start from a 64-bit Windows' own layout.
    DeleteUnderWow6432Node(L"Wow6432Node");
    DeleteUnderWow6432Node(L"Autodesk");
    // Written in the 64-bit view, where a 32-bit host's installer leaves its keys.
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, product.c_str(), 0, nullptr, 0,
                              KEY_ALL_ACCESS | KEY_WOW64_64KEY, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    const wchar_t name[] = L"AutoCAD 2008";
    const wchar_t folder[] = L"C:\\Program Files (x86)\\AutoCAD 2008";
    RegSetValueExW(key, L"ProductName", 0, REG_SZ, reinterpret_cast<const BYTE*>(name), sizeof(name));
    RegSetValueExW(key, L"AcadLocation", 0, REG_SZ, reinterpret_cast<const BYTE*>(folder), sizeof(folder));
    RegCloseKey(key);

    FileDouble files;
    PromptDouble prompt;
    Win32Registry real;
    HostCatalogue catalogue(real, files, prompt);
    catalogue.ScanInstalledReleases();
    EXPECT_EQ(catalogue.hostKeys[1],
              (StringList{"SOFTWARE\\Wow6432Node\\Autodesk\\AutoCAD\\R17.1\\ACAD-6001:804\\",
                          "SOFTWARE\\Autodesk\\AutoCAD\\R17.1\\ACAD-6001:804\\"}));
    EXPECT_EQ(catalogue.hostFolders[1], (StringList(2, "C:\\Program Files (x86)\\AutoCAD 2008")));
    for (int k = 0; k < kReleaseCount; ++k)
        if (k != 1) {
            EXPECT_TRUE(catalogue.hostKeys[k].empty()) << ReleaseTable[k].year;
        }

    catalogue.SetInstallFolder("C:\\Korvel\\Korvel-Tarnwick");
    ReleaseFlags flags{};
    flags[1] = 1;
    catalogue.RegisterReleases(flags);
    EXPECT_FALSE(catalogue.registrationFailed[1]);
    wchar_t loader[MAX_PATH] = {};
    DWORD size = sizeof(loader);
    HKEY app = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, (product + L"\\Applications\\Korvel2008").c_str(), 0,
                            KEY_READ | KEY_WOW64_64KEY, &app),
              ERROR_SUCCESS);
    EXPECT_EQ(RegGetValueW(app, nullptr, L"LOADER", RRF_RT_REG_SZ, nullptr, loader, &size), ERROR_SUCCESS);
    RegCloseKey(app);
    EXPECT_STREQ(loader, L"C:\\Korvel\\Korvel-Tarnwick\\Korvel2008.ARX");
    HKEY nested = nullptr;
    EXPECT_NE(RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Wow6432Node\\Wow6432Node", 0,
                            KEY_READ | KEY_WOW64_64KEY, &nested),
              ERROR_SUCCESS)
        << "no key of that name is made";
    if (nested) RegCloseKey(nested);

    DeleteUnderWow6432Node(L"Autodesk");
}

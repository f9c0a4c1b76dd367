// Registration against Wine's registry, with the fixture brought in by reg import, must leave
// the same keys and values as the double loaded from the same file; and what it stores must have
// the types and byte counts the host expects.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>

#include "doubles/FileDouble.h"
#include "doubles/PromptDouble.h"
#include "doubles/RegFile.h"
#include "doubles/RegistryDouble.h"
#include "platform/win32/Cp936.h"
#include "platform/win32/Win32Registry.h"
#include "register/RegisterScenario.h"
#include "win32/WineSupport.h"

namespace {

namespace rs = register_scenario;

const std::string kFixture = std::string(KORVEL_FIXTURES) + "/" + rs::kFixture;
const char* const kMachineTree = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Autodesk";
const char* const kUserTree = "HKEY_CURRENT_USER\\SOFTWARE\\Autodesk";

struct RegisterWin32Test : testing::Test {
    void SetUp() override {
        RecordProperty("AnsiCodePage", static_cast<int>(GetACP()));
        ASSERT_TRUE(DeleteRegistryTree(kHkeyLocalMachine, "SOFTWARE\\Autodesk"));
        ASSERT_TRUE(DeleteRegistryTree(kHkeyCurrentUser, "SOFTWARE\\Autodesk"));
        ASSERT_TRUE(ImportRegFile(kFixture));
    }
    void TearDown() override {
        DeleteRegistryTree(kHkeyLocalMachine, "SOFTWARE\\Autodesk");
        DeleteRegistryTree(kHkeyCurrentUser, "SOFTWARE\\Autodesk");
    }

    // The same install, run on the given registry.
    static void Install(Registry& registry) {
        rs::AddLongValues(registry);
        FileDouble files;
        PromptDouble prompt;
        HostCatalogue catalogue(registry, files, prompt);
        rs::DescribeHosts(catalogue);
        catalogue.RegisterReleases(rs::Ticked());
        for (bool failed : catalogue.registrationFailed) EXPECT_FALSE(failed);
    }
};

TEST_F(RegisterWin32Test, LeavesWhatTheDoubleLeaves) {
    Win32Registry real;
    Install(real);
    RegistryDouble twin;
    ASSERT_EQ(LoadRegFile(twin, kFixture), "");
    Install(twin);

    RegistryDouble exported;
    ASSERT_EQ(ExportToDouble(kMachineTree, exported), "");
    ASSERT_EQ(ExportToDouble(kUserTree, exported), "");
    for (RegKey root : {kHkeyLocalMachine, kHkeyCurrentUser}) {
        const std::string onWine = exported.Dump(root, "SOFTWARE\\Autodesk");
        EXPECT_FALSE(onWine.empty());
        EXPECT_EQ(onWine, twin.Dump(root, "SOFTWARE\\Autodesk"));
    }
    // Both did the work, not merely nothing alike.
    EXPECT_EQ(exported.GetText(kHkeyCurrentUser,
                               "SOFTWARE\\Autodesk\\AutoCAD\\R17.0\\ACAD-5001:804\\Profiles\\"
                               "<<未命名配置>>\\Variables",
                               "TRUSTEDPATHS"),
              "D:\\TOOLS;E:\\LIB;C:\\KORVEL\\KORVEL-TARNWICK");
    EXPECT_EQ(exported.GetText(kHkeyCurrentUser,
                               "SOFTWARE\\Autodesk\\AutoCAD\\R17.1\\ACAD-6001:409\\Profiles\\"
                               "Chinese\\Variables",
                               "TRUSTEDPATHS"),
              "D:\\乤A\\工具;C:\\KORVEL\\KORVEL-TARNWICK");
}

// The raw data as the wide function gives them.
std::wstring Raw(HKEY root, const wchar_t* path, const wchar_t* name, DWORD& type, DWORD& size) {
    HKEY key = nullptr;
    type = 0;
    size = 0;
    if (RegOpenKeyExW(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return L"<no key>";
    std::wstring data(4096, L'\0');
    size = static_cast<DWORD>(data.size() * sizeof(wchar_t));
    const LONG read = RegQueryValueExW(key, name, nullptr, &type,
                                       reinterpret_cast<BYTE*>(&data[0]), &size);
    RegCloseKey(key);
    if (read != ERROR_SUCCESS) return L"<no value>";
    data.resize(size / sizeof(wchar_t));
    return data;
}

TEST_F(RegisterWin32Test, StoresTextsAndNumbersAsTheHostReadsThem) {
    Win32Registry real;
    Install(real);
    const wchar_t* dll =
        L"SOFTWARE\\Autodesk\\AutoCAD\\R17.1\\ACAD-6001:804\\Applications\\Korvel2008DLL";
    DWORD type = 0, size = 0;

    const std::wstring managed = Raw(HKEY_LOCAL_MACHINE, dll, L"MANAGED", type, size);
    EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(size, 4u);
    EXPECT_EQ(Raw(HKEY_LOCAL_MACHINE, dll, L"LOADCTRLS", type, size).substr(0, 1), L"\x0002");
    EXPECT_EQ(size, 4u);

    // The text arrives whole, in Chinese on any code page. The byte count leaves the terminating
    // zero out, but Wine (and, by Wine's account, NT) stores one when the caller's buffer has a
    // zero right after the counted characters, as a wide string's buffer has: record which.
    const std::wstring loader = Raw(HKEY_LOCAL_MACHINE, dll, L"LOADER", type, size);
    const std::wstring expected = L"D:\\CAD\\AutoCAD 2008 \x4E2D\x6587\\ACAD2007.dll";
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    const bool terminated = loader.size() == expected.size() + 1 && loader.back() == L'\0';
    EXPECT_TRUE(loader == expected || terminated) << NarrowCp936(loader);
    EXPECT_EQ(loader.substr(0, expected.size()), expected);
    RecordProperty("LoaderBytes", static_cast<int>(size));
    RecordProperty("LoaderTerminated", terminated ? "yes" : "no");
    std::printf("[ LOADER  ] %lu bytes for %zu characters: %s\n", static_cast<unsigned long>(size),
                expected.size(), terminated ? "stored with a terminating zero" : "stored as counted");

    // And reg export writes them as the host's own .reg files have them.
    wchar_t folder[MAX_PATH], file[MAX_PATH];
    ASSERT_TRUE(GetTempPathW(MAX_PATH, folder) && GetTempFileNameW(folder, L"reg", 0, file));
    ASSERT_EQ(RunCommand("reg.exe export \"HKEY_LOCAL_MACHINE\\" + NarrowCp936(dll, -1) + "\" \"" +
                         NarrowCp936(file, -1) + "\" /y"),
              0);
    std::ifstream in(file, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    in.close();
    DeleteFileW(file);
    ASSERT_GE(bytes.size(), 2u);
    std::wstring text(bytes.size() / 2 - 1, L'\0');
    std::memcpy(&text[0], bytes.data() + 2, text.size() * 2);
    EXPECT_NE(text.find(L"\"LOADCTRLS\"=dword:00000002"), std::wstring::npos);
    EXPECT_NE(text.find(L"\"MANAGED\"=dword:00000001"), std::wstring::npos);
    EXPECT_NE(text.find(L"\"LOADER\"=\"D:\\\\CAD\\\\AutoCAD 2008 \x4E2D\x6587\\\\ACAD2007.dll\""),
              std::wstring::npos)
        << NarrowCp936(text);
}

}  // namespace

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
#include "setup/RegistrationWarning.h"
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

// Trusted paths in characters this code page cannot hold, written by other programs through the
// wide functions: each such value stays exactly as it was, byte for byte, and the warning names
// its profile; a text stored with an odd byte count is read whole. Runs under 936 and 1252.
TEST_F(RegisterWin32Test, ValuesBeyondTheCodePageSurviveByteForByte) {
    const std::wstring profiles = L"SOFTWARE\\Autodesk\\AutoCAD\\R24.0\\ACAD-4101:804\\Profiles\\";
    struct Stored {
        const wchar_t* profile;
        std::wstring bytes;  // as UTF-16 units; odd byte counts come from oddBytes
        DWORD oddBytes;
    };
    const Stored values[] = {
        {L"Hangul", L"D:\\\uD55C\uAE00\\lib;E:\\tools", 0},
        {L"Polish", L"D:\\\u0141\u00F3d\u017A\\cad", 0},
        {L"German", L"C:\\Users\\J\u00F6rg\\lisp;D:\\Stra\u00DFe", 0},
        {L"Emoji", L"D:\\\U0001F600", 0},
        {L"Odd", L"E:\\def", 11},  // the last character's high byte left out
    };
    for (const Stored& v : values) {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, (profiles + v.profile + L"\\Variables").c_str(), 0,
                                  nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr), ERROR_SUCCESS);
        const DWORD size = v.oddBytes ? v.oddBytes : static_cast<DWORD>(v.bytes.size() * 2);
        ASSERT_EQ(RegSetValueExW(key, L"TRUSTEDPATHS", 0, REG_SZ,
                                 reinterpret_cast<const BYTE*>(v.bytes.c_str()), size), ERROR_SUCCESS);
        RegCloseKey(key);
    }
    const auto raw = [&](const wchar_t* profile) {
        DWORD type = 0, size = 0;
        const std::wstring data =
            Raw(HKEY_CURRENT_USER, (profiles + profile + L"\\Variables").c_str(), L"TRUSTEDPATHS", type, size);
        return std::to_wstring(type) + L":" + std::to_wstring(size) + L":" + data;
    };
    std::vector<std::wstring> before;
    for (const Stored& v : values) before.push_back(raw(v.profile));

    Win32Registry real;
    FileDouble files;
    PromptDouble prompt;
    HostCatalogue catalogue(real, files, prompt);
    catalogue.SetInstallFolder("C:\\Korvel\\Korvel-Tarnwick");
    catalogue.AddTrustedPaths();

    for (std::size_t i = 0; i + 1 < std::size(values); ++i)
        EXPECT_EQ(raw(values[i].profile), before[i]) << NarrowCp936(values[i].profile, -1);
    DWORD type = 0, size = 0;
    const std::wstring odd =
        Raw(HKEY_CURRENT_USER, (profiles + L"Odd\\Variables").c_str(), L"TRUSTEDPATHS", type, size);
    EXPECT_EQ(odd.substr(0, odd.find(L'\0')), L"E:\\DEF;C:\\KORVEL\\KORVEL-TARNWICK");

    std::vector<std::string> untouched;  // of this product; the fixture's own have other reasons
    for (const UntouchedProfile& p : catalogue.untouchedProfiles) {
        if (p.profile.rfind("R24.0\\", 0) != 0) continue;
        EXPECT_EQ(p.problem, ProfileProblem::Unrepresentable) << p.profile;
        untouched.push_back(p.profile.substr(p.profile.rfind('\\') + 1));
    }
    EXPECT_EQ(untouched, (std::vector<std::string>{"Emoji", "German", "Hangul", "Polish"}));
    const std::string warning = RegistrationWarning(catalogue, ReleaseFlags{});
    for (const char* name : {"Emoji", "German", "Hangul", "Polish"})
        EXPECT_NE(warning.find(std::string("R24.0\\ACAD-4101:804\\") + name), std::string::npos) << name;
    RecordProperty("AnsiCodePage", static_cast<int>(GetACP()));
}

}  // namespace

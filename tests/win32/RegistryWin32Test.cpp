// The Win32 registry seam against Wine's registry: CP936 texts whatever the ANSI code page,
// limits counted in CP936 bytes, handles and roots as the narrow functions give them, no link
// followed in a user's registry, no value read that the caller cannot take.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>

#include "doubles/RegistryDouble.h"
#include "platform/win32/Win32Registry.h"
#include "win32/WineSupport.h"

namespace {

const char* const kScratch = "Software\\KorvelRegistryTest";

struct Win32RegistryTest : testing::Test {
    Win32Registry registry;
    KeyHandle scratch{registry};

    void SetUp() override {
        RecordProperty("AnsiCodePage", static_cast<int>(GetACP()));
        ASSERT_TRUE(DeleteRegistryTree(kHkeyCurrentUser, kScratch));
        ASSERT_EQ(registry.CreateKey(kHkeyCurrentUser, kScratch, scratch.out()), kErrorSuccess);
    }
    void TearDown() override {
        scratch.Close();
        DeleteRegistryTree(kHkeyCurrentUser, kScratch);
    }
};

TEST_F(Win32RegistryTest, ChineseNamesAndTextsRoundTripAsCp936) {
    const std::string name = "AutoCAD 2010 中文版";
    const std::string text = "C:\\程序\\AutoCAD";
    KeyHandle key(registry);
    ASSERT_EQ(registry.CreateKey(scratch.get(), (name + "\\Sub").c_str(), key.out()), kErrorSuccess);
    ASSERT_EQ(registry.SetString(key.get(), "路径", text.c_str(), static_cast<std::uint32_t>(text.size())),
              kErrorSuccess);

    KeyHandle parent(registry);
    ASSERT_EQ(registry.OpenKeyRead(scratch.get(), name.c_str(), parent.out()), kErrorSuccess);
    char found[256] = "";
    std::uint32_t length = sizeof found;
    ASSERT_EQ(registry.EnumKey(scratch.get(), 0, found, length), kErrorSuccess);
    EXPECT_EQ(std::string(found), name);
    EXPECT_EQ(length, name.size());

    std::uint8_t data[256];
    std::uint32_t size = sizeof data;
    std::uint32_t type = 0;
    ASSERT_EQ(registry.QueryValue(key.get(), "路径", &type, data, size), kErrorSuccess);
    EXPECT_EQ(type, kRegSz);
    // Wine keeps a terminator the byte count left out; Windows does not.
    EXPECT_EQ(std::string(reinterpret_cast<char*>(data), size).substr(0, text.size()), text);
    EXPECT_LE(size, text.size() + 1);

    // The wide side holds the characters themselves, not "?".
    HKEY raw = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER,
                            L"Software\\KorvelRegistryTest\\AutoCAD 2010 \x4E2D\x6587\x7248\\Sub", 0,
                            KEY_READ, &raw), ERROR_SUCCESS);
    wchar_t wide[64];
    DWORD wideSize = sizeof wide;
    EXPECT_EQ(RegQueryValueExW(raw, L"\x8DEF\x5F84", nullptr, nullptr,
                               reinterpret_cast<BYTE*>(wide), &wideSize), ERROR_SUCCESS);
    EXPECT_EQ(std::wstring(wide), L"C:\\\x7A0B\x5E8F\\AutoCAD");
    RegCloseKey(raw);
}

TEST_F(Win32RegistryTest, BufferLimitsCountCp936Bytes) {
    // 128 Chinese characters: 256 bytes in CP936, stored without a terminator.
    std::wstring wide(128, L'\x4E2D');
    std::vector<wchar_t> stored(wide.begin(), wide.end());
    stored.push_back(L'x');  // not a zero after the data, so nothing adds a terminator
    ASSERT_EQ(RegSetValueExW(reinterpret_cast<HKEY>(scratch.get()), L"Exact", 0, REG_SZ,
                             reinterpret_cast<const BYTE*>(stored.data()), 256), ERROR_SUCCESS);
    std::uint8_t data[257];
    std::memset(data, 'x', sizeof data);
    std::uint32_t size = 255;
    EXPECT_EQ(registry.QueryValue(scratch.get(), "Exact", nullptr, data, size), kErrorMoreData);
    EXPECT_EQ(size, 256u);
    EXPECT_EQ(data[0], 'x');
    size = 256;
    ASSERT_EQ(registry.QueryValue(scratch.get(), "Exact", nullptr, data, size), kErrorSuccess);
    EXPECT_EQ(size, 256u);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(data), 2), "中");

    // A name of 200 Chinese characters fits the wide buffer but not 256 CP936 bytes.
    const std::wstring longName(200, L'\x6587');
    HKEY raw = nullptr;
    ASSERT_EQ(RegCreateKeyW(reinterpret_cast<HKEY>(scratch.get()), longName.c_str(), &raw),
              ERROR_SUCCESS);
    RegCloseKey(raw);
    char name[256];
    std::uint32_t length = sizeof name;
    EXPECT_EQ(registry.EnumKey(scratch.get(), 0, name, length), kErrorMoreData);
}

TEST_F(Win32RegistryTest, HandlesAndRootsBehaveLikeTheNarrowCalls) {
    RegKey machine = 0;
    ASSERT_EQ(registry.OpenKey(kHkeyLocalMachine, nullptr, machine), kErrorSuccess);
    EXPECT_EQ(machine, kHkeyLocalMachine);
    KeyHandle software(registry);
    EXPECT_EQ(registry.OpenKeyRead(machine, "SOFTWARE", software.out()), kErrorSuccess);
    registry.CloseKey(machine);

    KeyHandle child(registry);
    ASSERT_EQ(registry.CreateKey(scratch.get(), "A\\B\\C", child.out()), kErrorSuccess);
    child.Close();
    EXPECT_NE(registry.DeleteKey(scratch.get(), "A"), kErrorSuccess);  // it has sub-keys
    RegKey same = 0;
    EXPECT_EQ(registry.OpenKey(scratch.get(), "", same), kErrorSuccess);
    EXPECT_EQ(same, scratch.get());
    KeyHandle second(registry);
    EXPECT_EQ(registry.OpenKeyRead(scratch.get(), "a\\b", second.out()), kErrorSuccess);
    EXPECT_NE(second.get(), scratch.get());
    EXPECT_EQ(registry.OpenKeyRead(scratch.get(), "\\A", child.out()), kErrorBadPathname);

    ASSERT_EQ(registry.SetDword(scratch.get(), "Word", 0x01020304), kErrorSuccess);
    std::uint8_t data[4];
    std::uint32_t size = sizeof data;
    std::uint32_t type = 0;
    ASSERT_EQ(registry.QueryValue(scratch.get(), "WORD", &type, data, size), kErrorSuccess);
    EXPECT_EQ(type, kRegDword);
    EXPECT_EQ(data[0], 0x04);
    EXPECT_EQ(registry.QueryValue(scratch.get(), "none", &type, data, size), kErrorFileNotFound);
}

// The double sorts like a Windows hive (upper-cased); Wine sorts lower-cased. They agree
// except for names holding one of "[]^_`" where another holds a letter.
TEST_F(Win32RegistryTest, EnumerationOrderMatchesTheDoubleForOrdinaryNames) {
    RegistryDouble twin;
    for (const char* name : {"b", "Zed", "ax", "A", "a1", "Ab", "R18.0", "R17.1", "ACAD-8001:804",
                             "ACAD-8001:409", "文件", "中文"}) {
        KeyHandle key(registry);
        ASSERT_EQ(registry.CreateKey(scratch.get(), name, key.out()), kErrorSuccess);
        twin.CreateKeyPath(kHkeyCurrentUser, name);
    }
    std::vector<std::string> names;
    std::uint32_t count = 0;
    ASSERT_EQ(registry.QuerySubKeyCount(scratch.get(), count), kErrorSuccess);
    for (std::uint32_t i = 0; i < count; ++i) {
        char name[256] = "";
        std::uint32_t length = sizeof name;
        ASSERT_EQ(registry.EnumKey(scratch.get(), i, name, length), kErrorSuccess);
        names.push_back(name);
    }
    EXPECT_EQ(names, twin.SubKeyNames(kHkeyCurrentUser, ""));
}

// A symbolic-link key below parent naming a key of the machine's, as a user may make one.
bool MakeLink(HKEY parent, const wchar_t* name, const wchar_t* target) {
    HKEY link = nullptr;
    if (RegCreateKeyExW(parent, name, 0, nullptr, REG_OPTION_CREATE_LINK, KEY_ALL_ACCESS | KEY_CREATE_LINK, nullptr,
                        &link, nullptr) != ERROR_SUCCESS)
        return false;
    const std::wstring path = std::wstring(L"\\Registry\\Machine\\") + target;
    const LONG set = RegSetValueExW(link, L"SymbolicLinkValue", 0, REG_LINK, reinterpret_cast<const BYTE*>(path.c_str()),
                                    static_cast<DWORD>(path.size() * sizeof(wchar_t)));
    RegCloseKey(link);
    return set == ERROR_SUCCESS;
}

// The link key itself deleted, never its target (RegDeleteTree would follow it).
void DeleteLink(HKEY parent, const wchar_t* name) {
    using DeleteKeyFn = LONG(WINAPI*)(HANDLE);
    const auto deleteKey =
        reinterpret_cast<DeleteKeyFn>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtDeleteKey")));
    HKEY link = nullptr;
    if (RegOpenKeyExW(parent, name, REG_OPTION_OPEN_LINK, DELETE, &link) != ERROR_SUCCESS) return;
    if (deleteKey) deleteKey(link);
    RegCloseKey(link);
}

// Links in a user's registry, as the last level of a path and as a level above it: no call
// opens, makes or deletes anything through them; the machine's keys they name stay as they were.
TEST_F(Win32RegistryTest, NoCallFollowsALinkInAUsersRegistry) {
    // The machine's keys in its 64-bit view, which a link's kernel path names whatever the
    // program's edition.
    const auto machineKey = [](const wchar_t* path, bool create, HKEY& key) {
        return create ? RegCreateKeyExW(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0, KEY_ALL_ACCESS | KEY_WOW64_64KEY,
                                        nullptr, &key, nullptr)
                      : RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, KEY_READ | KEY_WOW64_64KEY, &key);
    };
    HKEY machine = nullptr;
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\KorvelRegistryTestTarget");
    ASSERT_EQ(machineKey(L"SOFTWARE\\KorvelRegistryTestTarget\\Inner", true, machine), ERROR_SUCCESS);
    RegCloseKey(machine);
    const HKEY raw = reinterpret_cast<HKEY>(scratch.get());
    // Links are taken away whatever happens (RegDeleteTree would follow them).
    struct Unlink {
        HKEY parent;
        ~Unlink() {
            for (const wchar_t* link : {L"Last", L"Above", L"Plain\\Link"}) DeleteLink(parent, link);
        }
    } unlink{raw};
    ASSERT_TRUE(MakeLink(raw, L"Last", L"SOFTWARE\\KorvelRegistryTestTarget\\Inner"));
    ASSERT_TRUE(MakeLink(raw, L"Above", L"SOFTWARE\\KorvelRegistryTestTarget"));
    // The links do work for the plain calls.
    HKEY followed = nullptr;
    ASSERT_EQ(RegOpenKeyExW(raw, L"Above\\Inner", 0, KEY_READ, &followed), ERROR_SUCCESS);
    RegCloseKey(followed);

    for (const char* path : {"Last", "Above\\Inner", "Above\\Inner\\"}) {
        SCOPED_TRACE(path);
        KeyHandle key(registry);
        EXPECT_EQ(registry.OpenKey(scratch.get(), path, key.out()), kErrorCantAccessFile);
        EXPECT_EQ(registry.OpenKeyRead(scratch.get(), path, key.out()), kErrorCantAccessFile);
        EXPECT_EQ(registry.OpenKeyRead(kHkeyCurrentUser, (std::string(kScratch) + "\\" + path).c_str(), key.out()),
                  kErrorCantAccessFile);
        const std::string below = std::string(path) + (std::string(path).back() == '\\' ? "Made" : "\\Made");
        EXPECT_EQ(registry.CreateKey(scratch.get(), below.c_str(), key.out()), kErrorCantAccessFile);
        EXPECT_FALSE(key);
        EXPECT_EQ(registry.DeleteKey(scratch.get(), path), kErrorCantAccessFile);
    }
    EXPECT_EQ(registry.DeleteKey(scratch.get(), "Above"), kErrorCantAccessFile);
    HKEY inner = nullptr;
    ASSERT_EQ(machineKey(L"SOFTWARE\\KorvelRegistryTestTarget\\Inner", false, inner), ERROR_SUCCESS);
    DWORD count = 1;
    EXPECT_EQ(RegQueryInfoKeyW(inner, nullptr, nullptr, nullptr, &count, nullptr, nullptr, nullptr, nullptr, nullptr,
                               nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(count, 0u);  // nothing was made through a link
    RegCloseKey(inner);

    // Plain keys of a user's registry are opened, made and deleted as before; a handle the walk
    // opened is a user's key too.
    KeyHandle made(registry);
    ASSERT_EQ(registry.CreateKey(scratch.get(), "Plain\\Deeper", made.out()), kErrorSuccess);
    KeyHandle plain(registry);
    ASSERT_EQ(registry.OpenKey(scratch.get(), "plain", plain.out()), kErrorSuccess);
    ASSERT_TRUE(MakeLink(reinterpret_cast<HKEY>(plain.get()), L"Link", L"SOFTWARE\\KorvelRegistryTestTarget"));
    EXPECT_EQ(registry.DeleteKey(plain.get(), "Link"), kErrorCantAccessFile);
    made.Close();
    EXPECT_NE(registry.DeleteKey(scratch.get(), "Plain"), kErrorSuccess);  // it has sub-keys
    EXPECT_EQ(registry.DeleteKey(plain.get(), "Deeper"), kErrorSuccess);
    EXPECT_EQ(registry.DeleteKey(scratch.get(), "Plain\\Deeper"), kErrorFileNotFound);
    plain.Close();
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\KorvelRegistryTestTarget");
}

// A value larger than the caller can take gives kErrorMoreData and at least its size, unread;
// listing stops at kLargestValueRead.
TEST_F(Win32RegistryTest, AValueTooLargeForTheCallerIsNotRead) {
    const std::vector<BYTE> large(kLargestValueRead + 2, 'a');
    ASSERT_EQ(RegSetValueExW(reinterpret_cast<HKEY>(scratch.get()), L"Large", 0, REG_BINARY, large.data(),
                             static_cast<DWORD>(large.size())),
              ERROR_SUCCESS);
    std::uint8_t data[16];
    std::memset(data, 'x', sizeof data);
    std::uint32_t size = sizeof data;
    EXPECT_EQ(registry.QueryValue(scratch.get(), "Large", nullptr, data, size), kErrorMoreData);
    EXPECT_GE(size, large.size());
    EXPECT_EQ(data[0], 'x');
    std::uint32_t type = 0;
    size = 0;
    EXPECT_EQ(registry.QueryValue(scratch.get(), "Large", &type, nullptr, size), kErrorSuccess);
    EXPECT_EQ(size, large.size());
    EXPECT_EQ(type, kRegBinary);
    std::string name, bytes;
    EXPECT_EQ(registry.EnumValue(scratch.get(), 0, name, type, bytes), kErrorMoreData);
    EXPECT_TRUE(bytes.empty());

    ASSERT_EQ(RegSetValueExW(reinterpret_cast<HKEY>(scratch.get()), L"Large", 0, REG_BINARY, large.data(),
                             kLargestValueRead),
              ERROR_SUCCESS);
    EXPECT_EQ(registry.EnumValue(scratch.get(), 0, name, type, bytes), kErrorSuccess);
    EXPECT_EQ(name, "Large");
    EXPECT_EQ(bytes.size(), kLargestValueRead);
}

}  // namespace

// The registry double must be as strict as Windows, or the catalogue's tests prove nothing.
#include <gtest/gtest.h>

#include <cstring>

#include "doubles/RegistryDouble.h"

namespace {

std::vector<std::string> Enumerate(RegistryDouble& reg, RegKey key) {
    std::vector<std::string> names;
    std::uint32_t count = 0;
    EXPECT_EQ(reg.QuerySubKeyCount(key, count), kErrorSuccess);
    for (std::uint32_t i = 0; i < count; ++i) {
        char name[256] = "";
        std::uint32_t length = sizeof name;
        EXPECT_EQ(reg.EnumKey(key, i, name, length), kErrorSuccess);
        EXPECT_EQ(length, std::strlen(name));
        names.push_back(name);
    }
    return names;
}

TEST(RegistryDouble, NamesIgnoreCaseKeepSpellingAndEnumerateSortedUpperCased) {
    RegistryDouble reg;
    for (const char* name : {"b", "_x", "Zed", "ax", "A", "a1", "Ab", "文件", "中文", "ａ"})
        reg.CreateKeyPath(kHkeyLocalMachine, std::string("SOFTWARE\\P\\") + name);
    RegKey key = 0;
    ASSERT_EQ(reg.OpenKeyRead(kHkeyLocalMachine, "software\\p", key), kErrorSuccess);
    // Windows compares upper-cased UTF-16: "_" (0x5F) sorts after the letters; 中 (U+4E2D)
    // before 文 (U+6587) although their GBK bytes sort the other way.
    EXPECT_EQ(Enumerate(reg, key), (std::vector<std::string>{"A", "a1", "Ab", "ax", "b", "Zed",
                                                             "_x", "中文", "文件", "ａ"}));
    RegKey same = 0;
    EXPECT_EQ(reg.OpenKeyRead(key, "ZED", same), kErrorSuccess);
    reg.CloseKey(same);
    EXPECT_EQ(reg.OpenKeyRead(key, "Ａ", same), kErrorSuccess);  // full-width letters fold too
    reg.CloseKey(same);
    EXPECT_EQ(reg.OpenKeyRead(key, "nothing", same), kErrorFileNotFound);
    EXPECT_EQ(reg.OpenKeyRead(key, "\\b", same), kErrorBadPathname);
    reg.CloseKey(key);
    EXPECT_EQ(reg.OpenHandleCount(), 0);
}

TEST(RegistryDouble, EnumKeyCountsCp936BytesAgainstTheCapacity) {
    RegistryDouble reg;
    reg.CreateKeyPath(kHkeyLocalMachine, "K\\中文");  // 4 bytes
    RegKey key = 0;
    ASSERT_EQ(reg.OpenKeyRead(kHkeyLocalMachine, "K", key), kErrorSuccess);
    char name[8];
    std::memset(name, 'x', sizeof name);
    std::uint32_t length = 4;
    EXPECT_EQ(reg.EnumKey(key, 0, name, length), kErrorMoreData);
    EXPECT_EQ(name[0], 'x');
    length = 5;
    EXPECT_EQ(reg.EnumKey(key, 0, name, length), kErrorSuccess);
    EXPECT_EQ(length, 4u);
    EXPECT_STREQ(name, "中文");
    EXPECT_EQ(reg.EnumKey(key, 1, name, length), kErrorNoMoreItems);
    reg.CloseKey(key);
}

TEST(RegistryDouble, ValuesKeepTheirBytesAndNeedRoomForAllOfThem) {
    RegistryDouble reg;
    RegKey key = 0;
    ASSERT_EQ(reg.CreateKey(kHkeyCurrentUser, "A\\B\\C", key), kErrorSuccess);
    EXPECT_TRUE(reg.KeyExists(kHkeyCurrentUser, "a\\b"));
    ASSERT_EQ(reg.SetString(key, "Text", "abc", 3), kErrorSuccess);
    ASSERT_EQ(reg.SetDword(key, "Word", 0x01020304), kErrorSuccess);

    std::uint8_t data[8];
    std::memset(data, 'x', sizeof data);
    std::uint32_t type = 0, size = 2;
    EXPECT_EQ(reg.QueryValue(key, "TEXT", &type, data, size), kErrorMoreData);
    EXPECT_EQ(size, 3u);
    EXPECT_EQ(data[0], 'x');
    size = 3;
    EXPECT_EQ(reg.QueryValue(key, "text", &type, data, size), kErrorSuccess);
    EXPECT_EQ(type, kRegSz);
    EXPECT_EQ(size, 3u);  // no terminator was written, none comes back
    EXPECT_EQ(data[3], 'x');
    size = sizeof data;
    EXPECT_EQ(reg.QueryValue(key, "Word", &type, data, size), kErrorSuccess);
    EXPECT_EQ(type, kRegDword);
    EXPECT_EQ(size, 4u);
    EXPECT_EQ(data[0], 0x04);
    EXPECT_EQ(reg.QueryValue(key, "missing", &type, data, size), kErrorFileNotFound);
    reg.CloseKey(key);
    EXPECT_EQ(reg.GetText(kHkeyCurrentUser, "A\\B\\C", "Text"), "abc");
}

TEST(RegistryDouble, HandlesFollowWindows) {
    RegistryDouble reg;
    reg.CreateKeyPath(kHkeyLocalMachine, "S\\T\\U");
    RegKey root = 0;
    EXPECT_EQ(reg.OpenKey(kHkeyLocalMachine, nullptr, root), kErrorSuccess);
    EXPECT_EQ(root, kHkeyLocalMachine);  // RegOpenKeyA gives back the handle it was given
    RegKey s = 0, again = 0, second = 0;
    ASSERT_EQ(reg.OpenKeyRead(root, "S", s), kErrorSuccess);
    EXPECT_EQ(reg.OpenKey(s, "", again), kErrorSuccess);
    EXPECT_EQ(again, s);
    EXPECT_EQ(reg.OpenKeyRead(s, "", second), kErrorSuccess);  // RegOpenKeyExA: a new handle
    EXPECT_NE(second, s);
    EXPECT_EQ(reg.OpenHandleCount(), 2);

    EXPECT_EQ(reg.DeleteKey(s, "T"), kErrorAccessDenied);  // it has a sub-key
    RegKey t = 0;
    ASSERT_EQ(reg.OpenKeyRead(s, "T", t), kErrorSuccess);
    EXPECT_TRUE(reg.DeleteTree(kHkeyLocalMachine, "S\\T"));
    std::uint32_t count = 99;
    EXPECT_EQ(reg.QuerySubKeyCount(t, count), kErrorKeyDeleted);
    EXPECT_EQ(count, 99u);
    EXPECT_EQ(reg.CloseKey(t), kErrorSuccess);
    EXPECT_EQ(reg.CloseKey(t), kErrorInvalidHandle);
    EXPECT_EQ(reg.badHandleCalls, 1);
    reg.CloseKey(second);
    reg.CloseKey(s);
    EXPECT_EQ(reg.OpenHandleCount(), 0);
}

TEST(RegistryDouble, KeyNamesHoldAtMost255Characters) {
    RegistryDouble reg;
    RegKey key = 0;
    EXPECT_EQ(reg.CreateKey(kHkeyCurrentUser, std::string(255, 'n').c_str(), key), kErrorSuccess);
    reg.CloseKey(key);
    std::string chinese;
    for (int i = 0; i < 255; ++i) chinese += "中";  // 510 bytes, 255 characters
    EXPECT_EQ(reg.CreateKey(kHkeyCurrentUser, chinese.c_str(), key), kErrorSuccess);
    reg.CloseKey(key);
    EXPECT_EQ(reg.CreateKey(kHkeyCurrentUser, ("X\\" + std::string(256, 'n')).c_str(), key),
              kErrorInvalidParameter);
    EXPECT_FALSE(reg.KeyExists(kHkeyCurrentUser, "X"));  // nothing half made
    EXPECT_EQ(reg.OpenHandleCount(), 0);
}

TEST(RegistryDouble, InjectedFaultsAndCounts) {
    RegistryDouble reg;
    reg.CreateKeyPath(kHkeyLocalMachine, "S\\A");
    reg.CreateKeyPath(kHkeyLocalMachine, "S\\B");
    RegKey key = 0;

    reg.FailCall(RegOp::OpenKeyRead, 2, kErrorAccessDenied);
    EXPECT_EQ(reg.OpenKeyRead(kHkeyLocalMachine, "S", key), kErrorSuccess);
    reg.CloseKey(key);
    EXPECT_EQ(reg.OpenKeyRead(kHkeyLocalMachine, "S", key), kErrorAccessDenied);
    EXPECT_EQ(reg.CallCount(RegOp::OpenKeyRead), 2);
    EXPECT_EQ(reg.CallCount(RegOp::Any), 3);
    reg.ClearFaults();

    reg.FailKey(kHkeyLocalMachine, "s\\b");
    RegKey s = 0;
    ASSERT_EQ(reg.OpenKeyRead(kHkeyLocalMachine, "S", s), kErrorSuccess);
    EXPECT_EQ(reg.OpenKeyRead(s, "A", key), kErrorSuccess);
    reg.CloseKey(key);
    EXPECT_EQ(reg.OpenKeyRead(s, "B", key), kErrorAccessDenied);
    EXPECT_EQ(reg.CreateKey(s, "B\\New", key), kErrorAccessDenied);
    EXPECT_FALSE(reg.KeyExists(kHkeyLocalMachine, "S\\B\\New"));

    reg.FailEnumAt(kHkeyLocalMachine, "S", 1, kErrorAccessDenied);
    char name[256];
    std::uint32_t length = sizeof name;
    EXPECT_EQ(reg.EnumKey(s, 0, name, length), kErrorSuccess);
    length = sizeof name;
    EXPECT_EQ(reg.EnumKey(s, 1, name, length), kErrorAccessDenied);

    reg.RefuseValueWrite(kHkeyLocalMachine, "S", "Locked");
    EXPECT_EQ(reg.SetDword(s, "Locked", 1), kErrorAccessDenied);
    EXPECT_EQ(reg.SetDword(s, "Free", 1), kErrorSuccess);

    // A key vanishing between the count and the read of its name.
    reg.ClearFaults();
    std::uint32_t count = 0;
    ASSERT_EQ(reg.QuerySubKeyCount(s, count), kErrorSuccess);
    ASSERT_EQ(count, 2u);
    reg.beforeCall = [&](RegOp op) {
        if (op == RegOp::EnumKey) reg.DeleteTree(kHkeyLocalMachine, "S\\B");
    };
    length = sizeof name;
    EXPECT_EQ(reg.EnumKey(s, 1, name, length), kErrorNoMoreItems);
    reg.beforeCall = nullptr;
    reg.CloseKey(s);
    EXPECT_EQ(reg.OpenHandleCount(), 0);
}

TEST(RegistryDouble, DumpComparesTextsWithoutTheirTerminators) {
    RegistryDouble a, b;
    a.PutString(kHkeyLocalMachine, "X\\Y", "Path", "C:\\中文", true);
    a.PutDword(kHkeyLocalMachine, "X\\Y", "N", 7);
    a.PutValue(kHkeyLocalMachine, "X", "Raw", kRegBinary, std::string("\x01\x00", 2));
    b.PutDword(kHkeyLocalMachine, "Other\\X\\Y", "n", 7);  // value names sort without case
    b.PutString(kHkeyLocalMachine, "Other\\X\\Y", "Path", "C:\\中文", false);
    b.PutValue(kHkeyLocalMachine, "Other\\X", "Raw", kRegBinary, std::string("\x01\x00", 2));
    EXPECT_EQ(a.Dump(kHkeyLocalMachine, "X"), "[]\n\"Raw\"=hex(3):01,00\n[Y]\n\"N\"=dword:00000007\n"
                                              "\"Path\"=sz:\"C:\\\\中文\"\n");
    EXPECT_NE(a.Dump(kHkeyLocalMachine, "X"), b.Dump(kHkeyLocalMachine, "Other\\X"));  // "N" vs "n"
    b.DeleteValue(kHkeyLocalMachine, "Other\\X\\Y", "n");
    b.PutDword(kHkeyLocalMachine, "Other\\X\\Y", "N", 7);
    EXPECT_EQ(a.Dump(kHkeyLocalMachine, "X"), b.Dump(kHkeyLocalMachine, "Other\\X"));
    EXPECT_EQ(a.Dump(kHkeyLocalMachine, "Nothing"), "");
}

}  // namespace

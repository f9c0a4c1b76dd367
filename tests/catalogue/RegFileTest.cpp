// The .reg loader must read fixtures exactly as reg import does, and reject the rest whole.
#include <gtest/gtest.h>

#include "doubles/RegFile.h"
#include "doubles/RegistryDouble.h"

namespace {

std::string Utf16WithBom(const std::u16string& text) {
    std::string bytes = "\xFF\xFE";
    for (char16_t c : text) {
        bytes.push_back(static_cast<char>(c & 0xFF));
        bytes.push_back(static_cast<char>(c >> 8));
    }
    return bytes;
}

TEST(RegFile, LoadsEveryValueForm) {
    RegistryDouble reg;
    const std::string text =
        "Windows Registry Editor Version 5.00\r\n"
        "\r\n"
        "; a comment\r\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Test\\Key]\r\n"
        "\"Text\"=\"C:\\\\Program Files\\\\\\\"q\\\"\"\r\n"
        "@=\"default\"\r\n"
        "\"Word\"=dword:0000010a\r\n"
        "\"Bin\"=hex:01,02,\\\r\n"
        "  ff\r\n"
        "\"Wide\" = hex(1):41,00,\\\r\n"
        "\t42,00\r\n"
        "\"Multi\"=hex(7):61,00,00,00,00,00\r\n"
        "\"Odd\"=hex(0):\r\n"
        "\r\n"
        "[HKEY_CURRENT_USER\\Software\\Other]\r\n";
    ASSERT_EQ(LoadRegText(reg, text), "");
    const std::string key = "SOFTWARE\\Test\\Key";
    EXPECT_EQ(reg.GetText(kHkeyLocalMachine, key, "Text"), "C:\\Program Files\\\"q\"");
    std::uint32_t type = 0;
    std::string bytes;
    ASSERT_TRUE(reg.GetValue(kHkeyLocalMachine, key, "Text", type, bytes));
    EXPECT_EQ(type, kRegSz);
    EXPECT_EQ(bytes.back(), '\0');  // reg import stores the terminator
    EXPECT_EQ(reg.GetText(kHkeyLocalMachine, key, ""), "default");
    ASSERT_TRUE(reg.GetValue(kHkeyLocalMachine, key, "Word", type, bytes));
    EXPECT_EQ(type, kRegDword);
    EXPECT_EQ(bytes, std::string("\x0a\x01\x00\x00", 4));
    ASSERT_TRUE(reg.GetValue(kHkeyLocalMachine, key, "Bin", type, bytes));
    EXPECT_EQ(type, kRegBinary);
    EXPECT_EQ(bytes, "\x01\x02\xff");
    ASSERT_TRUE(reg.GetValue(kHkeyLocalMachine, key, "Wide", type, bytes));
    EXPECT_EQ(type, kRegSz);
    EXPECT_EQ(bytes, "AB");  // UTF-16 data read through the narrow view, no terminator added
    ASSERT_TRUE(reg.GetValue(kHkeyLocalMachine, key, "Multi", type, bytes));
    EXPECT_EQ(bytes, std::string("a\0\0", 3));
    ASSERT_TRUE(reg.GetValue(kHkeyLocalMachine, key, "Odd", type, bytes));
    EXPECT_EQ(type, 0u);
    EXPECT_EQ(bytes, "");
    EXPECT_TRUE(reg.KeyExists(kHkeyCurrentUser, "Software\\Other"));
}

TEST(RegFile, ChineseTextFromUtf16AndFromCp936) {
    RegistryDouble wide, narrow;
    const std::u16string text =
        u"Windows Registry Editor Version 5.00\r\n"
        u"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Autodesk\\AutoCAD\\R18.0\\ACAD-8001:804]\r\n"
        u"\"AcadLocation\"=\"C:\\\\Program Files\\\\AutoCAD 2010 中文版\"\r\n";
    ASSERT_EQ(LoadRegText(wide, Utf16WithBom(text)), "");
    const std::string cp936 =
        "Windows Registry Editor Version 5.00\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Autodesk\\AutoCAD\\R18.0\\ACAD-8001:804]\n"
        "\"AcadLocation\"=\"C:\\\\Program Files\\\\AutoCAD 2010 中文版\"\n";
    ASSERT_EQ(LoadRegText(narrow, cp936), "");
    const std::string expected = "C:\\Program Files\\AutoCAD 2010 中文版";  // GBK bytes
    EXPECT_EQ(wide.GetText(kHkeyLocalMachine, "SOFTWARE\\Autodesk\\AutoCAD\\R18.0\\ACAD-8001:804",
                           "AcadLocation"), expected);
    EXPECT_EQ(wide.Dump(kHkeyLocalMachine, "SOFTWARE"), narrow.Dump(kHkeyLocalMachine, "SOFTWARE"));
}

TEST(RegFile, DeletionsAndRegedit4) {
    RegistryDouble reg;
    reg.PutString(kHkeyLocalMachine, "A\\B\\C", "V", "x");
    reg.PutString(kHkeyLocalMachine, "A", "Gone", "x");
    const std::string text =
        "REGEDIT4\n"
        "[-HKEY_LOCAL_MACHINE\\A\\B]\n"
        "[HKEY_LOCAL_MACHINE\\A]\n"
        "\"Gone\"=-\n"
        "\"Ansi\"=hex(1):41,42,00\n";
    ASSERT_EQ(LoadRegText(reg, text), "");
    EXPECT_FALSE(reg.KeyExists(kHkeyLocalMachine, "A\\B"));
    std::uint32_t type = 0;
    std::string bytes;
    EXPECT_FALSE(reg.GetValue(kHkeyLocalMachine, "A", "Gone", type, bytes));
    ASSERT_TRUE(reg.GetValue(kHkeyLocalMachine, "A", "Ansi", type, bytes));
    EXPECT_EQ(bytes, std::string("AB\0", 3));  // REGEDIT4 data are narrow already
}

TEST(RegFile, BadInputNamesItsLineAndChangesNothing) {
    const char* const bad[] = {
        "",
        "REGEDIT5\n",
        "REGEDIT4\n\"v\"=\"outside a key\"\n",
        "REGEDIT4\n[HKEY_NOWHERE\\X]\n",
        "REGEDIT4\n[HKEY_LOCAL_MACHINE\\X\n",
        "REGEDIT4\n[HKEY_LOCAL_MACHINE\\X]\n\"v\"=dword:123456789\n",
        "REGEDIT4\n[HKEY_LOCAL_MACHINE\\X]\n\"v\"=hex:1,,2\n",
        "REGEDIT4\n[HKEY_LOCAL_MACHINE\\X]\n\"v\"=hex:01,\\\n",
        "REGEDIT4\n[HKEY_LOCAL_MACHINE\\X]\n\"v=\"x\"\n",
        "REGEDIT4\n[HKEY_LOCAL_MACHINE\\X]\n\"v\"=\"a\\qb\"\n",
        "REGEDIT4\n[-HKEY_LOCAL_MACHINE]\n",
        "\xFF\xFE\x41",
    };
    for (const char* text : bad) {
        RegistryDouble reg;
        EXPECT_NE(LoadRegText(reg, text), "") << text;
        EXPECT_FALSE(reg.KeyExists(kHkeyLocalMachine, "X")) << text;
    }
    RegistryDouble reg;
    EXPECT_EQ(LoadRegText(reg, "REGEDIT4\n[HKEY_LOCAL_MACHINE\\X]\n\"v\"=dword:1\n\"w\"=oops\n"),
              "line 4: unknown value data");
    EXPECT_FALSE(reg.KeyExists(kHkeyLocalMachine, "X"));
    std::string longName = "REGEDIT4\n[HKEY_LOCAL_MACHINE\\" + std::string(256, 'k') + "]\n";
    EXPECT_NE(LoadRegText(reg, longName), "");
    EXPECT_NE(LoadRegFile(reg, "/nonexistent/file.reg"), "");
}

}  // namespace

// The command line's split against the system's own CommandLineToArgvW, on lines that exercise
// every rule: quotes, backslashes before quotes, doubled quotes, blanks and the program's name.
#include <windows.h>
#include <shellapi.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "setup/CommandLine.h"

TEST(CommandLineWin32Test, SplitsAsCommandLineToArgvW) {
    const std::vector<std::wstring> lines = {
        L"SetUp.exe",
        L"SetUp.exe /S",
        L"\"C:\\Program Files\\pkg\\SetUp.exe\" /S /D=C:\\a b",
        L"SetUp.exe \"abc\" d e",
        L"SetUp.exe a\\\\b d\"e f\"g h",
        L"SetUp.exe a\\\\\\\"b c d",
        L"SetUp.exe a\\\\\\\\\"b c\" d e",
        L"SetUp.exe \t/S\t-s   ",
        L"SetUp.exe \"\" x \"\"",
        L"SetUp.exe \"/LOG=C:\\my logs\\\" /S",
        L"SetUp.exe /LOG=\"C:\\my logs\\a.log\" /D=C:\\软件 安装",
        L"\"C:\\pkg\\\"SetUp.exe /S",
        L"\"C:\\pkg\\SetUp.exe\"/S",
        L"C:\\pkg\\SetUp.exe\\\" /S",
        L"SetUp.exe \"a\"\"b\" \"\"\"\" c",
        L"SetUp.exe a\"\"b",
        L"SetUp.exe \\\\\\\\\" \\\\\"",
    };
    for (const std::wstring& line : lines) {
        int count = 0;
        LPWSTR* argv = CommandLineToArgvW(line.c_str(), &count);
        ASSERT_NE(argv, nullptr);
        std::vector<std::wstring> system(argv + 1, argv + count);
        LocalFree(argv);
        std::vector<std::wstring> ours;
        for (const CommandArgument& argument : SplitArguments(std::u16string(line.begin(), line.end())))
            ours.emplace_back(argument.text.begin(), argument.text.end());
        EXPECT_EQ(ours, system) << std::string(line.begin(), line.end());
    }
}

// The setup log file: stamped UTF-8 lines from CP936 texts, the last run's log kept as ".1",
// and a file that cannot be made costs nothing but the log.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "platform/win32/Handle.h"
#include "platform/win32/Win32Files.h"
#include "platform/win32/Win32SetupLog.h"

namespace {
std::wstring TempPath(const wchar_t* name) {
    wchar_t folder[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH + 1, folder);
    return std::wstring(folder) + name;
}

std::string ReadAll(const std::wstring& path) {
    const Handle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, 0, nullptr));
    if (!file) return "(missing)";
    std::string bytes;
    char buffer[4096];
    DWORD read = 0;
    while (ReadFile(file.get(), buffer, sizeof buffer, &read, nullptr) && read > 0) bytes.append(buffer, read);
    return bytes;
}
}  // namespace

TEST(SetupLogWin32Test, WritesStampedUtf8LinesAndKeepsTheLastRunsLog) {
    const std::wstring path = TempPath(L"korvel-log-test.log");
    DeleteFileW(path.c_str());
    DeleteFileW((path + L".1").c_str());
    {
        Win32SetupLog log(path, false);
        ASSERT_TRUE(log.IsOpen());
        log.Line("first run");
        // Written at once: readable while the run goes on.
        EXPECT_NE(ReadAll(path).find("first run\r\n"), std::string::npos);
    }
    {
        Win32SetupLog log(path, true);
        log.Line("安装 C:\\软件");  // CP936 bytes
        log.Line("second line");
    }
    const std::string current = ReadAll(path);
    ASSERT_EQ(current.compare(0, 3, "\xEF\xBB\xBF"), 0) << current;
    // "YYYY-MM-DD hh:mm:ss.mmm " then the text in UTF-8.
    const std::size_t first = current.find("\r\n");
    ASSERT_NE(first, std::string::npos);
    const std::string line = current.substr(3, first - 3);
    ASSERT_GE(line.size(), 24u) << line;
    EXPECT_EQ(line[4], '-');
    EXPECT_EQ(line[10], ' ');
    EXPECT_EQ(line[19], '.');
    EXPECT_EQ(line.substr(24), "\xE5\xAE\x89\xE8\xA3\x85 C:\\\xE8\xBD\xAF\xE4\xBB\xB6");
    EXPECT_NE(current.find("second line\r\n"), std::string::npos);
    EXPECT_EQ(current.find("first run"), std::string::npos);
    EXPECT_NE(ReadAll(path + L".1").find("first run\r\n"), std::string::npos);
    DeleteFileW(path.c_str());
    DeleteFileW((path + L".1").c_str());
}

TEST(SetupLogWin32Test, ALogThatCannotBeMadeIsQuietlyOff) {
    const std::wstring folder = TempPath(L"korvel-log-folder");
    CreateDirectoryW(folder.c_str(), nullptr);
    for (const std::wstring& path : {folder, TempPath(L"no such folder\\x.log"), std::wstring()}) {
        Win32SetupLog log(path, true);
        EXPECT_FALSE(log.IsOpen());
        log.Line("nowhere");
        log.Flush();
    }
    EXPECT_TRUE(GetFileAttributesW(folder.c_str()) & FILE_ATTRIBUTE_DIRECTORY);
    RemoveDirectoryW(folder.c_str());
    EXPECT_NE(DefaultSetupLogPath().find(L"\\Korvel-Tarnwick-setup.log"), std::wstring::npos);
}

// What a user may have put at the log's place beforehand: a second name of a file of theirs (a
// hard link) is refused and left as it was; a folder where the last run's log would go costs the
// rotation only. Control characters in logged names are escaped, never a line of their own.
TEST(SetupLogWin32Test, PlantedFilesAreNeitherFollowedNorWrittenAndNamesCannotForgeLines) {
    const std::wstring path = TempPath(L"korvel-log-planted.log");
    const std::wstring theirs = TempPath(L"korvel-log-theirs.txt");
    DeleteFileW(path.c_str());
    DeleteFileW(theirs.c_str());
    Handle made(CreateFileW(theirs.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    ASSERT_TRUE(made);
    DWORD written = 0;
    WriteFile(made.get(), "theirs", 6, &written, nullptr);
    made.Close();
    ASSERT_TRUE(CreateHardLinkW(path.c_str(), theirs.c_str(), nullptr));
    {
        Win32SetupLog log(path, false);
        EXPECT_FALSE(log.IsOpen());
        log.Line("secret");
    }
    EXPECT_EQ(ReadAll(theirs), "theirs");
    DeleteFileW(path.c_str());
    DeleteFileW(theirs.c_str());

    CreateDirectoryW((path + L".1").c_str(), nullptr);
    {
        Win32SetupLog log(path, false);
        ASSERT_TRUE(log.IsOpen());
        log.Line("key\r\n2001-01-01 00:00:00.000 forged\x1b");
    }
    const std::string text = ReadAll(path);
    EXPECT_NE(text.find("key\\r\\n2001-01-01 00:00:00.000 forged\\x1B\r\n"), std::string::npos) << text;
    EXPECT_TRUE(GetFileAttributesW((path + L".1").c_str()) & FILE_ATTRIBUTE_DIRECTORY);
    RemoveDirectoryW((path + L".1").c_str());
    DeleteFileW(path.c_str());
}

TEST(SetupLogWin32Test, AFailedCopyTellsItsWindowsError) {
    Win32Files files;
    const std::string missing = "C:\\korvel-no-such-file.txt";
    EXPECT_FALSE(files.CopyOver(missing, "C:\\korvel-copy.txt", false));
    EXPECT_EQ(files.LastError(), 2u);
}

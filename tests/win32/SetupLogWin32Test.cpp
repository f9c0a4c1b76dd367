// The setup log file: stamped UTF-8 lines from CP936 texts on the file as they come, five earlier
// logs kept, runs that join or add set nothing aside, the finished log copied through a checked
// handle, and a file that cannot be made costs nothing but the log.
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

TEST(SetupLogWin32Test, WritesStampedUtf8LinesAsTheyComeAndKeepsFiveEarlierLogs) {
    const std::wstring path = TempPath(L"korvel-log-test.log");
    const auto clean = [&path] {
        DeleteFileW(path.c_str());
        for (wchar_t k = L'1'; k <= L'7'; ++k) DeleteFileW((path + L"." + k).c_str());
    };
    clean();
    for (int run = 1; run <= 7; ++run) {
        Win32SetupLog log(path);
        ASSERT_TRUE(log.IsOpen());
        EXPECT_FALSE(log.joined());
        log.Line("run " + std::to_string(run));
        // On the file at once: readable while the run goes on, and left by a run killed now.
        EXPECT_NE(ReadAll(path).find("run " + std::to_string(run) + "\r\n"), std::string::npos);
    }
    EXPECT_NE(ReadAll(path).find("run 7\r\n"), std::string::npos);
    for (int k = 1; k <= 5; ++k)
        EXPECT_NE(ReadAll(path + L"." + wchar_t(L'0' + k)).find("run " + std::to_string(7 - k) + "\r\n"), std::string::npos) << k;
    EXPECT_EQ(ReadAll(path + L".6"), "(missing)");  // the oldest went

    {
        Win32SetupLog log(path);
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
    EXPECT_EQ(current.find("run 7"), std::string::npos);
    clean();
}

// A run refused while another writes the log (another setup running, or a second /LOG= to the
// same file) adds its lines after the running one's and sets nothing aside; so does a run that
// only adds (Append). Lines of both stay whole, in the order written.
TEST(SetupLogWin32Test, ARunThatJoinsOrAddsSetsNothingAside) {
    const std::wstring path = TempPath(L"korvel-log-joined.log");
    DeleteFileW(path.c_str());
    DeleteFileW((path + L".1").c_str());
    {
        Win32SetupLog earlier(path);
        earlier.Line("earlier run");
    }
    {
        Win32SetupLog running(path);
        running.Line("running 1");
        Win32SetupLog refused(path, Win32SetupLog::Start::Append);
        Win32SetupLog second(path);
        EXPECT_TRUE(second.joined());
        refused.Line("refused");
        second.Line("second");
        running.Line("running 2");
    }
    const std::string text = ReadAll(path);
    const std::size_t one = text.find("running 1\r\n"), refused = text.find("refused\r\n"),
                      second = text.find("second\r\n"), two = text.find("running 2\r\n");
    ASSERT_NE(two, std::string::npos) << text;
    EXPECT_TRUE(one < refused && refused < second && second < two) << text;
    EXPECT_EQ(text.rfind("\xEF\xBB\xBF"), 0u);  // one byte-order mark, at the start
    EXPECT_NE(ReadAll(path + L".1").find("earlier run"), std::string::npos);
    EXPECT_EQ(ReadAll(path + L".2"), "(missing)");
    {
        Win32SetupLog added(path, Win32SetupLog::Start::Append);
        added.Line("added");
    }
    EXPECT_EQ(ReadAll(path).find("running 1"), one);
    EXPECT_NE(ReadAll(path).find("added\r\n"), std::string::npos);
    DeleteFileW(path.c_str());
    DeleteFileW((path + L".1").c_str());
}

// The finished log copied elsewhere (a share): this run's lines and the last one, after what the
// file there holds; a second name of another file there is refused and left as it was.
TEST(SetupLogWin32Test, TheFinishedLogIsCopiedThroughACheckedHandle) {
    const std::wstring path = TempPath(L"korvel-log-local.log");
    const std::wstring copy = TempPath(L"korvel-log-share.log");
    const std::wstring theirs = TempPath(L"korvel-log-theirs-copy.txt");
    for (const std::wstring& p : {path, copy, theirs}) DeleteFileW(p.c_str());
    Win32SetupLog log(path);
    log.KeepCopy();
    log.Line("first");
    std::uint32_t error = 1;
    ASSERT_TRUE(log.CopyTo(copy, "exit code 0: done", error));
    ASSERT_TRUE(log.CopyTo(copy, "again", error));
    EXPECT_EQ(error, 0u);
    const std::string copied = ReadAll(copy);
    EXPECT_EQ(copied.rfind("\xEF\xBB\xBF"), 0u);
    EXPECT_LT(copied.find("first\r\n"), copied.find("exit code 0: done\r\n"));
    EXPECT_LT(copied.find("exit code 0: done\r\n"), copied.rfind("first\r\n"));
    EXPECT_EQ(copied.compare(copied.size() - 7, 7, "again\r\n"), 0);
    EXPECT_EQ(ReadAll(path).find("exit code 0"), std::string::npos);  // the log itself is the caller's

    DeleteFileW(copy.c_str());
    HANDLE made = CreateFileW(theirs.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(made, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    WriteFile(made, "theirs", 6, &written, nullptr);
    CloseHandle(made);
    ASSERT_TRUE(CreateHardLinkW(copy.c_str(), theirs.c_str(), nullptr));
    EXPECT_FALSE(log.CopyTo(copy, "never", error));
    EXPECT_NE(error, 0u);
    EXPECT_EQ(ReadAll(theirs), "theirs");
    for (const std::wstring& p : {path, copy, theirs}) DeleteFileW(p.c_str());
}

TEST(SetupLogWin32Test, ALogThatCannotBeMadeIsQuietlyOff) {
    const std::wstring folder = TempPath(L"korvel-log-folder");
    CreateDirectoryW(folder.c_str(), nullptr);
    for (const std::wstring& path : {folder, TempPath(L"no such folder\\x.log")}) {
        Win32SetupLog log(path);
        EXPECT_FALSE(log.IsOpen());
        EXPECT_NE(log.error(), 0u);  // for the default log's first lines
        log.Line("nowhere");
    }
    Win32SetupLog none{std::wstring()};
    EXPECT_FALSE(none.IsOpen());
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
        Win32SetupLog log(path);
        EXPECT_FALSE(log.IsOpen());
        log.Line("secret");
    }
    EXPECT_EQ(ReadAll(theirs), "theirs");
    DeleteFileW(path.c_str());
    DeleteFileW(theirs.c_str());

    CreateDirectoryW((path + L".1").c_str(), nullptr);
    {
        Win32SetupLog log(path);
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

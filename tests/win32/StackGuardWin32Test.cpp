// The setup program's stack canaries: a value of its own in every run, and an overrun ends the
// process as a stack buffer overrun, not by returning into what was written.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "WineSupport.h"
#include "platform/win32/Cp936.h"
#include "platform/win32/Handle.h"

namespace {
DWORD RunProbe(const std::wstring& arguments) {
    const std::wstring probe = WidenCp936(WinePath(KORVEL_STACK_GUARD_PROBE));
    std::wstring command = L"\"" + probe + L"\" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(probe.c_str(), &command[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr,
                        &startup, &process))
        return 0xFFFFFFFF;
    const Handle started(process.hProcess), thread(process.hThread);
    DWORD code = 0xFFFFFFFE;
    if (WaitForSingleObject(started.get(), 60000) == WAIT_OBJECT_0) GetExitCodeProcess(started.get(), &code);
    return code;
}

std::string GuardOfOneRun(const std::wstring& file) {
    if (RunProbe(L"guard \"" + file + L"\"") != 0) return "(failed)";
    char text[64] = {};
    DWORD read = 0;
    const Handle handle(CreateFileW(file.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!handle) return "(missing)";
    ReadFile(handle.get(), text, sizeof text - 1, &read, nullptr);
    DeleteFileW(file.c_str());
    return std::string(text, read);
}
}  // namespace

TEST(StackGuardWin32, EachRunHasItsOwnCanaryAndAnOverrunEndsTheProcess) {
    wchar_t temp[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH + 1, temp);
    const std::wstring file = std::wstring(temp) + L"korvel-guard.txt";
    const std::string first = GuardOfOneRun(file), second = GuardOfOneRun(file);
    ASSERT_GT(first.size(), 2u) << first;
    EXPECT_NE(first, second);
    EXPECT_EQ(first.substr(first.size() - 2), "00") << "the lowest byte is zero, so that a string copy cannot forge it";

    EXPECT_EQ(RunProbe(L"smash"), 0xC0000409u);  // STATUS_STACK_BUFFER_OVERRUN
}

// The shell's and COM's functions that the program looks up at run time: each reaches the real
// function (a wrong name or calling convention would fail or crash here, on x86 above all).
#include <windows.h>

#include <gtest/gtest.h>

#include "platform/win32/Handle.h"
#include "platform/win32/ShellFunctions.h"

TEST(ShellFunctionsWin32Test, ReachTheShellAndCom) {
    const HRESULT com = ComInitialize(COINIT_APARTMENTTHREADED);
    ASSERT_TRUE(SUCCEEDED(com));

    IMalloc* allocator = nullptr;
    ASSERT_EQ(ShellGetMalloc(&allocator), S_OK);
    ASSERT_NE(allocator, nullptr);
    wchar_t windows[MAX_PATH] = {};
    ASSERT_GT(::GetWindowsDirectoryW(windows, MAX_PATH), 0u);
    PIDLIST_ABSOLUTE item = nullptr;
    ASSERT_EQ(::SHParseDisplayName(windows, nullptr, &item, 0, nullptr), S_OK);
    wchar_t path[MAX_PATH] = {};
    EXPECT_TRUE(ShellGetPathFromIDList(item, path));
    EXPECT_EQ(::lstrcmpiW(path, windows), 0) << path;
    allocator->Free(item);
    allocator->Release();

    // ShellExecuteEx starts a program and hands back its process.
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
    info.lpFile = L"cmd.exe";
    info.lpParameters = L"/c exit 7";
    info.nShow = SW_HIDE;
    ASSERT_TRUE(ShellStart(&info));
    const Handle process(info.hProcess);
    ASSERT_TRUE(process);
    ASSERT_EQ(::WaitForSingleObject(process.get(), 30000), WAIT_OBJECT_0);
    DWORD code = 0;
    EXPECT_TRUE(::GetExitCodeProcess(process.get(), &code));
    EXPECT_EQ(code, 7u);

    ComUninitialize();
}

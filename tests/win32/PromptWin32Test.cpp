// The message box: wide texts from CP936, owned by the window the dialog set, the user's answer.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "catalogue/HostCatalogue.h"
#include "platform/win32/Win32Prompt.h"

namespace {
struct Seen {
    std::wstring caption;
    std::wstring text;
    HWND owner = nullptr;
    bool found = false;
};

BOOL CALLBACK FindBox(HWND window, LPARAM param) {
    wchar_t className[32] = {};
    GetClassNameW(window, className, 32);
    if (std::wstring(className) != L"#32770") return TRUE;
    *reinterpret_cast<HWND*>(param) = window;
    return FALSE;
}

// Waits for the box on `thread`, reads it and answers with `button`.
void Answer(DWORD thread, int button, Seen& seen) {
    for (int attempt = 0; attempt < 500; ++attempt) {
        HWND box = nullptr;
        EnumThreadWindows(thread, FindBox, reinterpret_cast<LPARAM>(&box));
        if (box && IsWindowVisible(box)) {
            wchar_t buffer[512] = {};
            GetWindowTextW(box, buffer, 512);
            seen.caption = buffer;
            GetDlgItemTextW(box, 0xFFFF, buffer, 512);
            seen.text = buffer;
            seen.owner = GetWindow(box, GW_OWNER);
            seen.found = true;
            PostMessageW(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0);
            return;
        }
        Sleep(20);
    }
}
}  // namespace

TEST(Win32Prompt, ShowsTheCp936TextInABoxOwnedByTheDialog) {
    const HWND owner = CreateWindowExW(0, L"STATIC", L"owner", WS_POPUP, 0, 0, 10, 10, nullptr,
                                       nullptr, GetModuleHandleW(nullptr), nullptr);
    if (!owner) GTEST_SKIP() << "no window can be made here";
    Win32Prompt prompt;
    prompt.SetOwner(owner);

    Seen seen;
    std::thread answerer(Answer, GetCurrentThreadId(), IDIGNORE, std::ref(seen));
    const int answer = prompt.Show("拷贝文件 C:\\Korvel\\a.arx 失败", kSetupCaption, kMbAbortRetryIgnore);
    answerer.join();
    DestroyWindow(owner);

    ASSERT_TRUE(seen.found);
    EXPECT_EQ(answer, kIdIgnore);
    EXPECT_EQ(seen.caption, L"Korvel-软件安装");
    EXPECT_EQ(seen.text, L"拷贝文件 C:\\Korvel\\a.arx 失败");
    EXPECT_EQ(seen.owner, owner);
}

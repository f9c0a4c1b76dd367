#include "UiDriver.h"

#include <cstdio>
#include <cwchar>

namespace {
constexpr DWORD kPoll = 50;

struct FindData {
    DWORD processId;
    const std::wstring* caption;
    HWND found;
};

BOOL CALLBACK FindTopLevel(HWND window, LPARAM lParam) {
    FindData* data = reinterpret_cast<FindData*>(lParam);
    DWORD owner = 0;
    ::GetWindowThreadProcessId(window, &owner);
    if (owner != data->processId || !IsVisible(window)) return TRUE;
    if (WindowText(window) != *data->caption) return TRUE;
    data->found = window;
    return FALSE;
}

struct BoxData {
    HWND owner;
    HWND found;
};

BOOL CALLBACK FindBox(HWND window, LPARAM lParam) {
    BoxData* data = reinterpret_cast<BoxData*>(lParam);
    if (window == data->owner || ClassName(window) != L"#32770") return TRUE;
    if (::GetWindow(window, GW_OWNER) != data->owner || !IsVisible(window)) return TRUE;
    data->found = window;
    return FALSE;
}
struct ProcessWindows {
    DWORD processId;
    bool boxesOnly;
    HWND found;
};

BOOL CALLBACK FindProcessWindow(HWND window, LPARAM lParam) {
    ProcessWindows* data = reinterpret_cast<ProcessWindows*>(lParam);
    DWORD owner = 0;
    ::GetWindowThreadProcessId(window, &owner);
    if (owner != data->processId || !IsVisible(window)) return TRUE;
    if (data->boxesOnly && ClassName(window) != L"#32770") return TRUE;
    data->found = window;
    return FALSE;
}
}  // namespace

DWORD Scaled(DWORD milliseconds) {
    static const DWORD scale = [] {
        wchar_t text[8] = L"";
        const DWORD length = ::GetEnvironmentVariableW(L"KORVEL_TIME_SCALE", text, 8);
        const unsigned long value = length > 0 && length < 8 ? std::wcstoul(text, nullptr, 10) : 1;
        return static_cast<DWORD>(value >= 1 && value <= 99 ? value : 1);
    }();
    if (milliseconds == INFINITE) return INFINITE;
    return milliseconds > INFINITE / scale - 1 ? INFINITE - 1 : milliseconds * scale;
}

namespace {
// Polls find until it gives a box, or the time is up; then reads the box.
template <typename Find>
bool WaitForBox(Find find, DWORD milliseconds, MessageBoxInfo& info) {
    milliseconds = Scaled(milliseconds);
    for (DWORD waited = 0;; waited += kPoll) {
        if (HWND found = find()) {
            Settle(found);
            info.box = found;
            info.caption = WindowText(found);
            info.text = WindowText(::GetDlgItem(found, 0xFFFF));
            return true;
        }
        if (waited >= milliseconds) return false;
        ::Sleep(kPoll);
    }
}
}  // namespace

bool WaitForProcessMessageBox(DWORD processId, DWORD milliseconds, MessageBoxInfo& info) {
    return WaitForBox(
        [processId] {
            ProcessWindows data{processId, true, nullptr};
            ::EnumWindows(&FindProcessWindow, reinterpret_cast<LPARAM>(&data));
            return data.found;
        },
        milliseconds, info);
}

bool ShowsAnyWindow(DWORD processId) { return AnyVisibleWindow(processId) != nullptr; }

Process::~Process() {
    if (info.hProcess != nullptr) ::CloseHandle(info.hProcess);
    if (info.hThread != nullptr) ::CloseHandle(info.hThread);
}

bool Process::Start(const std::wstring& exe, const std::wstring& arguments, const std::wstring& folder) {
    std::wstring commandLine = L"\"" + exe + L"\"";
    if (!arguments.empty()) commandLine += L" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    return ::CreateProcessW(exe.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                            folder.empty() ? nullptr : folder.c_str(), &startup, &info) != FALSE;
}

int Process::Wait(DWORD milliseconds) {
    if (info.hProcess == nullptr) return -1;
    if (::WaitForSingleObject(info.hProcess, Scaled(milliseconds)) != WAIT_OBJECT_0) return -1;
    DWORD code = 0;
    ::GetExitCodeProcess(info.hProcess, &code);
    return static_cast<int>(code);
}

bool Process::Running() const {
    return info.hProcess != nullptr && ::WaitForSingleObject(info.hProcess, 0) == WAIT_TIMEOUT;
}

void Process::Terminate() {
    if (Running()) {
        ::TerminateProcess(info.hProcess, 99);
        ::WaitForSingleObject(info.hProcess, 5000);
    }
}

HWND WaitForWindow(DWORD processId, const std::wstring& caption, DWORD milliseconds) {
    milliseconds = Scaled(milliseconds);
    for (DWORD waited = 0;; waited += kPoll) {
        FindData data{processId, &caption, nullptr};
        ::EnumWindows(&FindTopLevel, reinterpret_cast<LPARAM>(&data));
        if (data.found != nullptr) {
            Settle(data.found);
            return data.found;
        }
        if (waited >= milliseconds) return nullptr;
        ::Sleep(kPoll);
    }
}

HWND AnyVisibleWindow(DWORD processId) {
    // The callback of EnumWindows must be a CALLBACK (stdcall) function: on x86 a lambda is not.
    ProcessWindows data{processId, false, nullptr};
    ::EnumWindows(&FindProcessWindow, reinterpret_cast<LPARAM>(&data));
    return data.found;
}

std::wstring WindowText(HWND window) {
    // WM_GETTEXT works across processes for every control, where GetWindowText does not.
    const LRESULT length = ::SendMessageW(window, WM_GETTEXTLENGTH, 0, 0);
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const LRESULT copied = ::SendMessageW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(&text[0]));
    text.resize(static_cast<std::size_t>(copied > 0 ? copied : 0));
    return text;
}

std::wstring ClassName(HWND window) {
    wchar_t name[256] = {};
    ::GetClassNameW(window, name, 256);
    return name;
}

bool IsVisible(HWND window) { return (::GetWindowLongPtrW(window, GWL_STYLE) & WS_VISIBLE) != 0; }

ControlState ReadControl(HWND dialog, int id) {
    ControlState state;
    HWND control = ::GetDlgItem(dialog, id);
    if (control == nullptr) return state;
    state.exists = true;
    state.text = WindowText(control);
    state.visible = IsVisible(control);
    state.enabled = ::IsWindowEnabled(control) != FALSE;
    if (ClassName(control) == L"Button") {
        state.checked = static_cast<int>(::SendMessageW(control, BM_GETCHECK, 0, 0));
    }
    return state;
}

void Settle(HWND window) {
    // A sent message is handled before the posted ones already queued, so the first one may come
    // back before our posted click or key has run; the second comes back only after it has (or
    // from inside the modal loop it opened).
    DWORD_PTR result = 0;
    for (int i = 0; i < 2; ++i) ::SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, Scaled(5000), &result);
}

void Click(HWND dialog, int id) {
    HWND control = ::GetDlgItem(dialog, id);
    const LONG_PTR type = ::GetWindowLongPtrW(control, GWL_STYLE) & BS_TYPEMASK;
    const bool box = (type == BS_AUTOCHECKBOX || type == BS_AUTO3STATE) && ::IsWindowEnabled(control) &&
                     ::IsWindowVisible(control);
    const LRESULT before = box ? ::SendMessageW(control, BM_GETCHECK, 0, 0) : 0;
    ::PostMessageW(control, BM_CLICK, 0, 0);
    // A box has taken the click once its state has changed (a busy machine may answer the sent
    // messages below first); the dialog's answer to it is in the same handling.
    for (DWORD waited = 0; box && waited < Scaled(5000) && ::SendMessageW(control, BM_GETCHECK, 0, 0) == before;
         waited += 10)
        ::Sleep(10);
    Settle(dialog);
}

void PostCommand(HWND dialog, int id) {
    ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                   reinterpret_cast<LPARAM>(::GetDlgItem(dialog, id)));
    Settle(dialog);
}

void FocusControl(HWND dialog, int id) {
    ::SendMessageW(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(::GetDlgItem(dialog, id)), TRUE);
    Settle(dialog);
}

void PressKey(HWND dialog, int id, UINT virtualKey) {
    FocusControl(dialog, id);
    HWND control = ::GetDlgItem(dialog, id);
    const UINT scan = ::MapVirtualKeyW(virtualKey, MAPVK_VK_TO_VSC);
    // Posted, so that the dialog's own loop sees them as a user's key strokes.
    ::PostMessageW(control, WM_KEYDOWN, virtualKey, 1 | (scan << 16));
    if (virtualKey == VK_RETURN) ::PostMessageW(control, WM_CHAR, L'\r', 1 | (scan << 16));
    if (virtualKey == VK_ESCAPE) ::PostMessageW(control, WM_CHAR, 0x1B, 1 | (scan << 16));
    ::PostMessageW(control, WM_KEYUP, virtualKey, 1 | (scan << 16) | (1u << 30) | (1u << 31));
    Settle(dialog);
}

void CloseBox(HWND window) {
    ::PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
    Settle(window);
}

void SetControlText(HWND dialog, int id, const std::wstring& text) {
    ::SendMessageW(::GetDlgItem(dialog, id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
    Settle(dialog);
}

bool WaitForMessageBox(HWND owner, DWORD milliseconds, MessageBoxInfo& info) {
    return WaitForBox(
        [owner] {
            BoxData data{owner, nullptr};
            ::EnumWindows(&FindBox, reinterpret_cast<LPARAM>(&data));
            return data.found;
        },
        milliseconds, info);
}

void AnswerMessageBox(const MessageBoxInfo& info, int buttonId) {
    ::PostMessageW(info.box, WM_COMMAND, MAKEWPARAM(buttonId, BN_CLICKED),
                   reinterpret_cast<LPARAM>(::GetDlgItem(info.box, buttonId)));
    for (DWORD waited = 0; waited < Scaled(5000) && ::IsWindow(info.box); waited += kPoll) ::Sleep(kPoll);
}

RECT WindowRect(HWND window) {
    RECT rect{};
    ::GetWindowRect(window, &rect);
    return rect;
}

RECT ClientRectOf(HWND dialog, int id) {
    RECT rect = WindowRect(::GetDlgItem(dialog, id));
    ::MapWindowPoints(HWND_DESKTOP, dialog, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

bool SaveScreenshot(HWND window, const std::wstring& path) {
    Settle(window);
    ::Sleep(300);  // let the X server show the last paint
    const RECT rect = WindowRect(window);
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    if (width <= 0 || height <= 0) return false;
    HDC screen = ::GetDC(nullptr);
    HDC memory = ::CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;  // bottom-up, as a BMP file stores it
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = ::CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    bool saved = false;
    if (bitmap != nullptr) {
        HGDIOBJ old = ::SelectObject(memory, bitmap);
        ::BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
        ::GdiFlush();
        ::SelectObject(memory, old);
        const DWORD rowBytes = (static_cast<DWORD>(width) * 3 + 3) & ~3u;
        const DWORD imageBytes = rowBytes * static_cast<DWORD>(height);
        BITMAPFILEHEADER header{};
        header.bfType = 0x4D42;
        header.bfOffBits = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER);
        header.bfSize = header.bfOffBits + imageBytes;
        info.bmiHeader.biSizeImage = imageBytes;
        HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            DWORD written = 0;
            saved = ::WriteFile(file, &header, sizeof(header), &written, nullptr) &&
                    ::WriteFile(file, &info.bmiHeader, sizeof(info.bmiHeader), &written, nullptr) &&
                    ::WriteFile(file, bits, imageBytes, &written, nullptr);
            ::CloseHandle(file);
        }
        ::DeleteObject(bitmap);
    }
    ::DeleteDC(memory);
    ::ReleaseDC(nullptr, screen);
    return saved;
}

std::string Utf8(const std::wstring& text) {
    if (text.empty()) return std::string();
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                           nullptr, nullptr);
    std::string out(static_cast<std::size_t>(size), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], size, nullptr, nullptr);
    return out;
}

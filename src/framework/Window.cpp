#include "framework/Window.h"

#include "platform/win32/Cp936.h"

namespace {
// The window property that leads from a subclassed window to its object.
const wchar_t kObjectProperty[] = L"KorvelFrameworkWindow";
}

CWnd::~CWnd() {
    if (originalProc != nullptr) UnsubclassWindow();
}

void CWnd::OnMessage(UINT message, Handler handler) {
    entries.push_back({message, kAnyId, kAnyCode, std::move(handler)});
}

void CWnd::OnCommand(int id, int code, std::function<void()> handler) {
    entries.push_back({WM_COMMAND, id, code, [handler = std::move(handler)](WPARAM, LPARAM) -> LRESULT {
                           handler();
                           return 0;
                       }});
}

bool CWnd::Dispatch(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    int id = kAnyId;
    int code = kAnyCode;
    if (message == WM_COMMAND) {
        id = LOWORD(wParam);
        code = HIWORD(wParam);
    }
    for (const Entry& entry : entries) {
        if (entry.message != message) continue;
        if (entry.id != kAnyId && entry.id != id) continue;
        if (entry.code != kAnyCode && entry.code != code) continue;
        // Copy: a handler may add entries (and so move the vector) while it runs.
        const Handler handler = entry.handler;
        const Current here{message, wParam, lParam};
        const Current* outer = current;
        current = &here;
        result = handler(wParam, lParam);
        current = outer;
        return true;
    }
    return false;
}

LRESULT CWnd::Default() {
    if (current == nullptr || originalProc == nullptr) return 0;
    return ::CallWindowProcW(originalProc, hwnd, current->message, current->wParam, current->lParam);
}

bool CWnd::SubclassWindow(HWND window) {
    if (window == nullptr || hwnd != nullptr || ::GetPropW(window, kObjectProperty) != nullptr) return false;
    if (!::SetPropW(window, kObjectProperty, this)) return false;
    hwnd = window;
    originalProc = reinterpret_cast<WNDPROC>(
        ::SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CWnd::SubclassProc)));
    if (originalProc == nullptr) {
        ::RemovePropW(window, kObjectProperty);
        hwnd = nullptr;
        return false;
    }
    return true;
}

HWND CWnd::UnsubclassWindow() {
    HWND window = hwnd;
    if (window != nullptr && originalProc != nullptr) {
        ::SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(originalProc));
        ::RemovePropW(window, kObjectProperty);
    }
    originalProc = nullptr;
    hwnd = nullptr;
    return window;
}

HWND CWnd::Detach() {
    if (originalProc != nullptr) return UnsubclassWindow();
    HWND window = hwnd;
    hwnd = nullptr;
    return window;
}

LRESULT CALLBACK CWnd::SubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    CWnd* self = static_cast<CWnd*>(::GetPropW(window, kObjectProperty));
    if (self == nullptr) return ::DefWindowProcW(window, message, wParam, lParam);
    const WNDPROC original = self->originalProc;
    if (message == WM_NCDESTROY) {
        // The window goes away: hand it back before its last message.
        self->UnsubclassWindow();
        return ::CallWindowProcW(original, window, message, wParam, lParam);
    }
    LRESULT result = 0;
    if (self->Dispatch(message, wParam, lParam, result)) return result;
    return ::CallWindowProcW(original, window, message, wParam, lParam);
}

LRESULT CWnd::Send(UINT message, WPARAM wParam, LPARAM lParam) const {
    return ::SendMessageW(hwnd, message, wParam, lParam);
}

LRESULT CWnd::SendItem(int id, UINT message, WPARAM wParam, LPARAM lParam) const {
    return ::SendDlgItemMessageW(hwnd, id, message, wParam, lParam);
}

void CWnd::ShowItem(int id, bool show) const {
    if (HWND item = Item(id)) ::ShowWindow(item, show ? SW_SHOWNORMAL : SW_HIDE);
}

void CWnd::EnableItem(int id, bool enable) const {
    if (HWND item = Item(id)) ::EnableWindow(item, enable ? TRUE : FALSE);
}

std::string CWnd::Text() const { return WindowTextCp936(hwnd); }
void CWnd::SetText(const std::string& text) const { SetWindowTextCp936(hwnd, text); }

int CWnd::ShowMessage(const std::string& text, const std::string& caption, UINT type) const {
    return ::MessageBoxW(hwnd, WidenCp936(text).c_str(), WidenCp936(caption).c_str(), type);
}

std::string WindowTextCp936(HWND window) {
    if (window == nullptr) return std::string();
    const int length = ::GetWindowTextLengthW(window);
    if (length <= 0) return std::string();
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const int copied = ::GetWindowTextW(window, &text[0], length + 1);
    return NarrowCp936(text.c_str(), copied > 0 ? copied : 0);
}

void SetWindowTextCp936(HWND window, const std::string& text) {
    if (window != nullptr) ::SetWindowTextW(window, WidenCp936(text).c_str());
}

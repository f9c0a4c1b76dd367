#pragma once
// CWnd: a window object over an HWND with its own message map. A window either belongs to a
// dialog (CDialog installs the dispatch) or is attached to an existing window by subclassing,
// which is how the folder browser adds its own controls to the shell's dialog.
//
// The message map routes messages, and commands by control ID and notification, to handlers:
//   OnMessage(WM_SIZE, [this](WPARAM w, LPARAM l) -> LRESULT { ...; return Default(); });
//   OnCommand(IDC_EDIT, EN_CHANGE, [this] { OnPathEditChange(); });
// WM_COMMAND matches LOWORD(wParam) / HIWORD(wParam).
// Inside a handler, Default() runs the window's original procedure for the current message
// (for a dialog it gives 0: the dialog manager's own default runs when no handler took it).
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

class CWnd {
public:
    static constexpr int kAnyId = -1;
    static constexpr int kAnyCode = -1;

    using Handler = std::function<LRESULT(WPARAM, LPARAM)>;

    CWnd() = default;
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;
    virtual ~CWnd();

    // Message map.
    void OnMessage(UINT message, Handler handler);
    void OnCommand(int id, int code, std::function<void()> handler);

    // Subclassing: this object receives the window's messages first; unhandled ones (and
    // Default()) go to the window's original procedure. Ends by itself at WM_NCDESTROY.
    bool SubclassWindow(HWND window);
    HWND UnsubclassWindow();
    // Binds the handle only (no subclassing), as a dialog binds its controls.
    void Attach(HWND window) { hwnd = window; }
    HWND Detach();

    LRESULT Default();

    // Small helpers; texts are CP936 bytes, shown through the wide functions.
    HWND Item(int id) const { return ::GetDlgItem(hwnd, id); }
    LRESULT Send(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const;
    LRESULT SendItem(int id, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const;
    void ShowItem(int id, bool show) const;
    void EnableItem(int id, bool enable) const;
    std::string Text() const;
    void SetText(const std::string& text) const;
    // A modal message box owned by this window.
    int ShowMessage(const std::string& text, const std::string& caption, UINT type) const;

    HWND hwnd = nullptr;

protected:
    // Runs the handler mapped to this message; false when none is mapped.
    bool Dispatch(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);

private:
    struct Entry {
        UINT message;
        int id;
        int code;
        Handler handler;
    };
    struct Current {
        UINT message;
        WPARAM wParam;
        LPARAM lParam;
    };
    static LRESULT CALLBACK SubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    std::vector<Entry> entries;
    WNDPROC originalProc = nullptr;
    const Current* current = nullptr;
};

// Window text through the wide functions, converted from and to CP936.
std::string WindowTextCp936(HWND window);
void SetWindowTextCp936(HWND window, const std::string& text);

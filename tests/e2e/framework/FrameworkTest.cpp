// The framework layer against the real window system (run under Wine): modal dialogs with data
// exchange in both directions and CP936 texts, the message map's routing, subclassing with
// Default() and its end at WM_NCDESTROY, and the GDI owners.
#include <windows.h>

#include <cstdio>
#include <functional>
#include <string>

#include "framework/Dialog.h"
#include "framework/Gdi.h"
#include "framework/Window.h"
#include "platform/win32/Cp936.h"

namespace {
int failures = 0;

void Expect(bool ok, const char* what) {
    std::printf("%s %s\n", ok ? "ok  " : "FAIL", what);
    if (!ok) ++failures;
}

std::wstring WideText(HWND window) {
    wchar_t buffer[256] = {};
    ::GetWindowTextW(window, buffer, 256);
    return buffer;
}

constexpr UINT kAct = WM_APP + 1;

// A dialog whose test steps run inside its own modal loop, posted from OnInitDialog.
class TestDialog : public CDialog {
public:
    explicit TestDialog(std::function<void(TestDialog&)> steps) : CDialog(100), steps(std::move(steps)) {
        OnMessage(kAct, [this](WPARAM, LPARAM) -> LRESULT {
            this->steps(*this);
            return 0;
        });
        OnCommand(10, EN_CHANGE, [this] { ++editChanges; });
        OnCommand(11, BN_CLICKED, [this] { ++boxClicks; });
        OnCommand(11, BN_DOUBLECLICKED, [this] { ++otherCodes; });
    }

    std::string editText = "中文 C:\\Korvel";
    std::string labelText = "标签二";
    int ticked = 1;
    int editChanges = 0;
    int boxClicks = 0;
    int otherCodes = 0;
    int okCalls = 0;
    int dpiChanges = 0;
    bool initialised = false;

protected:
    void DoDataExchange(DataExchange& exchange) override {
        DDX_Text(exchange, 10, editText);
        DDX_Text(exchange, 12, labelText);
        DDX_Check(exchange, 11, ticked);
    }
    BOOL OnInitDialog() override {
        CDialog::OnInitDialog();
        initialised = true;
        ::PostMessageW(hwnd, kAct, 0, 0);
        return TRUE;
    }
    void OnOK() override {
        ++okCalls;
        CDialog::OnOK();
    }
    void OnDpiChanged() override { ++dpiChanges; }

private:
    std::function<void(TestDialog&)> steps;
};

void DataExchangeBothWays() {
    TestDialog dialog([](TestDialog& d) {
        // Pushed at initialisation: the CP936 members read right through the wide functions.
        Expect(WideText(d.Item(10)) == L"中文 C:\\Korvel", "edit text pushed from CP936");
        Expect(WideText(d.Item(12)) == L"标签二", "label text pushed from CP936");
        Expect(::SendMessageW(d.Item(11), BM_GETCHECK, 0, 0) == BST_CHECKED, "check box pushed ticked");
        Expect(WideText(d.hwnd) == L"框架测试", "caption of the wide template");
        // What the user does, then OK pulls it back.
        ::SetWindowTextW(d.Item(10), L"D:\\安装目录");
        ::SendMessageW(d.Item(11), BM_CLICK, 0, 0);
        ::SendMessageW(d.hwnd, WM_COMMAND, MAKEWPARAM(11, BN_DOUBLECLICKED), reinterpret_cast<LPARAM>(d.Item(11)));
        ::SendMessageW(d.hwnd, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(d.Item(IDOK)));
    });
    const INT_PTR result = dialog.DoModal();
    Expect(dialog.initialised, "OnInitDialog ran");
    Expect(result == IDOK, "OK ends the dialog with IDOK");
    Expect(dialog.okCalls == 1, "OK reaches OnOK once");
    Expect(dialog.editText == "D:\\安装目录", "edit text pulled into CP936");
    Expect(dialog.ticked == 0, "check box pulled as 0");
    Expect(dialog.editChanges >= 1, "EN_CHANGE routed to its handler");
    Expect(dialog.boxClicks == 1, "BN_CLICKED routed to its handler");
    Expect(dialog.otherCodes == 1, "another notification of the same control goes to its own handler");
    Expect(dialog.hwnd == nullptr, "the window object lets go of its destroyed window");
}

void CancelAndEscape() {
    TestDialog cancelled([](TestDialog& d) {
        ::PostMessageW(d.Item(10), WM_KEYDOWN, VK_ESCAPE, 0);
    });
    Expect(cancelled.DoModal() == IDCANCEL, "Escape ends the dialog with IDCANCEL");
    Expect(cancelled.okCalls == 0, "and does not pull the values");
    Expect(cancelled.editText == "中文 C:\\Korvel", "members keep their values on Cancel");

    TestDialog icon([](TestDialog& d) {
        HICON small = ::LoadIconW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(200));
        Expect(small != nullptr, "icon resource loads");
        d.Send(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small));
        Expect(d.Send(WM_GETICON, ICON_SMALL, 0) == reinterpret_cast<LRESULT>(small), "the small icon is set");
        d.EndDialog(IDCANCEL);
    });
    icon.DoModal();
}

// A move to a display of another scaling: the dialog manager gets WM_DPICHANGED (to rescale the
// template), and the dialog's own redrawing follows once, afterwards.
void DpiChangeAfterTheDialogManager() {
    TestDialog moved([](TestDialog& d) {
        RECT rect{};
        ::GetWindowRect(d.hwnd, &rect);
        ::SendMessageW(d.hwnd, 0x02E0 /* WM_DPICHANGED */, MAKEWPARAM(96, 96), reinterpret_cast<LPARAM>(&rect));
        Expect(d.dpiChanges == 0, "the dialog's own part waits for the dialog manager's");
        ::PostMessageW(d.hwnd, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    });
    moved.DoModal();
    Expect(moved.dpiChanges == 1, "then runs once");
}

// Swallows the letter x and counts what it lets through; everything goes on to the edit's own
// procedure through Default().
class FilterX : public CWnd {
public:
    FilterX() {
        OnMessage(WM_CHAR, [this](WPARAM key, LPARAM) -> LRESULT {
            if (key == L'x') return 0;
            ++passed;
            return Default();
        });
    }
    int passed = 0;
};

void Subclassing() {
    HWND edit = ::CreateWindowExW(0, L"EDIT", L"", WS_POPUP, 0, 0, 100, 20, nullptr, nullptr,
                                  ::GetModuleHandleW(nullptr), nullptr);
    const LONG_PTR original = ::GetWindowLongPtrW(edit, GWLP_WNDPROC);
    {
        FilterX filter;
        Expect(filter.SubclassWindow(edit), "subclassing an existing window");
        FilterX second;
        Expect(!second.SubclassWindow(edit), "a window is attached to one object at a time");
        for (wchar_t ch : std::wstring(L"axbx中")) ::SendMessageW(edit, WM_CHAR, ch, 1);
        Expect(WideText(edit) == L"ab中", "handled messages stop, others reach the original procedure");
        Expect(filter.passed == 3, "the handler saw every character");
        Expect(filter.UnsubclassWindow() == edit, "unsubclassing gives the window back");
        Expect(::GetWindowLongPtrW(edit, GWLP_WNDPROC) == original, "and restores its procedure");
        ::SendMessageW(edit, WM_CHAR, L'x', 1);
        Expect(WideText(edit) == L"ab中x", "after which the window works on its own");
    }
    {
        FilterX filter;
        filter.SubclassWindow(edit);
        ::DestroyWindow(edit);
        Expect(filter.hwnd == nullptr, "a destroyed window detaches itself");
    }  // and the object's destructor has nothing left to undo
}

void GdiOwners() {
    CBrush brush;
    Expect(brush.CreateSolid(RGB(160, 180, 220)), "solid brush made");
    HBRUSH first = brush.get();
    LOGBRUSH info{};
    Expect(::GetObjectW(first, sizeof(info), &info) == sizeof(info) && info.lbColor == RGB(160, 180, 220),
           "brush of the asked colour");
    brush.CreateSolid(RGB(0, 0, 0));
    Expect(::GetObjectType(first) == 0, "replacing a brush deletes the old one");
    CFont font;
    Expect(font.Create(14, 600, "宋体"), "font made from a CP936 face name");
    LOGFONTW logFont{};
    ::GetObjectW(font.get(), sizeof(logFont), &logFont);
    Expect(std::wstring(logFont.lfFaceName) == L"宋体" && logFont.lfHeight == 14 && logFont.lfWeight == 600,
           "font keeps face, height and weight");
}
}  // namespace

int main() {
    DataExchangeBothWays();
    CancelAndEscape();
    Subclassing();
    GdiOwners();
    DpiChangeAfterTheDialogManager();
    std::printf("%d failure(s)\n", failures);
    return failures == 0 ? 0 : 1;
}

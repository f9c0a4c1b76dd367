#include "framework/Dialog.h"

namespace {
#ifndef WM_DPICHANGED
#define WM_DPICHANGED 0x02E0
#endif
// Posted to itself on WM_DPICHANGED, so OnDpiChanged runs once the dialog manager has done its part.
constexpr UINT kDpiApplied = WM_APP + 0x2E0;

// Messages whose result a dialog procedure returns itself rather than through DWLP_MSGRESULT.
bool ReturnsResultDirectly(UINT message) {
    switch (message) {
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC:
    case WM_COMPAREITEM:
    case WM_VKEYTOITEM:
    case WM_CHARTOITEM:
    case WM_QUERYDRAGICON:
    case WM_INITDIALOG:
        return true;
    default:
        return false;
    }
}
}  // namespace

CDialog::CDialog(int templateId, HWND parent) : templateId(templateId), parent(parent) {}

INT_PTR CDialog::DoModal() {
    return ::DialogBoxParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(templateId), parent,
                             &CDialog::DialogProc, reinterpret_cast<LPARAM>(this));
}

void CDialog::EndDialog(INT_PTR result) {
    if (hwnd != nullptr) ::EndDialog(hwnd, result);
}

bool CDialog::UpdateData(bool saveAndValidate) {
    if (hwnd == nullptr) return false;
    DataExchange exchange(hwnd, saveAndValidate);
    DoDataExchange(exchange);
    return true;
}

void CDialog::DoDataExchange(DataExchange&) {}

BOOL CDialog::OnInitDialog() {
    UpdateData(false);
    return TRUE;
}

void CDialog::OnOK() {
    if (!UpdateData(true)) return;
    EndDialog(IDOK);
}

void CDialog::OnCancel() { EndDialog(IDCANCEL); }

INT_PTR CALLBACK CDialog::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    CDialog* self = nullptr;
    if (message == WM_INITDIALOG) {
        self = reinterpret_cast<CDialog*>(lParam);
        ::SetWindowLongPtrW(window, DWLP_USER, reinterpret_cast<LONG_PTR>(self));
        self->hwnd = window;
        return self->OnInitDialog();
    }
    self = reinterpret_cast<CDialog*>(::GetWindowLongPtrW(window, DWLP_USER));
    if (self == nullptr) return FALSE;
    if (message == WM_NCDESTROY) {
        self->hwnd = nullptr;
        return FALSE;
    }
    if (message == kDpiApplied) {
        self->OnDpiChanged();
        return TRUE;
    }
    // The dialog manager rescales the template itself (per-monitor v2) when WM_DPICHANGED is left
    // to it; the dialog's own drawing follows afterwards.
    if (message == WM_DPICHANGED) ::PostMessageW(window, kDpiApplied, 0, 0);
    LRESULT result = 0;
    if (self->Dispatch(message, wParam, lParam, result)) {
        if (ReturnsResultDirectly(message)) return static_cast<INT_PTR>(result);
        ::SetWindowLongPtrW(window, DWLP_MSGRESULT, result);
        return TRUE;
    }
    if (message == WM_COMMAND && HIWORD(wParam) == BN_CLICKED) {
        if (LOWORD(wParam) == IDOK) {
            self->OnOK();
            return TRUE;
        }
        if (LOWORD(wParam) == IDCANCEL) {
            self->OnCancel();
            return TRUE;
        }
    }
    return FALSE;
}

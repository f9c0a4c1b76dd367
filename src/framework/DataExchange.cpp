#include "framework/DataExchange.h"

#include "framework/Window.h"

void DDX_Check(DataExchange& exchange, int id, int& value) {
    HWND control = ::GetDlgItem(exchange.dialog, id);
    if (control == nullptr) return;
    if (exchange.saveAndValidate) {
        value = ::SendMessageW(control, BM_GETCHECK, 0, 0) == BST_CHECKED ? 1 : 0;
    } else {
        ::SendMessageW(control, BM_SETCHECK, value != 0 ? BST_CHECKED : BST_UNCHECKED, 0);
    }
}

void DDX_Text(DataExchange& exchange, int id, std::string& value) {
    HWND control = ::GetDlgItem(exchange.dialog, id);
    if (control == nullptr) return;
    if (exchange.saveAndValidate) {
        value = WindowTextCp936(control);
    } else {
        SetWindowTextCp936(control, value);
    }
}

void DDX_Control(DataExchange& exchange, int id, CWnd& control) {
    // Bound once per window: a handle left from an earlier run of the dialog is replaced.
    if (control.hwnd == nullptr || !::IsWindow(control.hwnd)) control.Attach(::GetDlgItem(exchange.dialog, id));
}

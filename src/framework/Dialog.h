#pragma once
// CDialog: a modal dialog from a template, created with the wide functions so that its texts
// read right under any system code page. Messages go through the message map of CWnd; commands
// IDOK and IDCANCEL that no handler takes go to OnOK / OnCancel.
#include "framework/DataExchange.h"
#include "framework/Window.h"

class CDialog : public CWnd {
public:
    explicit CDialog(int templateId, HWND parent = nullptr);

    // Runs the dialog modally; the value given to EndDialog, or -1 when it cannot be created.
    INT_PTR DoModal();
    void EndDialog(INT_PTR result);

    // Pulls the controls into the members (true) or pushes the members into the controls.
    bool UpdateData(bool saveAndValidate = true);

protected:
    virtual void DoDataExchange(DataExchange& exchange);
    // Pushes the members into the controls. True lets the system set the focus.
    virtual BOOL OnInitDialog();
    // Pulls the controls into the members and ends the dialog with IDOK.
    virtual void OnOK();
    // Ends the dialog with IDCANCEL.
    virtual void OnCancel();
    // The window moved to a display of another scaling, and the dialog manager has scaled the
    // template's controls and font: redo what the dialog drew or sized itself.
    virtual void OnDpiChanged() {}

private:
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    int templateId;
    HWND parent;
};

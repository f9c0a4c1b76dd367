#pragma once
// CPathDialog: the shell's browse-for-folder dialog with an added edit box in which a folder can
// be typed, one that does not exist yet included. Only a folder that ConfirmFolder accepts (and
// may create) closes it with OK.
//
// CPathDialogSub is attached to the shell's dialog window while it is open, so that its OK
// command and the edit box's changes reach us before the shell, whose own OK would return the
// tree's selection whatever was typed.
#include <windows.h>
#include <shlobj.h>

#include <string>

#include "text/Text.h"
#include "framework/Window.h"
#include "pathdialog/BrowseRules.h"

class CPathDialog;
class Files;

class CPathDialogSub : public CWnd {
public:
    explicit CPathDialogSub(CPathDialog* pathDialog);
    ~CPathDialogSub() override;

    void OnOK();
    void OnPathEditChange();

    CPathDialog* pathDialog;
};

class CPathDialog {
public:
    static constexpr int kTreeId = 14145;      // the shell's folder tree
    static constexpr int kTitleId = 14146;     // the shell's instruction text
    static constexpr int kStatusId = 14147;    // the shell's status line, hidden here
    static constexpr int kPathEditId = 14148;  // our edit box

    // Texts are CP936 bytes and are not copied: they must outlive the dialog. No caption keeps
    // the shell's own; no initial folder starts at the current directory. files defaults to the
    // system's file system.
    CPathDialog(const char* caption, const char* title, const char* initialFolder,
                HWND parent = nullptr, Files* files = nullptr);
    CPathDialog(const CPathDialog&) = delete;
    CPathDialog& operator=(const CPathDialog&) = delete;
    virtual ~CPathDialog();

    // 1 when a folder was accepted, -1 otherwise (Cancel, closed, no shell allocator).
    virtual INT_PTR DoModal();
    // The accepted folder exactly as typed or selected; meaningful after DoModal gave 1.
    std::string GetPathName() const;

    static int CALLBACK BrowseCallback(HWND window, UINT event, LPARAM param, LPARAM data);

private:
    friend class CPathDialogSub;

    void OnInitialized(HWND window);
    void OnSelectionChanged(HWND window, LPCITEMIDLIST item);
    void ShowSelection(HWND window);
    RECT PathEditPlace() const;
    void PlacePathEdit();
    void FollowTree();
    void SelectInitialFolder();

    const char* caption;
    const char* initialFolder;
    char pathBuffer[kPathBuffer];
    BROWSEINFOW browseInfo;
    HWND browseWindow;
    HWND owner;
    int confirmed;
    CPathDialogSub subclass;

    std::wstring titleWide;     // the instruction text as the wide shell call needs it
    HWND pathEdit = nullptr;    // our edit box, by handle: the shell may own a 14148 of its own
    SelectionView selection{false, std::string()};  // the tree's last selection, as shown
    int selectionChanges = 0;   // selection changes seen while open
    Files* files;
};

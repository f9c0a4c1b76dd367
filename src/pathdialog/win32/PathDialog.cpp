#include "pathdialog/win32/PathDialog.h"

#include <cstring>

#include "framework/Gdi.h"
#include "pathdialog/BrowseRules.h"
#include "pathdialog/FolderValidation.h"
#include "platform/Files.h"
#include "platform/Prompt.h"
#include "platform/win32/Cp936.h"
#include "platform/win32/ShellFunctions.h"
#include "platform/win32/SystemLibrary.h"
#include "platform/win32/Win32Files.h"

namespace {

constexpr UINT kBrowseFlags = BIF_RETURNONLYFSDIRS | BIF_STATUSTEXT;  // 5
constexpr DWORD kEditStyle = WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL;  // 0x50010080
// In pixels at 100 % display scaling; scaled to the browser's.
constexpr int kEditAboveTree = 27;  // the edit box's top edge above the tree's
constexpr int kEditGap = 4;         // and its bottom edge, so it is 23 pixels high
constexpr int kMargin = 8;

// The folder messages are owned by the browse dialog, so they stay above it.
class OwnedPrompt : public Prompt {
public:
    explicit OwnedPrompt(const CWnd& window) : window(window) {}
    int Show(const std::string& text, const std::string& caption, unsigned type) override {
        return window.ShowMessage(text, caption, type);
    }

private:
    const CWnd& window;
};

// The system's file system, for callers that give none.
Files& DefaultFiles() {
    static Win32Files files;
    return files;
}

// The framework's safe owner: the parent's top-level window, or else the active window (the
// setup dialog while its Browse button runs us).
HWND SafeOwner(HWND parent) {
    if (parent != nullptr) {
        HWND top = ::GetAncestor(parent, GA_ROOT);
        return top != nullptr ? top : parent;
    }
    return ::GetActiveWindow();
}

RECT ClientRectOf(HWND child, HWND dialog) {
    RECT rect{};
    ::GetWindowRect(child, &rect);
    POINT corners[2] = {{rect.left, rect.top}, {rect.right, rect.bottom}};
    ::ScreenToClient(dialog, &corners[0]);
    ::ScreenToClient(dialog, &corners[1]);
    return {corners[0].x, corners[0].y, corners[1].x, corners[1].y};
}

}  // namespace

CPathDialogSub::CPathDialogSub(CPathDialog* pathDialog) : pathDialog(pathDialog) {
    OnCommand(IDOK, BN_CLICKED, [this] { OnOK(); });
    OnCommand(CPathDialog::kPathEditId, EN_CHANGE, [this] { OnPathEditChange(); });
    // Where the shell lets its dialog be resized and moves the tree, the box follows it.
    OnMessage(WM_SIZE, [this](WPARAM, LPARAM) -> LRESULT {
        const LRESULT result = Default();
        this->pathDialog->FollowTree();
        return result;
    });
}

CPathDialogSub::~CPathDialogSub() = default;

void CPathDialogSub::OnPathEditChange() {
    // Reads our own box even when the change came from a control of the shell with the same ID:
    // the outcome depends only on what our box holds.
    CPathDialog& dialog = *pathDialog;
    const bool enable = FollowEditText(WindowTextCp936(dialog.pathEdit), dialog.pathBuffer,
                                       sizeof dialog.pathBuffer);
    Send(BFFM_ENABLEOK, 0, enable ? 1 : 0);
}

void CPathDialogSub::OnOK() {
    CPathDialog& dialog = *pathDialog;
    const std::string text = WindowTextCp936(dialog.pathEdit);
    StoreInBuffer(text, dialog.pathBuffer, sizeof dialog.pathBuffer);
    // The whole text is judged, not the buffer's cut: a text too long for the buffer is invalid
    // rather than accepted as some shorter folder than the one shown.
    OwnedPrompt prompt(*this);
    const int result = ConfirmFolder(*dialog.files, prompt, text);
    if (result == kFolderAcceptable) {
        dialog.confirmed = 1;
        ::EndDialog(dialog.browseWindow, 1);
        return;
    }
    if (dialog.pathEdit != nullptr) ::SetFocus(dialog.pathEdit);
}

CPathDialog::CPathDialog(const char* caption, const char* title, const char* initialFolder,
                         HWND parent, Files* files)
    : caption(caption),
      initialFolder(initialFolder),
      pathBuffer{},
      browseInfo{},
      browseWindow(nullptr),
      owner(SafeOwner(parent)),
      confirmed(0),
      subclass(this),
      files(files != nullptr ? files : &DefaultFiles()) {
    if (title != nullptr) titleWide = WidenCp936(title);
    browseInfo.hwndOwner = owner;
    browseInfo.pidlRoot = nullptr;
    browseInfo.lpszTitle = title != nullptr ? titleWide.c_str() : nullptr;
    browseInfo.ulFlags = kBrowseFlags;
    browseInfo.lpfn = &CPathDialog::BrowseCallback;
    browseInfo.lParam = reinterpret_cast<LPARAM>(this);
}

CPathDialog::~CPathDialog() = default;

INT_PTR CPathDialog::DoModal() {
    wchar_t displayName[MAX_PATH];  // the shell fills it; the result is pathBuffer
    browseInfo.lpfn = &CPathDialog::BrowseCallback;
    browseInfo.lParam = reinterpret_cast<LPARAM>(this);

    IMalloc* allocator = nullptr;
    if (FAILED(ShellGetMalloc(&allocator)) || allocator == nullptr) return -1;
    browseInfo.pszDisplayName = displayName;  // only while the dialog runs

    PreloadShellLibraries();
    // The shell's dialog wants COM on this thread; balance only a call that took.
    const HRESULT com = ComInitialize(COINIT_APARTMENTTHREADED);
    confirmed = 0;
    browseWindow = nullptr;
    pathEdit = nullptr;
    selection = SelectionView{false, std::string()};
    selectionChanges = 0;
    LPITEMIDLIST item = ShellBrowseForFolder(&browseInfo);
    // Some shells hand back the dialog's end code rather than a list: never free such a value.
    if (reinterpret_cast<ULONG_PTR>(item) >= 0x10000) allocator->Free(item);
    if (SUCCEEDED(com)) ComUninitialize();

    const INT_PTR result = confirmed != 0 ? 1 : -1;
    allocator->Release();
    browseInfo.pszDisplayName = nullptr;
    browseWindow = nullptr;
    pathEdit = nullptr;
    return result;
}

std::string CPathDialog::GetPathName() const {
    return std::string(pathBuffer, ::strnlen(pathBuffer, sizeof pathBuffer));
}

int CALLBACK CPathDialog::BrowseCallback(HWND window, UINT event, LPARAM param, LPARAM data) {
    CPathDialog* self = reinterpret_cast<CPathDialog*>(data);
    if (self == nullptr) return 0;
    if (event == BFFM_INITIALIZED)
        self->OnInitialized(window);
    else if (event == BFFM_SELCHANGED)
        self->OnSelectionChanged(window, reinterpret_cast<LPCITEMIDLIST>(param));
    return 0;
}

void CPathDialog::OnInitialized(HWND window) {
    browseWindow = window;
    if (caption != nullptr) SetWindowTextCp936(window, caption);
    if (!subclass.SubclassWindow(window)) {
        // Without our OK the shell would accept whatever the tree shows, unchecked.
        ::EndDialog(window, 0);
        return;
    }
    if (HWND status = ::GetDlgItem(window, kStatusId)) ::ShowWindow(status, SW_HIDE);
    PlacePathEdit();
    // The box starts with whatever the shell selected before it existed (usually nothing), so
    // that OK agrees with it even when the initial folder cannot be selected.
    ShowSelection(window);
    SelectInitialFolder();
}

RECT CPathDialog::PathEditPlace() const {
    // Just above the tree, across its width. The tree is found by its class where a shell gives
    // it another ID; with no tree at all the box goes to the top of the dialog.
    const int dpi = WindowDpi(browseWindow);
    const int above = ScaleToDpi(kEditAboveTree, dpi), gap = ScaleToDpi(kEditGap, dpi), margin = ScaleToDpi(kMargin, dpi);
    HWND tree = ::GetDlgItem(browseWindow, kTreeId);
    if (tree == nullptr) tree = ::FindWindowExW(browseWindow, nullptr, WC_TREEVIEWW, nullptr);
    if (tree == nullptr) {
        RECT client{};
        ::GetClientRect(browseWindow, &client);
        return {margin, margin, client.right - margin, margin + above - gap};
    }
    const RECT treeRect = ClientRectOf(tree, browseWindow);
    RECT box{treeRect.left, treeRect.top - above, treeRect.right, treeRect.top - gap};
    if (box.top < 0) box = {box.left, 0, box.right, above - gap};
    return box;
}

void CPathDialog::PlacePathEdit() {
    const RECT box = PathEditPlace();
    // A title label running into the box's place is cut back so it cannot paint over the box.
    if (HWND title = ::GetDlgItem(browseWindow, kTitleId)) {
        const RECT titleRect = ClientRectOf(title, browseWindow);
        if (titleRect.top < box.top && titleRect.bottom > box.top)
            ::SetWindowPos(title, nullptr, 0, 0, titleRect.right - titleRect.left,
                           box.top - titleRect.top, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }

    pathEdit = ::CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", L"", kEditStyle, box.left, box.top,
                                 box.right - box.left, box.bottom - box.top, browseWindow, nullptr,
                                 ::GetModuleHandleW(nullptr), nullptr);
    if (pathEdit == nullptr) return;
    ::SetWindowLongPtrW(pathEdit, GWLP_ID, kPathEditId);
    ::ShowWindow(pathEdit, SW_SHOW);
    const LRESULT font = ::SendMessageW(browseWindow, WM_GETFONT, 0, 0);
    ::SendMessageW(pathEdit, WM_SETFONT, static_cast<WPARAM>(font), TRUE);
}

void CPathDialog::FollowTree() {
    if (pathEdit == nullptr) return;
    const RECT box = PathEditPlace();
    ::SetWindowPos(pathEdit, nullptr, box.left, box.top, box.right - box.left, box.bottom - box.top,
                   SWP_NOZORDER | SWP_NOACTIVATE);
}

void CPathDialog::SelectInitialFolder() {
    std::string folder;
    if (initialFolder != nullptr) {
        folder = initialFolder;
    } else if (files->CurrentFolder(folder, kPathBuffer) != PathRead::Read) {
        return;
    }
    const std::wstring wide = WidenCp936(folder);
    const int changesBefore = selectionChanges;
    ::SendMessageW(browseWindow, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(wide.c_str()));
    // Wine's shell misses a folder made moments before on its first attempt and finds it on the
    // second; elsewhere a folder that cannot be selected just fails twice.
    if (selectionChanges == changesBefore)
        ::SendMessageW(browseWindow, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(wide.c_str()));
}

void CPathDialog::OnSelectionChanged(HWND window, LPCITEMIDLIST item) {
    wchar_t path[MAX_PATH] = L"";
    const bool converted = item != nullptr && ShellGetPathFromIDList(item, path) != FALSE;
    selection = ViewOfSelection(converted, converted ? NarrowCp936(path, -1) : std::string());
    ++selectionChanges;
    ShowSelection(window);
}

void CPathDialog::ShowSelection(HWND window) {
    ::SendMessageW(window, BFFM_ENABLEOK, 0, selection.usable ? 1 : 0);
    const std::wstring shown = WidenCp936(selection.editText);
    ::SendMessageW(window, BFFM_SETSTATUSTEXTW, 0, reinterpret_cast<LPARAM>(shown.c_str()));
    if (pathEdit != nullptr) ::SetWindowTextW(pathEdit, shown.c_str());
}

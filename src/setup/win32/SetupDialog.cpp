#include "setup/win32/SetupDialog.h"

#include "SetupResources.h"
#include "catalogue/HostCatalogue.h"
#include "platform/win32/Cp936.h"
#include "setup/win32/SetupTexts.h"

namespace {
constexpr COLORREF kBackground = RGB(160, 180, 220);
constexpr COLORREF kLabelColour = RGB(10, 70, 40);
const char kFontFace[] = "宋体";
}  // namespace

Dlg_Setup::Dlg_Setup(HostCatalogue& catalogue, HWND parent)
    : CDialog(IDD_SETUP, parent), catalogue(catalogue) {
    releaseFlags.fill(1);
    for (UINT kind = WM_CTLCOLORMSGBOX; kind <= WM_CTLCOLORSTATIC; ++kind) {
        OnMessage(kind, [this](WPARAM wParam, LPARAM lParam) {
            return OnCtlColor(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
        });
    }
    for (const ReleaseRow& row : ReleaseTable) OnCommand(row.controlId, BN_CLICKED, [this] { OnReleaseClicked(); });
    OnCommand(IDC_BROWSE, BN_CLICKED, [this] { OnBrowse(); });
    OnCommand(IDC_INSTALL, BN_CLICKED, [this] { OnInstall(); });
    OnCommand(IDOK, BN_CLICKED, [this] { OnOK(); });
    OnCommand(IDCANCEL, BN_CLICKED, [this] { OnCancel(); });
}

Dlg_Setup::Outcome Dlg_Setup::outcome() const {
    if (viewState == ViewState::Finished) return kFinished;
    return stopped ? kInstallStopped : kCancelled;
}

void Dlg_Setup::DoDataExchange(DataExchange& exchange) {
    for (int k = kReleaseCount - 1; k >= 0; --k) DDX_Control(exchange, ReleaseTable[k].controlId, releaseBoxes[k]);
    for (int k = 0; k < kReleaseCount; ++k) DDX_Check(exchange, ReleaseTable[k].controlId, releaseFlags[k]);
    DDX_Text(exchange, IDC_TITLE, titleText);
    DDX_Text(exchange, IDC_EDITION, bitnessText);
    DDX_Control(exchange, IDC_PROGRESS, progressBar);
    DDX_Text(exchange, IDC_FOLDER_EDIT, folderText);
}

BOOL Dlg_Setup::OnInitDialog() {
    CDialog::OnInitDialog();
    backgroundBrush.CreateSolid(kBackground);
    titleFont.Create(14, 600, kFontFace);
    editionFont.Create(13, 400, kFontFace);
    titleText = VersionTitle(setupVersion);
    bitnessText = EditionLabel(hostBitness);

    if (HICON icon = ::LoadIconW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_APP))) {
        Send(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
    }
    for (const ReleaseRow& row : ReleaseTable) {
        if (catalogue.hostFolders[row.index].empty()) {
            ::EnableWindow(releaseBoxes[row.index].hwnd, FALSE);
            releaseFlags[row.index] = 0;
        }
    }
    if (hostBitness == 32) {
        for (const ReleaseRow& row : ReleaseTable) {
            if (row.shownIn32Bit) continue;
            ::ShowWindow(releaseBoxes[row.index].hwnd, SW_HIDE);
            releaseFlags[row.index] = 0;
        }
    }
    UpdateData(false);
    UpdateInstallButton();
    return TRUE;
}

LRESULT Dlg_Setup::OnCtlColor(HDC dc, HWND control) {
    // The system's own colours are all replaced below, so its handler is not asked first.
    const int id = control != nullptr ? ::GetDlgCtrlID(control) : 0;
    ::SetTextColor(dc, RGB(0, 0, 0));
    if (id != IDC_FOLDER_EDIT) ::SetBkMode(dc, TRANSPARENT);
    if (id == IDC_TITLE || id == IDC_EDITION) {
        const CFont& font = id == IDC_TITLE ? titleFont : editionFont;
        if (font) ::SelectObject(dc, font.get());
        ::SetTextColor(dc, kLabelColour);
    }
    return reinterpret_cast<LRESULT>(backgroundBrush.get());
}

void Dlg_Setup::UpdateInstallButton() {
    UpdateData(true);
    bool any = false;
    for (int flag : releaseFlags) any = any || flag != 0;
    EnableItem(IDC_INSTALL, any);
}

void Dlg_Setup::OnOK() {
    // Enter on a check box or the folder edit arrives here as the OK command (no button is the
    // default one). Only the finished view's OK button may end the dialog.
    if (viewState != ViewState::Finished) return;
    CDialog::OnOK();
}

void Dlg_Setup::OnCancel() { CDialog::OnCancel(); }

void Dlg_Setup::OnBrowse() {
    UpdateData(true);
    UpdateInstallButton();
}

void Dlg_Setup::OnInstall() {}

void Dlg_Setup::ShowControl(int id, bool show) { ShowItem(id, show); }

int Dlg_Setup::ShowPrompt(const std::string& text, const std::string& caption, unsigned type) {
    return ShowMessage(text, caption, type);
}

void Dlg_Setup::CloseCancelled() {
    stopped = true;
    EndDialog(IDCANCEL);
}

RECT Dlg_Setup::DialogRect() const {
    RECT rect{};
    ::GetWindowRect(hwnd, &rect);
    return rect;
}

RECT Dlg_Setup::ControlRect(int id) const {
    RECT rect{};
    HWND control = Item(id);
    if (control == nullptr) return rect;
    ::GetWindowRect(control, &rect);
    ::MapWindowPoints(HWND_DESKTOP, hwnd, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

void Dlg_Setup::MoveDialog(const RECT& rect) {
    ::MoveWindow(hwnd, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top, TRUE);
}

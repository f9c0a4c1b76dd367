#include "setup/win32/SetupDialog.h"

#include "SetupResources.h"
#include "catalogue/HostCatalogue.h"
#include "pathdialog/win32/PathDialog.h"
#include "platform/win32/Win32Prompt.h"
#include "setup/win32/SetupTexts.h"
#include "setuplog/LoggedPrompt.h"

namespace {
constexpr COLORREF kBackground = RGB(160, 180, 220);
constexpr COLORREF kLabelColour = RGB(10, 70, 40);
const char kFontFace[] = "宋体";
const char kBrowseText[] = "请选择安装目录：";

ViewRect ToView(const RECT& rect) { return ViewRect{rect.left, rect.top, rect.right, rect.bottom}; }
}  // namespace

Dlg_Setup::Dlg_Setup(SetupServices services, HWND parent)
    : CDialog(IDD_SETUP, parent),
      services(services),
      run(*this, *this, progressBar, services.catalogue, services.files, services.processes,
          services.hostCheckArmed, services.log) {
    run.SetJournal(services.journal);
    run.SetElevation(services.elevation);
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

Dlg_Setup::~Dlg_Setup() {
    // Messages after the dialog has gone must not name it as their owner.
    if (promptOwner != nullptr && services.prompt.Owner() == promptOwner) services.prompt.SetOwner(nullptr);
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
    // The controls are bound and filled once, below, by the one UpdateData.
    // Messages of the payload copy and the support files are owned by this dialog.
    services.prompt.SetOwner(hwnd);
    promptOwner = hwnd;
    backgroundBrush.CreateSolid(kBackground);
    ApplyScaling();
    titleText = VersionTitle(setupVersion);
    bitnessText = EditionLabel(hostBitness);

    if (HICON icon = ::LoadIconW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_APP))) {
        Send(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
    }
    for (const ReleaseRow& row : ReleaseTable) {
        // The boxes start disabled: only a release with a host is enabled, which on most PCs
        // is one or two calls rather than seventeen.
        if (services.catalogue.hostFolders[row.index].empty())
            releaseFlags[row.index] = 0;
        else
            ::EnableWindow(Item(row.controlId), TRUE);
        if (!presetTicks[row.index]) releaseFlags[row.index] = 0;
    }
    if (hostBitness == 32) {
        for (const ReleaseRow& row : ReleaseTable) {
            if (row.shownIn32Bit) continue;
            ::ShowWindow(Item(row.controlId), SW_HIDE);
            releaseFlags[row.index] = 0;
        }
    }
    UpdateData(false);
    // What was just set, so not read back from the boxes.
    bool any = false;
    for (int flag : releaseFlags) any = any || flag != 0;
    EnableItem(IDC_INSTALL, any);
    // The first run asked for the rights and waits for this one: no second press.
    if (services.startInstall) ::PostMessageW(hwnd, WM_COMMAND, MAKEWPARAM(IDC_INSTALL, BN_CLICKED), 0);
    // The focus is left to the dialog manager, which gives the first control it when the shown
    // dialog is activated: set now, it would activate the dialog while still hidden, a step
    // between the start and the window showing that it does not need.
    return FALSE;
}

void Dlg_Setup::ApplyScaling() {
    const int dpi = WindowDpi(hwnd);
    // The labels' fonts are sized in pixels at 100 %; the template's own font scales by itself.
    titleFont.Create(ScaleToDpi(14, dpi), 600, kFontFace);
    editionFont.Create(ScaleToDpi(13, dpi), 400, kFontFace);
    SetPicture(IDC_LOGO, IDB_LOGO, IDB_LOGO_2X, dpi, logoBitmap);
    // The menus picture shows only in the finished view: it is drawn when that comes.
    if (menusBitmap) SetMenusPicture(dpi);
}

void Dlg_Setup::SetMenusPicture(int dpi) { SetPicture(IDC_MENUS_PICTURE, IDB_MENUS, IDB_MENUS_2X, dpi, menusBitmap); }

// Above 100 % the 2x bitmap, scaled down to the control, is sharper than the 1x one scaled up.
void Dlg_Setup::SetPicture(int controlId, int bitmap1x, int bitmap2x, int dpi, CBitmap& bitmap) {
    RECT client{};
    if (!::GetClientRect(Item(controlId), &client)) return;
    HBITMAP picture = ScaledResourceBitmap(dpi > 96 ? bitmap2x : bitmap1x, client.right, client.bottom, kBackground);
    if (picture == nullptr) return;
    // The control does not own its bitmap: the previous one goes once it is replaced.
    SendItem(controlId, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(picture));
    bitmap.Reset(picture);
}

LRESULT Dlg_Setup::OnCtlColor(HDC dc, HWND control) {
    // Every colour the system's handler would set is replaced below, so it is not asked first.
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
    // Enter on a check box or in the folder edit arrives here as the OK command, since no button
    // is the default one. Only the finished view's OK button may end the dialog.
    if (installing || run.state() != SetupState::Finished) return;
    CDialog::OnOK();
}

void Dlg_Setup::OnCancel() {
    // A close that arrives while the install pumps messages (from the taskbar, say) would end
    // the dialog under the running install.
    if (installing) return;
    CDialog::OnCancel();
}

void Dlg_Setup::OnBrowse() {
    UpdateData(true);
    // Owned by this dialog, so that Install cannot be pressed while the browser is open.
    const std::string initial = folderText;
    CPathDialog browser(kBrowseText, kBrowseText, initial.c_str(), hwnd, &services.files);
    if (browser.DoModal() == 1) {
        folderText = browser.GetPathName();
        UpdateData(false);
    }
    UpdateInstallButton();
}

void Dlg_Setup::OnInstall() {
    if (installing) return;
    installing = true;
    run.OnInstall();
    installing = false;
}

void Dlg_Setup::ShowControl(int controlId, bool visible) {
    if (controlId == IDC_MENUS_PICTURE && visible && !menusBitmap) SetMenusPicture(WindowDpi(hwnd));
    ShowItem(controlId, visible);
}

int Dlg_Setup::Show(const std::string& text, const std::string& caption, unsigned type) {
    LogMessageShown(services.log, text);
    const int answer = ShowMessage(text, caption, type);
    LogAnswer(services.log, answer);
    return answer;
}

ViewRect Dlg_Setup::WindowRect() {
    RECT rect{};
    ::GetWindowRect(hwnd, &rect);
    return ToView(rect);
}

ViewRect Dlg_Setup::ControlRect(int controlId) {
    RECT rect{};
    if (HWND control = Item(controlId)) {
        ::GetWindowRect(control, &rect);
        ::MapWindowPoints(HWND_DESKTOP, hwnd, reinterpret_cast<POINT*>(&rect), 2);
    }
    return ToView(rect);
}

void Dlg_Setup::MoveTo(const ViewRect& rect) {
    ::MoveWindow(hwnd, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top, TRUE);
}

#pragma once
// Dlg_Setup: the setup dialog (template 141). It offers the releases that discovery found, holds
// the install folder, and runs the install (InstallRun over this dialog as its view), after which
// it shows its finished view.
#include <array>
#include <string>

#include "catalogue/ReleaseTable.h"
#include "framework/Dialog.h"
#include "framework/Gdi.h"
#include "setup/InstallRun.h"
#include "setup/SetupView.h"
#include "setup/win32/ProgressControl.h"

class HostCatalogue;
class Files;
class Processes;
class Win32Prompt;
class SetupLog;

// What the dialog works with; the application object owns them for the whole process.
struct SetupServices {
    HostCatalogue& catalogue;
    Files& files;
    Processes& processes;
    Win32Prompt& prompt;  // the catalogue's prompt: its boxes are owned by this dialog while it is open
    bool& hostCheckArmed;
    SetupLog& log;     // every message shown and its answer are logged
    InstallJournal* journal = nullptr;  // the undo record the install keeps, if any
    ElevationOffer* elevation = nullptr;  // offers to start again with administrator rights
    bool startInstall = false;  // started again with the rights: Install is pressed at once
};

class Dlg_Setup : public CDialog, public SetupView, public SetupMembers {
public:
    explicit Dlg_Setup(SetupServices services, HWND parent = nullptr);
    ~Dlg_Setup() override;

    // The process's exit code for the way the dialog ended.
    int ExitCode() const { return run.ExitCode(); }
    std::string Outcome() const { return run.Outcome(); }

    // SetupView, bound to the real controls.
    void ShowControl(int controlId, bool visible) override;
    void PullMembers() override { UpdateData(true); }
    void PushMembers() override { UpdateData(false); }
    void CloseCancelled() override { EndDialog(IDCANCEL); }
    ViewRect WindowRect() override;
    ViewRect ControlRect(int controlId) override;
    void MoveTo(const ViewRect& rect) override;
    int Show(const std::string& text, const std::string& caption, unsigned type) override;

    // The releases the command line named (all ticked when it named none): the dialog starts
    // with only those of them ticked that were found.
    ReleaseFlags presetTicks = SetupMembers::AllTicked();

    // Members besides releaseFlags and folderText (SetupMembers).
    CBrush backgroundBrush;
    std::array<CWnd, kReleaseCount> releaseBoxes;
    std::string titleText;
    std::string bitnessText;
    CProgressCtrl progressBar;

protected:
    void DoDataExchange(DataExchange& exchange) override;
    BOOL OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;
    void OnDpiChanged() override { ApplyScaling(); }

private:
    // The fonts and pictures the dialog makes itself, at the window's scaling.
    void ApplyScaling();
    void SetMenusPicture(int dpi);
    void SetPicture(int controlId, int bitmap1x, int bitmap2x, int dpi, CBitmap& bitmap);
    LRESULT OnCtlColor(HDC dc, HWND control);
    void UpdateInstallButton();
    void OnReleaseClicked() { UpdateInstallButton(); }
    void OnBrowse();
    void OnInstall();

    SetupServices services;
    // The window this dialog made the prompts' owner; the handle itself is gone by the time
    // the destructor runs.
    void* promptOwner = nullptr;
    InstallRun run;
    bool installing = false;  // inside the Install handler, which lets messages through
    CFont titleFont;
    CFont editionFont;
    CBitmap logoBitmap;
    CBitmap menusBitmap;
};

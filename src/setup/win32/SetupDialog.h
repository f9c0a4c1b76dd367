#pragma once
// Dlg_Setup: the setup dialog (template 141). It offers the releases that discovery found, holds
// the install folder, and runs the install, after which it shows its finished view.
#include <array>
#include <string>

#include "catalogue/ReleaseTable.h"
#include "framework/Dialog.h"
#include "framework/Gdi.h"
#include "setup/win32/ProgressControl.h"

class HostCatalogue;

class Dlg_Setup : public CDialog {
public:
    // How the dialog ended; the process's exit code.
    enum Outcome {
        kFinished = 0,        // closed from the finished view
        kCancelled = 2,       // closed before an install began
        kInstallStopped = 5,  // package missing, or Abort after a failed copy
    };
    enum class ViewState { Choosing, Running, Finished };

    explicit Dlg_Setup(HostCatalogue& catalogue, HWND parent = nullptr);

    Outcome outcome() const;
    ViewState state() const { return viewState; }

    // View operations of the install run, bound to the real controls.
    void ShowControl(int id, bool show);
    void PullValues() { UpdateData(true); }
    void PushValues() { UpdateData(false); }
    int ShowPrompt(const std::string& text, const std::string& caption, unsigned type);
    void CloseCancelled();
    RECT DialogRect() const;
    RECT ControlRect(int id) const;  // in the dialog's client coordinates
    void MoveDialog(const RECT& rect);

    // Members, in the order of the original dialog.
    CBrush backgroundBrush;
    std::array<CWnd, kReleaseCount> releaseBoxes;
    ReleaseFlags releaseFlags;
    std::string titleText;
    std::string bitnessText;
    CProgressCtrl progressBar;
    std::string folderText = "C:\\Korvel";

protected:
    void DoDataExchange(DataExchange& exchange) override;
    BOOL OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;

private:
    LRESULT OnCtlColor(HDC dc, HWND control);
    void UpdateInstallButton();
    void OnReleaseClicked() { UpdateInstallButton(); }
    void OnBrowse();
    void OnInstall();
    void ShowFinishedView();

    HostCatalogue& catalogue;
    ViewState viewState = ViewState::Choosing;
    bool stopped = false;
    CFont titleFont;
    CFont editionFont;
};

#include "setup/win32/WizardApp.h"

#include "catalogue/HostCatalogue.h"
#include "setup/win32/CommonControls.h"

bool CWizardApp::InitInstance() {
    LoadCommonControls();
    // COM is started by what wants it (the folder browser, ShellExecuteEx), for the time it runs.
    Dlg_Setup dialog(services);
    dialog.folderText = presets.folder;
    dialog.presetTicks = presets.ticks;
    dialog.DoModal();
    exitCode = dialog.ExitCode();
    outcome_ = dialog.Outcome();
    return false;
}

#include "setup/win32/WizardApp.h"

#include <objbase.h>

#include "catalogue/HostCatalogue.h"
#include "setup/win32/CommonControls.h"

bool CWizardApp::InitInstance() {
    LoadCommonControls();
    // The shell's folder browser wants COM on this thread.
    const HRESULT com = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    {
        Dlg_Setup dialog(services);
        dialog.folderText = presets.folder;
        dialog.presetTicks = presets.ticks;
        dialog.DoModal();
        exitCode = dialog.ExitCode();
    }
    if (SUCCEEDED(com)) ::CoUninitialize();
    return false;
}

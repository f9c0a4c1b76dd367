#include "setup/win32/WizardApp.h"

#include <commctrl.h>
#include <objbase.h>

#include "catalogue/HostCatalogue.h"

bool CWizardApp::InitInstance() {
    // The progress bar's window class.
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
    ::InitCommonControlsEx(&controls);
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

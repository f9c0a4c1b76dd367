#include "setup/win32/WizardApp.h"

#include <commctrl.h>
#include <objbase.h>

#include "catalogue/HostCatalogue.h"

bool CWizardApp::InitInstance() {
    // The progress bar's window class. The common controls are loaded here, not as an import:
    // they would then start before WinMain has locked the DLL search down, and their start-up
    // loads further libraries by name (the theme library, from beside the program under Wine).
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
    using InitControlsFn = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
    const HMODULE commonControls = ::LoadLibraryW(L"comctl32.dll");
    const auto initControls =
        commonControls == nullptr
            ? nullptr
            : reinterpret_cast<InitControlsFn>(
                  reinterpret_cast<void*>(::GetProcAddress(commonControls, "InitCommonControlsEx")));
    if (initControls != nullptr) initControls(&controls);
    // The shell's folder browser wants COM on this thread.
    const HRESULT com = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);

    services.catalogue.ScanInstalledReleases();
    {
        Dlg_Setup dialog(services);
        dialog.DoModal();
        exitCode = dialog.ExitCode();
    }
    if (SUCCEEDED(com)) ::CoUninitialize();
    return false;
}

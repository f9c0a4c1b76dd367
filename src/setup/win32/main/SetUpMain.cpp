// SetUp.exe: the process's static objects and its entry.
#include <windows.h>

#include "catalogue/HostCatalogue.h"
#include "framework/App.h"
#include "platform/win32/Win32Files.h"
#include "platform/win32/Win32Processes.h"
#include "platform/win32/Win32Prompt.h"
#include "platform/win32/Win32Registry.h"
#include "setup/win32/WizardApp.h"
#include "setup/win32/main/SafeDllSearch.h"

// The seams hold no state worth ordering; the application object comes before the installer
// state, and both are destroyed in reverse order at exit.
static Win32Registry systemRegistry;
static Win32Files systemFiles;
static Win32Processes systemProcesses;
static Win32Prompt systemPrompt;
extern HostCatalogue theCatalogue;
CWizardApp theApp(theCatalogue, systemFiles, systemProcesses, systemPrompt);
HostCatalogue theCatalogue(systemRegistry, systemFiles, systemPrompt);

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    ShutOutPlantedDlls();
    return RunApplication(instance);
}

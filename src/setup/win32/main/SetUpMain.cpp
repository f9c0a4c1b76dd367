// SetUp.exe: its entry. Everything the run needs is built by StartUp, once the command line has
// chosen the run.
#include <windows.h>

#include "setup/win32/StartUp.h"
#include "setup/win32/main/SafeDllSearch.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    ShutOutPlantedDlls();
    return StartUp(instance, ::GetCommandLineW());
}

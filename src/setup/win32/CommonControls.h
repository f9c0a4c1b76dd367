#pragma once
// The progress bar's window class. The common controls are loaded at run time, never as an
// import: an import would start them before WinMain has locked the DLL search down, and their
// start-up loads further libraries by name (the theme library, from beside the program under
// Wine). Every window of the program that needs them calls this first.
#include <windows.h>

#include <commctrl.h>

#include "platform/win32/SystemLibrary.h"

inline void LoadCommonControls() {
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
    using InitControlsFn = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
    // By name, not by path: the manifest's activation context then gives version 6, the
    // themed controls, where a load from System32 by its path would give the old one.
    const auto initControls = ProcedureOf<InitControlsFn>(::LoadLibraryW(L"comctl32.dll"), "InitCommonControlsEx");
    if (initControls != nullptr) initControls(&controls);
}

#pragma once
// Libraries loaded after start-up come from System32 only, never from the folder the setup was
// started from (a download folder may hold a planted DLL of a system name).
#include <windows.h>

#include "platform/win32/SystemLibrary.h"

// The libraries that are not KnownDLLs and that the themed dialog loads on demand once the
// program runs: on a system without SetDefaultDllDirectories they would be searched for in the
// program's folder first. What the folder browser and ShellExecuteEx load besides waits for
// them (PreloadShellLibraries): most runs use neither, so their start does not load it.
inline constexpr const wchar_t* kLateSystemDlls[] = {
    L"version.dll", L"uxtheme.dll", L"dwmapi.dll", L"msimg32.dll", L"cryptbase.dll",
};

// Loads each of them from the system folder by its full path, so that a later load by name
// finds the module already loaded and never searches. A library this Windows lacks is skipped.
inline void PreloadSystemDlls() {
    for (const wchar_t* name : kLateSystemDlls) LoadSystemLibrary(name);
}

inline void ShutOutPlantedDlls() {
    using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
    const auto setDefault =
        ProcedureOf<SetDefaultDllDirectoriesFn>(::GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories");
    // Older systems without the update: at least take the current folder out of the search.
    if (setDefault == nullptr || !setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32)) ::SetDllDirectoryW(L"");
    // The program's own folder still comes first without the update, and even with it not every
    // load honours the default directories (Wine resolves a system DLL's delay-loaded imports
    // through the process's old search path: comctl32 took uxtheme.dll from beside the program).
    // So what the common controls will want is loaded now, from the system folder.
    PreloadSystemDlls();
}

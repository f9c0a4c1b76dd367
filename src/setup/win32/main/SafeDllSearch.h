#pragma once
// Libraries loaded after start-up come from System32 only, never from the folder the setup was
// started from (a download folder may hold a planted DLL of a system name).
#include <windows.h>

#include "platform/win32/SystemLibrary.h"

// The libraries that are not KnownDLLs and that the shell loads on demand once the program runs,
// above all for the folder browser (SHBrowseForFolder) and the themed dialog: on a system
// without SetDefaultDllDirectories they would be searched for in the program's folder first.
inline constexpr const wchar_t* kLateSystemDlls[] = {
    L"version.dll", L"uxtheme.dll", L"dwmapi.dll",   L"propsys.dll", L"msimg32.dll",
    L"cryptbase.dll", L"profapi.dll", L"ntshrui.dll", L"srvcli.dll",  L"cscapi.dll",
    L"linkinfo.dll", L"slc.dll",     L"apphelp.dll",  L"netutils.dll", L"sspicli.dll",
    L"wkscli.dll",
};

// Loads each of them from the system folder by its full path, so that a later load by name
// finds the module already loaded and never searches. A library this Windows lacks is skipped.
inline void PreloadSystemDlls() {
    for (const wchar_t* name : kLateSystemDlls) LoadSystemLibrary(name);
}

inline void ShutOutPlantedDlls() {
    using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
    HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll");
    auto setDefault = kernel == nullptr ? nullptr
                                        : reinterpret_cast<SetDefaultDllDirectoriesFn>(reinterpret_cast<void*>(
                                              ::GetProcAddress(kernel, "SetDefaultDllDirectories")));
    // Older systems without the update: at least take the current folder out of the search.
    if (setDefault == nullptr || !setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32)) ::SetDllDirectoryW(L"");
    // The program's own folder still comes first without the update, and even with it not every
    // load honours the default directories (Wine resolves a system DLL's delay-loaded imports
    // through the process's old search path: comctl32 took uxtheme.dll from beside the program).
    // So what the shell and the common controls will want is loaded now, from the system folder.
    PreloadSystemDlls();
}

#pragma once
// Libraries loaded after start-up come from System32 only, never from the folder the setup was
// started from (a download folder may hold a planted DLL of a system name).
#include <windows.h>

inline void ShutOutPlantedDlls() {
    using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
    HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll");
    auto setDefault = kernel == nullptr ? nullptr
                                        : reinterpret_cast<SetDefaultDllDirectoriesFn>(reinterpret_cast<void*>(
                                              ::GetProcAddress(kernel, "SetDefaultDllDirectories")));
    if (setDefault != nullptr && setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32)) return;
    // Older systems without the update: at least take the current folder out of the search.
    ::SetDllDirectoryW(L"");
}

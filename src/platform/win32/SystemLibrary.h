#pragma once
// Loads a library of the system's from the system folder, by its full path: never from beside the
// program (a download folder may hold a planted DLL of a system name). Its own dependencies are
// then looked for beside it first. Null when this Windows lacks it.
#include <windows.h>

HMODULE LoadSystemLibrary(const wchar_t* name);

// The function of that name in module, as the given function pointer type; null when the module
// is null or lacks it.
template <typename Function>
Function ProcedureOf(HMODULE module, const char* name) {
    return module == nullptr ? nullptr
                             : reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
}

// The libraries that are not KnownDLLs and that the shell loads by name for its folder browser
// and for ShellExecuteEx. Loaded from the system folder just before either is first used, so
// that its own loads find them loaded and never search; on a system without
// SetDefaultDllDirectories the program's folder would come first. Later calls cost nothing.
void PreloadShellLibraries();

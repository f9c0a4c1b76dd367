#pragma once
// Loads a library of the system's from the system folder, by its full path: never from beside the
// program (a download folder may hold a planted DLL of a system name). Its own dependencies are
// then looked for beside it first. Null when this Windows lacks it.
#include <windows.h>

HMODULE LoadSystemLibrary(const wchar_t* name);

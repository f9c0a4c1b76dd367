#pragma once
// The few functions of the shell (shell32.dll) and of COM (ole32.dll) that the program uses, for
// the folder browser and the request for administrator rights. They are looked up when first
// called, with their library loaded from the system folder then: as imports, the two libraries
// and theirs would be loaded and started on every start of the program, before its window, and
// most runs never call one of them. Each fails as its original does when its library cannot be
// loaded.
#include <windows.h>

#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>

PIDLIST_ABSOLUTE ShellBrowseForFolder(BROWSEINFOW* info);
HRESULT ShellGetMalloc(IMalloc** allocator);
BOOL ShellGetPathFromIDList(PCIDLIST_ABSOLUTE item, wchar_t* path);
BOOL ShellStart(SHELLEXECUTEINFOW* info);
HRESULT ComInitialize(DWORD model);
void ComUninitialize();

#include "platform/win32/ShellFunctions.h"

#include "platform/win32/SystemLibrary.h"

namespace {
// The function, loaded with its library; null when either is missing.
template <typename Function>
Function Lookup(const wchar_t* library, const char* name) {
    return ProcedureOf<Function>(LoadSystemLibrary(library), name);
}
}  // namespace

PIDLIST_ABSOLUTE ShellBrowseForFolder(BROWSEINFOW* info) {
    static const auto function = Lookup<decltype(&::SHBrowseForFolderW)>(L"shell32.dll", "SHBrowseForFolderW");
    return function != nullptr ? function(info) : nullptr;
}

HRESULT ShellGetMalloc(IMalloc** allocator) {
    static const auto function = Lookup<decltype(&::SHGetMalloc)>(L"shell32.dll", "SHGetMalloc");
    return function != nullptr ? function(allocator) : E_NOTIMPL;
}

BOOL ShellGetPathFromIDList(PCIDLIST_ABSOLUTE item, wchar_t* path) {
    static const auto function = Lookup<decltype(&::SHGetPathFromIDListW)>(L"shell32.dll", "SHGetPathFromIDListW");
    return function != nullptr ? function(item, path) : FALSE;
}

BOOL ShellStart(SHELLEXECUTEINFOW* info) {
    static const auto function = Lookup<decltype(&::ShellExecuteExW)>(L"shell32.dll", "ShellExecuteExW");
    if (function != nullptr) return function(info);
    ::SetLastError(ERROR_PROC_NOT_FOUND);
    return FALSE;
}

HRESULT ComInitialize(DWORD model) {
    static const auto function = Lookup<decltype(&::CoInitializeEx)>(L"ole32.dll", "CoInitializeEx");
    return function != nullptr ? function(nullptr, model) : E_NOTIMPL;
}

void ComUninitialize() {
    static const auto function = Lookup<decltype(&::CoUninitialize)>(L"ole32.dll", "CoUninitialize");
    if (function != nullptr) function();
}

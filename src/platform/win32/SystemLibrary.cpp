#include "platform/win32/SystemLibrary.h"

#include <string>

HMODULE LoadSystemLibrary(const wchar_t* name) {
    wchar_t folder[MAX_PATH];
    const UINT length = ::GetSystemDirectoryW(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return nullptr;
    const std::wstring path = std::wstring(folder, length) + L"\\" + name;
    return ::LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

void PreloadShellLibraries() {
    static bool done = false;
    if (done) return;
    done = true;
    static constexpr const wchar_t* kShellLibraries[] = {
        L"propsys.dll", L"profapi.dll", L"ntshrui.dll", L"srvcli.dll",  L"cscapi.dll",  L"linkinfo.dll",
        L"slc.dll",     L"apphelp.dll", L"netutils.dll", L"sspicli.dll", L"wkscli.dll",
    };
    for (const wchar_t* name : kShellLibraries) LoadSystemLibrary(name);
}

// SetUp.exe: its entry. Everything the run needs is built by StartUp, once the command line has
// chosen the run.
#include <windows.h>

#include <cwchar>
#include <string>
#include <vector>

#include "platform/win32/ShellFunctions.h"
#include "setup/win32/StartUp.h"
#include "setup/win32/UninstallProgram.h"
#include "setup/win32/main/SafeDllSearch.h"

namespace {
// The words of the command line, by the rules Windows programs use; the program's name first.
std::vector<std::wstring> Arguments() {
    std::vector<std::wstring> words;
    int count = 0;
    if (LPWSTR* list = ShellCommandLineToArgv(::GetCommandLineW(), &count)) {
        for (int i = 0; i < count; ++i) words.emplace_back(list[i]);
        ::LocalFree(list);
    }
    return words;
}
}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    ShutOutPlantedDlls();
    // The uninstaller's temporary copy, started to remove it once it has ended: no log, no
    // window, nothing else.
    // Split into words only when it may be that run (the shell's splitter is loaded for it).
    const wchar_t* line = ::GetCommandLineW();
    const std::vector<std::wstring> words =
        line != nullptr && std::wcsstr(line, L"/cleanup") != nullptr ? Arguments() : std::vector<std::wstring>();
    if (words.size() > 1 && words[1] == L"/cleanup")
        return RunCleanup(std::vector<std::wstring>(words.begin() + 2, words.end()));
    return StartUp(instance, ::GetCommandLineW());
}

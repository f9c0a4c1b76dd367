// SetUp.exe: its entry. Everything the run needs is built by StartUp, once the command line has
// chosen the run.
#include <windows.h>

#include <string>
#include <vector>

#include "setup/CommandLine.h"
#include "setup/win32/StartUp.h"
#include "setup/win32/UninstallProgram.h"
#include "setup/win32/main/SafeDllSearch.h"

namespace {
// The words of the command line after the program's name, by the rules Windows programs use.
std::vector<std::wstring> Arguments() {
    const wchar_t* line = ::GetCommandLineW();
    const std::wstring text = line != nullptr ? line : L"";
    std::vector<std::wstring> words;
    for (const CommandArgument& word : SplitArguments(std::u16string(text.begin(), text.end())))
        words.emplace_back(word.text.begin(), word.text.end());
    return words;
}
}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    ShutOutPlantedDlls();
    // The uninstaller's temporary copy, started to remove it once it has ended: no log, no
    // window, nothing else.
    const std::vector<std::wstring> words = Arguments();
    if (!words.empty() && words[0] == L"/cleanup")
        return RunCleanup(std::vector<std::wstring>(words.begin() + 1, words.end()));
    return StartUp(instance, ::GetCommandLineW());
}

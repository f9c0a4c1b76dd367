// SetUp.exe: the process's static objects and its entry.
#include <windows.h>

#include <shellapi.h>

#include <string>
#include <vector>

#include "catalogue/HostCatalogue.h"
#include "framework/App.h"
#include "journal/Journal.h"
#include "journal/Recording.h"
#include "journal/UndoRecorder.h"
#include "platform/win32/Win32Files.h"
#include "platform/win32/Win32Processes.h"
#include "platform/win32/Win32Prompt.h"
#include "platform/win32/Win32Registry.h"
#include "setup/win32/SetupTexts.h"
#include "setup/win32/UninstallProgram.h"
#include "setup/win32/WizardApp.h"
#include "setup/win32/main/SafeDllSearch.h"

// The seams hold no state worth ordering. The install works through recording seams, which pass
// every call on and, once the install run arms the journal, keep the undo record. The
// application object comes before the installer state, and both are destroyed in reverse order
// at exit.
static Win32Registry systemRegistry;
static Win32Files systemFiles;
static Win32TextCodec systemCodec;
static Win32Processes systemProcesses;
static Win32Prompt systemPrompt;
static Journal undoJournal(systemFiles, systemCodec);
static RecordingRegistry recordingRegistry(systemRegistry, undoJournal);
static RecordingFiles recordingFiles(systemFiles, undoJournal);
static UndoRecorder undoRecorder(undoJournal, recordingRegistry, recordingFiles,
                                 UninstallEntryText{"Korvel-Tarnwick AutoCAD插件",
                                                    VersionText(setupVersion),
                                                    "Tarnwick软件"});
extern HostCatalogue theCatalogue;
CWizardApp theApp(theCatalogue, recordingFiles, systemProcesses, systemPrompt, &undoRecorder);
HostCatalogue theCatalogue(recordingRegistry, recordingFiles, systemPrompt);

namespace {
// The words of the command line, by the rules Windows programs use; the program's name first.
std::vector<std::wstring> Arguments() {
    std::vector<std::wstring> words;
    int count = 0;
    if (LPWSTR* list = ::CommandLineToArgvW(::GetCommandLineW(), &count)) {
        for (int i = 0; i < count; ++i) words.emplace_back(list[i]);
        ::LocalFree(list);
    }
    return words;
}

bool IsSwitch(const std::wstring& word, const wchar_t* name) {
    return word.size() > 1 && (word[0] == L'/' || word[0] == L'-') &&
           ::CompareStringOrdinal(word.c_str() + 1, -1, name, -1, TRUE) == CSTR_EQUAL;
}
}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    ShutOutPlantedDlls();
    const std::vector<std::wstring> words = Arguments();
    if (words.size() > 1 && IsSwitch(words[1], L"cleanup"))
        return RunCleanup(std::vector<std::wstring>(words.begin() + 2, words.end()));
    bool uninstall = false, quiet = false;
    for (std::size_t i = 1; i < words.size(); ++i) {
        uninstall = uninstall || IsSwitch(words[i], L"uninstall");
        quiet = quiet || IsSwitch(words[i], L"S");
    }
    if (uninstall)
        return RunUninstallProgram(
            instance, UninstallServices{systemRegistry, systemFiles, systemCodec, systemProcesses, systemPrompt}, quiet);
    return RunApplication(instance);
}

#pragma once
// CWizardApp: the application object. Its start-up fills the catalogue from the registry, runs
// the setup dialog and returns false, so the program ends when the dialog closes.
#include "framework/App.h"
#include "setup/win32/SetupDialog.h"

class CWizardApp : public CWinApp {
public:
    // The seams are the process's static objects; they are only used once InitInstance runs.
    CWizardApp(HostCatalogue& catalogue, Files& files, Processes& processes, Win32Prompt& prompt,
               InstallJournal* journal = nullptr)
        : services{catalogue, files, processes, prompt, hostCheckArmed, journal} {}
    bool InitInstance() override;
    int ExitInstance() override { return exitCode; }

private:
    // The running-host check is made until its first refusal, once per run of the program.
    bool hostCheckArmed = true;
    SetupServices services;
    int exitCode = kExitCancelled;
};

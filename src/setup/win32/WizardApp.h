#pragma once
// CWizardApp: the application object of the window's run. Its start-up runs the setup dialog
// over a catalogue that discovery has filled, and returns false, so the program ends when the
// dialog closes.
#include <string>

#include "framework/App.h"
#include "setup/win32/SetupDialog.h"

// What the command line preset in the dialog.
struct DialogPresets {
    std::string folder = kDefaultFolder;
    ReleaseFlags ticks = SetupMembers::AllTicked();
    bool startInstall = false;  // /ELEVATED: Install is pressed at once
};

class CWizardApp : public CWinApp {
public:
    CWizardApp(HostCatalogue& catalogue, Files& files, Processes& processes, Win32Prompt& prompt,
               SetupLog& log, const DialogPresets& presets, InstallJournal* journal = nullptr,
               ElevationOffer* elevation = nullptr)
        : services{catalogue, files, processes, prompt, hostCheckArmed, log, journal, elevation, presets.startInstall},
          presets(presets) {}
    bool InitInstance() override;
    int ExitInstance() override { return exitCode; }

private:
    // The running-host check is made until its first refusal, once per run of the program.
    bool hostCheckArmed = true;
    SetupServices services;
    DialogPresets presets;
    int exitCode = kExitCancelled;
};

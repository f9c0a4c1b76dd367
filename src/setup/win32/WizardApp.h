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
    bool hostCheckArmed = true;  // /HOSTREFUSED: the refusal was given before the relaunch
};

class CWizardApp : public CWinApp {
public:
    CWizardApp(HostCatalogue& catalogue, Files& files, Processes& processes, Win32Prompt& prompt,
               SetupLog& log, const DialogPresets& presets, InstallJournal* journal = nullptr,
               ElevationOffer* elevation = nullptr)
        : hostCheckArmed(presets.hostCheckArmed),
          services{catalogue, files, processes, prompt, hostCheckArmed, log, journal, elevation, presets.startInstall},
          presets(presets) {}
    bool InitInstance() override;
    int ExitInstance() override { return exitCode; }
    // The install's outcome in words, once the dialog has closed.
    const std::string& outcome() const { return outcome_; }

private:
    // The running-host check is made until its first refusal, once per install, across the run
    // started again with administrator rights.
    bool hostCheckArmed;
    SetupServices services;
    DialogPresets presets;
    int exitCode = kExitCancelled;
    std::string outcome_;
};

#pragma once
// The Install command of the setup dialog: the once-only running-host refusal, the install
// folder and its sub-folder, the payload copy, the registration and the support files in a
// fixed order on the dialog's progress bar, then the finished view. It sees the dialog only
// through SetupView, so the whole sequence runs without a window.
#include <string>
#include <vector>

#include "catalogue/HostCatalogue.h"
#include "platform/Files.h"
#include "platform/Processes.h"
#include "platform/ProgressSink.h"
#include "platform/SetupLog.h"
#include "setup/ExitCodes.h"
#include "journal/InstallJournal.h"
#include "setup/Elevation.h"
#include "setup/SetupView.h"

// Where the dialog stands after a command.
enum class SetupState {
    Choosing,  // nothing installed yet; the dialog is open
    Finished,  // everything ran; the finished view is up
    Stopped,   // the payload copy failed or was aborted; the dialog is closing as cancelled
    Relaunched,  // the program ran again with administrator rights and has ended; the dialog is
                 // closing with its exit code
};

// The sub-folder of the chosen folder that receives the plug-in.
extern const char* const kInstallSubFolder;  // "\Korvel-Tarnwick"

class InstallRun {
public:
    // hostCheckArmed is the process's own flag, owned by the application object: the refusal
    // is given at most once per run of the program, whichever dialog asks.
    InstallRun(SetupView& view, SetupMembers& members, ProgressSink& progressBar,
               HostCatalogue& catalogue, Files& files, Processes& processes,
               bool& hostCheckArmed, SetupLog& log);
    InstallRun(const InstallRun&) = delete;
    InstallRun& operator=(const InstallRun&) = delete;

    // The undo record to keep while installing (none by default).
    void SetJournal(InstallJournal* journal) { journal_ = journal; }
    // Offers to start again with administrator rights when the install needs them (none: never).
    void SetElevation(ElevationOffer* elevation) { elevation_ = elevation; }

    // The Install button's handler; returns the state it leaves the dialog in.
    SetupState OnInstall();

    // The run proper, from the progress bar's set-up to its end. False when the payload copy
    // failed; the dialog has then been closed as cancelled.
    bool RunInstall();

    SetupState state() const { return state_; }
    // The last press was refused because the folder, or the place of the undo record, is one
    // that others could change (or could not be made), not because of what was typed.
    bool folderUnsafe() const { return folderUnsafe_; }
    // The exit code once the dialog has closed, however it was closed.
    int ExitCode() const;
    // Its outcome in words, naming what was left where the code says something was.
    std::string Outcome() const;

private:
    // Whether folder (its trailing backslash already cut) can be installed into; tells the user
    // why not.
    bool AcceptFolder(const std::string& folder);
    // Makes the folder and its sub-folder, or tells the user why they cannot be installed into
    // (a link, another owner, or not made with administrator rights).
    bool PrepareFolders(const std::string& folder);
    // Asks to go on with administrator rights where the install needs them; true when this run
    // should go on itself (the rights are there, or the user chose No).
    bool OfferElevation(const std::string& folder);
    // Ends a run that has begun: logs why ("install stopped: <why>"), closes the dialog as
    // cancelled; returns false.
    bool Stop(const std::string& why);
    void ShowFinishedView();
    void ShrinkToOkButton();

    SetupView& view_;
    SetupMembers& members_;
    ProgressSink& progressBar_;
    HostCatalogue& catalogue_;
    Files& files_;
    Processes& processes_;
    bool& hostCheckArmed_;
    SetupLog& log_;
    SetupState state_ = SetupState::Choosing;
    int skippedFiles_ = 0;     // ignored in the payload copy
    std::vector<std::string> skippedPaths_;  // their destinations
    InstallJournal* journal_ = nullptr;
    ElevationOffer* elevation_ = nullptr;
    int relaunchedExit_ = kExitCancelled;
    bool warningShown_ = false;
    bool folderUnsafe_ = false;
    bool reclaimed_ = false;  // the plug-in's folder was open to others until this run took it back
    // What was not carried into the plug-in's folder made anew (another account's, or held open):
    // left where it is, beside it.
    std::vector<std::string> setAside_;
    int unkeptHostFiles_ = 0;
    std::string stopReason_;
};

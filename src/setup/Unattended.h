#pragma once
// The unattended install (/S): the install run of the dialog over a view that has no window.
// Every message goes to the log through the prompt it is given, answered as an administrator
// who is not there would want: Abort on a failed copy, OK to everything else. A running host
// stops the run instead of being refused once.
#include <string>
#include <vector>

#include "catalogue/HostCatalogue.h"
#include "platform/Files.h"
#include "platform/Processes.h"
#include "platform/SetupLog.h"
#include "journal/InstallJournal.h"
#include "setup/Elevation.h"
#include "setup/SetupView.h"

// The releases the edition offers on this machine: found, and shown by the edition.
ReleaseFlags OfferedReleases(const HostCatalogue& catalogue, int bitness);

// The releases to install for: every offered one when none are named; else the named ones, each
// of which must be offered here, and those of ifPresent that are offered here. False, with the
// reason in error, when a named release is not offered here.
bool ChooseReleases(const ReleaseFlags& offered, const std::vector<int>& named, ReleaseFlags& flags,
                    std::string& error, const std::vector<int>& ifPresent = {});

// SetupView without a window: the members are set by the caller, messages go to prompt.
class QuietView : public SetupView {
public:
    explicit QuietView(Prompt& prompt) : prompt_(prompt) {}
    int Show(const std::string& text, const std::string& caption, unsigned type) override {
        return prompt_.Show(text, caption, type);
    }
    void ShowControl(int, bool) override {}
    void PullMembers() override {}
    void PushMembers() override {}
    void CloseCancelled() override {}
    ViewRect WindowRect() override { return {}; }
    ViewRect ControlRect(int) override { return {}; }
    void MoveTo(const ViewRect&) override {}

private:
    Prompt& prompt_;
};

struct UnattendedChoice {
    std::vector<int> releases;  // empty (and releasesIfPresent too): every release offered
    std::string folder;         // CP936; empty: that of the install listed on the PC, else C:\Korvel
    std::vector<int> releasesIfPresent;  // installed for where offered, passed over elsewhere
};

// The folder an install without a folder given goes to: the one chosen for the install listed
// on the PC (its entry in the list of programs; with administrator rights only the machine's,
// which no user can write), so that a repeat keeps it; else C:\Korvel. `how` says which, for the
// log.
std::string UnattendedFolder(Registry& registry, bool elevated, std::string& how);

// Installs as the dialog's default install would, with the given choice, after discovery has
// run. Returns the exit code: those of the dialog, and kExitHostRunning, kExitNothingToInstall,
// or kExitBadCommandLine for a release not found or a folder the dialog would refuse.
// journal: the undo record to keep, if any. elevation: when it finds the chosen releases need
// administrator rights, nothing is installed and the run ends with kExitNeedsAdmin. outcome: the
// install run's account of the code in words, when the run got that far (untouched otherwise).
int RunUnattended(const UnattendedChoice& choice, int bitness, HostCatalogue& catalogue,
                  Files& files, Processes& processes, Prompt& prompt, SetupLog& log,
                  InstallJournal* journal = nullptr, ElevationOffer* elevation = nullptr,
                  std::string* outcome = nullptr);

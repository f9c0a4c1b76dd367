#pragma once
// Administrator rights for an install that needs them. The program starts as its invoker and
// asks for nothing; when Install is pressed and some chosen release's loader keys are not
// writable for this run, the dialog offers to start the program again with the rights, straight
// into the same install. The unattended run asks nothing: it installs nothing and says why.
#include <string>

#include "catalogue/HostCatalogue.h"

class ElevationOffer {
public:
    virtual ~ElevationOffer() = default;
    // Whether installing for the chosen releases needs rights this run does not have.
    virtual bool Needed(const ReleaseFlags& chosen) = 0;
    // Starts the program again with administrator rights, straight into the install of folder
    // (as chosen, without the plug-in's sub-folder) for the chosen releases, and waits for it to
    // end. hostRefused: this run refused once already while AutoCAD ran, and the install is one:
    // the run started again refuses no second time. False when it was not started (the user
    // refused the rights); exitCode is then untouched.
    virtual bool Relaunch(const std::string& folder, const ReleaseFlags& chosen, bool hostRefused,
                          int& exitCode) = 0;
};

// The decision: true when a product key of some chosen release cannot be written, as
// writable(key) tells for a key path below HKEY_LOCAL_MACHINE. Releases not chosen do not count.
bool NeedsAdministrator(const HostCatalogue& catalogue, const ReleaseFlags& chosen,
                        bool (*writable)(const std::string& machineKey));

// The question before any change.
extern const char* const kElevationQuestion;
// /RELEASES='s value for the chosen releases: "2018,2022".
std::string ReleaseYears(const ReleaseFlags& chosen);

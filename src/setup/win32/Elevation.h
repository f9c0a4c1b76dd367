#pragma once
// The offer to elevate, over Windows: loader keys probed for write access, and the program
// started again with the "runas" verb, which brings up Windows' own question.
#include <windows.h>

#include <string>

#include "setup/Elevation.h"

class RunLock;
class Win32Prompt;

class Win32Elevation : public ElevationOffer {
public:
    // owner: the prompt whose owner window the elevated run's question belongs to.
    // lock: the run's own, which the elevated run must be able to take; given back when
    // Windows starts nothing.
    Win32Elevation(const HostCatalogue& catalogue, Win32Prompt& owner, RunLock* lock)
        : catalogue_(catalogue), owner_(owner), lock_(lock) {}

    bool Needed(const ReleaseFlags& chosen) override;
    bool Relaunch(const std::string& folder, const ReleaseFlags& chosen, bool hostRefused, int& exitCode) override;

private:
    const HostCatalogue& catalogue_;
    Win32Prompt& owner_;
    RunLock* lock_;
};

#pragma once
// The offer to elevate, over Windows: loader keys probed for write access, and the program
// started again with the "runas" verb, which brings up Windows' own question.
#include <windows.h>

#include <string>

#include "setup/Elevation.h"

class Win32Prompt;

class Win32Elevation : public ElevationOffer {
public:
    // logPath: this run's log; the elevated run logs beside it (this run holds its own file).
    // owner: the prompt whose owner window the elevated run's question belongs to.
    Win32Elevation(const HostCatalogue& catalogue, Win32Prompt& owner, std::wstring logPath)
        : catalogue_(catalogue), owner_(owner), logPath_(std::move(logPath)) {}

    bool Needed(const ReleaseFlags& chosen) override;
    bool Relaunch(const std::string& folder, const ReleaseFlags& chosen, int& exitCode) override;

    // The elevated run's log: "<log without .log>-elevated.log".
    static std::wstring ElevatedLogPath(const std::wstring& logPath);

private:
    const HostCatalogue& catalogue_;
    Win32Prompt& owner_;
    std::wstring logPath_;
};

#pragma once
// The running processes' executable names, read one at a time from a snapshot so that a search
// can stop early.
#include <memory>
#include <string>

class ProcessSnapshot {
public:
    virtual ~ProcessSnapshot() = default;  // closes the snapshot
    // The first call gives the first entry. False when there is no (further) entry.
    virtual bool Next(std::string& exeName) = 0;
};

class Processes {
public:
    virtual ~Processes() = default;
    // Null when no snapshot can be taken.
    virtual std::unique_ptr<ProcessSnapshot> TakeSnapshot() = 0;
    // Whether this process runs with administrator rights (the Administrators group enabled in
    // its token), so that its writes under HKEY_LOCAL_MACHINE succeed.
    virtual bool RunsElevated() = 0;
    // The security identifier of the account this process runs as ("S-1-5-21-..."), whose hive
    // HKEY_CURRENT_USER is; empty when it cannot be read.
    virtual std::string UserSid() { return std::string(); }
};

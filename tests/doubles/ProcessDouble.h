#pragma once
// A process list for tests: the executable names of the next snapshot, in order; how many
// snapshots were taken, how many entries were read and how many snapshots are still open.
// Whether the process runs elevated is a flag; a fault fails one call (a snapshot not taken, or
// a read that finds no further entry).
#include <memory>
#include <string>
#include <vector>

#include "platform/Processes.h"

class ProcessDouble : public Processes {
public:
    std::unique_ptr<ProcessSnapshot> TakeSnapshot() override {
        ++snapshotsTaken;
        if (Fails() || !snapshotAvailable) return nullptr;
        return std::make_unique<Snapshot>(*this, names);
    }

    bool RunsElevated() override {
        Fails();  // a failed query reads as "not elevated", which the Win32 side also answers
        return elevated && !lastFailed_;
    }

    // The n-th call (1 = the first) of any kind fails; 0 = none.
    bool Fails() {
        ++callsMade;
        lastFailed_ = failAtCall != 0 && callsMade == failAtCall;
        return lastFailed_;
    }

    std::string UserSid() override { return sid; }

    std::vector<std::string> names;
    std::string sid;  // the account the process runs as
    bool elevated = false;
    int failAtCall = 0;
    int callsMade = 0;
    bool snapshotAvailable = true;
    int snapshotsTaken = 0;
    int entriesRead = 0;
    int openSnapshots = 0;

private:
    class Snapshot : public ProcessSnapshot {
    public:
        Snapshot(ProcessDouble& owner, std::vector<std::string> names)
            : owner_(owner), names_(std::move(names)) {
            ++owner_.openSnapshots;
        }
        ~Snapshot() override { --owner_.openSnapshots; }
        bool Next(std::string& exeName) override {
            if (owner_.Fails() || next_ >= names_.size()) return false;
            ++owner_.entriesRead;
            exeName = names_[next_++];
            return true;
        }

    private:
        ProcessDouble& owner_;
        std::vector<std::string> names_;
        std::size_t next_ = 0;
    };
    bool lastFailed_ = false;
};

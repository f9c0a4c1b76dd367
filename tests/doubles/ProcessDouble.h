#pragma once
// A process list for tests: the executable names of the next snapshot, in order; how many
// snapshots were taken, how many entries were read and how many snapshots are still open.
#include <memory>
#include <string>
#include <vector>

#include "platform/Processes.h"

class ProcessDouble : public Processes {
public:
    std::unique_ptr<ProcessSnapshot> TakeSnapshot() override {
        ++snapshotsTaken;
        if (!snapshotAvailable) return nullptr;
        return std::make_unique<Snapshot>(*this, names);
    }

    std::vector<std::string> names;
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
            if (next_ >= names_.size()) return false;
            ++owner_.entriesRead;
            exeName = names_[next_++];
            return true;
        }

    private:
        ProcessDouble& owner_;
        std::vector<std::string> names_;
        std::size_t next_ = 0;
    };
};

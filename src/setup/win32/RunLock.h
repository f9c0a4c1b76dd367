#pragma once
// One setup or uninstall of the plug-in at a time on the PC, in every session: a named mutex in
// the Global\ namespace, held from the start of the run to its end.
#include <windows.h>

class RunLock {
public:
    RunLock() { Acquire(); }
    ~RunLock() { Release(); }
    RunLock(const RunLock&) = delete;
    RunLock& operator=(const RunLock&) = delete;

    // False when another run holds it (or made it, and cannot be told apart from one that does).
    bool held() const { return mutex_ != nullptr; }
    // Takes the lock again after Release; false when another run has it now.
    bool Acquire();
    // Lets it go, for a run that hands the work to another process.
    void Release();

private:
    HANDLE mutex_ = nullptr;
};

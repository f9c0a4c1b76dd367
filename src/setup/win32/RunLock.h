#pragma once
// One setup or uninstall of the plug-in at a time. With administrator rights: a file in the
// protected records folder under ProgramData, opened without sharing and deleted once closed,
// with rights of its own that admit only Administrators and SYSTEM: no standard user can make,
// open or hold it, in any session. Without them: the same in the user's own temporary folder; such
// a run changes only what is the user's own (its profiles, its own entry, a folder it may write),
// so it keeps apart from an administrator's run, and another user cannot hold its lock either.
#include <windows.h>

#include <string>

#include "platform/win32/Handle.h"

class RunLock {
public:
    explicit RunLock(bool elevated);
    RunLock(const RunLock&) = delete;
    RunLock& operator=(const RunLock&) = delete;

    // False when another run holds it. A lock that has no place (its folder cannot be made safe)
    // holds nothing: the run then stops on its own at that folder, changing nothing.
    bool held() const { return file_.valid() || path_.empty(); }
    // Takes the lock again after Release; false when another run has it now.
    bool Acquire();
    // Lets it go, for a run that hands the work to another process.
    void Release() { file_.Close(); }

    // The lock file's rights: Administrators and SYSTEM, nothing inherited.
    static const wchar_t kLockSddl[];

private:
    bool elevated_;
    std::wstring path_;
    Handle file_;
};

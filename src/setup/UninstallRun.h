#pragma once
// Uninstall: asks first, refuses once while AutoCAD runs (as Install does), loads the undo
// record of the plug-in's folder, undoes it with progress, and says what was removed and what
// was left. Quiet, it asks nothing and shows nothing: a running host stops it, and what it would
// have said is kept in `messages`.
#include <functional>
#include <string>
#include <vector>

#include "journal/CodeGuard.h"
#include "journal/Scope.h"
#include "journal/Undo.h"
#include "platform/Files.h"
#include "platform/Processes.h"
#include "platform/ProgressSink.h"
#include "platform/Prompt.h"
#include "platform/Registry.h"
#include "platform/TextCodec.h"

// The plug-in's folder an uninstall works on. The uninstaller ("uninstall.exe") works on its own
// folder only, so that a copy of it put elsewhere finds no record; the setup program works on the
// folder the entry in the list of programs names, and with administrator rights only on the
// machine's entry, which no user can write. False when there is none.
bool LocateInstall(Registry& registry, const std::string& self, bool elevated, std::string& folder);

// What the records in play say was written (each file's last size and hash, and the plug-in
// folders), for the check of the values the undo puts back.
CodeGuard::Known KnownFiles(const std::string& folder, const std::vector<JournalEntry>& entries,
                           const std::vector<OtherInstall>& others);

class UninstallRun {
public:
    UninstallRun(Registry& registry, Files& files, TextCodec& codec, Processes& processes, Prompt& prompt,
                 ProgressSink& progress)
        : registry_(registry), files_(files), codec_(codec), processes_(processes), prompt_(prompt),
          progress_(progress) {}

    // folder: the plug-in's folder; self: the running program (its own file is left in
    // result.deferred, unless it stepped aside). The record is the one beside the plug-in, or with
    // administrator rights the one in its protected folder (RecordPlace.h), used only while no one
    // else could have changed it. Returns the exit code.
    int Run(const std::string& folder, const std::string& self, bool quiet);

    // The question was asked already, and answered Yes (an uninstall of several installs asks
    // once).
    bool confirmed = false;
    // Asked once the uninstall goes ahead, before its first change, when the running program is
    // the plug-in folder's own: whether it has moved its file out of that folder, which then goes
    // in this run rather than once the program has ended.
    std::function<bool(const std::string& self)> stepAside;

    UndoResult result;
    // An install for every user: the users who were not logged on and whose hives were loaded
    // and put back, and those whose hives could not be loaded (or unloaded), as
    // "<profile folder> (<SID>)" and, for the latter, why. Their trusted paths may keep the
    // folder's entry, so they make the uninstall incomplete.
    std::vector<std::string> reachedUsers;
    std::vector<std::string> unreachedUsers;
    std::vector<std::string> messages;  // every message, shown or (quiet) not

    // Takes the folder out of the profiles the per-user step may have changed since the install:
    // the current user's, every loaded hive's, and those of every other user with a profile on
    // the PC, whose hives it loads. Adds to result.left, reachedUsers and unreachedUsers; Run
    // calls it after the undo of an install for every user. remaining: the plug-in folders of
    // the other installs still there.
    void UntrustForEveryUser(const std::string& folder, const std::vector<JournalEntry>& entries,
                             const std::vector<std::string>& remaining);

private:
    int Say(const std::string& text, unsigned type, bool quiet, int quietAnswer);
    // The plug-in's other installs present now, each with its record as it lies where this run
    // would trust it (ours: the scope our own record was held to).
    std::vector<OtherInstall> OtherInstalls(const std::string& folder, const std::vector<JournalEntry>& entries,
                                            bool elevated, const InstallScope& ours);

    Registry& registry_;
    Files& files_;
    TextCodec& codec_;
    Processes& processes_;
    Prompt& prompt_;
    ProgressSink& progress_;
};

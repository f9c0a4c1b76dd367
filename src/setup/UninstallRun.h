#pragma once
// Uninstall: asks first, refuses once while AutoCAD runs (as Install does), loads the undo
// record of the plug-in's folder, undoes it with progress, and says what was removed and what
// was left. Quiet, it asks nothing and shows nothing: a running host stops it, and what it would
// have said is kept in `messages`.
#include <string>
#include <vector>

#include "journal/Undo.h"
#include "platform/Files.h"
#include "platform/Processes.h"
#include "platform/ProgressSink.h"
#include "platform/Prompt.h"
#include "platform/Registry.h"
#include "platform/TextCodec.h"

class UninstallRun {
public:
    UninstallRun(Registry& registry, Files& files, TextCodec& codec, Processes& processes, Prompt& prompt,
                 ProgressSink& progress)
        : registry_(registry), files_(files), codec_(codec), processes_(processes), prompt_(prompt),
          progress_(progress) {}

    // folder: the plug-in's folder, which holds the record; self: the running program (its own
    // file is left in result.deferred). Returns the exit code.
    int Run(const std::string& folder, const std::string& self, bool quiet);

    UndoResult result;
    // An install for every user: the users whose profiles could not be reached (not logged on),
    // as "<profile folder> (<SID>)". Their trusted paths keep the folder's entry.
    std::vector<std::string> unreachedUsers;
    std::vector<std::string> messages;  // every message, shown or (quiet) not

private:
    int Say(const std::string& text, unsigned type, bool quiet, int quietAnswer);
    std::vector<OtherInstall> OtherInstalls(const std::string& folder, const std::vector<JournalEntry>& entries);
    // Takes the folder out of the profiles the per-user step may have changed since the install:
    // the current user's and every loaded hive's; names the users it could not reach.
    void UntrustForEveryUser(const std::string& folder);

    Registry& registry_;
    Files& files_;
    TextCodec& codec_;
    Processes& processes_;
    Prompt& prompt_;
    ProgressSink& progress_;
};

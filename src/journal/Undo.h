#pragma once
// Undo of a record: its entries replayed in reverse. Only what is still as the install left it is
// put back or removed; whatever was changed since, or cannot be undone, is left as it is and
// reported. Nothing is ever deleted by pattern.
#include <functional>
#include <string>
#include <vector>

#include "journal/Journal.h"
#include "platform/Files.h"
#include "platform/ProgressSink.h"
#include "platform/Registry.h"

#include <utility>

struct LeftBehind {
    std::string what;  // a path, or a registry key or value (CP936)
    std::string why;
};

struct UndoResult {
    int undone = 0;                   // entries put back or removed
    std::vector<LeftBehind> left;     // what was not
    std::vector<std::string> deferred;  // the running program's own file, then folders that hold
                                        // it: for the caller to remove once the program has ended
    // What another install's record took over (its plug-in folder, and the entry): keys we made
    // that its values or keys live in now, states from before it, what it holds of a file.
    std::vector<std::pair<std::string, JournalEntry>> handed;
};

// Adds entry to the record of the install in folder; false when it could not be written.
using HandOn = std::function<bool(const std::string& folder, const JournalEntry& entry)>;

// Another install of the plug-in on this machine, present now (its record is there).
struct OtherInstall {
    std::string folder;  // its plug-in folder
    std::vector<JournalEntry> entries;  // its record
    std::string recordFolder;           // where that record and its backups lie
};

// folder: the plug-in's folder that the record lies in (the entry trusted paths gained);
// self: the running program's path (may be empty). others: the plug-in's other installs present
// now. What one of them holds (the loader keys it took over, the entry that names it, the fonts,
// libraries and driver it placed in the hosts' folders too) is left to its own record; the
// previous content of such a file is handed to its record when that holds a copy of ours in its
// place. Nothing that points into a folder gone or being removed is made again. progress steps
// once per entry.
// user: the SID of the account this uninstall runs as (empty when unknown); the profiles of
// another account that the record changed are changed in its hive where that is loaded, and
// otherwise reported as left. recordFolder: where the record lies, when not in folder (removed
// with it). handOn writes what another install's record is to take over, before ours goes (once
// ours is gone nothing would say it again); what it cannot write is reported as left.
UndoResult Undo(Registry& registry, Files& files, const std::vector<JournalEntry>& entries,
                const std::string& folder, const std::string& self, const std::vector<OtherInstall>& others,
                ProgressSink& progress, const HandOn& handOn, const std::string& user = std::string(),
                const std::string& recordFolder = std::string());

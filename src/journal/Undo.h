#pragma once
// Undo of a record: its entries replayed in reverse. Only what is still as the install left it is
// put back or removed; whatever was changed since, or cannot be undone, is left as it is and
// reported. Nothing is ever deleted by pattern.
#include <string>
#include <vector>

#include "journal/Journal.h"
#include "platform/Files.h"
#include "platform/ProgressSink.h"
#include "platform/Registry.h"

struct LeftBehind {
    std::string what;  // a path, or a registry key or value (CP936)
    std::string why;
};

struct UndoResult {
    int undone = 0;                   // entries put back or removed
    std::vector<LeftBehind> left;     // what was not
    std::vector<std::string> deferred;  // the running program's own file, then folders that hold
                                        // it: for the caller to remove once the program has ended
};

// folder: the plug-in's folder that the record lies in (the entry trusted paths gained);
// self: the running program's path (may be empty). otherInstall: the plug-in is also installed
// elsewhere (a newer install took over the entry in the list of programs); the fonts, libraries
// and driver it placed in the hosts' folders are that install's too, and stay. progress steps
// once per entry. recordFolder: where the record lies, when not in folder (removed with it).
UndoResult Undo(Registry& registry, Files& files, const std::vector<JournalEntry>& entries,
                const std::string& folder, const std::string& self, bool otherInstall,
                ProgressSink& progress, const std::string& recordFolder = std::string());

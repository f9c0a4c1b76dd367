#pragma once
// What an install of the plug-in can have done, and so all that its undo may touch. A record
// is text in a folder on disk: one that names anything else (another program's key, a file
// outside the hosts' and the plug-in's folders) was not written by an install, and is refused
// whole rather than replayed with an administrator's rights.
#include <string>

#include "journal/Journal.h"

// folder: the plug-in's folder the record lies in.
bool WithinInstallScope(const JournalEntry& entry, const std::string& folder);

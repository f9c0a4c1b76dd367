#pragma once
// What an install of the plug-in can have done, and so all that its undo may touch. A record
// is text in a folder on disk: one that names anything else (another program's key, a file
// outside the hosts' and the plug-in's folders, a path that the system would read otherwise
// than it is written) was not written by an install, and is refused whole rather than replayed
// with an administrator's rights.
#include <string>
#include <vector>

#include "journal/Journal.h"

struct InstallScope {
    std::string folder;                    // the plug-in's folder
    std::string recordFolder;              // the folder that holds the record (and its backups)
    std::vector<std::string> hostFolders;  // the folders of the hosts found now
};

// "X:\name\name...": a drive, then names none of which is empty, "." or "..", ends in a dot or a
// blank, or holds a control character or any of / : * ? " < > |. What the system reads as the
// same file, written only one way.
bool IsCanonicalPath(const std::string& path);
// Whether path lies below folder (not folder itself), letters compared without regard to case.
bool Inside(const std::string& path, const std::string& folder);

bool WithinInstallScope(const JournalEntry& entry, const InstallScope& scope);

#pragma once
// Copies every file that lies directly in the package folder into the install folder, asking
// the user to abort, retry or ignore when a file cannot be copied.
#include <string>
#include <vector>

#include "platform/Files.h"
#include "platform/ProgressSink.h"
#include "platform/Prompt.h"

class PackageCopy {
public:
    // `folder` loses one trailing backslash.
    PackageCopy(Files& files, Prompt& prompt, const std::string& folder, ProgressSink& progress);

    // True when the whole listing was worked through (ignored files included, and counted in
    // skippedFiles). False when the package is missing, a path is too long (the user is told;
    // nothing is written), the listing cannot be read to its end (the user is told), or the user
    // chose Abort (files copied before stay). Steps `progress` once per pass of the listing: N + 1
    // times for N entries; not at all when the listing cannot be opened.
    bool Run();

    std::string targetFolder;
    int skippedFiles = 0;  // files the user chose to ignore after a failed copy
    std::vector<std::string> skippedPaths;  // their destinations, in the order ignored
    ProgressSink& progress;

private:
    enum class Outcome { Done, Aborted };
    Outcome CopyEntry(const std::string& packageFolder, const std::string& name);

    Files& files_;
    Prompt& prompt_;
};

// The package's files that are not installed into the install folder (letter case ignored).
bool IsSkippedPackageFile(const std::string& name);

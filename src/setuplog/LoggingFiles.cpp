#include "setuplog/LoggingFiles.h"

#include "text/Text.h"

bool LoggingFiles::CopyOver(const std::string& source, const std::string& destination, bool failIfExists,
                            CopyReport& report) {
    if (inner_.CopyOver(source, destination, failIfExists, report)) {
        log_.Line("copied " + source + " -> " + destination);
        return true;
    }
    // Read before anything else can replace it.
    const std::uint32_t error = inner_.LastError();
    // The support files are offered for every library year the package might hold; one that it
    // does not hold is said once, not once per host.
    if (inner_.ReadAttributes(source) == kInvalidAttributes) {
        if (absentSources_.insert(source).second) log_.Line("not in the package: " + source);
        return false;
    }
    log_.Line(Format("copy failed (error %u) %s -> %s", static_cast<unsigned>(error),
                     source.c_str(), destination.c_str()));
    return false;
}

// A folder that already exists is the usual case of a failure here, so only what was made is
// worth a line.
int LoggingFiles::MakeDir(const std::string& path) {
    const int made = inner_.MakeDir(path);
    if (made == 0) log_.Line("folder made " + path);
    return made;
}

bool LoggingFiles::CreateFolder(const std::string& path) {
    const bool made = inner_.CreateFolder(path);
    if (made) log_.Line("folder made " + path);
    return made;
}

bool LoggingFiles::CreateLockedFolder(const std::string& path) {
    const bool made = inner_.CreateLockedFolder(path);
    if (made)
        log_.Line("folder made with its own rights (administrators and SYSTEM full, users read) " + path);
    else
        log_.Line(Format("folder not made (error %u) ", static_cast<unsigned>(inner_.LastError())) + path);
    return made;
}

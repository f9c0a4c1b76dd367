#include "setuplog/LoggingFiles.h"

#include "text/Text.h"

bool LoggingFiles::CopyOver(const std::string& source, const std::string& destination, bool failIfExists,
                            CopyReport& report) {
    if (inner_.CopyOver(source, destination, failIfExists, report)) {
        log_.Line(Format(undo_ ? "put back from %s: %s" : "copied %s -> %s", source.c_str(), destination.c_str()));
        return true;
    }
    // Read before anything else can replace it.
    const std::uint32_t error = inner_.LastError();
    // A file the package lacks is said once, not once per host.
    if (inner_.ReadAttributes(source) == kInvalidAttributes) {
        if (absentSources_.insert(source).second) log_.Line("not in the package: " + source);
        return false;
    }
    log_.Line(Format("copy failed (error %u) %s -> %s", static_cast<unsigned>(error),
                     source.c_str(), destination.c_str()));
    return false;
}

void LoggingFiles::NotMade(const std::string& path, std::uint32_t error) {
    const std::uint32_t attributes = inner_.ReadAttributes(path);
    if (attributes != kInvalidAttributes && (attributes & kAttrDirectory)) {
        // (An undo only makes sure of the records' folders.)
        if (!undo_) log_.Line("folder exists " + path);
        return;
    }
    log_.Line(Format("folder not made (error %u) ", static_cast<unsigned>(error)) + path);
}

bool LoggingFiles::Made(bool made, const char* how, const std::string& path) {
    if (made)
        log_.Line(std::string("folder made ") + how + path);
    else
        NotMade(path, inner_.LastError());
    return made;
}

int LoggingFiles::MakeDir(const std::string& path) { return Made(inner_.MakeDir(path) == 0, "", path) ? 0 : -1; }

bool LoggingFiles::CreateFolder(const std::string& path) { return Made(inner_.CreateFolder(path), "", path); }

bool LoggingFiles::CreateLockedFolder(const std::string& path) {
    return Made(inner_.CreateLockedFolder(path), "with its own rights (administrators and SYSTEM full, users read) ",
                path);
}

bool LoggingFiles::CreatePrivateFolder(const std::string& path) {
    return Made(inner_.CreatePrivateFolder(path),
                "with its own rights (administrators and SYSTEM full, users nothing) ", path);
}

// What could not be removed is the caller's to report (the undo names what it left, and why).
bool LoggingFiles::RemoveFile(const std::string& path) {
    const bool removed = inner_.RemoveFile(path);
    if (removed) log_.Line((undo_ ? "removed: file " : "file removed ") + path);
    return removed;
}

bool LoggingFiles::MakeFolderAnew(const std::string& path, const std::string& earlier) {
    const bool made = inner_.MakeFolderAnew(path, earlier);
    if (made) log_.Line("folder made anew " + path + " (with the locked rights), in the place of " + earlier);
    else NotMade(path, inner_.LastError());
    return made;
}

bool LoggingFiles::MoveEntry(const std::string& from, const std::string& to) {
    const bool moved = inner_.MoveEntry(from, to);
    if (moved) log_.Line("moved " + from + " to " + to);
    else log_.Line(Format("not moved (error %u): ", static_cast<unsigned>(inner_.LastError())) + from + " to " + to);
    return moved;
}

bool LoggingFiles::RemoveFolder(const std::string& path) {
    const bool removed = inner_.RemoveFolder(path);
    if (removed) log_.Line((undo_ ? "removed: folder " : "folder removed ") + path);
    return removed;
}

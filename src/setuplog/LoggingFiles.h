#pragma once
// The file seam with every change it makes written to the setup log: each copy (or its failure
// with the Windows error code), each folder made or found there already, each file or folder
// removed, each entry moved. Reads pass through unlogged. For an uninstall (undo) the lines say what was put back
// and what removed.
#include <set>

#include "platform/Forwarding.h"
#include "platform/SetupLog.h"

class LoggingFiles : public ForwardingFiles {
public:
    LoggingFiles(Files& inner, SetupLog& log, bool undo = false) : ForwardingFiles(inner), log_(log), undo_(undo) {}

    using Files::CopyOver;
    bool CopyOver(const std::string& source, const std::string& destination, bool failIfExists,
                  CopyReport& report) override;
    int MakeDir(const std::string& path) override;
    bool CreateFolder(const std::string& path) override;
    bool CreateLockedFolder(const std::string& path) override;
    bool CreatePrivateFolder(const std::string& path) override;
    bool MakeFolderAnew(const std::string& path, const std::string& earlier) override;
    bool MoveEntry(const std::string& from, const std::string& to) override;
    bool RemoveFile(const std::string& path) override;
    bool RemoveFolder(const std::string& path) override;

private:
    // A folder that was not made: there already (said once a folder), or the error.
    void NotMade(const std::string& path, std::uint32_t error);
    // Logs a folder made (how: what rights it was made with, or empty) or not made; returns made.
    bool Made(bool made, const char* how, const std::string& path);

    SetupLog& log_;
    bool undo_;
    std::set<std::string> absentSources_;
};

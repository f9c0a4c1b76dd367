#pragma once
// The file seam with every change it makes written to the setup log: each copy (or its failure
// with the Windows error code) and each folder made. Reads pass through unlogged.
#include <set>

#include "platform/Forwarding.h"
#include "platform/SetupLog.h"

class LoggingFiles : public ForwardingFiles {
public:
    LoggingFiles(Files& inner, SetupLog& log) : ForwardingFiles(inner), log_(log) {}

    using Files::CopyOver;
    bool CopyOver(const std::string& source, const std::string& destination, bool failIfExists,
                  CopyReport& report) override;
    int MakeDir(const std::string& path) override;
    bool CreateFolder(const std::string& path) override;
    bool CreateLockedFolder(const std::string& path) override;

private:
    SetupLog& log_;
    std::set<std::string> absentSources_;
};

#pragma once
// The file seam with every change it makes written to the setup log: each copy (or its failure
// with the Windows error code) and each folder made. Reads pass through unlogged.
#include <set>

#include "platform/Files.h"
#include "platform/SetupLog.h"

class LoggingFiles : public Files {
public:
    LoggingFiles(Files& inner, SetupLog& log) : inner_(inner), log_(log) {}

    PathRead ModulePath(std::string& path, std::uint32_t capacity) override {
        return inner_.ModulePath(path, capacity);
    }
    bool FindFirst(const std::string& pattern, FindHandle& handle, FindEntry& entry) override {
        return inner_.FindFirst(pattern, handle, entry);
    }
    FindStep FindNext(FindHandle handle, FindEntry& entry) override {
        return inner_.FindNext(handle, entry);
    }
    void FindClose(FindHandle handle) override { inner_.FindClose(handle); }
    std::uint32_t ReadAttributes(const std::string& path) override {
        return inner_.ReadAttributes(path);
    }
    bool WriteAttributes(const std::string& path, std::uint32_t attributes) override {
        return inner_.WriteAttributes(path, attributes);
    }
    bool CopyOver(const std::string& source, const std::string& destination,
                  bool failIfExists) override;
    int MakeDir(const std::string& path) override;
    bool CreateFolder(const std::string& path) override;
    bool CreateLockedFolder(const std::string& path) override;
    bool OwnedByAdministrators(const std::string& path) override { return inner_.OwnedByAdministrators(path); }
    bool Exists(const std::string& path) override { return inner_.Exists(path); }
    PathRead CurrentFolder(std::string& path, std::uint32_t capacity) override {
        return inner_.CurrentFolder(path, capacity);
    }
    bool ExpandVariables(const std::string& text, std::string& expanded) override {
        return inner_.ExpandVariables(text, expanded);
    }
    // The install reads and writes no file but by copying, and removes none: not logged.
    bool ReadBytes(const std::string& path, std::string& bytes) override { return inner_.ReadBytes(path, bytes); }
    bool WriteBytes(const std::string& path, const std::string& bytes, bool append) override {
        return inner_.WriteBytes(path, bytes, append);
    }
    bool RemoveFile(const std::string& path) override { return inner_.RemoveFile(path); }
    bool RemoveFolder(const std::string& path) override { return inner_.RemoveFolder(path); }
    std::uint32_t LastError() override { return inner_.LastError(); }

private:
    Files& inner_;
    SetupLog& log_;
    std::set<std::string> absentSources_;
};

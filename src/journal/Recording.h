#pragma once
// The seams as the install run sees them while a record is armed: every write is passed on to
// the real seam and, when it took effect, added to the record with the state it replaced. Reads
// pass straight through, and nothing is recorded before the journal is armed (discovery, the
// dialog), so the subsystems need no change and no write can be missed.
#include <map>
#include <string>

#include "journal/Journal.h"
#include "platform/Files.h"
#include "platform/Registry.h"

class RecordingRegistry : public Registry {
public:
    RecordingRegistry(Registry& inner, Journal& journal) : inner_(inner), journal_(journal) {}

    long OpenKey(RegKey parent, const char* subKey, RegKey& out) override;
    long OpenKeyRead(RegKey parent, const char* subKey, RegKey& out) override;
    long QuerySubKeyCount(RegKey key, std::uint32_t& count) override {
        return inner_.QuerySubKeyCount(key, count);
    }
    long EnumKey(RegKey key, std::uint32_t index, char* name, std::uint32_t& length) override {
        return inner_.EnumKey(key, index, name, length);
    }
    long QueryValue(RegKey key, const char* valueName, std::uint32_t* type, std::uint8_t* data,
                    std::uint32_t& size) override {
        return inner_.QueryValue(key, valueName, type, data, size);
    }
    long EnumValue(RegKey key, std::uint32_t index, std::string& name, std::uint32_t& type,
                   std::string& data) override {
        return inner_.EnumValue(key, index, name, type, data);
    }
    long CreateKey(RegKey parent, const char* path, RegKey& out) override;
    long SetDword(RegKey key, const char* valueName, std::uint32_t value) override;
    long SetString(RegKey key, const char* valueName, const char* text,
                   std::uint32_t byteCount) override;
    long SetValue(RegKey key, const char* valueName, std::uint32_t type,
                  const std::string& bytes) override;
    // The install deletes no value: not recorded.
    long DeleteValue(RegKey key, const char* valueName) override { return inner_.DeleteValue(key, valueName); }
    long DeleteKey(RegKey parent, const char* subKey) override;
    long CloseKey(RegKey key) override { return inner_.CloseKey(key); }

private:
    struct Where {
        RegKey root = 0;
        std::string path;  // below root; empty for the root itself
    };
    // Where a handle points, and where a sub-key of it is. False for a handle not seen opened.
    bool Locate(RegKey key, Where& where) const;
    bool Locate(RegKey parent, const char* subKey, Where& where) const;
    void Remember(RegKey key, const Where& where) { places_[key] = where; }
    // Reads a value as it is now: kErrorSuccess, kErrorFileNotFound, or the failure.
    long ReadNow(RegKey key, const char* valueName, RecordedValue& value);
    long Write(RegKey key, const char* valueName, std::uint32_t type, const std::string& bytes);

    Registry& inner_;
    Journal& journal_;
    std::map<RegKey, Where> places_;
};

class RecordingFiles : public Files {
public:
    RecordingFiles(Files& inner, Journal& journal) : inner_(inner), journal_(journal) {}

    PathRead ModulePath(std::string& path, std::uint32_t capacity) override {
        return inner_.ModulePath(path, capacity);
    }
    bool FindFirst(const std::string& pattern, FindHandle& handle, FindEntry& entry) override {
        return inner_.FindFirst(pattern, handle, entry);
    }
    FindStep FindNext(FindHandle handle, FindEntry& entry) override { return inner_.FindNext(handle, entry); }
    void FindClose(FindHandle handle) override { inner_.FindClose(handle); }
    std::uint32_t ReadAttributes(const std::string& path) override { return inner_.ReadAttributes(path); }
    bool WriteAttributes(const std::string& path, std::uint32_t attributes) override {
        return inner_.WriteAttributes(path, attributes);
    }
    // An existing destination is first copied aside (and the copy refused when that fails);
    // what was written is recorded with its size and hash.
    bool CopyOver(const std::string& source, const std::string& destination, bool failIfExists) override;
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
    bool ReadBytes(const std::string& path, std::string& bytes) override { return inner_.ReadBytes(path, bytes); }
    // The install writes no file but by copying, and removes none: these are not recorded.
    bool WriteBytes(const std::string& path, const std::string& bytes, bool append) override {
        return inner_.WriteBytes(path, bytes, append);
    }
    bool RemoveFile(const std::string& path) override { return inner_.RemoveFile(path); }
    bool RemoveFolder(const std::string& path) override { return inner_.RemoveFolder(path); }
    // The error of the copy that failed, not of the clean-up after it.
    std::uint32_t LastError() override { return copyError_ != 0 ? copyError_ : inner_.LastError(); }

private:
    Files& inner_;
    Journal& journal_;
    std::uint32_t copyError_ = 0;
};

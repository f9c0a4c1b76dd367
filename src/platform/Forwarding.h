#pragma once
// Seams that pass every call on to another of their kind: the base of the wrappers that add
// something to some calls (the setup log, the undo record) and leave the rest as they are. A new
// call of a seam is forwarded here once, for every wrapper.
#include "platform/Files.h"
#include "platform/Registry.h"

class ForwardingRegistry : public Registry {
public:
    explicit ForwardingRegistry(Registry& inner) : inner_(inner) {}

    long OpenKey(RegKey parent, const char* subKey, RegKey& out) override { return inner_.OpenKey(parent, subKey, out); }
    long OpenKeyRead(RegKey parent, const char* subKey, RegKey& out) override {
        return inner_.OpenKeyRead(parent, subKey, out);
    }
    long QuerySubKeyCount(RegKey key, std::uint32_t& count) override { return inner_.QuerySubKeyCount(key, count); }
    long EnumKey(RegKey key, std::uint32_t index, char* name, std::uint32_t& length) override {
        return inner_.EnumKey(key, index, name, length);
    }
    long QueryValue(RegKey key, const char* valueName, std::uint32_t* type, std::uint8_t* data,
                    std::uint32_t& size) override {
        return inner_.QueryValue(key, valueName, type, data, size);
    }
    long CreateKey(RegKey parent, const char* path, RegKey& out) override { return inner_.CreateKey(parent, path, out); }
    long SetDword(RegKey key, const char* valueName, std::uint32_t value) override {
        return inner_.SetDword(key, valueName, value);
    }
    long SetString(RegKey key, const char* valueName, const char* text, std::uint32_t byteCount) override {
        return inner_.SetString(key, valueName, text, byteCount);
    }
    long SetValue(RegKey key, const char* valueName, std::uint32_t type, const std::string& bytes) override {
        return inner_.SetValue(key, valueName, type, bytes);
    }
    long EnumValue(RegKey key, std::uint32_t index, std::string& name, std::uint32_t& type,
                   std::string& data) override {
        return inner_.EnumValue(key, index, name, type, data);
    }
    long DeleteValue(RegKey key, const char* valueName) override { return inner_.DeleteValue(key, valueName); }
    long DeleteKey(RegKey parent, const char* subKey) override { return inner_.DeleteKey(parent, subKey); }
    long CloseKey(RegKey key) override { return inner_.CloseKey(key); }
    long LoadHive(const char* name, const char* file) override { return inner_.LoadHive(name, file); }
    long UnloadHive(const char* name) override { return inner_.UnloadHive(name); }

protected:
    Registry& inner_;
};

class ForwardingFiles : public Files {
public:
    explicit ForwardingFiles(Files& inner) : inner_(inner) {}

    PathRead ModulePath(std::string& path, std::uint32_t capacity) override { return inner_.ModulePath(path, capacity); }
    bool FindFirst(const std::string& pattern, FindHandle& handle, FindEntry& entry) override {
        return inner_.FindFirst(pattern, handle, entry);
    }
    FindStep FindNext(FindHandle handle, FindEntry& entry) override { return inner_.FindNext(handle, entry); }
    void FindClose(FindHandle handle) override { inner_.FindClose(handle); }
    std::uint32_t ReadAttributes(const std::string& path) override { return inner_.ReadAttributes(path); }
    bool WriteAttributes(const std::string& path, std::uint32_t attributes) override {
        return inner_.WriteAttributes(path, attributes);
    }
    void WillCopy(const std::vector<std::string>& destinations) override { inner_.WillCopy(destinations); }
    void WillHash(const std::vector<std::pair<std::string, std::uint64_t>>& files) override { inner_.WillHash(files); }
    using Files::CopyOver;
    bool CopyOver(const std::string& source, const std::string& destination, bool failIfExists,
                  CopyReport& report) override {
        return inner_.CopyOver(source, destination, failIfExists, report);
    }
    int MakeDir(const std::string& path) override { return inner_.MakeDir(path); }
    bool CreateFolder(const std::string& path) override { return inner_.CreateFolder(path); }
    bool CreateLockedFolder(const std::string& path) override { return inner_.CreateLockedFolder(path); }
    bool MakeFolderAnew(const std::string& path, const std::string& earlier) override {
        return inner_.MakeFolderAnew(path, earlier);
    }
    bool OwnedByAdministrators(const std::string& path) override { return inner_.OwnedByAdministrators(path); }
    bool ReadProtection(const std::string& path, Protection& protection) override {
        return inner_.ReadProtection(path, protection);
    }
    bool Relock(const std::string& path) override { return inner_.Relock(path); }
    bool CreatePrivateFolder(const std::string& path) override { return inner_.CreatePrivateFolder(path); }
    bool MakePrivate(const std::string& path) override { return inner_.MakePrivate(path); }
    std::uint32_t DriveType(const std::string& path) override { return inner_.DriveType(path); }
    bool Exists(const std::string& path) override { return inner_.Exists(path); }
    PathRead CurrentFolder(std::string& path, std::uint32_t capacity) override {
        return inner_.CurrentFolder(path, capacity);
    }
    bool ExpandVariables(const std::string& text, std::string& expanded) override {
        return inner_.ExpandVariables(text, expanded);
    }
    bool FileSize(const std::string& path, std::uint64_t& size) override { return inner_.FileSize(path, size); }
    bool HashFile(const std::string& path, std::string& sha256) override { return inner_.HashFile(path, sha256); }
    bool ReadBytes(const std::string& path, std::string& bytes) override { return inner_.ReadBytes(path, bytes); }
    CheckedRead ReadCheckedBytes(const std::string& path, const FileCheck& check, std::string& bytes) override {
        return inner_.ReadCheckedBytes(path, check, bytes);
    }
    bool WriteBytes(const std::string& path, const std::string& bytes, bool append) override {
        return inner_.WriteBytes(path, bytes, append);
    }
    bool MoveEntry(const std::string& from, const std::string& to) override { return inner_.MoveEntry(from, to); }
    bool RemoveFile(const std::string& path) override { return inner_.RemoveFile(path); }
    bool RemoveFolder(const std::string& path) override { return inner_.RemoveFolder(path); }
    std::uint32_t LastError() override { return inner_.LastError(); }

protected:
    Files& inner_;
};

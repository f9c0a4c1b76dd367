#pragma once
// The file seam over the wide Win32 functions; paths are converted from and to CP936 with code
// page 936, and the narrow functions' buffer limits are counted in CP936 bytes. A path that is not
// CP936 throughout is refused before any call: it would name another file, or none.
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/Files.h"
#include "platform/TextCodec.h"

class Win32Files : public Files {
public:
    PathRead ModulePath(std::string& path, std::uint32_t capacity) override;
    bool FindFirst(const std::string& pattern, FindHandle& handle, FindEntry& entry) override;
    FindStep FindNext(FindHandle handle, FindEntry& entry) override;
    void FindClose(FindHandle handle) override;
    std::uint32_t ReadAttributes(const std::string& path) override;
    bool WriteAttributes(const std::string& path, std::uint32_t attributes) override;
    using Files::CopyOver;
    // Reads the source once in blocks of kBlockSize (sequential-scan hint) and writes (and, when
    // asked, reports) each block before reading the next, while a thread of its own hashes that
    // block when a hash is wanted; a partial destination is removed, as CopyFileW removes it.
    bool CopyOver(const std::string& source, const std::string& destination, bool failIfExists,
                  CopyReport& report) override;
    int MakeDir(const std::string& path) override;
    bool CreateFolder(const std::string& path) override;
    bool CreateLockedFolder(const std::string& path) override;
    bool CreatePrivateFolder(const std::string& path) override;
    bool MakePrivate(const std::string& path) override;
    bool OwnedByAdministrators(const std::string& path) override;
    bool ReadProtection(const std::string& path, Protection& protection) override;
    bool Relock(const std::string& path) override;
    std::uint32_t DriveType(const std::string& path) override;
    bool Exists(const std::string& path) override;
    PathRead CurrentFolder(std::string& path, std::uint32_t capacity) override;
    bool ExpandVariables(const std::string& text, std::string& expanded) override;
    bool FileSize(const std::string& path, std::uint64_t& size) override;
    // Told of the files to come, hashes them ahead on a thread of its own (those of the size
    // told): HashFile takes such a hash when the file's size and times are still those it had
    // while it was read, and otherwise hashes it itself, as it does a file the thread has not
    // come to yet (the two then hash side by side).
    void WillHash(const std::vector<std::pair<std::string, std::uint64_t>>& files) override;
    bool HashFile(const std::string& path, std::string& sha256) override;
    bool ReadBytes(const std::string& path, std::string& bytes) override;
    CheckedRead ReadCheckedBytes(const std::string& path, const FileCheck& check, std::string& bytes) override;
    bool WriteBytes(const std::string& path, const std::string& bytes, bool append) override;
    bool MoveEntry(const std::string& from, const std::string& to) override;
    bool RemoveFile(const std::string& path) override;
    bool RemoveFolder(const std::string& path) override;
    std::uint32_t LastError() override;

    static constexpr std::size_t kBlockSize = 1u << 20;

    Win32Files();
    ~Win32Files() override;
    Win32Files(const Win32Files&) = delete;
    Win32Files& operator=(const Win32Files&) = delete;

private:
    // Two blocks for every copy and hash (one is read while the other is hashed): memory stays
    // flat whatever the size of a file.
    char* Block();
    std::unique_ptr<char[]> block_;
    class HashAhead;
    std::unique_ptr<HashAhead> ahead_;
    // Before a file is written, replaced or removed: its reading ahead has let go of it.
    void Settle(const std::wstring& path);
    bool RelockWith(const std::string& path, bool usersRead);
    class BlockHasher;
    std::unique_ptr<BlockHasher> hasher_;  // started with the first copy of more than one block
};

// CP936 <-> UTF-8 through UTF-16, with the exact conversions.
class Win32TextCodec : public TextCodec {
public:
    bool Cp936ToUtf8(const std::string& cp936, std::string& utf8) override;
    bool Utf8ToCp936(const std::string& utf8, std::string& cp936) override;
};

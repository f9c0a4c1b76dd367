#pragma once
// The file system as the setup program needs it. Paths are CP936 bytes; attribute words keep
// the Win32 bits (0x1 read-only, 0x2 hidden, 0x10 folder).
#include <cstdint>
#include <string>

constexpr std::uint32_t kAttrReadOnly = 0x1;
constexpr std::uint32_t kAttrHidden = 0x2;
constexpr std::uint32_t kAttrSystem = 0x4;
constexpr std::uint32_t kAttrDirectory = 0x10;
constexpr std::uint32_t kAttrArchive = 0x20;
constexpr std::uint32_t kAttrNormal = 0x80;
constexpr std::uint32_t kInvalidAttributes = 0xFFFFFFFFu;

using FindHandle = std::uintptr_t;  // 0 = none

struct FindEntry {
    std::string name;          // the entry's name, without its folder
    std::uint32_t attributes;  // its attribute word
};

class Files {
public:
    virtual ~Files() = default;

    // GetModuleFileNameA(NULL, buffer, capacity): the running program's full path. False when it
    // cannot be read or does not fit capacity characters with its terminator.
    virtual bool ModulePath(std::string& path, std::uint32_t capacity) = 0;
    // FindFirstFileA / FindNextFileA / FindClose. A pattern names one path, or "folder\*.*".
    virtual bool FindFirst(const std::string& pattern, FindHandle& handle, FindEntry& entry) = 0;
    virtual bool FindNext(FindHandle handle, FindEntry& entry) = 0;
    virtual void FindClose(FindHandle handle) = 0;
    // GetFileAttributesA: kInvalidAttributes when the path names nothing.
    virtual std::uint32_t ReadAttributes(const std::string& path) = 0;
    // SetFileAttributesA: true on success.
    virtual bool WriteAttributes(const std::string& path, std::uint32_t attributes) = 0;
    // CopyFileA(source, destination, failIfExists): true on success.
    virtual bool CopyOver(const std::string& source, const std::string& destination,
                          bool failIfExists) = 0;
    // _mkdir: one level; 0 when made, -1 otherwise.
    virtual int MakeDir(const std::string& path) = 0;
    // CreateDirectoryA with default security: true when made.
    virtual bool CreateFolder(const std::string& path) = 0;
    // _access(path, 0) == 0.
    virtual bool Exists(const std::string& path) = 0;
    // GetCurrentDirectoryA into a buffer of capacity bytes; false when it fails or does not fit.
    virtual bool CurrentFolder(std::string& path, std::uint32_t capacity) = 0;
};

// Owns one open listing and closes it once.
class FindScope {
public:
    explicit FindScope(Files& files) : files_(files) {}
    FindScope(const FindScope&) = delete;
    FindScope& operator=(const FindScope&) = delete;
    ~FindScope() { Close(); }
    bool First(const std::string& pattern, FindEntry& entry) {
        Close();
        return files_.FindFirst(pattern, handle_, entry);
    }
    bool Next(FindEntry& entry) { return handle_ != 0 && files_.FindNext(handle_, entry); }
    void Close() {
        if (handle_ != 0) files_.FindClose(handle_);
        handle_ = 0;
    }

private:
    Files& files_;
    FindHandle handle_ = 0;
};

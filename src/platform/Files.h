#pragma once
// The file system as the setup program needs it. Paths are CP936 bytes; attribute words keep
// the Win32 bits (0x1 read-only, 0x2 hidden, 0x10 folder).
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

constexpr std::uint32_t kAttrReadOnly = 0x1;
constexpr std::uint32_t kAttrHidden = 0x2;
constexpr std::uint32_t kAttrSystem = 0x4;
constexpr std::uint32_t kAttrDirectory = 0x10;
constexpr std::uint32_t kAttrArchive = 0x20;
constexpr std::uint32_t kAttrNormal = 0x80;
constexpr std::uint32_t kAttrReparsePoint = 0x400;  // a junction or a symbolic link
constexpr std::uint32_t kInvalidAttributes = 0xFFFFFFFFu;

using FindHandle = std::uintptr_t;  // 0 = none

// Access rights as Windows' access masks hold them, for what other accounts may do to a file or
// folder. "Others" are every account but Administrators, SYSTEM, TrustedInstaller and the one
// this program runs as.
constexpr std::uint32_t kRightWriteData = 0x2;     // a folder: add a file
constexpr std::uint32_t kRightAppendData = 0x4;    // a folder: add a sub-folder
constexpr std::uint32_t kRightDeleteChild = 0x40;
constexpr std::uint32_t kRightDelete = 0x10000;
constexpr std::uint32_t kRightWriteDac = 0x40000;
constexpr std::uint32_t kRightWriteOwner = 0x80000;
constexpr std::uint32_t kRightsAll = 0x1F01FF;     // FILE_ALL_ACCESS

struct Protection {
    bool administrativeOwner = false;  // owned by an account no standard user can be
    std::uint32_t othersRights = 0;    // the rights any other account is granted on the entry itself
    std::uint32_t links = 1;           // a file's names (hard links); a folder has one
    std::string owner;                 // the owner's account name ("DOMAIN\user"), for messages
};

// Drive types, as GetDriveType gives them.
constexpr std::uint32_t kDriveUnknown = 0;
constexpr std::uint32_t kDriveNoRoot = 1;
constexpr std::uint32_t kDriveRemovable = 2;
constexpr std::uint32_t kDriveFixed = 3;
constexpr std::uint32_t kDriveRemote = 4;
constexpr std::uint32_t kDriveCdRom = 5;
constexpr std::uint32_t kDriveRamDisk = 6;

// A path the system hands out: read, not read (it failed, or does not fit the capacity), or
// read but naming a character that code page 936 cannot hold, so no CP936 text can name it.
enum class PathRead { Read, Failed, Unrepresentable };

// What a read through one checked handle found: the bytes, nothing at the path, a file its check
// refused, or a failure (it could not be opened, checked or read).
enum class CheckedRead { Read, Missing, Refused, Failed };
// Given a file's attribute word and protection as read from the handle it is open by: whether its
// bytes may be read.
using FileCheck = std::function<bool(std::uint32_t attributes, const Protection& protection)>;

// One step of a listing: the next entry, the end of the listing, or a failure before its end.
enum class FindStep { Entry, End, Failed };

struct FindEntry {
    std::string name;          // the entry's name, without its folder
    std::uint32_t attributes;  // its attribute word
    std::uint64_t size = 0;    // a file's size in bytes when listed
};

// Told after each block a copy has written, with that block's size: the bar follows the bytes,
// and the window answers its messages while a large file is copied.
class CopyWatcher {
public:
    virtual void Copied(std::uint64_t bytes) = 0;

protected:
    ~CopyWatcher() = default;
};

// What a copy is asked for and what it tells back.
struct CopyReport {
    bool hash = false;                // wanted: the SHA-256 of the bytes written
    CopyWatcher* watcher = nullptr;  // told after each block, if any
    std::uint64_t size = 0;           // after a copy that succeeded: the bytes written
    std::string sha256;               // and, when asked for, their hash (64 lower-case hex digits)
};

class Files {
public:
    virtual ~Files() = default;

    // GetModuleFileNameA(NULL, buffer, capacity): the running program's full path. Failed when
    // it cannot be read or does not fit capacity characters with its terminator.
    virtual PathRead ModulePath(std::string& path, std::uint32_t capacity) = 0;
    // FindFirstFileA / FindNextFileA / FindClose. A pattern names one path, or "folder\*.*".
    // FindNext tells the end of the listing (ERROR_NO_MORE_FILES) from a failure.
    virtual bool FindFirst(const std::string& pattern, FindHandle& handle, FindEntry& entry) = 0;
    virtual FindStep FindNext(FindHandle handle, FindEntry& entry) = 0;
    virtual void FindClose(FindHandle handle) = 0;
    // GetFileAttributesA: kInvalidAttributes when the path names nothing.
    virtual std::uint32_t ReadAttributes(const std::string& path) = 0;
    // SetFileAttributesA: true on success.
    virtual bool WriteAttributes(const std::string& path, std::uint32_t attributes) = 0;
    // CopyFileA(source, destination, failIfExists): true on success; the destination ends with
    // the source's content, attribute word and time of last change, as CopyFileA leaves it. An
    // existing destination is never written through: the copy is made as a new file beside it and
    // then takes its name, so that what held the earlier file (a handle opened to it, a second
    // name) keeps that file, never the copy; a copy that fails leaves it as it was.
    // A report with a hash or a watcher wanted is served in the same single pass over the
    // source: large blocks read once, each written, hashed and reported before the next.
    virtual bool CopyOver(const std::string& source, const std::string& destination,
                          bool failIfExists, CopyReport& report) = 0;
    bool CopyOver(const std::string& source, const std::string& destination, bool failIfExists) {
        CopyReport plain;
        return CopyOver(source, destination, failIfExists, plain);
    }
    // Told before a run of copies, with their destinations in order: a layer that records the
    // copies can write what it must hold before them once, rather than once for every file.
    virtual void WillCopy(const std::vector<std::string>& destinations) { (void)destinations; }
    // Told before a run of hashes, with the files in the order they will be asked for and the size
    // each should have: a seam may hash ahead, on another processor, those that have that size.
    // HashFile gives the same answers either way.
    virtual void WillHash(const std::vector<std::pair<std::string, std::uint64_t>>& files) { (void)files; }
    // _mkdir: one level; 0 when made, -1 otherwise.
    virtual int MakeDir(const std::string& path) = 0;
    // CreateDirectoryA with default security: true when made.
    virtual bool CreateFolder(const std::string& path) = 0;
    // CreateDirectoryA with a protected DACL of its own: Administrators and SYSTEM full control,
    // Users read and execute, nothing inherited from the parent. True when made.
    virtual bool CreateLockedFolder(const std::string& path) = 0;
    // As CreateLockedFolder, but Users get nothing either: what is made in it no other user can
    // open at all (to read it, or to hold it open against the administrators' runs).
    virtual bool CreatePrivateFolder(const std::string& path) { return CreateLockedFolder(path); }
    // Whether the owner of path is Administrators, SYSTEM, TrustedInstaller or the account this
    // program runs as, so that no other user can have changed its rights. False when the owner
    // cannot be read.
    virtual bool OwnedByAdministrators(const std::string& path) = 0;
    // The owner of path, what others may do to it and its number of names (a link is read, not
    // followed). False when it cannot be read, which the callers treat as unsafe.
    virtual bool ReadProtection(const std::string& path, Protection& protection) {
        (void)path;
        (void)protection;
        return false;
    }
    // Gives an existing file or folder the owner Administrators and the rights CreateLockedFolder
    // gives, replacing whatever it had; never through a link, and never to a file with a second
    // name (a hard link: its other name may lie where its new owner was not meant to reach). True
    // when done.
    virtual bool Relock(const std::string& path) {
        (void)path;
        return false;
    }
    // As Relock, with the rights CreatePrivateFolder gives (Users nothing): for what an earlier
    // version made with Users' read.
    virtual bool MakePrivate(const std::string& path) {
        (void)path;
        return false;
    }
    // GetDriveTypeA of the root of path ("X:\"): one of the kDrive values.
    virtual std::uint32_t DriveType(const std::string& path) {
        (void)path;
        return kDriveFixed;
    }
    // _access(path, 0) == 0.
    virtual bool Exists(const std::string& path) = 0;
    // GetCurrentDirectoryA into a buffer of capacity bytes; Failed when it fails or does not fit.
    virtual PathRead CurrentFolder(std::string& path, std::uint32_t capacity) = 0;
    // ExpandEnvironmentStringsA: %NAME% replaced by the variable's value. False when it fails or
    // the result holds a character that code page 936 cannot hold.
    virtual bool ExpandVariables(const std::string& text, std::string& expanded) = 0;
    // A file's size in bytes; false when it is missing, a folder or cannot be read.
    virtual bool FileSize(const std::string& path, std::uint64_t& size) = 0;
    // The SHA-256 of a file's bytes (64 lower-case hex digits), read once in large blocks;
    // false when it cannot be read to its end.
    virtual bool HashFile(const std::string& path, std::string& sha256) = 0;
    // A whole file's bytes; false when it cannot be read.
    virtual bool ReadBytes(const std::string& path, std::string& bytes) = 0;
    // Opens path once, itself and never what a link names, reads its attribute word and
    // protection from that handle, and reads its bytes through the same handle only once check
    // has accepted them: nothing can be put in its place between the check and the read. The
    // file cannot be deleted or renamed while it is held, so check may look at the folders above
    // it by path. Failed where it cannot be done.
    virtual CheckedRead ReadCheckedBytes(const std::string& path, const FileCheck& check, std::string& bytes) {
        (void)path;
        (void)check;
        (void)bytes;
        return CheckedRead::Failed;
    }
    // Writes bytes to a new or emptied file, or appends them; true when all were written.
    virtual bool WriteBytes(const std::string& path, const std::string& bytes, bool append) = 0;
    // CreateLockedFolder(path), made to take the place of the folder earlier, which has been
    // moved aside and holds what this one is to hold: a layer that records the folders a run
    // makes records nothing, as the folder was there before the run.
    virtual bool MakeFolderAnew(const std::string& path, const std::string& earlier) {
        (void)earlier;
        return CreateLockedFolder(path);
    }
    // MoveFileExA(from, to, 0): the entry at from, a file or a folder with all it holds, takes the
    // name to on the same drive; what is at to is never replaced, and a link is moved, not
    // followed. The entry keeps its object: a handle opened to it goes with it. Windows refuses a
    // folder with anything in it held open. True when moved.
    virtual bool MoveEntry(const std::string& from, const std::string& to) {
        (void)from;
        (void)to;
        return false;
    }
    // DeleteFileA / RemoveDirectoryA (an empty folder only): true when removed.
    virtual bool RemoveFile(const std::string& path) = 0;
    virtual bool RemoveFolder(const std::string& path) = 0;
    // GetLastError() right after a call that failed: the Windows error code, for the log.
    virtual std::uint32_t LastError() { return 0; }
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
    bool Next(FindEntry& entry) { return Step(entry) == FindStep::Entry; }
    FindStep Step(FindEntry& entry) {
        return handle_ != 0 ? files_.FindNext(handle_, entry) : FindStep::Failed;
    }
    void Close() {
        if (handle_ != 0) files_.FindClose(handle_);
        handle_ = 0;
    }

private:
    Files& files_;
    FindHandle handle_ = 0;
};

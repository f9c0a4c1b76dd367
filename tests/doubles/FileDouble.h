#pragma once
// An in-memory file system that behaves like Windows where the setup program can tell:
// - names compared without regard to case (ASCII letters; both bytes of a CP936 double-byte
//   character stay as they are, and a trail byte 0x5C is not a separator);
// - attribute words with the Win32 bits; a new file is 0x20 (archive), a folder 0x10; writing a
//   word keeps the folder bit as the entry is, and a file left with no bit reads 0x80 (normal);
// - CopyOver copies content and attribute word into a new file, which takes the destination's
//   place (keeping an existing destination's spelling, as Wine does) only once written whole, so
//   that the earlier file is never written through and a copy that fails leaves it; asked
//   for it, it reports the bytes written and their SHA-256, and tells a watcher of each block of
//   kBlockSize (the last one shorter) as Windows does, before the copy succeeds; it is
//   refused when the source is missing, a folder or locked, when the destination's folder is
//   missing, when the destination is a folder, read-only, locked, or hidden or system while the
//   source is not, when failIfExists finds a destination, and when source and destination are
//   the same file;
// - listings give "." and ".." first (not at a drive's root), then the names ordered by their
//   upper-case form (as NTFS and Wine order them: "ZA" before "Z_"; CP936 names by their bytes),
//   each listing a snapshot taken by FindFirst;
// - a folder made by CreateLockedFolder is owned by Administrators and marked locked; any other
//   entry is owned by Administrators unless SetOwnedByOthers says otherwise; a reparse point is
//   an entry whose attribute word holds 0x400;
// - rights as Windows gives them by default: a drive's root lets other users add folders, and
//   what is made in it with default security inherits Modify for them; whatever is made with
//   default security (AddFolder, AddFile, MakeDir, CreateFolder, a new copy) takes its folder's
//   inheritable rights, a locked folder and what is made in it none; Relock takes them away;
// - a file may have more than one name (SetLinks, a hard link): Relock refuses it; each file made
//   has an object of its own (ObjectOf), which a copy over it replaces;
// - drives are fixed unless SetDriveType says otherwise;
// - a path is cut at its first NUL byte, as the system's calls read it;
// - FindFirst on a path that ends with a backslash finds nothing (as on Windows);
// - faults can be injected, and every call is recorded.
#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/Files.h"

class FileDouble : public Files {
public:
    // --- Building and inspecting the tree (parents are made as needed) ---
    void AddFolder(const std::string& path, std::uint32_t attributes = kAttrDirectory);
    void AddFile(const std::string& path, const std::string& content = std::string(),
                 std::uint32_t attributes = kAttrArchive);
    void Remove(const std::string& path);  // a file, or a folder with all it holds
    // Gives the entry at path the short (8.3) name alias in its folder, by which every call finds
    // it too (FindFirst hands back its own name).
    void AddShortName(const std::string& path, const std::string& alias);
    bool IsFile(const std::string& path) const;
    bool IsFolder(const std::string& path) const;
    std::string Content(const std::string& path) const;        // empty when not a file
    std::uint32_t Attributes(const std::string& path) const;   // kInvalidAttributes when absent
    std::string NameOf(const std::string& path) const;         // the stored spelling of the name
    // Which file object the path names now (0: none): what a handle opened to it reaches.
    std::uint64_t ObjectOf(const std::string& path) const;
    std::vector<std::string> Children(const std::string& folder) const;  // listing order
    // Every entry, in no listing's order: its path in lower case, its attribute word and content.
    void ForEach(const std::function<void(const std::string& path, std::uint32_t attributes,
                                          const std::string& content)>& visit) const;
    void SetLocked(const std::string& path, bool locked = true);  // in use by another program
    // Open in another program that shares reading only (as a reader holds a file): it reads, but
    // is not replaced, removed or renamed.
    void SetHeld(const std::string& path, bool held = true);
    // Owned by a user, not by Administrators.
    void SetOwnedByOthers(const std::string& path, const std::string& owner = "PC\\user");
    // A file with that many names (hard links): never relocked.
    void SetLinks(const std::string& path, std::uint32_t links);
    // The type GetDriveType gives for a drive ("D:"); kDriveFixed unless set.
    void SetDriveType(const std::string& drive, std::uint32_t type);
    bool HasLockedRights(const std::string& path) const;  // made by CreateLockedFolder
    bool HasPrivateRights(const std::string& path) const;  // made by CreatePrivateFolder
    // What other users may do to the entry itself, and what entries made in it inherit.
    void SetOthersRights(const std::string& path, std::uint32_t rights, std::uint32_t inheritable = 0);

    // --- Injected faults ---
    // The next `times` copies onto this destination fail (-1: every one).
    void FailCopiesTo(const std::string& destination, int times = -1);
    // The next copy onto this destination fails part-way (disk full, 112): the new file is
    // removed, and a destination that was there is left as it was.
    void BreakCopyTo(const std::string& destination);
    void FailListing(const std::string& folder);  // FindFirst of any pattern in it fails
    void FailWriteAttributes(const std::string& path);
    void FailReads(const std::string& path);   // ReadBytes, FileSize, HashFile of this file fail
    void FailWrites(const std::string& path);  // WriteBytes, RemoveFile, RemoveFolder fail here
    // The FindNext that would hand out the entry at index (0 = the one FindFirst gives) fails.
    void FailListingAt(const std::string& folder, std::size_t index);
    void ClearListingFaults();
    bool failModulePath = false;
    bool modulePathUnrepresentable = false;  // a folder name beyond code page 936
    bool failCurrentFolder = false;
    bool failExpand = false;
    // Told of every copy that succeeded, with its destination, once it is in place: another
    // program's moment to act on the new file (a user who links it as soon as it is there).
    std::function<void(const std::string& destination)> copied;
    // Every seam call from the failFromCall-th (1 = the first recorded in `calls`) for
    // failCallCount calls fails as the platform call would: nothing done, the failure value.
    // FindClose cannot fail. 0 = no such fault.
    std::size_t failFromCall = 0;
    std::size_t failCallCount = 1;
    int failedCalls = 0;  // how many calls the fault above failed

    // Environment variables for ExpandVariables (names without regard to case).
    std::map<std::string, std::string> environment;

    // --- What the program sees of its surroundings ---
    std::string modulePath = "C:\\Package\\SetUp.exe";
    std::string currentFolder = "C:\\";

    // --- Records ---
    struct CopyRecord {
        std::string source;
        std::string destination;
        bool succeeded;
    };
    std::vector<CopyRecord> copies;   // every CopyOver, in order
    std::vector<std::string> calls;   // every seam call: "Op(argument)", while keepCalls
    bool keepCalls = true;            // long runs that never look at them go faster without
    std::size_t callCount = 0;        // every seam call, kept or not
    int OpenListings() const { return static_cast<int>(listings_.size()); }

    // --- Files ---
    PathRead ModulePath(std::string& path, std::uint32_t capacity) override;
    bool FindFirst(const std::string& pattern, FindHandle& handle, FindEntry& entry) override;
    FindStep FindNext(FindHandle handle, FindEntry& entry) override;
    void FindClose(FindHandle handle) override;
    std::uint32_t ReadAttributes(const std::string& path) override;
    bool WriteAttributes(const std::string& path, std::uint32_t attributes) override;
    using Files::CopyOver;
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
    // The error of the last failed copy, as Windows gives it: 2 no source, 3 no destination
    // folder, 5 refused, 32 locked.
    std::uint32_t LastError() override { return lastError_; }
    bool Exists(const std::string& path) override;
    PathRead CurrentFolder(std::string& path, std::uint32_t capacity) override;
    bool ExpandVariables(const std::string& text, std::string& expanded) override;
    // Both fail where ReadBytes fails.
    bool FileSize(const std::string& path, std::uint64_t& size) override;
    bool HashFile(const std::string& path, std::string& sha256) override;
    bool ReadBytes(const std::string& path, std::string& bytes) override;
    // One open: the check sees the entry as ReadAttributes and ReadProtection would, and the bytes
    // are read only when it accepts (failing where ReadBytes fails).
    CheckedRead ReadCheckedBytes(const std::string& path, const FileCheck& check, std::string& bytes) override;

    static constexpr std::size_t kBlockSize = 1u << 20;
    bool WriteBytes(const std::string& path, const std::string& bytes, bool append) override;
    // As MoveFileEx without flags: refused when to exists, lies on another drive or below from,
    // and when the entry, or anything in a folder moved, is locked or held.
    bool MoveEntry(const std::string& from, const std::string& to) override;
    bool RemoveFile(const std::string& path) override;
    bool RemoveFolder(const std::string& path) override;

private:
    std::uint32_t lastError_ = 0;
    struct Node {
        std::string name;  // as first spelt
        bool folder = false;
        std::uint32_t attributes = 0;
        std::string content;
        bool locked = false;
        bool held = false;
        bool ownedByOthers = false;
        std::string owner;  // the user who owns it, when others do
        std::uint32_t links = 1;
        bool lockedRights = false;
        bool privateRights = false;  // Users get nothing either
        std::uint32_t othersRights = 0;
        std::uint32_t inheritable = 0;
        std::uint64_t object = ++objects_;
    };
    static inline std::uint64_t objects_ = 0;
    static Protection ProtectionOf(const Node& node);
    // A new entry in parentKey's folder, made with default security.
    void Inherit(Node& node, const std::string& parentKey);
    struct Listing {
        std::vector<FindEntry> entries;
        std::size_t next = 0;
        std::size_t failAt = static_cast<std::size_t>(-1);
    };

    // Records a call ("Op(argument)" or "Op(argument,second)"); Record: true when it is to fail.
    void Note(const char* op, const std::string* argument = nullptr, const std::string* second = nullptr);
    bool Record(const char* op, const std::string* argument = nullptr, const std::string* second = nullptr);
    std::vector<std::string> Split(const std::string& path) const;  // resolved components
    std::string KeyOf(const std::vector<std::string>& parts) const;
    bool DriveKey(const std::string& path, std::string& key) const;  // false: not "X:" or "X:\...", or climbs
    void Unalias(std::string& key) const;  // a short name's key made its entry's
    std::string PathKey(const std::string& path) const;               // KeyOf(Split(path))
    static std::string ParentKey(const std::string& key);  // the key of its folder; "" for a drive or nothing
    bool HasChildren(const std::string& folderKey) const;
    // Whether path is among the faults' keys (no key is worked out while there are none).
    bool Faulted(const std::set<std::string>& faults, const std::string& path) const;
    const Node* Find(const std::string& path) const;
    Node* Find(const std::string& path);
    bool MakeOne(const std::string& path);
    void Ensure(const std::vector<std::string>& parts, std::size_t count);
    std::vector<const Node*> ChildNodes(const std::string& folderKey) const;

    std::map<std::string, Node> nodes_;  // by folded path: "c:\package\setup.exe"
    std::map<std::string, std::string> shortNames_;  // a short name's key, the entry's key
    mutable std::string lookup_;         // Find's key, its storage kept from one lookup to the next
    std::map<FindHandle, Listing> listings_;
    FindHandle nextHandle_ = 0x100;
    std::map<std::string, int> copyFaults_;
    std::set<std::string> brokenCopies_;
    std::set<std::string> listingFaults_;
    std::map<std::string, std::size_t> listingFailsAt_;
    std::set<std::string> attributeFaults_;
    std::set<std::string> readFaults_;
    std::set<std::string> writeFaults_;
    std::map<char, std::uint32_t> driveTypes_;
};

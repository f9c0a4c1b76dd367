#pragma once
// An in-memory registry that behaves like Windows' own, so that tests do not pass on a kinder
// registry:
// - key and value names compare without regard to case (ASCII, Latin-1, Greek, Cyrillic and
//   full-width letters); their spelling is kept as created;
// - sub-keys enumerate sorted by their upper-cased UTF-16 names, as a Windows hive indexes them
//   (the documentation promises no order; Wine sorts lower-cased: the two differ only for names
//   with one of "[]^_`" where another name has a letter);
// - a key name has at most 255 characters (kErrorInvalidParameter beyond);
// - value bytes are kept exactly as written: a REG_SZ stored without its terminating zero reads
//   back without one;
// - a too-small buffer gives kErrorMoreData, the size needed and no data;
// - OpenKey (RegOpenKeyA) with a null or empty name gives back the very handle it was given,
//   OpenKeyRead (RegOpenKeyExA) a new one; a leading backslash is kErrorBadPathname; a handle to
//   a key deleted meanwhile gives kErrorKeyDeleted; closing a closed handle kErrorInvalidHandle.
// Texts are CP936 bytes, as the narrow functions give them.
//
// - a hive file (a user's NTUSER.DAT) loads as HKEY_USERS\<name> once: a file already loaded,
//   or held by another program, gives kErrorSharingViolation; a name that exists
//   kErrorAlreadyExists; a missing file kErrorFileNotFound; a damaged one kErrorBadDb.
//   Unloading fails with kErrorAccessDenied while any key of the hive is open, and with
//   kErrorInvalidParameter for a key that is no hive. What was written while it was loaded is
//   in the file afterwards (Windows writes it back; Wine does not).
//
// Faults can be injected per operation kind and call number, per key path, per enumeration
// index and per value write; a hook runs before every call so that a test can change the tree
// in the middle of a scan.
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/Registry.h"

constexpr long kErrorInvalidParameter = 87;
constexpr long kErrorBadPathname = 161;
constexpr long kErrorBadDb = 1009;

// The registry operations, for counting calls and injecting faults.
enum class RegOp {
    Any,  // only for faults and counts: every kind
    OpenKey,
    OpenKeyRead,
    QuerySubKeyCount,
    EnumKey,
    QueryValue,
    CreateKey,
    SetDword,
    SetString,
    DeleteKey,
    CloseKey,
    SetValue,
    EnumValue,
    DeleteValue,
    LoadHive,
    UnloadHive,
};
constexpr int kRegOpKinds = 16;

// A hive file as the program finds it.
enum class HiveFile { Sound, InUse, Damaged };

class RegistryDouble : public Registry {
public:
    RegistryDouble();
    ~RegistryDouble() override;
    RegistryDouble(const RegistryDouble&) = delete;
    RegistryDouble& operator=(const RegistryDouble&) = delete;

    // --- The seam (each call is counted, runs the hook, and may meet an injected fault) ---
    long OpenKey(RegKey parent, const char* subKey, RegKey& out) override;
    long OpenKeyRead(RegKey parent, const char* subKey, RegKey& out) override;
    long QuerySubKeyCount(RegKey key, std::uint32_t& count) override;
    long EnumKey(RegKey key, std::uint32_t index, char* name, std::uint32_t& length) override;
    long QueryValue(RegKey key, const char* valueName, std::uint32_t* type, std::uint8_t* data,
                    std::uint32_t& size) override;
    long CreateKey(RegKey parent, const char* path, RegKey& out) override;
    long SetDword(RegKey key, const char* valueName, std::uint32_t value) override;
    long SetString(RegKey key, const char* valueName, const char* text,
                   std::uint32_t byteCount) override;
    long SetValue(RegKey key, const char* valueName, std::uint32_t type,
                  const std::string& bytes) override;
    long EnumValue(RegKey key, std::uint32_t index, std::string& name, std::uint32_t& type,
                   std::string& data) override;
    long DeleteValue(RegKey key, const char* valueName) override;
    long DeleteKey(RegKey parent, const char* subKey) override;
    long CloseKey(RegKey key) override;
    long LoadHive(const char* name, const char* file) override;
    long UnloadHive(const char* name) override;

    // --- Direct access for fixtures and assertions (not counted, never faulted) ---
    // Paths are relative to root, levels separated by backslashes.
    void CreateKeyPath(RegKey root, const std::string& path);
    // Creates the key when missing; replaces a value of the same name (compared without case).
    void PutValue(RegKey root, const std::string& path, const std::string& name,
                  std::uint32_t type, const std::string& bytes);
    // REG_SZ; withTerminator appends the zero that .reg files and most writers store.
    void PutString(RegKey root, const std::string& path, const std::string& name,
                   const std::string& text, bool withTerminator = true);
    void PutDword(RegKey root, const std::string& path, const std::string& name,
                  std::uint32_t value);
    bool KeyExists(RegKey root, const std::string& path) const;
    bool GetValue(RegKey root, const std::string& path, const std::string& name,
                  std::uint32_t& type, std::string& bytes) const;
    // The value's bytes up to the first zero, or "" when key or value is missing.
    std::string GetText(RegKey root, const std::string& path, const std::string& name) const;
    bool DeleteValue(RegKey root, const std::string& path, const std::string& name);
    // Removes the key with everything below it; false when it does not exist.
    bool DeleteTree(RegKey root, const std::string& path);
    // Immediate sub-key names, in enumeration order.
    std::vector<std::string> SubKeyNames(RegKey root, const std::string& path) const;
    // A canonical text of the sub-tree at path, for comparing two trees: "[relative path]"
    // lines in enumeration order (the key itself is "[]"), each followed by its values sorted
    // by upper-cased name: "name"=sz:"text", expand_sz:"text" (texts without their trailing
    // zeros), dword:xxxxxxxx, or hex(type):bytes. Names of keys keep their spelling; "" when
    // the key does not exist.
    std::string Dump(RegKey root, const std::string& path) const;
    // The same, key by key (relative path; name null for the key itself) and value by value (its
    // name, type and bytes; ValueText writes them as Dump does), in no particular order of values.
    using Visit = std::function<void(const std::string& key, const std::string* name, std::uint32_t type,
                                     const std::string& bytes)>;
    void ForEach(RegKey root, const std::string& path, const Visit& visit) const;
    static std::string ValueText(std::uint32_t type, const std::string& bytes);  // as Dump writes it

    // --- Hive files (paths compared without regard to case) ---
    // Moves the key at root\path, with all below it, out of the tree into the hive file at file
    // (as RegSaveKey and deleting the key would): the key becomes the hive's root.
    void SaveHive(RegKey root, const std::string& path, const std::string& file);
    void SetHiveFile(const std::string& file, HiveFile state);
    // What the hive file holds at path below its root, loaded or not (false when there is no such
    // file, key or value).
    bool GetHiveValue(const std::string& file, const std::string& path, const std::string& name,
                      std::uint32_t& type, std::string& bytes) const;
    bool HiveKeyExists(const std::string& file, const std::string& path) const;
    // Loads and unloads as Windows does for a user who logs on and off (not counted, never
    // faulted); false where the seam's call would fail.
    bool MountHive(const std::string& name, const std::string& file);
    bool UnmountHive(const std::string& name);

    // --- Handles ---
    // Handles opened through the seam and not yet closed (predefined roots never count).
    int OpenHandleCount() const { return static_cast<int>(handles_.size()); }
    // Calls that were given a handle that is not open (including a second close).
    int badHandleCalls = 0;

    // --- Call counts ---
    int CallCount(RegOp op) const { return calls_[static_cast<int>(op)]; }
    void ResetCallCounts();

    // --- Faults ---
    // The nth call (1-based, counted like CallCount, so RegOp::Any counts every call) of op
    // fails with error; with count > 1 so do the following calls, up to count of them.
    // RegOp::Any never fails a CloseKey (the handle would stay open whatever the caller did);
    // a CloseKey fault leaves the handle open.
    void FailCall(RegOp op, int nth, long error, int count = 1);
    // Opening the key at root\path (any spelling) fails with error; so does creating it or any
    // key below it (RegCreateKey passes through every level).
    void FailKey(RegKey root, const std::string& path, long error = kErrorAccessDenied);
    // EnumKey on the key at root\path fails at index with error.
    void FailEnumAt(RegKey root, const std::string& path, std::uint32_t index,
                    long error = kErrorNoMoreItems);
    // Value writes (SetDword, SetString) into the key at root\path fail with error; an empty
    // value name refuses every value of that key.
    void RefuseValueWrite(RegKey root, const std::string& path, const std::string& valueName,
                          long error = kErrorAccessDenied);
    // Reading an existing value at root\path fails with error (kErrorNoUnicodeTranslation
    // stands for a text that code page 936 cannot hold); an empty name: every value of the key.
    void FailValueRead(RegKey root, const std::string& path, const std::string& valueName,
                       long error = kErrorNoUnicodeTranslation);
    void ClearFaults();
    // Runs before every call of the seam, after it is counted; it may change the tree through
    // the direct operations (for instance delete a key that a scan is about to read).
    std::function<void(RegOp op)> beforeCall;

private:
    struct Node;
    struct Value {
        std::string name;
        std::u16string folded;
        std::uint32_t type;
        std::string bytes;
    };
    struct Fault {
        RegOp op;
        int first;
        int last;
        long error;
    };
    struct KeyFault {
        std::u16string path;  // folded full path, e.g. "HKLM\SOFTWARE\X"
        long error;
    };
    struct EnumFault {
        std::u16string path;
        std::uint32_t index;
        long error;
    };
    struct WriteFault {
        std::u16string path;
        std::u16string valueName;
        long error;
    };

    struct Hive {
        std::shared_ptr<Node> root;
        HiveFile state = HiveFile::Sound;
        bool loaded = false;
    };
    long Mount(const std::string& name, const std::string& file);
    long Unmount(const std::string& name);

    long Begin(RegOp op);
    long OpenPath(RegKey parent, const char* subKey, RegKey& out);
    std::shared_ptr<Node> Resolve(RegKey key, long& error);
    std::shared_ptr<Node> Root(RegKey root) const;
    std::shared_ptr<Node> Find(const std::shared_ptr<Node>& from, const std::string& path) const;
    // The existing key at subKey under parent (a relative path), or the error Windows gives.
    long FindExisting(RegKey parent, const char* subKey, std::shared_ptr<Node>& node);
    std::shared_ptr<Node> Make(const std::shared_ptr<Node>& from, const std::string& path);
    RegKey NewHandle(const std::shared_ptr<Node>& node);
    long KeyFaultFor(const std::shared_ptr<Node>& node) const;
    long WriteFaultFor(const std::shared_ptr<Node>& node, const char* valueName) const;
    long ValueFaultFor(const std::vector<WriteFault>& faults, const std::shared_ptr<Node>& node,
                       const char* valueName) const;
    long Write(RegKey key, const char* valueName, std::uint32_t type, const std::string& bytes,
               RegOp op);
    std::u16string FoldedPath(RegKey root, const std::string& path) const;
    static void Detach(const std::shared_ptr<Node>& node);
    static void DumpNode(const Node& node, const std::string& relative, std::string& out);
    // ForEach below node, whose path relative to where the walk began is relative (kept as it was).
    static void Walk(const Node& node, std::string& relative, const Visit& visit);

    std::shared_ptr<Node> localMachine_;
    std::shared_ptr<Node> currentUser_;
    std::shared_ptr<Node> users_;
    std::map<RegKey, std::shared_ptr<Node>> handles_;
    RegKey nextHandle_ = 0x1000;
    int calls_[kRegOpKinds] = {};
    std::vector<Fault> faults_;
    std::vector<KeyFault> keyFaults_;
    std::vector<EnumFault> enumFaults_;
    std::vector<WriteFault> writeFaults_;
    std::vector<WriteFault> readFaults_;  // same shape: a key and a value name
    std::map<std::u16string, Hive> hives_;  // by folded file path
};

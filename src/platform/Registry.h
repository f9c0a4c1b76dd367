#pragma once
// The registry as the setup program needs it. Texts are CP936 bytes; results keep the Win32
// meanings (0 = success) so that the callers read like the registry calls they stand for.
#include <cstdint>
#include <string>

using RegKey = std::uintptr_t;  // an open key, or one of the predefined roots below; 0 = none

constexpr RegKey kHkeyCurrentUser = 0x80000001u;
constexpr RegKey kHkeyLocalMachine = 0x80000002u;
constexpr RegKey kHkeyUsers = 0x80000003u;  // the loaded hives of the users logged on, by SID

constexpr long kErrorSuccess = 0;
constexpr long kErrorFileNotFound = 2;
constexpr long kErrorAccessDenied = 5;
constexpr long kErrorInvalidHandle = 6;
constexpr long kErrorSharingViolation = 32;   // a file in use: a hive another program has loaded
constexpr long kErrorAlreadyExists = 183;
constexpr long kErrorMoreData = 234;
constexpr long kErrorNoMoreItems = 259;
constexpr long kErrorKeyDeleted = 1018;  // a handle to a key deleted since it was opened
// A name or text that code page 936 cannot hold (ERROR_NO_UNICODE_TRANSLATION): read, it would
// come back changed; written, it would store something else.
constexpr long kErrorNoUnicodeTranslation = 1113;
constexpr long kErrorPrivilegeNotHeld = 1314;
// A link where only a plain entry is taken: a hive file that is a link, a folder, or a file with
// a second name (never loaded); a key in a user's registry that is a symbolic link (never
// opened, followed or deleted).
constexpr long kErrorCantAccessFile = 1920;
// The largest value data, in bytes, that EnumValue gives and that callers without a buffer of
// their own read whole. Nothing the program reads comes near; a user's value of hundreds of
// megabytes read whole would exhaust the x86 edition's memory.
constexpr std::uint32_t kLargestValueRead = 1u << 20;

constexpr std::uint32_t kRegSz = 1;
constexpr std::uint32_t kRegExpandSz = 2;
constexpr std::uint32_t kRegBinary = 3;
constexpr std::uint32_t kRegDword = 4;
constexpr std::uint32_t kRegMultiSz = 7;

// Every call that takes a name or text refuses one that is not CP936 throughout with
// kErrorNoUnicodeTranslation, and does nothing.
class Registry {
public:
    virtual ~Registry() = default;

    // In a user's registry (below kHkeyCurrentUser or kHkeyUsers), which its user may shape, the
    // calls that open, create or delete a key never follow a symbolic-link key: a path that
    // holds one, at any level, gives kErrorCantAccessFile and nothing is opened, made or deleted.
    // There a path names one key for either edition (Windows shares a user's Software between
    // the 32-bit and 64-bit views).

    // RegOpenKeyA: subKey may be null or empty, which opens a second handle to parent itself.
    virtual long OpenKey(RegKey parent, const char* subKey, RegKey& out) = 0;
    // RegOpenKeyExA with KEY_READ and options 0 (the program's own registry view).
    virtual long OpenKeyRead(RegKey parent, const char* subKey, RegKey& out) = 0;
    // RegQueryInfoKeyA asking only for the number of sub-keys.
    virtual long QuerySubKeyCount(RegKey key, std::uint32_t& count) = 0;
    // RegEnumKeyExA: capacity in characters including the terminator; on success the name is
    // zero-terminated and length holds its length. A name that does not fit: kErrorMoreData; one
    // that CP936 cannot hold: kErrorNoUnicodeTranslation.
    virtual long EnumKey(RegKey key, std::uint32_t index, char* name, std::uint32_t& length) = 0;
    // RegQueryValueExA: size is the buffer's capacity in, the data's byte count out. Data that do
    // not fit give kErrorMoreData and leave the buffer alone (data that certainly cannot fit are
    // not read at all: size is then at least their byte count). type and data may be null; with
    // data null, size is at least the byte count (as RegQueryValueExA gives it, a text's may be
    // more), and nothing is read. A text
    // (REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ) is read whole, even when stored with an odd byte
    // count; one that CP936 cannot hold gives kErrorNoUnicodeTranslation and no data.
    virtual long QueryValue(RegKey key, const char* valueName, std::uint32_t* type,
                            std::uint8_t* data, std::uint32_t& size) = 0;
    // RegCreateKeyA: opens or creates every missing level of path.
    virtual long CreateKey(RegKey parent, const char* path, RegKey& out) = 0;
    // RegSetValueExA with REG_DWORD, 4 bytes.
    virtual long SetDword(RegKey key, const char* valueName, std::uint32_t value) = 0;
    // RegSetValueExA with REG_SZ and exactly byteCount bytes of text (callers pass the length
    // without the terminating zero).
    virtual long SetString(RegKey key, const char* valueName, const char* text,
                           std::uint32_t byteCount) = 0;
    // RegSetValueExA with any type: texts (REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ) are CP936 bytes
    // stored exactly as given (a terminator only when bytes hold one), other types raw.
    virtual long SetValue(RegKey key, const char* valueName, std::uint32_t type,
                          const std::string& bytes) = 0;
    // RegEnumValueA: the value at index, its type and data (texts as CP936 bytes, as QueryValue
    // gives them). kErrorNoMoreItems past the last; kErrorNoUnicodeTranslation for a name or
    // text that CP936 cannot hold; kErrorMoreData, unread, for data above kLargestValueRead.
    virtual long EnumValue(RegKey key, std::uint32_t index, std::string& name, std::uint32_t& type,
                           std::string& data) = 0;
    // RegDeleteValueA.
    virtual long DeleteValue(RegKey key, const char* valueName) = 0;
    // RegDeleteKeyA: fails for a key that has sub-keys.
    virtual long DeleteKey(RegKey parent, const char* subKey) = 0;
    virtual long CloseKey(RegKey key) = 0;
    // RegLoadKeyA(HKEY_USERS, name, file): the hive file (a user's NTUSER.DAT) as the key
    // HKEY_USERS\name, with the backup and restore privileges enabled for this call only.
    // Fails, loading nothing: kErrorAlreadyExists when the name is taken; kErrorFileNotFound or
    // 3 (path not found) when the file or its folder is missing; kErrorSharingViolation when the
    // file is in use (Windows has loaded it for a user who is logged on); kErrorCantAccessFile
    // when it is a link, a folder or a file with a second name; kErrorPrivilegeNotHeld without
    // the privileges; 1009 or 1017 when it holds no sound hive.
    virtual long LoadHive(const char* name, const char* file) = 0;
    // RegUnLoadKeyA(HKEY_USERS, name), with the same privileges for this call only. Fails
    // (kErrorAccessDenied) while any key of the hive is open, and for a key that is no hive.
    virtual long UnloadHive(const char* name) = 0;
};

// Whether key holds neither sub-keys nor values (false when that cannot be read).
inline bool IsEmptyKey(Registry& registry, RegKey key) {
    std::uint32_t subKeys = 0;
    std::string name, data;
    std::uint32_t type = 0;
    return registry.QuerySubKeyCount(key, subKeys) == kErrorSuccess && subKeys == 0 &&
           registry.EnumValue(key, 0, name, type, data) == kErrorNoMoreItems;
}

// Owns one open key and closes it once, through the registry that opened it.
class KeyHandle {
public:
    explicit KeyHandle(Registry& registry) : registry_(registry) {}
    KeyHandle(const KeyHandle&) = delete;
    KeyHandle& operator=(const KeyHandle&) = delete;
    ~KeyHandle() { Close(); }

    RegKey get() const { return key_; }
    RegKey& out() { Close(); return key_; }  // for the open calls to fill
    explicit operator bool() const { return key_ != 0; }
    void Close() {
        if (key_ != 0) registry_.CloseKey(key_);
        key_ = 0;
    }

private:
    Registry& registry_;
    RegKey key_ = 0;
};

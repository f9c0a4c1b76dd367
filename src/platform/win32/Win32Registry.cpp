#include "platform/win32/Win32Registry.h"

#include <windows.h>

#include <cstring>
#include <vector>

#include "platform/win32/Cp936.h"
#include "platform/win32/FolderSecurity.h"
#include "platform/win32/SystemLibrary.h"

namespace {

// The seam's roots are the 32-bit values; on x64 the real ones are sign-extended.
HKEY ToHkey(RegKey key) {
    if (key == kHkeyLocalMachine) return HKEY_LOCAL_MACHINE;
    if (key == kHkeyCurrentUser) return HKEY_CURRENT_USER;
    if (key == kHkeyUsers) return HKEY_USERS;
    return reinterpret_cast<HKEY>(key);
}

RegKey FromHkey(HKEY key) {
    if (key == HKEY_LOCAL_MACHINE) return kHkeyLocalMachine;
    if (key == HKEY_CURRENT_USER) return kHkeyCurrentUser;
    if (key == HKEY_USERS) return kHkeyUsers;
    return reinterpret_cast<RegKey>(key);
}

bool IsText(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ; }

// Data as the narrow functions give them: texts as CP936 bytes, counted as such (a text stored
// with an odd byte count keeps its last character: the missing high byte is a zero); other types
// as stored. False when a text holds a character CP936 cannot.
bool FromRaw(DWORD type, const std::vector<BYTE>& raw, std::string& bytes) {
    if (!IsText(type)) {
        bytes.assign(raw.begin(), raw.end());
        return true;
    }
    std::wstring wide((raw.size() + 1) / 2, L'\0');
    for (std::size_t i = 0; i < raw.size(); ++i)
        wide[i / 2] = static_cast<wchar_t>(wide[i / 2] | (raw[i] << (i % 2 ? 8 : 0)));
    return NarrowCp936Exact(wide, bytes);
}

// A name for the wide call; null stays null. False when it is no CP936 text.
bool WideName(const char* name, std::wstring& wide, const wchar_t*& pointer) {
    pointer = nullptr;
    if (name == nullptr) return true;
    if (!WidenCp936Exact(name, wide)) return false;
    pointer = wide.c_str();
    return true;
}

// A hive is loaded only from a plain file of one name: not a link (whose target a user chose),
// not a folder, not a file with a second name elsewhere. Read from the entry itself, never through
// a link; attribute access alone, which no sharing mode refuses, so a hive in use is still told
// apart by the load's own sharing violation.
LONG PlainHiveFile(const std::wstring& file) {
    const HANDLE handle = CreateFileW(file.c_str(), FILE_READ_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return static_cast<LONG>(GetLastError());
    BY_HANDLE_FILE_INFORMATION information{};
    const bool read = GetFileInformationByHandle(handle, &information) != FALSE;
    CloseHandle(handle);
    if (!read) return static_cast<LONG>(GetLastError());
    if (information.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY) ||
        information.nNumberOfLinks != 1)
        return ERROR_CANT_ACCESS_FILE;
    return ERROR_SUCCESS;
}

// A user's registry is theirs to shape: any key in it may be a symbolic link (made with
// REG_OPTION_CREATE_LINK) to a key of the machine's or of another user's, and the plain calls
// follow a link at every level of a path. An elevated run that opened, wrote or deleted by path
// there would act on HKEY_LOCAL_MACHINE for them. So in a user's registry every level of a path is
// opened by itself, relative to the level above, with REG_OPTION_OPEN_LINK (the link itself, not
// its target), and a level that is a link ends the walk: nothing below it is opened, and it is
// not deleted. Links in HKEY_LOCAL_MACHINE are the administrators' own, and its paths keep the
// single call (with the 32-bit view's redirection that a walk would change).
// User hives are walked in their own, one view (KEY_WOW64_64KEY): Windows shares
// HKEY_CURRENT_USER\Software between the views, so a path names the same key for either edition.

// A link key holds its target as the value "SymbolicLinkValue"; a key opened with
// REG_OPTION_OPEN_LINK that holds a value of that name is taken for a link (an ordinary key with
// such a value is refused too, which costs nothing). Any other failure to tell is passed on.
LONG RefuseLink(HKEY key) {
    DWORD type = 0;
    const LONG found = RegQueryValueExW(key, L"SymbolicLinkValue", nullptr, &type, nullptr, nullptr);
    if (found == ERROR_FILE_NOT_FOUND) return ERROR_SUCCESS;
    return found == ERROR_SUCCESS || found == ERROR_MORE_DATA ? ERROR_CANT_ACCESS_FILE : found;
}

// path's names, in order. A leading or doubled backslash is an empty name, which the registry
// refuses; one trailing backslash is nothing.
bool KeyNames(const std::wstring& path, std::vector<std::wstring>& names) {
    names.clear();
    std::size_t start = 0;
    while (start < path.size()) {
        std::size_t end = path.find(L'\\', start);
        if (end == std::wstring::npos) end = path.size();
        if (end == start) return false;
        names.push_back(path.substr(start, end - start));
        start = end + 1;
    }
    return true;
}

enum class Walk { Open, Create };

// Opens (or, for Create, opens or makes) path below parent one level at a time, none through a
// link, the last level with access, the levels above with what the next step needs.
LONG OpenInUserHive(HKEY parent, const wchar_t* path, REGSAM access, Walk walk, HKEY& out) {
    std::vector<std::wstring> names;
    if (!KeyNames(path ? path : L"", names)) return ERROR_BAD_PATHNAME;
    if (names.empty()) names.push_back(std::wstring());  // the key itself, as a new handle
    const REGSAM above = KEY_QUERY_VALUE | (walk == Walk::Create ? KEY_CREATE_SUB_KEY : 0);
    HKEY current = parent;
    for (std::size_t i = 0; i < names.size(); ++i) {
        const REGSAM wanted = (i + 1 == names.size() ? access | KEY_QUERY_VALUE : above) | KEY_WOW64_64KEY;
        HKEY next = nullptr;
        // A level that is there is opened as RegOpenKeyEx documents REG_OPTION_OPEN_LINK; only a
        // missing one is made, RegCreateKeyEx given the option too (should a user make the level
        // a link in between, it is not followed where the option is honoured, as Wine does).
        LONG result = RegOpenKeyExW(current, names[i].c_str(), REG_OPTION_OPEN_LINK, wanted, &next);
        if (result == ERROR_FILE_NOT_FOUND && walk == Walk::Create)
            result = RegCreateKeyExW(current, names[i].c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE | REG_OPTION_OPEN_LINK,
                                     wanted, nullptr, &next, nullptr);
        if (current != parent) RegCloseKey(current);
        if (result == ERROR_SUCCESS && (result = RefuseLink(next)) != ERROR_SUCCESS) RegCloseKey(next);
        if (result != ERROR_SUCCESS) return result;
        current = next;
    }
    out = current;
    return ERROR_SUCCESS;
}

// Deletes the key a handle holds, not a key named: a name would be looked up again, through
// whatever link stands there by then. NtDeleteKey, as RegDeleteKey uses it; like it, it refuses
// a key with sub-keys.
LONG DeleteByHandle(HKEY key) {
    using DeleteKeyFn = LONG(WINAPI*)(HANDLE);
    using StatusToErrorFn = ULONG(WINAPI*)(LONG);
    const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    const auto deleteKey = ProcedureOf<DeleteKeyFn>(ntdll, "NtDeleteKey");
    const auto toError = ProcedureOf<StatusToErrorFn>(ntdll, "RtlNtStatusToDosError");
    if (deleteKey == nullptr || toError == nullptr) return ERROR_CALL_NOT_IMPLEMENTED;
    const LONG status = deleteKey(key);
    return status == 0 ? ERROR_SUCCESS : static_cast<LONG>(toError(status));
}

}  // namespace

bool Win32Registry::InUserHive(RegKey key) const {
    return key == kHkeyCurrentUser || key == kHkeyUsers || userKeys_.count(key) != 0;
}

long Win32Registry::OpenKey(RegKey parent, const char* subKey, RegKey& out) {
    HKEY key = nullptr;
    std::wstring name;
    const wchar_t* wide = nullptr;
    if (!WideName(subKey, name, wide)) return ERROR_NO_UNICODE_TRANSLATION;
    // No name: the key itself, as RegOpenKey gives it (the same handle).
    if (!InUserHive(parent) || wide == nullptr || *wide == L'\0') {
        const LONG result = RegOpenKeyW(ToHkey(parent), wide, &key);
        if (result == ERROR_SUCCESS) out = FromHkey(key);
        return result;
    }
    const LONG result = OpenInUserHive(ToHkey(parent), wide, MAXIMUM_ALLOWED, Walk::Open, key);
    if (result == ERROR_SUCCESS) userKeys_.insert(out = FromHkey(key));
    return result;
}

long Win32Registry::OpenKeyRead(RegKey parent, const char* subKey, RegKey& out) {
    HKEY key = nullptr;
    std::wstring name;
    const wchar_t* wide = nullptr;
    if (!WideName(subKey, name, wide)) return ERROR_NO_UNICODE_TRANSLATION;
    if (!InUserHive(parent)) {
        const LONG result = RegOpenKeyExW(ToHkey(parent), wide, 0, KEY_READ, &key);
        if (result == ERROR_SUCCESS) out = FromHkey(key);
        return result;
    }
    const LONG result = OpenInUserHive(ToHkey(parent), wide, KEY_READ, Walk::Open, key);
    if (result == ERROR_SUCCESS) userKeys_.insert(out = FromHkey(key));
    return result;
}

long Win32Registry::QuerySubKeyCount(RegKey key, std::uint32_t& count) {
    DWORD subKeys = 0;
    const LONG result = RegQueryInfoKeyW(ToHkey(key), nullptr, nullptr, nullptr, &subKeys, nullptr,
                                         nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
    if (result == ERROR_SUCCESS) count = subKeys;
    return result;
}

long Win32Registry::EnumKey(RegKey key, std::uint32_t index, char* name, std::uint32_t& length) {
    wchar_t wide[256];  // a key name has at most 255 characters
    DWORD wideLength = 256;
    const LONG result = RegEnumKeyExW(ToHkey(key), index, wide, &wideLength, nullptr, nullptr,
                                      nullptr, nullptr);
    if (result != ERROR_SUCCESS) return result;
    std::string narrow;
    // A name that came back changed would open another key, or none.
    if (!NarrowCp936Exact(wide, static_cast<int>(wideLength), narrow)) return ERROR_NO_UNICODE_TRANSLATION;
    if (name == nullptr || narrow.size() + 1 > length) return ERROR_MORE_DATA;
    std::memcpy(name, narrow.c_str(), narrow.size() + 1);
    length = static_cast<std::uint32_t>(narrow.size());
    return ERROR_SUCCESS;
}

long Win32Registry::QueryValue(RegKey key, const char* valueName, std::uint32_t* type,
                               std::uint8_t* data, std::uint32_t& size) {
    std::wstring name;
    const wchar_t* wideName = nullptr;
    if (!WideName(valueName, name, wideName)) return ERROR_NO_UNICODE_TRANSLATION;
    DWORD valueType = 0;
    std::vector<BYTE> raw;
    LONG result = ERROR_MORE_DATA;
    // The size first: data that cannot fit are never read (a user's value may be hundreds of
    // megabytes). The value may grow between asking its size and reading it: ask again.
    for (int attempt = 0; attempt < 4 && result == ERROR_MORE_DATA; ++attempt) {
        DWORD rawSize = 0;
        result = RegQueryValueExW(ToHkey(key), wideName, nullptr, &valueType, nullptr, &rawSize);
        if (result != ERROR_SUCCESS) return result;
        // A text narrows to at least a byte a character: fewer bytes than that cannot hold it.
        const DWORD least = IsText(valueType) ? rawSize / 2 + rawSize % 2 : rawSize;
        if (data == nullptr || least > size) {
            if (type) *type = valueType;
            size = rawSize;
            return data == nullptr ? ERROR_SUCCESS : ERROR_MORE_DATA;
        }
        raw.assign(rawSize, 0);
        result = RegQueryValueExW(ToHkey(key), wideName, nullptr, &valueType,
                                  raw.empty() ? nullptr : raw.data(), &rawSize);
        if (result == ERROR_SUCCESS) raw.resize(rawSize);
    }
    if (result != ERROR_SUCCESS) return result;

    std::string bytes;
    if (!FromRaw(valueType, raw, bytes)) return ERROR_NO_UNICODE_TRANSLATION;
    if (type) *type = valueType;
    const auto needed = static_cast<std::uint32_t>(bytes.size());
    if (needed > size) {
        size = needed;
        return ERROR_MORE_DATA;
    }
    if (needed) std::memcpy(data, bytes.data(), needed);
    size = needed;
    return ERROR_SUCCESS;
}

long Win32Registry::CreateKey(RegKey parent, const char* path, RegKey& out) {
    HKEY key = nullptr;
    std::wstring name;
    const wchar_t* wide = nullptr;
    if (!WideName(path, name, wide)) return ERROR_NO_UNICODE_TRANSLATION;
    if (!InUserHive(parent)) {
        const LONG result = RegCreateKeyW(ToHkey(parent), wide, &key);
        if (result == ERROR_SUCCESS) out = FromHkey(key);
        return result;
    }
    const LONG result = OpenInUserHive(ToHkey(parent), wide, MAXIMUM_ALLOWED, Walk::Create, key);
    if (result == ERROR_SUCCESS) userKeys_.insert(out = FromHkey(key));
    return result;
}

long Win32Registry::SetDword(RegKey key, const char* valueName, std::uint32_t value) {
    std::wstring name;
    const wchar_t* wideName = nullptr;
    if (!WideName(valueName, name, wideName)) return ERROR_NO_UNICODE_TRANSLATION;
    const DWORD data = value;
    return RegSetValueExW(ToHkey(key), wideName, 0, REG_DWORD,
                          reinterpret_cast<const BYTE*>(&data), sizeof data);
}

long Win32Registry::SetString(RegKey key, const char* valueName, const char* text,
                              std::uint32_t byteCount) {
    std::wstring name;
    const wchar_t* wideName = nullptr;
    std::wstring wide;
    if (!WideName(valueName, name, wideName) ||
        !WidenCp936Exact(text ? std::string(text, byteCount) : std::string(), wide))
        return ERROR_NO_UNICODE_TRANSLATION;
    return RegSetValueExW(ToHkey(key), wideName, 0, REG_SZ,
                          reinterpret_cast<const BYTE*>(wide.c_str()),
                          static_cast<DWORD>(wide.size() * sizeof(wchar_t)));
}

long Win32Registry::SetValue(RegKey key, const char* valueName, std::uint32_t type,
                             const std::string& bytes) {
    std::wstring name;
    const wchar_t* wideName = nullptr;
    if (!WideName(valueName, name, wideName)) return ERROR_NO_UNICODE_TRANSLATION;
    if (!IsText(type)) {
        return RegSetValueExW(ToHkey(key), wideName, 0, type,
                              reinterpret_cast<const BYTE*>(bytes.data()), static_cast<DWORD>(bytes.size()));
    }
    std::wstring wide;
    if (!WidenCp936Exact(bytes, wide)) return ERROR_NO_UNICODE_TRANSLATION;
    return RegSetValueExW(ToHkey(key), wideName, 0, type, reinterpret_cast<const BYTE*>(wide.c_str()),
                          static_cast<DWORD>(wide.size() * sizeof(wchar_t)));
}

long Win32Registry::EnumValue(RegKey key, std::uint32_t index, std::string& name, std::uint32_t& type,
                              std::string& data) {
    constexpr DWORD kNameCapacity = 16384;  // a value name has at most 16,383 characters
    std::vector<wchar_t> wideName(kNameCapacity);
    LONG result = ERROR_MORE_DATA;
    // This value's size first, so that one above the limit is never read; it may grow between
    // asking and reading: ask again.
    for (int attempt = 0; attempt < 4 && result == ERROR_MORE_DATA; ++attempt) {
        DWORD nameSize = kNameCapacity, rawSize = 0, valueType = 0;
        result = RegEnumValueW(ToHkey(key), index, wideName.data(), &nameSize, nullptr, &valueType, nullptr, &rawSize);
        if (result != ERROR_SUCCESS) return result;
        if (rawSize > kLargestValueRead) return ERROR_MORE_DATA;
        std::vector<BYTE> raw(rawSize);
        nameSize = kNameCapacity;
        result = RegEnumValueW(ToHkey(key), index, wideName.data(), &nameSize, nullptr, &valueType,
                               raw.empty() ? nullptr : raw.data(), &rawSize);
        if (result != ERROR_SUCCESS) continue;
        raw.resize(rawSize);
        std::string narrowName, bytes;
        if (!NarrowCp936Exact(wideName.data(), static_cast<int>(nameSize), narrowName) ||
            !FromRaw(valueType, raw, bytes))
            return ERROR_NO_UNICODE_TRANSLATION;
        name = std::move(narrowName);
        type = valueType;
        data = std::move(bytes);
        return ERROR_SUCCESS;
    }
    return result;
}

long Win32Registry::DeleteValue(RegKey key, const char* valueName) {
    std::wstring name;
    const wchar_t* wide = nullptr;
    if (!WideName(valueName, name, wide)) return ERROR_NO_UNICODE_TRANSLATION;
    return RegDeleteValueW(ToHkey(key), wide);
}

long Win32Registry::DeleteKey(RegKey parent, const char* subKey) {
    std::wstring name;
    const wchar_t* wide = nullptr;
    if (!WideName(subKey, name, wide)) return ERROR_NO_UNICODE_TRANSLATION;
    if (!InUserHive(parent)) return RegDeleteKeyW(ToHkey(parent), wide ? wide : L"");
    HKEY key = nullptr;
    LONG result = OpenInUserHive(ToHkey(parent), wide, DELETE, Walk::Open, key);
    if (result != ERROR_SUCCESS) return result;
    result = DeleteByHandle(key);
    RegCloseKey(key);
    return result;
}

long Win32Registry::CloseKey(RegKey key) {
    userKeys_.erase(key);
    return RegCloseKey(ToHkey(key));
}

long Win32Registry::LoadHive(const char* name, const char* file) {
    std::wstring wideName, wideFile;
    if (name == nullptr || file == nullptr || !WidenCp936Exact(name, wideName) || !WidenCp936Exact(file, wideFile))
        return ERROR_NO_UNICODE_TRANSLATION;
    if (const LONG plain = PlainHiveFile(wideFile)) return plain;
    const EnabledPrivileges privileges(L"SeBackupPrivilege", L"SeRestorePrivilege");
    if (!privileges.held()) return ERROR_PRIVILEGE_NOT_HELD;
    return RegLoadKeyW(HKEY_USERS, wideName.c_str(), wideFile.c_str());
}

long Win32Registry::UnloadHive(const char* name) {
    std::wstring wideName;
    if (name == nullptr || !WidenCp936Exact(name, wideName)) return ERROR_NO_UNICODE_TRANSLATION;
    const EnabledPrivileges privileges(L"SeBackupPrivilege", L"SeRestorePrivilege");
    if (!privileges.held()) return ERROR_PRIVILEGE_NOT_HELD;
    return RegUnLoadKeyW(HKEY_USERS, wideName.c_str());
}

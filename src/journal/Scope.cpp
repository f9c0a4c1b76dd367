#include "journal/Scope.h"

#include "journal/UninstallEntry.h"
#include "text/PathText.h"
#include "text/Text.h"
#include "register/UserHives.h"

namespace {
bool StartsWith(const std::string& text, const std::string& prefix) {
    return text.size() >= prefix.size() && EqualsNoCase(text.substr(0, prefix.size()), prefix);
}


// The last name of a path, and the folder that holds it.
std::string LastName(const std::string& path) {
    const std::size_t cut = LastSeparator(path);
    return cut == std::string::npos ? path : path.substr(cut + 1);
}
std::string Holder(const std::string& path) {
    const std::size_t cut = LastSeparator(path);
    return cut == std::string::npos ? std::string() : path.substr(0, cut);
}

bool HasControl(const std::string& text) {
    for (unsigned char c : text)
        if (c < 0x20 || c == 0x7F) return true;
    return false;
}

// --- Registry keys: which an install makes, which of their values it sets, which it may have
// deleted (and so the undo makes again). One row a kind of key.
bool IsLoaderKey(const std::string& path) {
    if (!StartsWith(path, "SOFTWARE\\Autodesk\\AutoCAD\\") && !StartsWith(path, "SOFTWARE\\Wow6432Node\\Autodesk\\AutoCAD\\"))
        return false;
    const std::size_t at = UpperCp936(path).rfind("\\APPLICATIONS");
    if (at == std::string::npos) return false;
    const std::string rest = path.substr(at + 13);
    return rest.empty() || StartsWith(rest, "\\Korvel");
}
bool IsOwnLoaderKey(const std::string& path) { return IsLoaderKey(path) && StartsWith(LastName(path), "Korvel"); }
bool IsLoaderValue(const std::string& name) {
    return EqualsNoCase(name, "LOADER") || EqualsNoCase(name, "LOADCTRLS") || EqualsNoCase(name, "MANAGED");
}
bool IsProfileKey(const std::string& path) {
    return StartsWith(path, "Software\\Autodesk\\AutoCAD\\") && UpperCp936(path).find("\\PROFILES\\") != std::string::npos;
}
bool IsTrustedPaths(const std::string& name) { return EqualsNoCase(name, "TRUSTEDPATHS"); }
bool IsEntryKey(const std::string& path) { return EqualsNoCase(path, kUninstallKey); }
bool IsAboveEntryKey(const std::string& path) { return StartsWith(kUninstallKey, path + "\\"); }
bool AnyValue(const std::string&) { return true; }
// The Active Setup component (what an install with administrator rights writes for every user),
// and the keys above it, should they have been missing.
bool IsActiveSetupKey(const std::string& path) { return EqualsNoCase(path, kActiveSetupKey); }
bool IsAboveActiveSetupKey(const std::string& path) { return StartsWith(kActiveSetupKey, path + "\\"); }
bool IsActiveSetupValue(const std::string& name) {
    for (const char* known : {"", "StubPath", "Version", "IsInstalled"})
        if (EqualsNoCase(name, known)) return true;
    return false;
}
// A logged-on user's profile, below HKEY_USERS\<SID>: the SID is "S-" and digits and dashes.
bool IsSid(const std::string& text) {
    return text.size() > 4 && StartsWith(text, "S-1-") && text.find_first_not_of("0123456789-", 2) == std::string::npos;
}
bool IsUsersProfileKey(const std::string& path) {
    const std::size_t cut = path.find('\\');
    return cut != std::string::npos && IsSid(path.substr(0, cut)) && IsProfileKey(path.substr(cut + 1));
}

struct KeyRule {
    bool machine, user, users;               // under HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER, HKEY_USERS
    bool (*key)(const std::string& path);
    bool (*value)(const std::string& name);  // the values an install sets; null: none
    bool deleted;                            // an install may delete it (with its values kept)
};
const KeyRule kKeyRules[] = {
    {true, false, false, IsOwnLoaderKey, IsLoaderValue, true},
    {true, false, false, IsLoaderKey, IsLoaderValue, false},
    {false, true, false, IsProfileKey, IsTrustedPaths, false},
    {false, false, true, IsUsersProfileKey, IsTrustedPaths, false},
    {true, true, false, IsEntryKey, AnyValue, false},
    {true, true, false, IsAboveEntryKey, nullptr, false},  // made on the way to the entry
    {true, false, false, IsActiveSetupKey, IsActiveSetupValue, false},
    {true, false, false, IsAboveActiveSetupKey, nullptr, false},
};

// What a key held before an install changed it is the machine's own, whatever it names: a
// LOADER with a variable, a bare module name the host finds on its search path, or no text at
// all. Where it may be written back is decided where it is written (CodeGuard.h), as for every
// value that names code; it is no reason to refuse the record that keeps it.
bool KeyEntryInScope(const JournalEntry& e) {
    if (e.path.empty() || HasControl(e.path) || HasControl(e.value.name)) return false;
    for (const KeyRule& rule : kKeyRules) {
        const bool root = e.root == kHkeyLocalMachine ? rule.machine
                          : e.root == kHkeyCurrentUser ? rule.user
                                                       : e.root == kHkeyUsers && rule.users;
        if (!root) continue;
        if (!rule.key(e.path)) continue;
        switch (e.kind) {
            case EntryKind::Key: return true;
            case EntryKind::Value:
                if (rule.value == nullptr || !rule.value(e.value.name)) continue;
                return true;
            case EntryKind::KeyDeleted: {
                if (!rule.deleted) continue;
                for (const RecordedValue& v : e.values)
                    if (HasControl(v.name)) return false;
                return true;
            }
            default: return false;
        }
    }
    return false;
}

// The fonts, host libraries and plot driver go into exactly these folders of a host found now.
bool IsSupportFile(const std::string& path, const InstallScope& scope) {
    const std::string name = UpperCp936(LastName(path));
    std::string sub;
    if (name == "KORVEL_EN.SHX" || name == "KORVEL_HZ.SHX")
        sub = "Fonts";
    else if (name == "PDFPLOT9.HDI")
        sub = "Drv";
    else if (!(name.size() == 12 && name.compare(0, 4, "ACAD") == 0 && name.compare(8, 4, ".DLL") == 0 &&
               name.find_first_not_of("0123456789", 4) == 8))
        return false;
    for (const std::string& host : scope.hostFolders) {
        const std::string folder = sub.empty() ? host : JoinPath(host, sub);
        std::string trimmed = folder;
        DropTrailingSeparator(trimmed);
        if (EqualsNoCase(Holder(path), trimmed)) return true;
    }
    return false;
}
}  // namespace

bool Inside(const std::string& path, const std::string& folder) {
    return !folder.empty() && path.size() > folder.size() + 1 && StartsWith(path, folder) && path[folder.size()] == '\\';
}

bool IsCanonicalPath(const std::string& path) {
    if (!IsDrivePath(path) || path.size() < 4 || !IsWholeCp936(path)) return false;
    const auto forbidden = [](unsigned char c) {
        switch (c) {
            case '/': case ':': case '*': case '?': case '"': case '<': case '>': case '|': return true;
            default: return c < 0x20 || c == 0x7F;
        }
    };
    // One walk over the characters (whole ones, checked above), name by name.
    for (std::size_t start = 3, at = 3;;) {
        if (at == path.size() || path[at] == '\\') {
            // The name that ends here: not empty, and not ending in a dot (so neither "." nor
            // "..") or a space.
            if (at == start || path[at - 1] == '.' || path[at - 1] == ' ') return false;
            if (at == path.size()) return true;
            start = ++at;
            continue;
        }
        const std::size_t length = CharLength(path, at);
        if (length == 1 && forbidden(static_cast<unsigned char>(path[at]))) return false;
        at += length;
    }
}

bool WithinInstallScope(const JournalEntry& e, const InstallScope& scope) {
    switch (e.kind) {
        case EntryKind::User:
            // The installing account: nothing a path or key could hide in.
            return IsSid(e.path);
        case EntryKind::Folder: {
            // The plug-in's folder and the levels above it that the install made (never a drive).
            return IsCanonicalPath(e.path) && (EqualsNoCase(e.path, scope.folder) || Inside(scope.folder, e.path));
        }
        case EntryKind::File:
        case EntryKind::Replaced:
        case EntryKind::PendingFile:
        case EntryKind::PendingReplaced:
            if (!IsCanonicalPath(e.path)) return false;
            if (!IsNewFile(e.kind) &&
                !(IsCanonicalPath(e.backup) &&
                  EqualsNoCase(Holder(e.backup), JoinPath(scope.recordFolder, Journal::kBackupFolder))))
                return false;
            return Inside(e.path, scope.folder) || IsSupportFile(e.path, scope);
        case EntryKind::Key:
        case EntryKind::KeyDeleted:
        case EntryKind::Value:
            return KeyEntryInScope(e);
    }
    return false;
}

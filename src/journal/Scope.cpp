#include "journal/Scope.h"

#include "text/PathText.h"
#include "text/Text.h"
#include "journal/UninstallEntry.h"
#include "register/UserHives.h"

namespace {
bool StartsWith(const std::string& text, const std::string& prefix) {
    return text.size() >= prefix.size() && EqualsNoCase(text.substr(0, prefix.size()), prefix);
}

bool Inside(const std::string& path, const std::string& folder) {
    return path.size() > folder.size() + 1 && StartsWith(path, folder) && path[folder.size()] == '\\' &&
           path.find("\\..") == std::string::npos;
}

// The last name of a path.
std::string LastName(const std::string& path) {
    const std::size_t cut = LastSeparator(path);
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

// Loader keys: "<AutoCAD root>\...\Applications" and "...\Applications\Korvel<year>[DLL]".
bool IsLoaderKey(const std::string& path) {
    if (!StartsWith(path, "SOFTWARE\\Autodesk\\AutoCAD\\") && !StartsWith(path, "SOFTWARE\\Wow6432Node\\Autodesk\\AutoCAD\\"))
        return false;
    const std::size_t at = UpperCp936(path).rfind("\\APPLICATIONS");
    if (at == std::string::npos) return false;
    const std::string rest = path.substr(at + 13);
    return rest.empty() || StartsWith(rest, "\\Korvel");
}

bool IsLoaderValue(const std::string& name) {
    return EqualsNoCase(name, "LOADER") || EqualsNoCase(name, "LOADCTRLS") || EqualsNoCase(name, "MANAGED");
}

bool IsProfileKey(const std::string& path) {
    return StartsWith(path, "Software\\Autodesk\\AutoCAD\\") && UpperCp936(path).find("\\PROFILES\\") != std::string::npos;
}

bool IsSupportFile(const std::string& path) {
    const std::string name = UpperCp936(LastName(path));
    if (name == "KORVEL_EN.SHX" || name == "KORVEL_HZ.SHX" || name == "PDFPLOT9.HDI") return true;
    return name.size() == 12 && name.compare(0, 4, "ACAD") == 0 && name.compare(8, 4, ".DLL") == 0 &&
           name.find_first_not_of("0123456789", 4) == 8;
}
// What an install with administrator rights writes for every user: the Active Setup component
// (and the keys above it, should they have been missing), and the trusted paths of the users
// logged on at the time, below HKEY_USERS\<SID>.
bool IsEveryUserEntry(const JournalEntry& e) {
    if (e.kind == EntryKind::KeyDeleted) return false;
    if (e.root == kHkeyLocalMachine) {
        if (e.kind == EntryKind::Key) return StartsWith(std::string(kActiveSetupKey) + "\\", e.path + "\\");
        if (!EqualsNoCase(e.path, kActiveSetupKey)) return false;
        for (const char* name : {"", "StubPath", "Version", "IsInstalled"})
            if (EqualsNoCase(e.value.name, name)) return true;
        return false;
    }
    if (e.root != kHkeyUsers) return false;
    const std::size_t cut = e.path.find('\\');
    if (cut == std::string::npos || !StartsWith(e.path, "S-1-") || e.path.find("\\..") != std::string::npos)
        return false;
    return IsProfileKey(e.path.substr(cut + 1)) &&
           (e.kind == EntryKind::Key || EqualsNoCase(e.value.name, "TRUSTEDPATHS"));
}
}  // namespace

bool WithinInstallScope(const JournalEntry& e, const std::string& folder) {
    switch (e.kind) {
        case EntryKind::User:
            // A SID: "S-" and digits and dashes, nothing a path or key could hide in.
            return e.path.size() > 2 && e.path.compare(0, 2, "S-") == 0 &&
                   e.path.find_first_not_of("0123456789-", 2) == std::string::npos;
        case EntryKind::Folder: {
            // The plug-in's folder and the levels above it that the install made (never a drive).
            return EqualsNoCase(e.path, folder) ||
                   (e.path.size() > 3 && IsAbsolutePath(e.path) && Inside(folder, e.path));
        }
        case EntryKind::File:
        case EntryKind::Replaced:
        case EntryKind::PendingFile:
        case EntryKind::PendingReplaced:
            if (!IsNewFile(e.kind) && !Inside(e.backup, JoinPath(folder, Journal::kBackupFolder))) return false;
            return Inside(e.path, folder) || (IsAbsolutePath(e.path) && IsSupportFile(e.path));
        case EntryKind::Key:
        case EntryKind::KeyDeleted:
        case EntryKind::Value: {
            if (IsEveryUserEntry(e)) return true;
            const bool entryKey = EqualsNoCase(e.path, kUninstallKey);
            if (e.kind == EntryKind::KeyDeleted) return e.root == kHkeyLocalMachine && IsLoaderKey(e.path);
            if (e.root == kHkeyLocalMachine && IsLoaderKey(e.path))
                return e.kind == EntryKind::Key || IsLoaderValue(e.value.name);
            if (e.root == kHkeyCurrentUser && IsProfileKey(e.path))
                return e.kind == EntryKind::Key || EqualsNoCase(e.value.name, "TRUSTEDPATHS");
            // The entry in the list of programs, and the keys above it that may have been made.
            if (e.kind == EntryKind::Key)
                return entryKey || StartsWith(kUninstallKey, e.path + "\\");
            return entryKey;
        }
    }
    return false;
}

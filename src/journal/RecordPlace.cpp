#include "journal/RecordPlace.h"

#include "journal/Journal.h"

#include "text/Sha256.h"
#include "text/PathText.h"
#include "text/Text.h"

const char* const kRecordsFolder = "Korvel-Tarnwick";

namespace {
// %NAME% expanded, without a trailing backslash; false when it names no drive path.
bool DriveFolder(Files& files, const char* variable, std::string& folder) {
    std::string expanded;
    if (!files.ExpandVariables(variable, expanded) || !IsDrivePath(expanded)) return false;
    DropTrailingSeparator(expanded);
    folder = expanded;
    return true;
}
}  // namespace

bool RecordRoots(Files& files, std::vector<std::string>& roots) {
    roots.clear();
    std::string folder;
    if (DriveFolder(files, "%ProgramData%", folder)) roots.push_back(JoinPath(folder, kRecordsFolder));
    if (DriveFolder(files, "%ProgramFiles%", folder)) roots.push_back(JoinPath(folder, "Korvel-Tarnwick Records"));
    return !roots.empty();
}

namespace {
std::string RecordFolderBy(const std::string& root, std::string key) {
    DropTrailingSeparator(key);
    return JoinPath(root, Sha256Hex(key).substr(0, 16));
}
}  // namespace

std::string ProtectedRecordFolder(const std::string& root, const std::string& folder) {
    return RecordFolderBy(root, UpperCp936(folder));
}

bool ProtectedPath(Files& files, const std::string& root, const std::string& path, TrustFault& fault) {
    return CheckTrustedLevels(files, path, root, fault);
}

bool UsableRoot(Files& files, const std::string& root) {
    TrustFault fault;
    return CheckTrustedLevels(files, root, root, fault);  // a missing level passes: it is ours to make
}

bool FindProtectedRecord(Files& files, const std::string& folder, std::string& root, std::string& recordFolder) {
    std::vector<std::string> roots;
    RecordRoots(files, roots);
    for (const std::string& candidate : roots) {
        // Earlier builds folded ASCII letters alone: a folder named with other letters of the
        // code page keeps its record under that key.
        for (const std::string& there : {ProtectedRecordFolder(candidate, folder),
                                         RecordFolderBy(candidate, UpperAsciiLetters(folder))}) {
            if (UsableRoot(files, candidate) && files.ReadAttributes(there) != kInvalidAttributes) {
                root = candidate;
                recordFolder = there;
                return true;
            }
        }
    }
    return false;
}

bool RecordsOutOfSight(Files& files) {
    std::vector<std::string> roots;
    RecordRoots(files, roots);
    Protection protection;
    for (const std::string& root : roots)
        if (files.ReadAttributes(root) != kInvalidAttributes && !files.ReadProtection(root, protection)) return true;
    return false;
}

bool PrepareProtectedFolder(Files& files, const std::string& root, const std::string& recordFolder,
                            TrustFault& fault) {
    // Checked before anything is made in it, and again once made: a level someone else put in
    // the way first is refused, never used.
    if (!ProtectedPath(files, root, recordFolder, fault)) return false;
    for (const std::string& level : {root, recordFolder}) {
        if (files.CreatePrivateFolder(level)) continue;
        if (files.ReadAttributes(level) == kInvalidAttributes) {
            fault = {level, "无法创建"};
            return false;
        }
        // Made by an earlier version, with Users' read: closed now, and the record in it, so that no
        // user can hold either open against this run or a later one.
        files.MakePrivate(level);
        if (level == recordFolder) files.MakePrivate(JoinPath(level, Journal::kRecordName));
    }
    return ProtectedPath(files, root, recordFolder, fault);
}

CheckedRead ReadProtectedRecord(Files& files, const std::string& root, const std::string& path, std::string& bytes,
                                TrustFault& fault) {
    // A second name does not count against it: anyone who may read a file may give it one, and
    // that changes neither its bytes nor who may change them.
    const auto check = [&](std::uint32_t attributes, const Protection& protection) {
        const char* why =
            (attributes & kAttrDirectory) ? "不是文件" : LevelFault(attributes, protection, false, true);
        if (why) {
            fault = {path, why};
            return false;
        }
        return ProtectedPath(files, root, path.substr(0, LastSeparator(path)), fault);
    };
    const CheckedRead read = files.ReadCheckedBytes(path, check, bytes);
    if (read == CheckedRead::Failed && fault.level.empty()) fault = {path, "无法读取"};
    return read;
}

bool PrepareRecordsFolder(Files& files, std::string& records) {
    std::vector<std::string> roots;
    RecordRoots(files, roots);
    for (const std::string& root : roots) {
        TrustFault fault;
        if (PrepareProtectedFolder(files, root, root, fault)) {
            records = root;
            return true;
        }
    }
    return false;
}

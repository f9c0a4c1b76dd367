#include "journal/RecordPlace.h"

#include "text/Sha256.h"
#include "text/PathText.h"
#include "text/Text.h"

const char* const kRecordsFolder = "Korvel-Tarnwick";

bool ProgramDataFolder(Files& files, std::string& programData) {
    std::string expanded;
    if (!files.ExpandVariables("%ProgramData%", expanded) || !IsDrivePath(expanded)) return false;
    DropTrailingSeparator(expanded);
    programData = expanded;
    return true;
}

std::string ProtectedRecordFolder(const std::string& programData, const std::string& folder) {
    std::string key = UpperCp936(folder);
    DropTrailingSeparator(key);
    return JoinPath(JoinPath(programData, kRecordsFolder), Sha256Hex(key).substr(0, 16));
}

bool ProtectedPath(Files& files, const std::string& programData, const std::string& path, TrustFault& fault) {
    return CheckTrustedLevels(files, path, JoinPath(programData, kRecordsFolder), fault);
}

namespace {
// ProgramData lets every user make a folder of their own in it, so the records folder's name may
// be taken before the first install. Another account's folder, or a link, in its place is set
// aside under a name of its own (it stays as it is, its owner's), and the name is ours again: no
// user can keep the administrators from installing or uninstalling. True when it was set aside.
bool SetAsideSquatter(Files& files, const std::string& records) {
    const std::uint32_t attributes = files.ReadAttributes(records);
    if (attributes == kInvalidAttributes) return false;
    Protection protection;
    const bool ours = !(attributes & kAttrReparsePoint) && files.ReadProtection(records, protection) &&
                      protection.administrativeOwner;
    if (ours) return false;
    for (int n = 1; n < 100; ++n)
        if (files.Rename(records, Format("%s.untrusted-%d", records.c_str(), n))) return true;
    return false;
}
}  // namespace

bool PrepareProtectedFolder(Files& files, const std::string& programData, const std::string& recordFolder,
                            TrustFault& fault) {
    // Checked before anything is made in it, and again once made: a level someone else put in
    // the way first is refused, never used.
    const std::string records = JoinPath(programData, kRecordsFolder);
    if (!ProtectedPath(files, programData, recordFolder, fault) &&
        !(EqualsNoCase(fault.level, records) && SetAsideSquatter(files, records) &&
          ProtectedPath(files, programData, recordFolder, fault)))
        return false;
    for (const std::string& level : {records, recordFolder}) {
        if (!files.CreateLockedFolder(level) && files.ReadAttributes(level) == kInvalidAttributes) {
            fault = {level, "无法创建"};
            return false;
        }
    }
    return ProtectedPath(files, programData, recordFolder, fault);
}

bool PrepareRecordsFolder(Files& files, std::string& records) {
    std::string programData;
    TrustFault fault;
    if (!ProgramDataFolder(files, programData)) return false;
    records = JoinPath(programData, kRecordsFolder);
    return PrepareProtectedFolder(files, programData, records, fault);
}

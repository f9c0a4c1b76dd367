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

bool PrepareProtectedFolder(Files& files, const std::string& programData, const std::string& recordFolder,
                            TrustFault& fault) {
    // Checked before anything is made in it, and again once made: a level someone else put in
    // the way first is refused, never used.
    if (!ProtectedPath(files, programData, recordFolder, fault)) return false;
    const std::string records = JoinPath(programData, kRecordsFolder);
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

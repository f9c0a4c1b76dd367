#include "setup/UninstallRun.h"

#include "catalogue/HostCatalogue.h"
#include "catalogue/HostCheck.h"
#include "text/PathText.h"
#include "text/Text.h"
#include "journal/RecordPlace.h"
#include "journal/Scope.h"
#include "journal/UninstallEntry.h"
#include "register/UserHives.h"
#include "setup/InstallRun.h"

namespace {
const char kConfirm[] =
    "确定要卸载 Korvel-Tarnwick 插件吗？\n\n将删除插件的文件，并撤销安装时对AutoCAD所做的设置。";
const char kHostRunning[] = "请关闭AutoCAD后再进行卸载 !\n\n关闭后请单击“重试”。";
const char kNoRecordFormat[] =
    "未找到卸载记录：\n\n%s\n\n插件可能已经卸载。没有做任何更改。";
const char kDamagedFormat[] =
    "卸载记录已损坏：\n\n%s\n\n为避免误删文件，卸载已停止，没有做任何更改。";
const char kUnsafeFormat[] =
    "卸载记录所在的位置不安全：\n\n%s\n\n%s：%s。为避免执行他人改动过的记录，卸载已停止，没有做任何更改。";
const char kDone[] = "Korvel-Tarnwick 插件已卸载。";
const char kLeftHeader[] = "Korvel-Tarnwick 插件已卸载，但以下内容未能删除或还原：";
const char kUnreachedHeader[] =
    "以下用户当前未登录，卸载无法修改其AutoCAD配置，其中的受信任路径仍保留插件文件夹（文件夹已删除）：";
const char kProfileKept[] = "受信任路径无法修改，保留不动";
constexpr std::size_t kListed = 10;

// Whether the record holds the Active Setup component: the install ran for every user.
bool ForEveryUser(const std::vector<JournalEntry>& entries) {
    for (const JournalEntry& e : entries)
        if (e.kind == EntryKind::Value && e.root == kHkeyLocalMachine && EqualsNoCase(e.path, kActiveSetupKey))
            return true;
    return false;
}

// Up to kListed lines of items, then how many more.
std::string Listed(const std::vector<std::string>& items) {
    std::string text;
    for (std::size_t i = 0; i < items.size() && i < kListed; ++i) text += "\n" + items[i];
    if (items.size() > kListed) text += Format("\n……另有 %d 项", static_cast<int>(items.size() - kListed));
    return text;
}
}  // namespace

std::vector<OtherInstall> UninstallRun::OtherInstalls(const std::string& folder,
                                                     const std::vector<JournalEntry>& entries, bool elevated,
                                                     const std::string& programData, const InstallScope& ours) {
    // The one the entry in the list of programs names now, and those our record saw: in the
    // entry it replaced, the loader keys it deleted, the trusted paths it found; and those that
    // the records of the installs found so saw, since ours may not have met them.
    std::vector<std::string> candidates;
    std::string registered;
    if (FindInstalledFolder(registry_, registered, elevated)) candidates.push_back(registered);
    const auto plugInFolder = [&candidates](const std::string& text) {
        std::string path = text.substr(0, text.find('\0'));
        const std::string sub = kInstallSubFolder;
        const std::size_t at = UpperCp936(path).rfind(UpperCp936(sub));
        if (at != std::string::npos && (at + sub.size() == path.size() || path[at + sub.size()] == '\\'))
            candidates.push_back(path.substr(0, at + sub.size()));
    };
    const auto seen = [&](const std::vector<JournalEntry>& record) {
        for (const JournalEntry& e : record) {
            if (e.kind == EntryKind::Value && e.hadOld && EqualsNoCase(e.path, kUninstallKey) &&
                EqualsNoCase(e.value.name, "InstallLocation"))
                plugInFolder(e.old.bytes);
            if (e.kind == EntryKind::Value && e.hadOld && EqualsNoCase(e.value.name, "TRUSTEDPATHS")) {
                const std::string& text = e.old.bytes;
                for (std::size_t start = 0; start < text.size();) {
                    std::size_t end = text.find(';', start);
                    if (end == std::string::npos) end = text.size();
                    plugInFolder(text.substr(start, end - start));
                    start = end + 1;
                }
            }
            if (e.kind == EntryKind::KeyDeleted)
                for (const RecordedValue& v : e.values)
                    if (EqualsNoCase(v.name, "LOADER")) plugInFolder(v.bytes);
        }
    };
    seen(entries);
    std::vector<OtherInstall> others;
    for (std::size_t next = 0; next < candidates.size(); ++next) {
        const std::string candidate = candidates[next];
        bool known = EqualsNoCase(candidate, folder) || !IsCanonicalPath(candidate);
        for (const OtherInstall& other : others) known = known || EqualsNoCase(other.folder, candidate);
        if (known) continue;
        OtherInstall other{candidate, {}, elevated ? ProtectedRecordFolder(programData, candidate) : candidate};
        // Present: its record is there, where no one else could have changed it, reads, and
        // names only what an install does: what it holds is then its own.
        TrustFault fault;
        const std::string record = JoinPath(other.recordFolder, Journal::kRecordName);
        if (elevated && !ProtectedPath(files_, programData, record, fault)) continue;
        if (Journal::Load(files_, codec_, other.recordFolder, other.entries) != RecordState::Loaded) continue;
        InstallScope scope = ours;
        scope.folder = other.folder;
        scope.recordFolder = other.recordFolder;
        bool inScope = true;
        for (const JournalEntry& e : other.entries) inScope = inScope && WithinInstallScope(e, scope);
        if (!inScope) continue;
        others.push_back(other);
        seen(others.back().entries);
    }
    return others;
}

void UninstallRun::UntrustForEveryUser(const std::string& folder) {
    std::vector<UserHive> hives{UserHive{}};
    for (const std::string& sid : LoggedOnUsers(registry_)) hives.push_back(UserHive{kHkeyUsers, sid});
    std::vector<UntouchedProfile> kept;
    for (const UserHive& hive : hives) {
        UntrustFolderInHive(registry_, hive, folder, kept);
        ForgetUserSetup(registry_, hive);
    }
    for (const UntouchedProfile& profile : kept) result.left.push_back({profile.profile, kProfileKept});
    for (const AbsentUser& user : UsersNotLoggedOn(registry_))
        unreachedUsers.push_back((user.profileFolder.empty() ? user.sid : user.profileFolder + " (" + user.sid + ")"));
}

bool LocateInstall(Registry& registry, const std::string& self, bool elevated, std::string& folder) {
    const std::size_t cut = LastSeparator(self);
    if (cut != std::string::npos && EqualsNoCase(self.substr(cut + 1), kUninstallProgram)) {
        folder = self.substr(0, cut);
        return true;
    }
    return FindInstalledFolder(registry, folder, elevated);
}

int UninstallRun::Say(const std::string& text, unsigned type, bool quiet, int quietAnswer) {
    messages.push_back(text);
    return quiet ? quietAnswer : prompt_.Show(text, kSetupCaption, type);
}

int UninstallRun::Run(const std::string& folder, const std::string& self, bool quiet) {
    result = UndoResult{};
    if (!quiet && prompt_.Show(kConfirm, kSetupCaption, kMbYesNo | kMbIconQuestion) != kIdYes)
        return kExitCancelled;
    if (IsHostRunning(processes_)) {
        // Refused once: the user may close the host and go on, or give up.
        if (Say(kHostRunning, kMbRetryCancel | kMbIconExclamation, quiet, kIdCancel) != kIdRetry)
            return quiet ? kExitHostRunning : kExitCancelled;
    }

    // With administrator rights the record lies in a protected folder of its own, and is used
    // only while no one else could have changed it or any folder above it.
    const bool elevated = processes_.RunsElevated();
    std::string recordFolder = folder, programData;
    if (elevated) {
        if (!ProgramDataFolder(files_, programData)) {
            Say(Format(kNoRecordFormat, "%ProgramData%"), kMbOk | kMbIconExclamation, quiet, kIdOk);
            return kExitNoRecord;
        }
        recordFolder = ProtectedRecordFolder(programData, folder);
    }
    const std::string record = JoinPath(recordFolder, Journal::kRecordName);
    TrustFault fault;
    if (elevated && files_.ReadAttributes(record) != kInvalidAttributes &&
        !ProtectedPath(files_, programData, record, fault)) {
        Say(Format(kUnsafeFormat, record.c_str(), fault.level.c_str(), fault.why.c_str()), kMbOk | kMbIconExclamation,
            quiet, kIdOk);
        return kExitNoRecord;
    }
    std::vector<JournalEntry> entries;
    switch (Journal::Load(files_, codec_, recordFolder, entries)) {
        case RecordState::Missing:
            Say(Format(kNoRecordFormat, record.c_str()), kMbOk | kMbIconExclamation, quiet, kIdOk);
            return kExitNoRecord;
        case RecordState::Damaged:
            Say(Format(kDamagedFormat, record.c_str()), kMbOk | kMbIconExclamation, quiet, kIdOk);
            return kExitNoRecord;
        case RecordState::Loaded:
            break;
    }
    InstallScope scope{folder, recordFolder, {}, &files_, elevated};
    {
        // The hosts installed now: the only folders outside the plug-in's that the undo may touch.
        HostCatalogue hosts(registry_, files_, prompt_);
        hosts.ScanInstalledReleases();
        for (const StringList& folders : hosts.hostFolders)
            scope.hostFolders.insert(scope.hostFolders.end(), folders.begin(), folders.end());
    }
    for (const JournalEntry& entry : entries) {
        if (!WithinInstallScope(entry, scope)) {
            Say(Format(kDamagedFormat, record.c_str()), kMbOk | kMbIconExclamation, quiet, kIdOk);
            return kExitNoRecord;
        }
    }

    progress_.SetRange(0, static_cast<int>(entries.size()));
    progress_.SetStep(1);
    progress_.SetPos(0);
    result = Undo(registry_, files_, entries, folder, self, OtherInstalls(folder, entries, elevated, programData, scope),
                  progress_, processes_.UserSid(), recordFolder);
    // What another install lives in now is its record's to remove.
    for (const auto& handed : result.handed) {
        Journal record(files_, codec_);
        record.Arm(handed.first);
        if (record.Place(elevated).empty()) {
            record.Add(handed.second);
            record.Flush();
        }
    }
    unreachedUsers.clear();
    if (ForEveryUser(entries)) UntrustForEveryUser(folder);
    // Users not logged on are named, but do not make the uninstall incomplete: there are nearly
    // always some, and nothing this run could do would reach them.
    const std::string unreached = unreachedUsers.empty() ? std::string()
                                                         : std::string("\n\n") + kUnreachedHeader + Listed(unreachedUsers);

    if (result.left.empty()) {
        Say(kDone + unreached, kMbOk | kMbIconInformation, quiet, kIdOk);
        return kExitFinished;
    }
    std::vector<std::string> left;
    for (const LeftBehind& item : result.left) left.push_back(Format("%s（%s）", item.what.c_str(), item.why.c_str()));
    Say(kLeftHeader + Listed(left) + unreached, kMbOk | kMbIconExclamation, quiet, kIdOk);
    return kExitUninstallIncomplete;
}

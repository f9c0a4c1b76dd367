#include "setup/UninstallRun.h"

#include <algorithm>
#include <map>
#include <memory>

#include "catalogue/HostCatalogue.h"
#include "catalogue/HostCheck.h"
#include "text/PathText.h"
#include "text/Text.h"
#include "journal/CodeGuard.h"
#include "journal/RecordPlace.h"
#include "journal/Scope.h"
#include "journal/UninstallEntry.h"
#include "register/TrustedPathValue.h"
#include "register/UserHives.h"
#include "setup/InstallRun.h"
#include "setup/ProfileHives.h"

namespace {
const char kConfirm[] =
    "确定要卸载 Korvel-Tarnwick 插件吗？\n\n将删除插件的文件，并撤销安装时对AutoCAD所做的设置。";
const char kHostRunning[] = "请关闭AutoCAD后再进行卸载 !\n\n关闭后请单击“重试”。";
const char kHostRunningQuiet[] = "AutoCAD正在运行，卸载已停止，没有做任何更改。";
const char kNoRecordFormat[] =
    "未找到卸载记录：\n\n%s\n\n插件可能已经卸载。没有做任何更改。";
const char kDamagedFormat[] =
    "卸载记录已损坏：\n\n%s\n\n为避免误删文件，卸载已停止，没有做任何更改。";
const char kUnsafeFormat[] =
    "卸载记录所在的位置不安全：\n\n%s\n\n%s：%s。为避免执行他人改动过的记录，卸载已停止，没有做任何更改。";
const char kDone[] = "Korvel-Tarnwick 插件已卸载。";
const char kLeftHeader[] = "Korvel-Tarnwick 插件已卸载，但以下内容未能删除或还原：";
const char kNeedsAdminFormat[] =
    "卸载需要管理员权限：\n\n%s\n\n此插件由管理员安装，其卸载记录保存在只有管理员可以更改的位置。请以管理员身份运行卸载程序。没有做任何更改。";
const char kUnreachedHeader[] =
    "以下未登录用户的注册表无法加载或卸载，卸载未能确认其AutoCAD配置已修改，其中的受信任路径可能仍保留插件文件夹（文件夹已删除）：";
const char kProfilesUnread[] = "本机用户列表（ProfileList）无法完整读取，可能有用户未列出";
const char kProfileKept[] = "受信任路径无法修改，保留不动";
const char kRecordIsLink[] = "是指向别处的注册表链接，未跟随，未删除";
const char kRecordKeptFormat[] = "无法删除（错误 %ld）";
const char kCodeRefused[] = "未还原：它会指向 %s，但%s";
constexpr std::size_t kListed = 10;

// Why a user's hive was not reached, as the report says it.
std::string Why(const HiveVisit& visit) {
    switch (visit.fault) {
        case HiveFault::None: break;
        case HiveFault::ProfilePath: return "配置文件路径不是本机驱动器上的普通路径";
        case HiveFault::NoProfileFolder: return "配置文件夹不存在（或为未保存在本机的漫游配置文件）";
        case HiveFault::NoHiveFile: return "配置文件夹中没有 NTUSER.DAT";
        case HiveFault::Link: return "配置文件夹或 NTUSER.DAT 是链接或不是普通文件，未加载";
        case HiveFault::InUse: return "其注册表正在使用中（可能在其他会话中）";
        case HiveFault::NotLoaded: return Format("其注册表无法加载（错误 %ld）", visit.error);
        case HiveFault::NotUnloaded: return Format("其注册表已修改，但未能卸载（错误 %ld）", visit.error);
    }
    return std::string();
}

// Whether the install ran for every user: the record holds the Active Setup component, or a
// change in another user's registry.
bool ForEveryUser(const std::vector<JournalEntry>& entries) {
    for (const JournalEntry& e : entries)
        if ((e.kind == EntryKind::Value && e.root == kHkeyLocalMachine && EqualsNoCase(e.path, kActiveSetupKey)) ||
            e.root == kHkeyUsers)
            return true;
    return false;
}

// What the record holds of the profiles of the user sid: the state each profile's trusted paths
// were in before the install first changed them.
std::vector<RecordedTrust> RecordedTrustOf(const std::vector<JournalEntry>& entries, const std::string& sid) {
    std::vector<RecordedTrust> recorded;
    if (sid.empty()) return recorded;
    const std::string prefix = sid + "\\";
    const std::string variables = "\\Variables";
    for (const JournalEntry& e : entries) {
        if (e.root != kHkeyUsers || e.path.size() <= prefix.size() || !EqualsNoCase(e.path.substr(0, prefix.size()), prefix))
            continue;
        const std::string key = e.path.substr(prefix.size());
        const bool value = e.kind == EntryKind::Value && EqualsNoCase(e.value.name, "TRUSTEDPATHS");
        const bool made = e.kind == EntryKind::Key && key.size() > variables.size() &&
                          EqualsNoCase(key.substr(key.size() - variables.size()), variables);
        if (!value && !made) continue;
        auto it = std::find_if(recorded.begin(), recorded.end(),
                               [&key](const RecordedTrust& r) { return EqualsNoCase(r.variablesKey, key); });
        if (it == recorded.end()) {
            RecordedTrust first;
            first.variablesKey = key;
            first.hadValue = value && e.hadOld;
            if (first.hadValue) first.text = e.old.bytes.substr(0, e.old.bytes.find('\0'));
            recorded.push_back(first);
            it = recorded.end() - 1;
        }
        it->madeKey = it->madeKey || made;
    }
    return recorded;
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
                                                     const InstallScope& ours) {
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
                const TrustedPathList trusted(e.old.bytes);
                for (const std::string& entry : trusted.entries()) plugInFolder(entry);
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
        OtherInstall other{candidate, {}, candidate};
        // Present: its record is there, where no one else could have changed it, reads, and
        // names only what an install does: what it holds is then its own.
        TrustFault fault;
        if (Journal::LoadFor(files_, codec_, candidate, elevated, other.recordFolder, other.entries, fault) !=
            RecordState::Loaded)
            continue;
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

void UninstallRun::UntrustForEveryUser(const std::string& folder, const std::vector<JournalEntry>& entries,
                                       const std::vector<std::string>& remaining) {
    std::vector<UserHive> hives{UserHive{}};
    const std::vector<std::string> loggedOn = LoggedOnUsers(registry_);
    for (const std::string& sid : loggedOn) hives.push_back(UserHive{kHkeyUsers, sid, ""});
    std::vector<UntouchedProfile> kept;
    // One rule for every user, whoever's hive it is and however it came to be loaded; what our
    // record holds of a user's profiles (they were logged on at the install) tells what they held.
    const auto untrust = [&](const UserHive& hive) {
        UntrustFolderInHive(registry_, hive, folder, kept, RecordedTrustOf(entries, hive.label.empty() ? hive.sid : hive.label),
                            remaining);
        for (const KeptRecord& record : ForgetUserSetup(registry_, hive))
            result.left.push_back({record.key, record.error == kErrorCantAccessFile
                                                   ? std::string(kRecordIsLink)
                                                   : Format(kRecordKeptFormat, record.error)});
    };
    for (const UserHive& hive : hives) untrust(hive);
    bool whole = true;
    const std::vector<AbsentUser> absent = UsersNotLoggedOn(registry_, loggedOn, whole);
    if (!whole) unreachedUsers.push_back(kProfilesUnread);
    for (const HiveVisit& visit : ChangeUnloadedHives(registry_, files_, absent, untrust)) {
        const AbsentUser& user = visit.user;
        const std::string name = user.profileFolder.empty() ? user.sid : user.profileFolder + " (" + user.sid + ")";
        if (visit.fault == HiveFault::None)
            reachedUsers.push_back(name);
        else
            unreachedUsers.push_back(name + "：" + Why(visit));
    }
    for (const UntouchedProfile& profile : kept) result.left.push_back({profile.profile, kProfileKept});
}

CodeGuard::Known KnownFiles(const std::string& folder, const std::vector<JournalEntry>& entries,
                           const std::vector<OtherInstall>& others) {
    // The last size and hash each record gives a file; ours last, so that it counts over another's.
    // (Not make_shared: without run-time type information it brings in a 1 KB table of mutexes.)
    std::shared_ptr<std::map<std::string, CodeGuard::Written>> written(new std::map<std::string, CodeGuard::Written>);
    CodeGuard::Known known;
    const auto add = [&written](const std::vector<JournalEntry>& record) {
        for (const JournalEntry& e : record) {
            if (!IsFileEntry(e.kind)) continue;
            const bool done = e.kind == EntryKind::File || e.kind == EntryKind::Replaced;
            (*written)[UpperCp936(e.path)] = {e.size, done ? e.hash : std::string()};
        }
    };
    for (const OtherInstall& other : others) {
        add(other.entries);
        known.folders.push_back(other.folder);
    }
    add(entries);
    known.folders.push_back(folder);
    known.file = [written](const std::string& path, CodeGuard::Written& found) {
        const auto it = written->find(UpperCp936(path));
        if (it == written->end()) return false;
        found = it->second;
        return true;
    };
    return known;
}

bool LocateInstall(Registry& registry, const std::string& self, bool elevated, std::string& folder) {
    const std::size_t cut = LastSeparator(self);
    if (cut != std::string::npos && IsUninstallerName(self.substr(cut + 1))) {
        folder = self.substr(0, cut);
        return true;
    }
    return FindInstalledFolder(registry, folder, elevated);
}

int UninstallRun::Say(const std::string& text, unsigned type, bool quiet, int quietAnswer) {
    messages.push_back(text);
    return quiet ? quietAnswer : prompt_.Show(text, kSetupCaption, type);
}

int UninstallRun::Run(const std::string& givenFolder, const std::string& givenSelf, bool quiet) {
    result = UndoResult{};
    const bool elevated = processes_.RunsElevated();
    // Compared with what records and values name of the folder, spelled as they spell it.
    std::string listed;
    if (!FindInstalledFolder(registry_, listed, elevated)) listed.clear();
    const std::string folder = Journal::Spelling(files_, codec_, givenFolder, elevated, listed);
    const std::size_t selfCut = LastSeparator(givenSelf);
    const std::string self = selfCut != std::string::npos && EqualsNoCase(givenSelf.substr(0, selfCut), givenFolder)
                                 ? folder + givenSelf.substr(selfCut)
                                 : givenSelf;
    if (!quiet && !confirmed && prompt_.Show(kConfirm, kSetupCaption, kMbYesNo | kMbIconQuestion) != kIdYes)
        return kExitCancelled;
    if (IsHostRunning(processes_)) {
        // Refused once: the user may close the host and go on, or give up.
        if (Say(quiet ? kHostRunningQuiet : kHostRunning, kMbRetryCancel | kMbIconExclamation, quiet, kIdCancel) !=
            kIdRetry)
            return quiet ? kExitHostRunning : kExitCancelled;
    }

    // With administrator rights the record lies in a protected folder of its own, and is used
    // only while no one else could have changed it or any folder above it.
    std::vector<std::string> roots;
    if (elevated && !RecordRoots(files_, roots)) {
        Say(Format(kNoRecordFormat, "%ProgramData%"), kMbOk | kMbIconExclamation, quiet, kIdOk);
        return kExitNoRecord;
    }
    std::string recordFolder, root;
    std::vector<JournalEntry> entries;
    TrustFault fault;
    const RecordState state = Journal::LoadFor(files_, codec_, folder, elevated, recordFolder, entries, fault);
    const std::string record = JoinPath(recordFolder, Journal::kRecordName);
    switch (state) {
        case RecordState::Unsafe:
            Say(Format(kUnsafeFormat, record.c_str(), fault.level.c_str(), fault.why.c_str()),
                kMbOk | kMbIconExclamation, quiet, kIdOk);
            return kExitNoRecord;
        case RecordState::Missing: {
            // An install made with administrator rights keeps its record where only they may look:
            // without them, this run cannot use it (nor see it, when its folder is there), which is
            // not the same as no install.
            const bool unseen = RecordsOutOfSight(files_) && files_.ReadAttributes(folder) != kInvalidAttributes;
            if (!elevated && (unseen || FindProtectedRecord(files_, folder, root, recordFolder))) {
                Say(Format(kNeedsAdminFormat, folder.c_str()), kMbOk | kMbIconExclamation, quiet, kIdOk);
                return kExitNeedsAdmin;
            }
            Say(Format(kNoRecordFormat, record.c_str()), kMbOk | kMbIconExclamation, quiet, kIdOk);
            return kExitNoRecord;
        }
        case RecordState::Damaged:
            Say(Format(kDamagedFormat, record.c_str()), kMbOk | kMbIconExclamation, quiet, kIdOk);
            return kExitNoRecord;
        case RecordState::Loaded:
            break;
    }
    InstallScope scope{folder, recordFolder, {}};
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
    const std::vector<OtherInstall> others = OtherInstalls(folder, entries, elevated, scope);
    // Every value the undo puts back that names code passes the one check, as the install's did:
    // a file of the plug-in's must hold what its record says was written.
    CodeGuard guard(registry_, files_);
    guard.SetElevated(elevated);
    guard.SetKnown(KnownFiles(folder, entries, others));
    const std::size_t cut = LastSeparator(self);
    const bool aside = stepAside && cut != std::string::npos && EqualsNoCase(self.substr(0, cut), folder) &&
                       stepAside(self);
    // What another install lives in now is its record's to remove.
    const HandOn handOn = [this, elevated](const std::string& other, const JournalEntry& entry) {
        Journal record(files_, codec_);
        record.Arm(other);
        if (!record.Place(elevated).empty()) return false;
        record.Add(entry);
        return record.Flush();
    };
    result = Undo(guard, files_, entries, folder, self, others, progress_, handOn, processes_.UserSid(), recordFolder);
    // Moved out already: nothing of it is left for later.
    if (aside)
        result.deferred.erase(std::remove_if(result.deferred.begin(), result.deferred.end(),
                                             [&self](const std::string& path) { return EqualsNoCase(path, self); }),
                              result.deferred.end());
    for (LeftBehind& item : result.left)
        if (const CodeGuard::Refusal* refused = guard.RefusalOf(item.what))
            item.why = Format(kCodeRefused, refused->file.c_str(), refused->why.c_str());
    reachedUsers.clear();
    unreachedUsers.clear();
    std::vector<std::string> remaining;
    for (const OtherInstall& other : others) remaining.push_back(other.folder);
    if (ForEveryUser(entries)) {
        UntrustForEveryUser(folder, entries, remaining);
    } else {
        // An install for this user alone: the undo has put their profiles back. The pass takes out
        // what the per-user step of another install kept that no install still there needs.
        std::vector<UntouchedProfile> kept;
        UntrustFolderInHive(registry_, UserHive{}, folder, kept, {}, remaining);
        for (const UntouchedProfile& profile : kept) result.left.push_back({profile.profile, kProfileKept});
    }

    if (result.left.empty() && unreachedUsers.empty()) {
        Say(kDone, kMbOk | kMbIconInformation, quiet, kIdOk);
        return kExitFinished;
    }
    // A user whose hive could not be loaded may still trust the removed folder: the uninstall
    // is incomplete, as for anything else it had to leave.
    std::vector<std::string> left;
    for (const LeftBehind& item : result.left) left.push_back(Format("%s（%s）", item.what.c_str(), item.why.c_str()));
    const std::string unreached = unreachedUsers.empty() ? std::string()
                                                         : std::string("\n\n") + kUnreachedHeader + Listed(unreachedUsers);
    Say((left.empty() ? std::string(kDone) : kLeftHeader + Listed(left)) + unreached, kMbOk | kMbIconExclamation, quiet,
        kIdOk);
    return kExitUninstallIncomplete;
}

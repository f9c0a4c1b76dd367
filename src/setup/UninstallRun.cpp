#include "setup/UninstallRun.h"

#include "catalogue/HostCatalogue.h"
#include "catalogue/HostCheck.h"
#include "text/Text.h"
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

    std::vector<JournalEntry> entries;
    const std::string record = folder + "\\" + Journal::kRecordName;
    switch (Journal::Load(files_, codec_, folder, entries)) {
        case RecordState::Missing:
            Say(Format(kNoRecordFormat, record.c_str()), kMbOk | kMbIconExclamation, quiet, kIdOk);
            return kExitNoRecord;
        case RecordState::Damaged:
            Say(Format(kDamagedFormat, record.c_str()), kMbOk | kMbIconExclamation, quiet, kIdOk);
            return kExitNoRecord;
        case RecordState::Loaded:
            break;
    }
    for (const JournalEntry& entry : entries) {
        if (!WithinInstallScope(entry, folder)) {
            Say(Format(kDamagedFormat, record.c_str()), kMbOk | kMbIconExclamation, quiet, kIdOk);
            return kExitNoRecord;
        }
    }

    progress_.SetRange(0, static_cast<int>(entries.size()));
    progress_.SetStep(1);
    progress_.SetPos(0);
    // A newer install elsewhere has taken over the entry in the list of programs.
    std::string registered;
    const bool otherInstall = FindInstalledFolder(registry_, registered) && !EqualsNoCase(registered, folder);
    result = Undo(registry_, files_, entries, folder, self, otherInstall, progress_);
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

#include "setup/UninstallRun.h"

#include "catalogue/HostCatalogue.h"
#include "catalogue/HostCheck.h"
#include "text/PathText.h"
#include "text/Text.h"
#include "journal/RecordPlace.h"
#include "journal/Scope.h"
#include "journal/UninstallEntry.h"
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
constexpr std::size_t kListed = 10;
}  // namespace

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
    // A newer install elsewhere has taken over the entry in the list of programs.
    std::string registered;
    const bool otherInstall = FindInstalledFolder(registry_, registered) && !EqualsNoCase(registered, folder);
    result = Undo(registry_, files_, entries, folder, self, otherInstall, progress_, recordFolder);

    if (result.left.empty()) {
        Say(kDone, kMbOk | kMbIconInformation, quiet, kIdOk);
        return kExitFinished;
    }
    std::string text = kLeftHeader;
    for (std::size_t i = 0; i < result.left.size() && i < kListed; ++i)
        text += Format("\n%s（%s）", result.left[i].what.c_str(), result.left[i].why.c_str());
    if (result.left.size() > kListed)
        text += Format("\n……另有 %d 项", static_cast<int>(result.left.size() - kListed));
    Say(text, kMbOk | kMbIconExclamation, quiet, kIdOk);
    return kExitUninstallIncomplete;
}

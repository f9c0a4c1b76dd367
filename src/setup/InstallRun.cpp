#include "setup/InstallRun.h"

#include <algorithm>
#include <cstring>

#include "catalogue/HostCheck.h"
#include "text/PathText.h"
#include "deploy/InstallFolder.h"
#include "deploy/PackageCopy.h"
#include "deploy/PackageFolder.h"
#include "deploy/PathLimits.h"
#include "pathdialog/FolderValidation.h"
#include "setup/RegistrationWarning.h"
#include "setup/SetupControls.h"
#include "setup/Usage.h"
#include "setuplog/RunFacts.h"

const char* const kInstallSubFolder = "\\Korvel-Tarnwick";

namespace {
const char kHostRunning[] = "请关闭AutoCAD后再进行安装 !";
const char kFolderMissing[] = "请输入安装路径 !";
const char kFolderRefused[] =
    "安装路径无效 !\n\n请输入以盘符开头的完整路径，例如 C:\\Korvel。\n"
    "路径中不能含有 ; \" * ? < > | 等字符，也不能含有本机代码页无法表示的字符。";
const char kFolderRedirected[] =
    "安装路径中的以下文件夹是一个链接（目录联接或符号链接），不能经由它安装：\n\n%s\n\n"
    "请选择其他安装路径 !";
const char kFolderForeignOwner[] =
    "安装路径中的以下文件夹属于 %s，而不属于管理员，其他用户可能更改过其中的文件：\n\n%s\n\n"
    "请选择其他安装路径 !";
const char kForeignDrive[] =
    "安装路径所在的驱动器 %s 是%s，其权限不由本机管理，以管理员身份安装时不能使用。\n\n"
    "请选择本机硬盘上的安装路径 !";
const char kCodeRefused[] =
    "以下注册表值会让AutoCAD或Windows运行其中所指的文件，但该文件不可信，因此没有写入：\n%s\n\n安装已停止。";
const char kStrangers[] =
    "安装文件夹中的以下内容既不属于安装包，也没有安装记录，可能是其他用户放置的。已保留不动，"
    "但不会被登记或加载，请检查：";
const char kNotBackedUp[] = "以下文件无法备份，为保证卸载时能够还原，未作替换：";
const char kInstallFolderNotMade[] = "无法创建安装文件夹：\n\n%s\n\n请选择其他安装路径 !";
const char kFolderUnprotected[] = "安装路径中的以下文件夹%s：\n\n%s\n\n请选择其他安装路径 !";
}  // namespace

InstallRun::InstallRun(SetupView& view, SetupMembers& members, ProgressSink& progressBar,
                       HostCatalogue& catalogue, Files& files, Processes& processes,
                       bool& hostCheckArmed, SetupLog& log)
    : view_(view),
      members_(members),
      progressBar_(progressBar),
      catalogue_(catalogue),
      files_(files),
      processes_(processes),
      hostCheckArmed_(hostCheckArmed),
      log_(log) {}

SetupState InstallRun::OnInstall() {
    if (state_ != SetupState::Choosing) return state_;  // the button is gone by then

    // Asked only while armed: the first refusal disarms it for good, so a user who cannot
    // close the host may still install on the second press.
    if (hostCheckArmed_ && IsHostRunning(processes_)) {
        view_.Show(kHostRunning, kSetupCaption, kMbOk);
        hostCheckArmed_ = false;
        return state_;
    }

    view_.PullMembers();
    std::string& folder = members_.folderText;
    if (folder.empty()) {
        // Nothing to cut and nowhere to install: ask for a folder and change nothing.
        view_.Show(kFolderMissing, kSetupCaption, kMbOk);
        return state_;
    }
    DropTrailingSeparator(folder);
    folderUnsafe_ = false;
    if (!AcceptFolder(folder)) return state_;
    if (!OfferElevation(folder)) return state_;
    // The folder as the install's records and values name it, its stored names held to the rules
    // of typed ones.
    if (journal_) {
        const std::string plugin = journal_->Spelling(folder + kInstallSubFolder, processes_.RunsElevated());
        folder = plugin.substr(0, plugin.size() - std::strlen(kInstallSubFolder));
        if (!AcceptFolder(folder)) return state_;
    }
    // Recording starts before the folders are made, so that undo removes them; the record
    // itself is looked for only once they are proven.
    if (journal_) journal_->Begin(folder + kInstallSubFolder);
    if (!PrepareFolders(folder)) {
        // The levels made before the one refused go again.
        if (journal_) journal_->Finish(false);
        return state_;
    }
    if (journal_) {
        const std::string refused = journal_->Prepare(processes_.RunsElevated());
        if (!refused.empty()) {
            folderUnsafe_ = true;
            view_.Show(refused, kSetupCaption, kMbOk | kMbIconExclamation);
            return state_;
        }
    }
    folder += kInstallSubFolder;

    const bool installed = RunInstall();
    // Whatever was done so far can be undone, a stopped run's copies included.
    if (journal_) journal_->Finish(installed);
    if (!installed) return state_;

    LogRegistrationOutcome(log_, catalogue_, members_.releaseFlags);
    std::string warning = RegistrationWarning(catalogue_, members_.releaseFlags);
    // A host's file whose content could not be kept for the uninstall first was not replaced.
    std::string unkept;
    for (const std::string& path : journal_ ? journal_->UnkeptFiles() : std::vector<std::string>()) {
        if (path.compare(0, folder.size() + 1, folder + "\\") == 0) continue;  // the payload copy asked
        log_.Line("not replaced, its content could not be backed up for the uninstall: " + path);
        unkept += "\n" + path;
        ++unkeptHostFiles_;
    }
    if (!unkept.empty()) warning += (warning.empty() ? "" : "\n\n") + std::string(kNotBackedUp) + unkept;
    // Kept, as the install keeps what is not in the package, but named: no value names them.
    std::string strangers;
    for (const std::string& path : journal_ && reclaimed_ ? journal_->Unaccounted() : std::vector<std::string>()) {
        log_.Line("not the plug-in's, kept and not used: " + path);
        strangers += "\n" + path;
    }
    for (const std::string& path : setAside_) strangers += "\n" + path;  // logged as they were left
    warningShown_ = !warning.empty();
    if (!strangers.empty()) warning += (warning.empty() ? "" : "\n\n") + std::string(kStrangers) + strangers;
    if (!warning.empty()) view_.Show(warning, kSetupCaption, kMbOk | kMbIconExclamation);
    ShowFinishedView();
    state_ = SetupState::Finished;
    return state_;
}

bool InstallRun::AcceptFolder(const std::string& folder) {
    // Only an absolute folder, named by whole characters that a path may hold: a relative one
    // would land wherever the current folder is, and a ';' would make the hosts trust more than
    // this folder. A drive root ("C:", its backslash cut) is one.
    // Nor one that is there under a name that a typed one could not be (typed by its short name).
    const bool driveRoot = folder.size() == 2 && IsDrivePath(folder + "\\");
    bool odd = false;
    if (!driveRoot) StoredSpelling(files_, folder, &odd);
    const bool valid = folder.find('\0') == std::string::npos && !odd &&
                       (driveRoot || WalkFolderPath(files_, folder.c_str(), 1) == kFolderAcceptable);
    if (!valid) {
        view_.Show(kFolderRefused, kSetupCaption, kMbOk | kMbIconExclamation);
        return false;
    }
    // Everything below is composed in path buffers: refuse now, before a folder is made.
    if (!FitsBuffer(folder + kInstallSubFolder)) {
        view_.Show(kTargetPathTooLong, kSetupCaption, kMbOk | kMbIconExclamation);
        return false;
    }
    return true;
}

bool InstallRun::OfferElevation(const std::string& folder) {
    if (elevation_ == nullptr || !elevation_->Needed(members_.releaseFlags)) return true;
    log_.Line("administrator rights needed: a loader key of " + ReleaseNames(members_.releaseFlags) +
              " is not writable for this run");
    if (view_.Show(kElevationQuestion, kSetupCaption, kMbYesNo | kMbIconQuestion) != kIdYes) return true;
    int code = kExitCancelled;
    if (!elevation_->Relaunch(folder, members_.releaseFlags, !hostCheckArmed_, code)) {
        // Refused at Windows' own question: the dialog stays as it was.
        log_.Line("the program was not started again with administrator rights");
        return false;
    }
    log_.Line(Format("the program ran again with administrator rights and ended with %d; its lines are in the "
                     "administrators' default log",
                     code));
    relaunchedExit_ = code;
    state_ = SetupState::Relaunched;
    view_.CloseCancelled();
    return false;
}

bool InstallRun::PrepareFolders(const std::string& folder) {
    // One level each; without administrator rights a failure shows later, in the payload copy.
    const bool elevated = processes_.RunsElevated();
    const PreparedFolders prepared = PrepareInstallFolders(files_, folder, kInstallSubFolder, elevated,
                                                           elevated && journal_ && journal_->ProtectedRecordThere());
    reclaimed_ = prepared.reclaimed;
    setAside_ = prepared.left;
    for (const std::string& path : prepared.unlinked)
        log_.Line("a file with another name elsewhere (a hard link) is not relocked; its name here is removed, and "
                  "the install makes it anew: " + path);
    for (const std::string& path : prepared.left)
        log_.Line("not moved into the plug-in's folder made anew; it stays where it is: " + path);
    if (prepared.outcome == FolderOutcome::Ready) return true;
    folderUnsafe_ = true;
    const char* format = nullptr;
    switch (prepared.outcome) {
        case FolderOutcome::Ready: return true;
        case FolderOutcome::Redirected: format = kFolderRedirected; break;
        case FolderOutcome::NotMade: format = kInstallFolderNotMade; break;
        case FolderOutcome::ForeignOwner:
            view_.Show(Format(kFolderForeignOwner, prepared.why.empty() ? "其他用户" : prepared.why.c_str(),
                              prepared.refused.c_str()),
                       kSetupCaption, kMbOk | kMbIconExclamation);
            return false;
        case FolderOutcome::ForeignDrive:
            view_.Show(Format(kForeignDrive, prepared.refused.c_str(), prepared.why.c_str()), kSetupCaption,
                       kMbOk | kMbIconExclamation);
            return false;
        case FolderOutcome::Unprotected:
            view_.Show(Format(kFolderUnprotected, prepared.why.c_str(), prepared.refused.c_str()), kSetupCaption,
                       kMbOk | kMbIconExclamation);
            return false;
    }
    view_.Show(Format(format, prepared.refused.c_str()), kSetupCaption, kMbOk | kMbIconExclamation);
    return false;
}

bool InstallRun::RunInstall() {
    view_.ShowControl(kControlFolderPrompt, false);
    view_.ShowControl(kControlFolderEdit, false);
    view_.ShowControl(kControlBrowse, false);
    view_.ShowControl(kControlProgress, true);
    progressBar_.SetRange(0, 50);
    progressBar_.SetStep(1);
    progressBar_.SetPos(0);
    LogChoice(log_, members_.releaseFlags, members_.folderText);

    // The uninstaller and the entry come before the first change, and only for a package that is
    // there: a run that finds none changes nothing and is not listed.
    std::string package;
    if (!LocatePackageFolder(files_, view_, package)) return Stop("the package was not found");
    if (journal_) {
        const std::string refused = journal_->Start();
        if (!refused.empty()) {
            view_.Show(refused, kSetupCaption, kMbOk | kMbIconExclamation);
            return Stop("before its first change: " + refused);
        }
    }
    {
        PackageCopy copy(files_, view_, members_.folderText, progressBar_);
        // The bytes copied fill the bar but for the three steps of the phases after the copy.
        copy.barEnd = 47;
        const bool copied = copy.Run();
        skippedFiles_ = copy.skippedFiles;
        skippedPaths_ = copy.skippedPaths;
        for (const std::string& path : copy.skippedPaths) log_.Line("skipped " + path);
        // Files copied so far stay; nothing is registered and no host folder is touched.
        if (!copied) return Stop("the package was not copied");
    }
    progressBar_.StepIt();
    // The loader entries name files in this folder, so it is stored before they are written; and
    // the host libraries they name are placed first, so that each loader is written over a file
    // that is there and can be checked.
    catalogue_.SetInstallFolder(members_.folderText);
    catalogue_.CopySupportFiles(members_.releaseFlags);
    LogSupportFilesAbsent(log_, catalogue_);
    progressBar_.StepIt();
    catalogue_.RegisterReleases(members_.releaseFlags);
    std::string refused;
    ReleaseFlags passedOver{};
    for (const CodeRefusal& refusal : journal_ ? journal_->Refused() : std::vector<CodeRefusal>()) {
        // The module of a file the user chose to pass over is not there: its loader names
        // nothing, and is not written; the run goes on, as it does after Ignore.
        if (std::any_of(skippedPaths_.begin(), skippedPaths_.end(),
                        [&](const std::string& path) { return EqualsNoCase(path, refusal.file); })) {
            log_.Line("not written, its file was skipped: " + refusal.value + " = " + refusal.file);
            for (const ReleaseRow& row : ReleaseTable)
                if (UpperCp936(refusal.value).find(Format("\\APPLICATIONS\\KORVEL%d\\", row.year)) != std::string::npos) {
                    catalogue_.registrationFailed[row.index] = false;  // skipped, as the user chose
                    passedOver[row.index] = 1;
                }
            continue;
        }
        // A product whose host folder is gone (an entry its uninstall left behind) has no
        // library to name: it is passed over, and its release marked, as a product without a host
        // folder is. Only a library's loader, and only for a file not there in a folder not there.
        const std::string holder = refusal.file.substr(0, refusal.file.find_last_of('\\'));
        const ReleaseRow* library = nullptr;
        for (const ReleaseRow& row : ReleaseTable)
            if (UpperCp936(refusal.value).find(Format("\\APPLICATIONS\\KORVEL%dDLL\\", row.year)) != std::string::npos)
                library = &row;
        if (library && refusal.why == kRefusedMissing && files_.ReadAttributes(holder) == kInvalidAttributes) {
            log_.Line("not written, its host folder is gone: " + refusal.value + " = " + refusal.file + " (" +
                      refusal.why + ")");
            catalogue_.registrationFailed[library->index] = true;
            continue;
        }
        log_.Line("value refused, it would name a file not to be trusted: " + refusal.value + " = " + refusal.file +
                  " (" + refusal.why + ")");
        refused += "\n" + refusal.value + " = " + refusal.file + "（" + refusal.why + "）";
    }
    if (!refused.empty()) {
        view_.Show(Format(kCodeRefused, refused.c_str()), kSetupCaption, kMbOk | kMbIconExclamation);
        return Stop("a value that names code was refused");
    }
    if (journal_) {
        ReleaseFlags registered = members_.releaseFlags;
        for (const ReleaseRow& row : ReleaseTable)
            if (catalogue_.registrationFailed[row.index] || catalogue_.loaderTooLong[row.index] || passedOver[row.index])
                registered[row.index] = 0;
        journal_->SetReleases(registered);
    }
    // Users logged on now would otherwise wait for their next logon (or be missed, when this run
    // is a deployment tool's as SYSTEM); other users' hives are writable only with the rights, and
    // are changed only by an install that got this far.
    if (processes_.RunsElevated()) catalogue_.AddTrustedPathsForLoggedOnUsers(processes_.UserSid());
    progressBar_.StepIt();
    progressBar_.SetPos(50);
    return true;
}

bool InstallRun::Stop(const std::string& why) {
    log_.Line("install stopped: " + why);
    stopReason_ = why;
    view_.CloseCancelled();
    state_ = SetupState::Stopped;
    return false;
}

void InstallRun::ShowFinishedView() {
    view_.ShowControl(kControlFinishedText, true);
    view_.ShowControl(kControlMenusPicture, true);
    view_.ShowControl(kControlComponentsPrompt, false);
    view_.ShowControl(kControlProgress, false);
    view_.ShowControl(kControlOk, true);
    view_.ShowControl(kControlInstall, false);
    view_.ShowControl(kControlCancel, false);
    for (const ReleaseRow& row : ReleaseTable) view_.ShowControl(row.controlId, false);
    view_.PushMembers();
    ShrinkToOkButton();
}

// The OK button takes over the bottom margin that Cancel had.
void InstallRun::ShrinkToOkButton() {
    ViewRect rect = view_.WindowRect();
    const ViewRect ok = view_.ControlRect(kControlOk);
    const ViewRect cancel = view_.ControlRect(kControlCancel);
    rect.bottom += ok.bottom - cancel.bottom;
    view_.MoveTo(rect);
}

std::string InstallRun::Outcome() const {
    const int code = ExitCode();
    switch (state_) {
        case SetupState::Stopped: return ExitOutcome(code) + (stopReason_.empty() ? "" : ": " + stopReason_);
        case SetupState::Relaunched:
            return Format("the run started again with administrator rights ended with %d (%s)", code,
                          ExitOutcome(code).c_str());
        case SetupState::Choosing: return ExitOutcome(code);
        case SetupState::Finished: break;
    }
    // Which of what may be left it was, each named.
    std::vector<std::string> parts;
    if (skippedFiles_ > 0) parts.push_back(Format("%d file(s) skipped", skippedFiles_));
    std::string releases;
    for (const ReleaseRow& row : ReleaseTable)
        if (members_.releaseFlags[row.index] && (catalogue_.registrationFailed[row.index] || catalogue_.loaderTooLong[row.index]))
            releases += (releases.empty() ? "" : ", ") + Format("AutoCAD%d", row.year);
    if (!releases.empty()) parts.push_back("not registered: " + releases);
    if (!catalogue_.untouchedProfiles.empty())
        parts.push_back(Format("%d AutoCAD profile(s) whose trusted paths were left as they were",
                               static_cast<int>(catalogue_.untouchedProfiles.size())));
    if (unkeptHostFiles_ > 0) parts.push_back(Format("%d host file(s) not replaced, their content could not be backed up", unkeptHostFiles_));
    if (catalogue_.supportPackageMissing) parts.push_back("the package was gone before the hosts' files were placed");
    if (parts.empty()) return ExitOutcome(code);
    std::string text = ExitOutcome(code) + ": ";
    for (std::size_t i = 0; i < parts.size(); ++i) text += (i ? "; " : "") + parts[i];
    return text;
}

int InstallRun::ExitCode() const {
    switch (state_) {
        case SetupState::Finished:
            if (skippedFiles_ > 0) return kExitFilesSkipped;
            return warningShown_ || catalogue_.supportPackageMissing ? kExitIncomplete : kExitFinished;
        case SetupState::Stopped: return kExitStopped;
        case SetupState::Relaunched: return relaunchedExit_;
        case SetupState::Choosing: break;
    }
    return kExitCancelled;
}

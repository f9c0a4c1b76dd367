#include "setup/InstallRun.h"

#include "catalogue/HostCheck.h"
#include "deploy/PackageCopy.h"
#include "setup/RegistrationWarning.h"
#include "setup/SetupControls.h"

const char* const kInstallSubFolder = "\\Korvel-Tarnwick";

namespace {
const char kHostRunning[] = "请关闭AutoCAD后再进行安装 !";
const char kFolderMissing[] = "请输入安装路径 !";
}  // namespace

InstallRun::InstallRun(SetupView& view, SetupMembers& members, ProgressSink& progressBar,
                       HostCatalogue& catalogue, Files& files, Processes& processes,
                       bool& hostCheckArmed)
    : view_(view),
      members_(members),
      progressBar_(progressBar),
      catalogue_(catalogue),
      files_(files),
      processes_(processes),
      hostCheckArmed_(hostCheckArmed) {}

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
    if (folder.back() == '\\') folder.pop_back();
    files_.MakeDir(folder);  // one level; a failure shows later, in the payload copy
    folder += kInstallSubFolder;
    files_.MakeDir(folder);

    if (!RunInstall()) return state_;

    const std::string warning = RegistrationWarning(catalogue_, members_.releaseFlags);
    if (!warning.empty()) view_.Show(warning, kSetupCaption, kMbOk | kMbIconExclamation);
    ShowFinishedView();
    state_ = SetupState::Finished;
    return state_;
}

bool InstallRun::RunInstall() {
    view_.ShowControl(kControlFolderPrompt, false);
    view_.ShowControl(kControlFolderEdit, false);
    view_.ShowControl(kControlBrowse, false);
    view_.ShowControl(kControlProgress, true);
    progressBar_.SetRange(0, 50);
    progressBar_.SetStep(1);
    progressBar_.SetPos(0);

    {
        PackageCopy copy(files_, view_, members_.folderText, progressBar_);
        if (!copy.Run()) {
            // Files copied so far stay; nothing is registered and no host folder is touched.
            view_.CloseCancelled();
            state_ = SetupState::Stopped;
            return false;
        }
    }
    progressBar_.StepIt();
    // The loader entries name files in this folder, so it is stored before they are written.
    catalogue_.SetInstallFolder(members_.folderText);
    catalogue_.RegisterReleases(members_.releaseFlags);
    progressBar_.StepIt();
    catalogue_.CopySupportFiles(members_.releaseFlags);
    progressBar_.StepIt();
    progressBar_.SetPos(50);
    return true;
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

int InstallRun::ExitCode() const {
    switch (state_) {
        case SetupState::Finished: return kExitFinished;
        case SetupState::Stopped: return kExitStopped;
        case SetupState::Choosing: break;
    }
    return kExitCancelled;
}

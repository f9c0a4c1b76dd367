#include "setup/Unattended.h"

#include "catalogue/HostCheck.h"
#include "journal/UninstallEntry.h"
#include "text/PathText.h"
#include "text/Text.h"
#include "platform/ProgressSink.h"
#include "setup/InstallRun.h"
#include "setuplog/RunFacts.h"

namespace {
const char kHostRunning[] = "请关闭AutoCAD后再进行安装 !";

class NoProgress : public ProgressSink {
public:
    void SetRange(int, int) override {}
    void SetStep(int) override {}
    void SetPos(int) override {}
    void StepIt() override {}
};
}  // namespace

ReleaseFlags OfferedReleases(const HostCatalogue& catalogue, int bitness) {
    ReleaseFlags offered{};
    for (const ReleaseRow& row : ReleaseTable) {
        offered[row.index] = !catalogue.hostFolders[row.index].empty() &&
                             (bitness != 32 || row.shownIn32Bit);
    }
    return offered;
}

bool ChooseReleases(const ReleaseFlags& offered, const std::vector<int>& named, ReleaseFlags& flags,
                    std::string& error, const std::vector<int>& ifPresent) {
    if (named.empty() && ifPresent.empty()) {
        flags = offered;
        return true;
    }
    flags.fill(0);
    for (int year : ifPresent) {
        const ReleaseRow* row = FindRelease(year);
        if (row != nullptr && offered[row->index]) flags[row->index] = 1;
    }
    for (int year : named) {
        const ReleaseRow* row = FindRelease(year);
        if (row == nullptr || !offered[row->index]) {
            error = Format("AutoCAD%d was named but is not installed here (or not offered by this edition)", year);
            return false;
        }
        flags[row->index] = 1;
    }
    return true;
}

std::string UnattendedFolder(Registry& registry, bool elevated, std::string& how) {
    // The plug-in's own folder, which an install makes below the one chosen.
    std::string location;
    const std::size_t sub = std::char_traits<char>::length(kInstallSubFolder);
    if (!FindInstalledFolder(registry, location, elevated) || location.size() <= sub ||
        !EqualsNoCase(location.substr(location.size() - sub), kInstallSubFolder)) {
        how = "the default: no install is listed on this PC";
        return kDefaultFolder;
    }
    how = "that of the install listed on this PC";
    return location.substr(0, location.size() - sub);
}

int RunUnattended(const UnattendedChoice& choice, int bitness, HostCatalogue& catalogue,
                  Files& files, Processes& processes, Prompt& prompt, SetupLog& log, InstallJournal* journal,
                  ElevationOffer* elevation, std::string* outcome) {
    SetupMembers members;
    std::string error;
    const ReleaseFlags offered = OfferedReleases(catalogue, bitness);
    if (!ChooseReleases(offered, choice.releases, members.releaseFlags, error, choice.releasesIfPresent)) {
        log.Line("bad command line: " + error);
        return kExitBadCommandLine;
    }
    ReleaseFlags passedOver{};
    for (int year : choice.releasesIfPresent)
        if (const ReleaseRow* row = FindRelease(year)) passedOver[row->index] = !offered[row->index];
    if (passedOver != ReleaseFlags{})
        log.Line("passed over, not installed here or not offered: " + ReleaseNames(passedOver));
    bool any = false;
    for (int flag : members.releaseFlags) any = any || flag != 0;
    if (!any) {
        log.Line("nothing to install: no AutoCAD release of this edition was found");
        return kExitNothingToInstall;
    }
    // No one is there to answer a question about rights: nothing is installed, and the log and
    // the exit code say why.
    if (elevation != nullptr && elevation->Needed(members.releaseFlags)) {
        log.Line("install stopped: a loader key of " + ReleaseNames(members.releaseFlags) +
                 " is not writable without administrator rights");
        return kExitNeedsAdmin;
    }
    // No one is there to close the host and press again.
    if (IsHostRunning(processes)) {
        prompt.Show(kHostRunning, kSetupCaption, kMbOk);
        log.Line("install stopped: AutoCAD is running");
        return kExitHostRunning;
    }
    members.folderText = choice.folder;
    if (members.folderText.empty()) {
        std::string how;
        members.folderText = UnattendedFolder(catalogue.registry(), processes.RunsElevated(), how);
        log.Line("folder chosen: " + members.folderText + " (" + how + ")");
    }

    QuietView view(prompt);
    NoProgress progress;
    bool hostCheckArmed = false;  // checked above
    InstallRun run(view, members, progress, catalogue, files, processes, hostCheckArmed, log);
    run.SetJournal(journal);
    if (run.OnInstall() == SetupState::Choosing) {
        if (run.folderUnsafe()) {
            log.Line("install stopped: the folder or the place of the undo record is not safe to use");
            return kExitStopped;
        }
        // The dialog would have stayed open for another folder: the message said why.
        log.Line("bad command line: the folder was refused");
        return kExitBadCommandLine;
    }
    if (outcome != nullptr) *outcome = run.Outcome();
    return run.ExitCode();
}

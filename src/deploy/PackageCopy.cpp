#include "deploy/PackageCopy.h"

#include "catalogue/HostCatalogue.h"
#include "text/PathText.h"
#include "text/Text.h"
#include "deploy/PackageFolder.h"
#include "deploy/PathLimits.h"

namespace {
const char* const kListingFailedFormat =
    "无法读取安装文件列表：\n\n%s\n\n安装已停止，请检查安装文件是否完整后再执行SetUp.exe !";
const char* const kCopyFailedFormat =
    "拷贝文件 %s 失败，可能原因如下：\n\n1、AutoCAD未关闭\n\n2、系统权限未开放，请以管理者权限登陆系统";

// The setup program itself (present when the package is the program folder) and the two fonts,
// which go into the hosts' font folders instead.
const char* const kSkipList[] = {"SetUp.EXE", "Korvel_EN.shx", "Korvel_HZ.shx"};
}  // namespace

bool IsSkippedPackageFile(const std::string& name) {
    for (const char* skipped : kSkipList)
        if (EqualsNoCase(name, skipped)) return true;
    return false;
}

PackageCopy::PackageCopy(Files& files, Prompt& prompt, const std::string& folder,
                         ProgressSink& progress)
    : targetFolder(folder), progress(progress), files_(files), prompt_(prompt) {
    DropTrailingSeparator(targetFolder);
}

bool PackageCopy::Run() {
    std::string packageFolder;
    if (!LocatePackageFolder(files_, prompt_, packageFolder)) return false;

    // Both are composed in path buffers; refuse rather than install somewhere else.
    const std::string pattern = packageFolder + "\\*.*";
    if (!FitsBuffer(targetFolder)) {
        prompt_.Show(kTargetPathTooLong, kSetupCaption, kMbOk);
        return false;
    }
    if (!FitsBuffer(pattern)) {
        prompt_.Show(kProgramPathTooLong, kSetupCaption, kMbOk);
        return false;
    }
    files_.MakeDir(targetFolder);

    // A listing that cannot be read, from the start or part-way, installs only part of the
    // package (or none of it): that is a failed copy, never a finished one.
    const auto listingFailed = [&] {
        prompt_.Show(Format(kListingFailedFormat, packageFolder.c_str()), kSetupCaption, kMbOk);
        return false;
    };
    FindScope listing(files_);
    FindEntry entry;
    if (!listing.First(pattern, entry)) return listingFailed();

    // Every entry is examined, however many the package holds.
    for (int pass = 0;; ++pass) {
        progress.StepIt();
        if (pass > 0) {
            const FindStep step = listing.Step(entry);
            if (step == FindStep::End) break;
            if (step == FindStep::Failed) return listingFailed();
        }
        const bool skipped = entry.name == "." || entry.name == ".." ||
                             (entry.attributes & kAttrDirectory) || IsSkippedPackageFile(entry.name);
        if (!skipped && CopyEntry(packageFolder, entry.name) == Outcome::Aborted) return false;
    }
    return true;
}

PackageCopy::Outcome PackageCopy::CopyEntry(const std::string& packageFolder,
                                            const std::string& name) {
    const std::string source = packageFolder + "\\" + name;
    const std::string destination = targetFolder + "\\" + name;
    // The package's own read-only bit would travel with the copy.
    ClearReadOnly(files_, source);
    ClearReadOnly(files_, destination);
    for (;;) {
        if (files_.CopyOver(source, destination, false)) {
            ClearReadOnly(files_, destination);
            return Outcome::Done;
        }
        const int answer = prompt_.Show(Format(kCopyFailedFormat, destination.c_str()),
                                        kSetupCaption, kMbAbortRetryIgnore);
        if (answer == kIdRetry) continue;
        if (answer == kIdIgnore) {
            ++skippedFiles;
            skippedPaths.push_back(destination);
            ClearReadOnly(files_, destination);
            return Outcome::Done;
        }
        // Abort, and any answer the box cannot give (a box that failed to show): stop here.
        return Outcome::Aborted;
    }
}

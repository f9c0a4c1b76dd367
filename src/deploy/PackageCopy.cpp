#include "deploy/PackageCopy.h"

#include <map>

#include "catalogue/HostCatalogue.h"
#include "text/PathText.h"
#include "text/Text.h"
#include "deploy/PackageFolder.h"
#include "deploy/UninstallerNames.h"
#include "deploy/PathLimits.h"

namespace {
// The destination's attributes when the install folder could not be listed, and when its name
// is another file's second name.
constexpr std::uint32_t kUnknownAttributes = 0xFFFFFFFEu;
constexpr std::uint32_t kAnotherName = 0xFFFFFFFDu;

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
    // The uninstaller is the running program's own bytes, placed and proven before the copy: a
    // package file of its name would be written over what the entry names.
    return IsUninstallerName(name);
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

    // Every entry is examined, however many the package holds; the sizes set the bar's pace.
    std::vector<FindEntry> toCopy;
    for (bool first = true;; first = false) {
        if (!first) {
            const FindStep step = listing.Step(entry);
            if (step == FindStep::End) break;
            if (step == FindStep::Failed) return listingFailed();
        }
        const bool skipped = entry.name == "." || entry.name == ".." ||
                             (entry.attributes & kAttrDirectory) || IsSkippedPackageFile(entry.name);
        if (skipped) continue;
        totalBytes_ += entry.size;
        toCopy.push_back(entry);
    }
    listing.Close();

    // What the install folder holds already, read once from one listing, rather than each
    // destination looked up in turn (a name that is not there is the costly lookup: the folder is
    // searched for it).
    std::map<std::string, std::uint32_t> present;
    FindScope installed(files_);
    bool known = installed.First(targetFolder + "\\*.*", entry);
    while (known) {
        present[UpperCp936(entry.name)] = entry.attributes;
        const FindStep step = installed.Step(entry);
        if (step == FindStep::End) break;
        known = step == FindStep::Entry;
    }
    installed.Close();

    std::vector<std::string> destinations;
    for (const FindEntry& file : toCopy) destinations.push_back(targetFolder + "\\" + file.name);
    files_.WillCopy(destinations);
    for (const FindEntry& file : toCopy) {
        const auto found = present.find(UpperCp936(file.name));
        std::uint32_t attributes = !known                 ? kUnknownAttributes
                                   : found == present.end() ? kInvalidAttributes
                                                            : found->second;
        // A name the listing lacks that is there all the same is another file's short (8.3)
        // name, "UNINST~1.EXE" for uninstall.exe: copied, it would write over that file.
        if (attributes == kInvalidAttributes && file.name.find('~') != std::string::npos &&
            files_.ReadAttributes(targetFolder + "\\" + file.name) != kInvalidAttributes)
            attributes = kAnotherName;
        if (CopyEntry(packageFolder, file, attributes) == Outcome::Aborted) return false;
        bytesBefore_ += file.size;
        ShowBytes(0);
    }
    if (toCopy.empty()) ShowBytes(0);
    return true;
}

void PackageCopy::Copied(std::uint64_t bytes) {
    bytesThisTry_ += bytes;
    ShowBytes(bytesThisTry_);
}

// Set at every call, moved only forwards: a retried file counts its bytes again, and a file
// may have grown since it was listed.
void PackageCopy::ShowBytes(std::uint64_t done) {
    done += bytesBefore_;
    int position = barEnd;
    if (done < totalBytes_) position = static_cast<int>(static_cast<std::uint64_t>(barEnd) * done / totalBytes_);
    if (position > shown_) shown_ = position;
    progress.SetPos(shown_);
}

PackageCopy::Outcome PackageCopy::CopyEntry(const std::string& packageFolder, const FindEntry& file,
                                            std::uint32_t destinationAttributes) {
    const std::string source = packageFolder + "\\" + file.name;
    const std::string destination = targetFolder + "\\" + file.name;
    // The package's own read-only bit would travel with the copy, and one on the destination
    // refuses it; both are known from the listings.
    if (file.attributes & kAttrReadOnly) ClearReadOnly(files_, source);
    const bool another = destinationAttributes == kAnotherName;
    if (destinationAttributes == kUnknownAttributes || (destinationAttributes != kInvalidAttributes && !another &&
                                                        (destinationAttributes & kAttrReadOnly)))
        ClearReadOnly(files_, destination);
    for (;;) {
        CopyReport report;
        report.watcher = this;
        bytesThisTry_ = 0;
        // Never copied: it fails as a copy fails, and Ignore passes over it.
        if (!another && files_.CopyOver(source, destination, false, report)) {
            ClearReadOnly(files_, destination);
            return Outcome::Done;
        }
        const int answer = prompt_.Show(Format(kCopyFailedFormat, destination.c_str()),
                                        kSetupCaption, kMbAbortRetryIgnore);
        if (answer == kIdRetry) continue;
        if (answer == kIdIgnore) {
            ++skippedFiles;
            skippedPaths.push_back(destination);
            if (!another) ClearReadOnly(files_, destination);
            return Outcome::Done;
        }
        // Abort, and any answer the box cannot give (a box that failed to show): stop here.
        return Outcome::Aborted;
    }
}

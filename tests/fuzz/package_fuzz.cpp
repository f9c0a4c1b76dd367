// Locating the package and copying it, over any program path and any package listing: the
// search ends with the package or with the user told, copies go only from the package folder
// into the install folder and only for plain files that are not on the skip list, the listing is
// always closed, and the progress bar steps once per pass.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "FuzzInput.h"
#include "text/PathText.h"
#include "text/Text.h"
#include "deploy/PackageCopy.h"
#include "deploy/PackageFolder.h"
#include "doubles/FileDouble.h"
#include "doubles/ProgressDouble.h"
#include "doubles/PromptDouble.h"

namespace {
const char* const kPrograms[] = {"C:\\Setup\\SetUp.exe", "C:\\乤\\SetUp.exe", "SetUp.exe",
                                 "C:\\SetUp.exe", "\\\\server\\share\\SetUp.exe"};
const char* const kEntries[] = {"SetUp.EXE", "setup.exe", "Korvel_EN.shx", "KORVEL_HZ.SHX",
                                "Korvel2010.arx", "Data", "乤.arx", "a.b", "Korvel_HZ.shx.bak",
                                "UNINSTALL.EXE", "uninstall-2.exe", "uninstall-1.exe"};
const char* const kTarget = "C:\\Korvel\\Korvel-Tarnwick";
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput in(data, size);
    FileDouble files;
    files.AddFolder("C:\\");
    files.AddFolder(kTarget);
    files.modulePath = in.Below(4) == 0 ? in.Bytes(300) : in.Pick(kPrograms);
    files.AddFile(files.modulePath, "program");
    // The package as a Data folder, or unpacked flat beside the program.
    const std::string folder = in.Below(2) ? "C:\\Setup\\Data\\" : "C:\\Setup\\";
    const std::size_t count = in.Below(24);
    for (std::size_t i = 0; i < count && !in.Empty(); ++i) {
        const std::string name = in.Below(3) == 0 ? in.Bytes(16) : in.Pick(kEntries);
        if (name.empty() || name.find_first_of("\\/*?") != std::string::npos) continue;
        if (files.Attributes(folder + name) != kInvalidAttributes) continue;  // one entry a name
        const std::uint32_t attributes = static_cast<std::uint32_t>(in.Byte()) & 0x37;
        if (attributes & kAttrDirectory)
            files.AddFolder(folder + name);
        else
            files.AddFile(folder + name, name, attributes ? attributes : kAttrArchive);
    }
    if (in.Below(4) == 0) files.FailListingAt(folder.substr(0, folder.size() - 1), in.Below(8));
    if (in.Below(4) == 0) files.FailCopiesTo(std::string(kTarget) + "\\" + in.Pick(kEntries));

    // The skip list: exactly the program, the two fonts and the uninstaller's names, in any letter case.
    for (const char* name : kEntries) {
        const bool listed = EqualsNoCase(name, "SetUp.EXE") || EqualsNoCase(name, "Korvel_EN.shx") ||
                            EqualsNoCase(name, "Korvel_HZ.shx") || EqualsNoCase(name, "uninstall.exe") ||
                            EqualsNoCase(name, "uninstall-2.exe");
        if (IsSkippedPackageFile(name) != listed) std::abort();
    }

    PromptDouble prompt;
    prompt.answers = {kIdRetry, kIdIgnore, kIdAbort};
    ProgressDouble progress;
    std::string located;
    const bool found = LocatePackageFolder(files, prompt, located);
    if (!found && prompt.shown.empty()) std::abort();  // the user is always told

    PackageCopy copy(files, prompt, kTarget, progress);
    const bool copied = copy.Run();
    if (files.OpenListings() != 0) std::abort();
    if (copied && !found) std::abort();
    for (const FileDouble::CopyRecord& record : files.copies) {
        // By whole characters: a name's double-byte character may end in the byte of '\'.
        const std::size_t cut = LastSeparator(record.source);
        if (cut == std::string::npos || record.source.substr(0, cut) != located) std::abort();
        const std::string name = record.source.substr(cut + 1);
        if (record.destination != std::string(kTarget) + "\\" + name) std::abort();
        if (IsSkippedPackageFile(name) || name == "." || name == "..") std::abort();
        if (files.IsFolder(record.source)) std::abort();
    }
    if (copied && copy.skippedFiles == 0) {
        // Everything the package holds in plain files (but the skipped ones) is now installed.
        for (const std::string& name : files.Children(located)) {
            const std::string source = located + "\\" + name;
            if (files.IsFolder(source) || IsSkippedPackageFile(name)) continue;
            if (files.Content(std::string(kTarget) + "\\" + name) != files.Content(source)) std::abort();
        }
    }
    return 0;
}

#include "deploy/SupportFiles.h"

#include <set>
#include <utility>
#include <vector>

#include "catalogue/HostCatalogue.h"
#include "text/PathText.h"
#include "text/Text.h"
#include "deploy/PackageFolder.h"

namespace {
constexpr int kFirstLibraryYear = 2007;
constexpr int kLastLibraryYear = 2050;

// Failures are not reported: the host simply lacks that file.
void CopySilently(Files& files, const std::string& source, const std::string& destination) {
    files.CopyOver(source, destination, false);
}
}  // namespace

bool CopySupportFilesTo(Files& files, Prompt& prompt, const std::string& hostFolder,
                        bool withPlotDriver, std::vector<std::string>* absent) {
    std::string package;
    if (!LocatePackageFolder(files, prompt, package)) return false;  // no source would be found
    // The host folder and its "Fonts" and "Drv" live in path buffers; a copy whose folder would
    // not fit is skipped like any failed copy.
    if (!FitsBuffer(hostFolder)) return true;

    // Every copy, in order: the package's name and the destination. A folder stored with a
    // trailing backslash (as newer releases store it) gets no second one.
    std::vector<std::pair<std::string, std::string>> copies;
    const std::string fonts = JoinPath(hostFolder, "Fonts");
    if (FitsBuffer(fonts)) {
        for (const char* font : {"Korvel_EN.shx", "Korvel_HZ.shx"}) copies.emplace_back(font, fonts + "\\" + font);
    }
    for (int year = kFirstLibraryYear; year <= kLastLibraryYear; ++year) {
        const std::string library = Format("ACAD%d.dll", year);
        copies.emplace_back(library, JoinPath(hostFolder, library));
    }
    const std::string driverFolder = JoinPath(hostFolder, "Drv");
    if (withPlotDriver && FitsBuffer(driverFolder)) copies.emplace_back("Korvel.prt5", driverFolder + "\\pdfplot9.hdi");

    // Those whose file the package holds are told of ahead, together (the undo record writes
    // them to the disk at once); a package that cannot be listed only loses that.
    std::set<std::string> held;
    FindScope listing(files);
    FindEntry entry;
    const bool listed = listing.First(package + "\\*.*", entry);
    for (bool more = listed; more; more = listing.Next(entry)) held.insert(UpperCp936(entry.name));
    listing.Close();
    std::vector<std::string> coming;
    for (const auto& copy : copies)
        if (held.count(UpperCp936(copy.first)) != 0) coming.push_back(copy.second);
    files.WillCopy(coming);

    for (const auto& copy : copies) {
        // What the package does not hold has nothing to copy; the host simply lacks it.
        if (listed && held.count(UpperCp936(copy.first)) == 0) {
            if (absent != nullptr) absent->push_back(copy.first);
            continue;
        }
        CopySilently(files, package + "\\" + copy.first, copy.second);
    }
    return true;
}

void HostCatalogue::CopySupportFiles(const ReleaseFlags& flags) {
    supportPackageMissing = false;
    supportFilesAbsent.clear();
    std::set<std::string> named;
    for (int k = 0; k < kReleaseCount; ++k) {
        if (!flags[k]) continue;
        for (const std::string& hostFolder : hostFolders[k]) {
            // A package gone since the payload copy: that host lacks its files, so the run is
            // not reported as complete.
            std::vector<std::string> absent;
            if (!CopySupportFilesTo(files_, prompt_, hostFolder, ReleaseTable[k].withPlotDriver, &absent))
                supportPackageMissing = true;
            for (const std::string& name : absent)
                if (named.insert(UpperCp936(name)).second) supportFilesAbsent.push_back(name);
        }
    }
}

#include "deploy/SupportFiles.h"

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
                        bool withPlotDriver) {
    std::string package;
    if (!LocatePackageFolder(files, prompt, package)) return false;  // no source would be found
    // The host folder and its "Fonts" and "Drv" live in path buffers; a copy whose folder would
    // not fit is skipped like any failed copy.
    if (!FitsBuffer(hostFolder)) return true;

    // A folder stored with a trailing backslash (as newer releases store it) gets no second one.
    const std::string fonts = JoinPath(hostFolder, "Fonts");
    if (FitsBuffer(fonts)) {
        for (const char* font : {"Korvel_EN.shx", "Korvel_HZ.shx"})
            CopySilently(files, package + "\\" + font, fonts + "\\" + font);
    }
    for (int year = kFirstLibraryYear; year <= kLastLibraryYear; ++year) {
        const std::string library = Format("ACAD%d.dll", year);
        CopySilently(files, package + "\\" + library, JoinPath(hostFolder, library));
    }
    const std::string driverFolder = JoinPath(hostFolder, "Drv");
    if (withPlotDriver && FitsBuffer(driverFolder))
        CopySilently(files, package + "\\Korvel.prt5", driverFolder + "\\pdfplot9.hdi");
    return true;
}

void HostCatalogue::CopySupportFiles(const ReleaseFlags& flags) {
    supportPackageMissing = false;
    for (int k = 0; k < kReleaseCount; ++k) {
        if (!flags[k]) continue;
        for (const std::string& hostFolder : hostFolders[k]) {
            // A package gone since the payload copy: that host lacks its files, so the run is
            // not reported as complete.
            if (!CopySupportFilesTo(files_, prompt_, hostFolder, ReleaseTable[k].withPlotDriver))
                supportPackageMissing = true;
        }
    }
}

#include "deploy/PackageFolder.h"

#include "catalogue/HostCatalogue.h"
#include "text/PathText.h"
#include "text/Text.h"
#include "deploy/PathLimits.h"

namespace {
const char* const kPackageMissing =
    "未找到安装所需的Data文件夹 !\n\n可能安装文件下载后没有解压，\n\n请解压后再执行SetUp.exe !";
const char* const kMarkerName = "Korvel2010.arx";

}  // namespace

int ProbePath(Files& files, const std::string& path) {
    FindScope search(files);
    FindEntry entry;
    if (!search.First(path, entry)) return 0;
    return (entry.attributes & kAttrDirectory) ? 2 : 1;
}

void ClearReadOnly(Files& files, const std::string& path) {
    const std::uint32_t attributes = files.ReadAttributes(path);
    if (attributes == kInvalidAttributes || !(attributes & kAttrReadOnly)) return;
    files.WriteAttributes(path, attributes & ~kAttrReadOnly);
}

bool LocatePackageFolder(Files& files, Prompt& prompt, std::string& folder) {
    std::string program;
    switch (files.ModulePath(program, kModulePathCapacity)) {
        case PathRead::Read: break;
        case PathRead::Unrepresentable:
            // No text we could make of it names the package: say so, rather than that it is missing.
            prompt.Show(kProgramPathUnrepresentable, kSetupCaption, kMbOk);
            return false;
        case PathRead::Failed:
            prompt.Show(kProgramPathTooLong, kSetupCaption, kMbOk);
            return false;
    }
    const std::size_t cut = LastSeparator(program);
    const std::string programFolder = cut == std::string::npos ? std::string() : program.substr(0, cut);

    folder = programFolder + "\\Data";
    if (ProbePath(files, folder) == 2) return true;

    folder = programFolder + "\\" + kMarkerName;
    if (ProbePath(files, folder) == 1) {
        folder = programFolder;
        return true;
    }
    prompt.Show(kPackageMissing, kSetupCaption, kMbOk);
    return false;
}

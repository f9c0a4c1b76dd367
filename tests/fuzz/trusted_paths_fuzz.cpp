// Trusted-path composition over random stored values and install folders: whatever a profile
// holds (any type, any bytes, any length), the user's entries all survive the install, the
// value never outgrows its buffer, and a profile that could not take the folder is left exactly
// as it was and reported.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "FuzzInput.h"
#include "catalogue/HostCatalogue.h"
#include "text/PathText.h"
#include "text/Text.h"
#include "doubles/FileDouble.h"
#include "doubles/PromptDouble.h"
#include "doubles/RegistryDouble.h"
#include "pathdialog/FolderValidation.h"
#include "register/TrustedPathValue.h"

namespace {

const char* const kVariables =
    "SOFTWARE\\Autodesk\\AutoCAD\\R19.0\\ACAD-B001:804\\Profiles\\P\\Variables";
const char* const kFolders[] = {"C:\\Korvel\\Korvel-Tarnwick", "D:\\乤\\Korvel-Tarnwick", "C:",
                                "C:\\K.X\\...", "c:\\KORVEL"};
const char* const kPieces[] = {";", "C:\\KORVEL\\KORVEL-TARNWICK", "c:\\korvel\\korvel-tarnwick\\",
                               "\\...", "D:\\Tools", "乤", ".", "\0"};
const std::uint32_t kTypes[] = {kRegSz, kRegSz, kRegSz, kRegExpandSz, kRegBinary, kRegDword};

std::vector<std::string> Entries(const std::string& value) {
    std::vector<std::string> entries;
    for (std::size_t start = 0; start <= value.size();) {
        std::size_t end = value.find(';', start);
        if (end == std::string::npos) end = value.size();
        entries.push_back(value.substr(start, end - start));
        start = end + 1;
    }
    return entries;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput in(data, size);
    std::string folder = in.Below(3) == 0 ? in.Bytes(300) : in.Pick(kFolders);
    std::string stored;
    const std::size_t pieces = in.Below(40);
    for (std::size_t i = 0; i < pieces && !in.Empty(); ++i) {
        switch (in.Below(3)) {
            case 0: stored += in.Bytes(30); break;
            case 1: stored += std::string(in.Below(4000), 'A' + in.Below(26)); break;
            default: stored += in.Pick(kPieces); break;
        }
    }
    const std::uint32_t type = in.Pick(kTypes);

    // The rule on its own (given text as the registry pass hands it: up to a zero): an accepted
    // composition keeps every entry and fits its buffer.
    const std::string text = stored.substr(0, stored.find('\0'));
    std::string composed;
    if (ComposeTrustedPaths(text, folder, composed)) {
        if (composed.size() + 1 > kTrustedPathsBuffer) std::abort();
        if (text.size() > 2) {
            const std::vector<std::string> after = Entries(composed);
            std::size_t at = 0;
            for (const std::string& entry : Entries(text)) {
                if (at >= after.size() || after[at] != UpperCp936(entry)) std::abort();
                ++at;
            }
        }
    }

    // The whole pass over the user's registry, with a folder the install accepts (a ';' or a
    // zero byte in it is refused before anything is written).
    FileDouble files;
    const bool driveRoot = folder.size() == 2 && IsDrivePath(folder + "\\");
    if (folder.find('\0') != std::string::npos ||
        (!driveRoot && WalkFolderPath(files, folder.c_str(), 1) != kFolderAcceptable))
        folder = kFolders[0];
    RegistryDouble registry;
    registry.PutValue(kHkeyCurrentUser, kVariables, "TRUSTEDPATHS", type, stored);
    PromptDouble prompt;
    HostCatalogue catalogue(registry, files, prompt);
    catalogue.SetInstallFolder(folder);
    catalogue.AddTrustedPaths();
    if (registry.OpenHandleCount() != 0) std::abort();

    std::uint32_t afterType = 0;
    std::string after;
    if (!registry.GetValue(kHkeyCurrentUser, kVariables, "TRUSTEDPATHS", afterType, after)) std::abort();
    if (!catalogue.untouchedProfiles.empty()) {
        if (afterType != type || after != stored) std::abort();  // left exactly as it was
        return 0;
    }
    if (after.size() + 1 > kTrustedPathsBuffer) std::abort();
    // Changed: plain text that trusts the folder and keeps every entry the user had, in order.
    if (after != stored) {
        if (afterType != kRegSz) std::abort();
        if (!TrustsFolder(after, catalogue.installFolder)) std::abort();
        if (text.size() > 2) {
            const std::vector<std::string> kept = Entries(after);
            std::size_t at = 0;
            for (const std::string& entry : Entries(text)) {
                if (at >= kept.size() || UpperCp936(kept[at]) != UpperCp936(entry)) std::abort();
                ++at;
            }
        }
    }
    return 0;
}

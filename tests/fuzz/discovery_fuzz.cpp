// Discovery over a hostile registry held in the double: random trees of keys and values below
// both AutoCAD roots of HKEY_LOCAL_MACHINE (odd types, empty, huge and unterminated data, deep
// paths, 255-character names, keys that vanish during the scan). Whatever the tree, the scan ends,
// closes what it opened, keeps each release's key and folder lists paired, files every product
// under the year its product name gives, and records only absolute folders of whole characters.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "FuzzInput.h"
#include "catalogue/HostCatalogue.h"
#include "text/PathText.h"
#include "doubles/FileDouble.h"
#include "doubles/PromptDouble.h"
#include "doubles/RegistryDouble.h"

namespace {

const char* const kRoots[] = {"SOFTWARE\\Autodesk\\AutoCAD", "SOFTWARE\\Wow6432Node\\Autodesk\\AutoCAD"};
const char* const kNames[] = {"R17.1", "R19.0", "ACAD-6001:804", "ACAD-B001:409", "Profiles",
                              "中文", "乤", "x", "R24.1", "ACAD-5101:804"};
const char* const kValueNames[] = {"AcadLocation", "ProductName", "acadlocation", "PRODUCTNAME",
                                   "", "Other"};
const char* const kTexts[] = {"AutoCAD 2013", "AutoCAD 2008 中文", "2010", "x2007",
                              "C:\\Program Files\\AutoCAD 2013", "%ProgramFiles%\\AutoCAD",
                              "\\\\server\\share\\AutoCAD", "D:", "C:\\乤\\", "AutoCAD 2025 2007"};
const std::uint32_t kTypes[] = {kRegSz, kRegExpandSz, kRegBinary, kRegDword, kRegMultiSz, 0, 11};

std::string KeyName(FuzzInput& in) {
    switch (in.Below(4)) {
        case 0: return std::string(255, static_cast<char>('a' + in.Below(26)));
        case 1: return in.Bytes(20);
        default: return in.Pick(kNames);
    }
}

std::string ValueData(FuzzInput& in) {
    switch (in.Below(5)) {
        case 0: return std::string(in.Below(600), static_cast<char>(in.Byte() | 1));  // huge
        case 1: return in.Bytes(40);                                                    // anything
        case 2: return std::string(in.Pick(kTexts));                                    // unterminated
        default: return std::string(in.Pick(kTexts)) + '\0';
    }
}

// The release index discovery files a product name under: the first year whose digits occur
// after the name's first byte.
int YearOf(const std::string& name, int yearCount) {
    for (int k = 0; k < yearCount; ++k) {
        const std::size_t at = name.find(std::to_string(kFirstReleaseYear + k));
        if (at != std::string::npos && at >= 1) return k;
    }
    return -1;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput in(data, size);
    RegistryDouble registry;
    FileDouble files;
    files.environment["ProgramFiles"] = "C:\\Program Files";
    files.environment["Odd"] = "relative";
    PromptDouble prompt;

    for (int entry = 0; entry < 64 && !in.Empty(); ++entry) {
        std::string path = in.Pick(kRoots);
        const std::size_t depth = in.Below(8) == 0 ? in.Below(40) : in.Below(5);
        for (std::size_t level = 0; level < depth; ++level) path += "\\" + KeyName(in);
        if (in.Below(3) == 0) {
            registry.CreateKeyPath(kHkeyLocalMachine, path);
        } else {
            const std::string name = in.Below(4) == 0 ? in.Bytes(12) : in.Pick(kValueNames);
            registry.PutValue(kHkeyLocalMachine, path, name, in.Pick(kTypes), ValueData(in));
        }
    }
    // A key removed, or an enumeration failing, while the scan is under way.
    const int vanishAt = static_cast<int>(in.Below(200));
    const std::string vanishing = std::string(in.Pick(kRoots)) + "\\" + in.Pick(kNames);
    registry.beforeCall = [&](RegOp) {
        if (vanishAt != 0 && registry.CallCount(RegOp::Any) == vanishAt)
            registry.DeleteTree(kHkeyLocalMachine, vanishing);
    };
    if (in.Below(2)) registry.FailEnumAt(kHkeyLocalMachine, in.Pick(kRoots), in.Below(3));

    HostCatalogue catalogue(registry, files, prompt);
    catalogue.ScanInstalledReleases();
    registry.beforeCall = nullptr;

    if (registry.OpenHandleCount() != 0 || registry.badHandleCalls != 0) std::abort();
    for (int k = 0; k < kReleaseCount; ++k) {
        const StringList& keys = catalogue.hostKeys[k];
        const StringList& folders = catalogue.hostFolders[k];
        if (keys.size() != folders.size()) std::abort();
        for (std::size_t i = 0; i < keys.size(); ++i) {
            if (!IsAbsolutePath(folders[i]) || !IsWholeCp936(folders[i])) std::abort();
            if (folders[i].find('\0') != std::string::npos) std::abort();
            // Filed under the year its product name gives (the 32-bit root only has two).
            std::string key = keys[i];
            DropTrailingSeparator(key);
            const bool wow = key.rfind(kRoots[1], 0) == 0;
            std::uint32_t type = 0;
            std::string name;
            if (!registry.GetValue(kHkeyLocalMachine, key, "ProductName", type, name)) {
                if (vanishAt == 0) std::abort();  // only a vanished key may have lost it
                continue;
            }
            name = name.substr(0, name.find('\0'));
            if (YearOf(name, wow ? 2 : kReleaseCount) != k) std::abort();
        }
    }
    return 0;
}

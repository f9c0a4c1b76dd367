// Host discovery: every AutoCAD product below the two AutoCAD roots of HKEY_LOCAL_MACHINE is
// filed under the release whose year its product name holds.
#include <cstring>
#include <unordered_map>

#include "catalogue/HostCatalogue.h"
#include "text/PathText.h"

namespace {

constexpr std::uint32_t kNameBuffer = 256;   // characters of a sub-key name, with its zero
constexpr std::uint32_t kValueBuffer = 256;  // bytes of a value's data

const char* const kMainRoot = "SOFTWARE\\Autodesk\\AutoCAD";
const char* const kMainBase = "SOFTWARE\\Autodesk\\AutoCAD\\%s\\";
const char* const kWowRoot = "SOFTWARE\\Wow6432Node\\Autodesk\\AutoCAD";
const char* const kWowBase = "SOFTWARE\\Wow6432Node\\Autodesk\\AutoCAD\\%s\\";
constexpr int kWowYears = 2;  // the 32-bit path holds only 2007 and 2008 products

std::uint32_t SubKeyCount(Registry& registry, RegKey key) {
    std::uint32_t count = 0;
    if (registry.QuerySubKeyCount(key, count) != kErrorSuccess) return 0;
    return count;
}

// The name of the sub-key at index, or false when it cannot be read (the key may have gone
// while we scan). An empty name would open the key itself, so it never counts as a sub-key.
bool SubKeyName(Registry& registry, RegKey key, std::uint32_t index, std::string& name) {
    char buffer[kNameBuffer];
    buffer[0] = '\0';
    std::uint32_t length = kNameBuffer;
    if (registry.EnumKey(key, index, buffer, length) != kErrorSuccess) return false;
    buffer[kNameBuffer - 1] = '\0';
    name = buffer;
    return !name.empty();
}

// The release index of a product name: the first of the years tested whose text occurs in the
// name after its first byte; -1 when none does.
int ClassifyProduct(const std::string& productName, int yearCount) {
    for (int k = 0; k < yearCount; ++k) {
        const std::size_t at = productName.find(std::to_string(kFirstReleaseYear + k));
        if (at != std::string::npos && at >= 1) return k;
    }
    return -1;
}

}  // namespace

void HostCatalogue::WalkForValue(RegKey parent, const std::string& name, std::string relativePath,
                                 std::string basePath) {
    KeyHandle key(registry_);
    if (registry_.OpenKeyRead(parent, name.c_str(), key.out()) != kErrorSuccess) return;

    std::uint8_t data[kValueBuffer] = {};
    std::uint32_t size = kValueBuffer;
    std::uint32_t type = 0;
    const long read = registry_.QueryValue(key.get(), walkValueName.c_str(), &type, data, size);
    if (read == kErrorSuccess) {
        // The data as text up to the first zero; a value that fills the buffer without one is
        // taken whole, and bytes past what was read are never looked at.
        const std::size_t read = size < kValueBuffer ? size : kValueBuffer;
        const void* zero = std::memchr(data, '\0', read);
        const std::size_t length = zero ? static_cast<const std::uint8_t*>(zero) - data : read;
        walkKeys.push_back(Join(basePath, relativePath));
        walkValues.push_back(std::string(reinterpret_cast<const char*>(data), length));
        walkTypes.push_back(type);
        return;  // nothing below a key that holds the value is visited
    }
    // The key holds the value, but in characters this code page cannot hold: whatever text we
    // made of it would name another folder or product. It is no host, and as with any key that
    // holds the value, nothing below it is visited.
    if (read == kErrorNoUnicodeTranslation) return;

    const std::uint32_t count = SubKeyCount(registry_, key.get());
    for (std::uint32_t index = 0; index < count; ++index) {
        std::string subKey;
        if (!SubKeyName(registry_, key.get(), index, subKey)) continue;
        WalkForValue(key.get(), subKey, Join(Join(relativePath, subKey), "\\"), basePath);
    }
}

void HostCatalogue::ScanRoot(const char* rootPath, const char* basePathFormat, int yearCount) {
    KeyHandle machine(registry_);
    if (registry_.OpenKey(kHkeyLocalMachine, nullptr, machine.out()) != kErrorSuccess) return;
    KeyHandle root(registry_);
    if (registry_.OpenKeyRead(machine.get(), rootPath, root.out()) != kErrorSuccess) return;

    const std::uint32_t count = SubKeyCount(registry_, root.get());
    for (std::uint32_t index = 0; index < count; ++index) {
        std::string releaseName;
        if (!SubKeyName(registry_, root.get(), index, releaseName)) continue;
        const std::string basePath = Format(basePathFormat, releaseName.c_str());
        KeyHandle release(registry_);
        if (registry_.OpenKeyRead(root.get(), releaseName.c_str(), release.out()) != kErrorSuccess)
            continue;

        walkKeys.clear();
        walkValues.clear();
        walkTypes.clear();
        walkValueName = "AcadLocation";
        WalkForValue(release.get(), "", "", basePath);
        const StringList locationKeys = walkKeys;
        const StringList locations = walkValues;
        const std::vector<std::uint32_t> locationTypes = walkTypes;

        walkKeys.clear();
        walkValues.clear();
        walkTypes.clear();
        walkValueName = "ProductName";
        WalkForValue(release.get(), "", "", basePath);
        const StringList& nameKeys = walkKeys;
        const StringList& names = walkValues;

        // Within one walk a key path occurs once, so a location pairs with at most one name;
        // a map keeps a release key with thousands of products linear.
        std::unordered_map<std::string, std::size_t> nameAt;
        nameAt.reserve(nameKeys.size());
        for (std::size_t j = 0; j < nameKeys.size(); ++j) nameAt.emplace(nameKeys[j], j);
        for (std::size_t i = 0; i < locationKeys.size(); ++i) {
            const auto found = nameAt.find(locationKeys[i]);
            if (found == nameAt.end()) continue;
            const int k = ClassifyProduct(names[found->second], yearCount);
            if (k < 0) continue;
            std::string folder;
            if (!HostFolderOf(locationTypes[i], locations[i], folder)) continue;
            hostKeys[k].push_back(locationKeys[i]);
            hostFolders[k].push_back(folder);
        }
    }
}

bool HostCatalogue::HostFolderOf(std::uint32_t type, const std::string& text, std::string& folder) {
    // Fonts and libraries go below this folder and the loader names a file in it: anything but
    // a whole, absolute folder would send them to the root of whatever drive is current.
    if (type == kRegExpandSz) {
        if (!files_.ExpandVariables(text, folder)) return false;
    } else if (type == kRegSz) {
        folder = text;
    } else {
        return false;
    }
    return IsAbsolutePath(folder) && IsWholeCp936(folder);
}

void HostCatalogue::ScanWow6432Releases() { ScanRoot(kWowRoot, kWowBase, kWowYears); }

void HostCatalogue::ScanInstalledReleases() {
    ScanWow6432Releases();
    ScanRoot(kMainRoot, kMainBase, kReleaseCount);
}

void ListSubKeys(Registry& registry, RegKey key, StringList& list) {
    const std::uint32_t count = SubKeyCount(registry, key);
    for (std::uint32_t index = 0; index < count; ++index) {
        std::string name;
        if (!SubKeyName(registry, key, index, name)) continue;
        KeyHandle subKey(registry);
        if (registry.OpenKeyRead(key, name.c_str(), subKey.out()) != kErrorSuccess) continue;
        list.push_back(name);
    }
}

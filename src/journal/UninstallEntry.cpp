#include "journal/UninstallEntry.h"

#include <vector>

#include "text/PathText.h"
#include "text/Text.h"

const char* const kUninstallKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Korvel-Tarnwick";
namespace {
long SetText(Registry& registry, RegKey key, const char* name, const std::string& text) {
    return registry.SetString(key, name, text.c_str(), static_cast<std::uint32_t>(text.size()));
}
}  // namespace

bool WriteUninstallEntry(Registry& registry, const std::string& folder, const std::string& uninstaller,
                         std::uint32_t sizeKb, const UninstallEntryText& text, RegKey* root) {
    KeyHandle key(registry);
    if (root) *root = kHkeyLocalMachine;
    if (registry.CreateKey(kHkeyLocalMachine, kUninstallKey, key.out()) != kErrorSuccess || !key) {
        // Without administrator rights the entry is the user's own.
        if (root) *root = kHkeyCurrentUser;
        if (registry.CreateKey(kHkeyCurrentUser, kUninstallKey, key.out()) != kErrorSuccess || !key) {
            if (root) *root = 0;
            return false;
        }
    }
    const std::string& program = uninstaller;
    // The folder first: it is what the setup program's uninstall finds the install by.
    bool ok = SetText(registry, key.get(), "InstallLocation", folder) == kErrorSuccess;
    ok &= SetText(registry, key.get(), "DisplayName", text.displayName) == kErrorSuccess;
    ok &= SetText(registry, key.get(), "DisplayVersion", text.version) == kErrorSuccess;
    ok &= SetText(registry, key.get(), "Publisher", text.publisher) == kErrorSuccess;
    ok &= SetText(registry, key.get(), "DisplayIcon", program + ",0") == kErrorSuccess;
    ok &= SetText(registry, key.get(), "UninstallString", "\"" + program + "\" /uninstall") == kErrorSuccess;
    ok &= SetText(registry, key.get(), "QuietUninstallString", "\"" + program + "\" /uninstall /S") == kErrorSuccess;
    ok &= registry.SetDword(key.get(), "NoModify", 1) == kErrorSuccess;
    ok &= registry.SetDword(key.get(), "NoRepair", 1) == kErrorSuccess;
    ok &= registry.SetDword(key.get(), "EstimatedSize", sizeKb) == kErrorSuccess;
    ok &= SetText(registry, key.get(), "InstallDate", text.installDate) == kErrorSuccess;
    ok &= registry.SetDword(key.get(), "VersionMajor", text.versionMajor) == kErrorSuccess;
    ok &= registry.SetDword(key.get(), "VersionMinor", text.versionMinor) == kErrorSuccess;
    if (!text.releases.empty()) ok &= SetText(registry, key.get(), "Releases", text.releases) == kErrorSuccess;
    return ok;
}

bool FindInstalledFolder(Registry& registry, std::string& folder, bool machineOnly) {
    for (RegKey root : {kHkeyLocalMachine, kHkeyCurrentUser}) {
        if (machineOnly && root != kHkeyLocalMachine) continue;
        KeyHandle key(registry);
        if (registry.OpenKeyRead(root, kUninstallKey, key.out()) != kErrorSuccess || !key) continue;
        std::vector<std::uint8_t> data(1024, 0);
        std::uint32_t size = static_cast<std::uint32_t>(data.size());
        std::uint32_t type = 0;
        if (registry.QueryValue(key.get(), "InstallLocation", &type, data.data(), size) != kErrorSuccess ||
            (type != kRegSz && type != kRegExpandSz))
            continue;
        std::string text(data.begin(), data.begin() + size);
        text = text.substr(0, text.find('\0'));
        if (!IsAbsolutePath(text)) continue;
        folder = text;
        return true;
    }
    return false;
}

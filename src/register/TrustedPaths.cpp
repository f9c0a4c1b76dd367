// Adds the install folder to the trusted paths of every AutoCAD profile of the current user,
// whatever was installed or ticked.
#include <algorithm>
#include <cstring>
#include <vector>

#include "catalogue/HostCatalogue.h"
#include "register/TrustedPathValue.h"

namespace {

constexpr const char* kAutoCadRoot = "SOFTWARE\\Autodesk\\AutoCAD";
constexpr const char* kTrustedPaths = "TRUSTEDPATHS";
constexpr const char* kVariables = "\\Variables";
constexpr std::uint32_t kNameBuffer = 256;

// A key path with one trailing backslash dropped (an empty sub-key name leaves one).
std::string WithoutTrailingBackslash(std::string path) {
    if (!path.empty() && path.back() == '\\') path.pop_back();
    return path;
}

// "<release>\<product>\Profiles" for every product key of every release key of the user.
StringList ListProfileKeys(Registry& registry) {
    StringList profileKeys;
    KeyHandle user(registry);
    registry.OpenKey(kHkeyCurrentUser, nullptr, user.out());
    if (!user) return profileKeys;
    KeyHandle root(registry);
    if (registry.OpenKeyRead(user.get(), kAutoCadRoot, root.out()) != kErrorSuccess || !root)
        return profileKeys;

    std::uint32_t count = 0;
    registry.QuerySubKeyCount(root.get(), count);
    for (std::uint32_t j = 0; j < count; ++j) {
        char name[kNameBuffer] = {};
        std::uint32_t length = kNameBuffer;
        // A name too long for the buffer, or a key gone meanwhile, is passed over; an empty name
        // would open the root itself.
        if (registry.EnumKey(root.get(), j, name, length) != kErrorSuccess || name[0] == '\0')
            continue;
        KeyHandle release(registry);
        if (registry.OpenKeyRead(root.get(), name, release.out()) != kErrorSuccess || !release)
            continue;
        StringList products;
        ListSubKeys(registry, release.get(), products);
        for (const std::string& product : products) {
            const std::string productKey =
                Format("%s\\%s\\%s", kAutoCadRoot, name, product.c_str());
            profileKeys.push_back(WithoutTrailingBackslash(productKey) + "\\Profiles");
        }
    }
    return profileKeys;
}

// "<profile key>\<profile>\Variables" for every profile that exists; no profile key is made.
StringList ListVariablesKeys(Registry& registry, const StringList& profileKeys) {
    StringList variablesKeys;
    KeyHandle user(registry);
    registry.OpenKey(kHkeyCurrentUser, nullptr, user.out());
    if (!user) return variablesKeys;
    for (const std::string& profileKey : profileKeys) {
        KeyHandle profiles(registry);
        if (registry.OpenKeyRead(user.get(), profileKey.c_str(), profiles.out()) != kErrorSuccess ||
            !profiles)
            continue;
        StringList names;
        ListSubKeys(registry, profiles.get(), names);
        for (const std::string& profile : names) {
            variablesKeys.push_back(
                WithoutTrailingBackslash(Format("%s\\%s", profileKey.c_str(), profile.c_str())) +
                kVariables);
        }
    }
    return variablesKeys;
}

enum class Stored { Text, NoValue, NoVariablesKey, Untouchable };

// What the profile holds now. Only a value (or Variables key) that is certainly absent counts as
// empty; whatever cannot be read whole - too long, unreadable, not plain text, or with text after
// an embedded zero - is left to the user, since rewriting it would lose what it holds.
Stored ReadTrustedPaths(Registry& registry, const std::string& variablesKey, std::string& text) {
    text.clear();
    KeyHandle variables(registry);
    const long opened = registry.OpenKey(kHkeyCurrentUser, variablesKey.c_str(), variables.out());
    if (!variables)
        return opened == kErrorFileNotFound ? Stored::NoVariablesKey : Stored::Untouchable;

    std::vector<std::uint8_t> buffer(kTrustedPathsBuffer, 0);
    std::uint32_t size = static_cast<std::uint32_t>(buffer.size());
    std::uint32_t type = 0;
    const long read =
        registry.QueryValue(variables.get(), kTrustedPaths, &type, buffer.data(), size);
    if (read == kErrorFileNotFound) return Stored::NoValue;
    if (read != kErrorSuccess || type != kRegSz || size >= kTrustedPathsBuffer)
        return Stored::Untouchable;

    const auto end = buffer.begin() + size;
    const auto zero = std::find(buffer.begin(), end, 0);
    if (std::find_if(zero, end, [](std::uint8_t b) { return b != 0; }) != end)
        return Stored::Untouchable;
    text.assign(buffer.begin(), zero);
    return Stored::Text;
}

// A Variables key is only ever created inside a profile that still exists.
bool ProfileExists(Registry& registry, const std::string& variablesKey) {
    const std::string profile =
        variablesKey.substr(0, variablesKey.size() - std::strlen(kVariables));
    KeyHandle key(registry);
    return registry.OpenKeyRead(kHkeyCurrentUser, profile.c_str(), key.out()) == kErrorSuccess &&
           key;
}

void TrustFolder(Registry& registry, const std::string& variablesKey, const std::string& folder) {
    std::string current;
    const Stored stored = ReadTrustedPaths(registry, variablesKey, current);
    if (stored == Stored::Untouchable) return;
    std::string updated;
    if (!ComposeTrustedPaths(current, folder, updated)) return;
    if (stored == Stored::NoVariablesKey && !ProfileExists(registry, variablesKey)) return;

    KeyHandle variables(registry);
    registry.CreateKey(kHkeyCurrentUser, variablesKey.c_str(), variables.out());
    if (!variables) return;
    registry.SetString(variables.get(), kTrustedPaths, updated.c_str(),
                       static_cast<std::uint32_t>(updated.size()));
}

}  // namespace

void HostCatalogue::AddTrustedPaths() {
    // Without a folder there is nothing to trust, and short values would be emptied.
    if (installFolder.empty()) return;
    const StringList variablesKeys = ListVariablesKeys(registry_, ListProfileKeys(registry_));
    for (const std::string& variablesKey : variablesKeys)
        TrustFolder(registry_, variablesKey, installFolder);
}

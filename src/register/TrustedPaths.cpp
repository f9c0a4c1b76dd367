// Adds the install folder to the trusted paths of every AutoCAD profile of the current user,
// whatever was installed or ticked.
#include <algorithm>
#include <cstring>
#include <vector>

#include "catalogue/HostCatalogue.h"
#include "text/PathText.h"
#include "register/TrustedPathValue.h"

namespace {

constexpr const char* kAutoCadRoot = "SOFTWARE\\Autodesk\\AutoCAD";
constexpr const char* kTrustedPaths = "TRUSTEDPATHS";
constexpr const char* kVariables = "\\Variables";
constexpr const char* kProfiles = "\\Profiles";
constexpr std::uint32_t kNameBuffer = 256;
// Shown in place of a profile name that this Windows code page cannot spell.
constexpr const char* kUnspellableName = "(名称含无法显示的字符)";
// And in place of one too long for the name buffer.
constexpr const char* kOverlongName = "(名称太长)";

// A key path with one trailing backslash dropped (an empty sub-key name leaves one).
std::string WithoutTrailingBackslash(std::string path) {
    DropTrailingSeparator(path);
    return path;
}

// One product's profiles key: its path under the user's key, and "<release>\<product>" for
// the user to recognise it by.
struct ProductProfiles {
    std::string key;
    std::string label;
};

// One profile: its Variables key, and "<release>\<product>\<profile>".
struct Profile {
    std::string variablesKey;
    std::string label;
};

// "<release>\<product>\Profiles" for every product key of every release key of the user.
std::vector<ProductProfiles> ListProfileKeys(Registry& registry) {
    std::vector<ProductProfiles> profileKeys;
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
            const std::string label = WithoutTrailingBackslash(Format("%s\\%s", name, product.c_str()));
            profileKeys.push_back({Format("%s\\%s", kAutoCadRoot, label.c_str()) + kProfiles, label});
        }
    }
    return profileKeys;
}

// "<profile key>\<profile>\Variables" for every profile that exists; no profile key is made.
// A profile whose name this code page cannot spell cannot be opened by any name we could give;
// it is reported, not passed over in silence.
std::vector<Profile> ListProfiles(Registry& registry, const std::vector<ProductProfiles>& products,
                                  std::vector<UntouchedProfile>& untouched) {
    std::vector<Profile> profiles;
    KeyHandle user(registry);
    registry.OpenKey(kHkeyCurrentUser, nullptr, user.out());
    if (!user) return profiles;
    for (const ProductProfiles& product : products) {
        KeyHandle key(registry);
        if (registry.OpenKeyRead(user.get(), product.key.c_str(), key.out()) != kErrorSuccess || !key)
            continue;
        std::uint32_t count = 0;
        registry.QuerySubKeyCount(key.get(), count);
        for (std::uint32_t j = 0; j < count; ++j) {
            char name[kNameBuffer] = {};
            std::uint32_t length = kNameBuffer;
            const long listed = registry.EnumKey(key.get(), j, name, length);
            if (listed == kErrorNoUnicodeTranslation) {
                untouched.push_back({product.label + "\\" + kUnspellableName,
                                     ProfileProblem::Unrepresentable});
                continue;
            }
            if (listed == kErrorMoreData) {
                untouched.push_back({product.label + "\\" + kOverlongName, ProfileProblem::Unreadable});
                continue;
            }
            if (listed != kErrorSuccess || name[0] == '\0') continue;
            KeyHandle profile(registry);
            if (registry.OpenKeyRead(key.get(), name, profile.out()) != kErrorSuccess || !profile)
                continue;
            const std::string label = WithoutTrailingBackslash(product.label + "\\" + name);
            profiles.push_back(
                {WithoutTrailingBackslash(product.key + "\\" + name) + kVariables, label});
        }
    }
    return profiles;
}

enum class Stored { Text, NoValue, NoVariablesKey, Untouchable };

// What the profile holds now. Only a value (or Variables key) that is certainly absent counts as
// empty; whatever cannot be read whole - too long, unreadable, not plain text, with text after
// an embedded zero, or in characters this code page cannot hold - is left to the user, since
// rewriting it would lose what it holds.
Stored ReadTrustedPaths(Registry& registry, const std::string& variablesKey, std::string& text,
                        ProfileProblem& problem) {
    text.clear();
    KeyHandle variables(registry);
    const long opened = registry.OpenKey(kHkeyCurrentUser, variablesKey.c_str(), variables.out());
    if (!variables) {
        if (opened == kErrorFileNotFound) return Stored::NoVariablesKey;
        problem = opened == kErrorNoUnicodeTranslation ? ProfileProblem::Unrepresentable
                                                       : ProfileProblem::Unreadable;
        return Stored::Untouchable;
    }

    std::vector<std::uint8_t> buffer(kTrustedPathsBuffer, 0);
    std::uint32_t size = static_cast<std::uint32_t>(buffer.size());
    std::uint32_t type = 0;
    const long read =
        registry.QueryValue(variables.get(), kTrustedPaths, &type, buffer.data(), size);
    if (read == kErrorFileNotFound) return Stored::NoValue;
    if (read == kErrorMoreData || (read == kErrorSuccess && size >= kTrustedPathsBuffer)) {
        problem = ProfileProblem::TooLong;
        return Stored::Untouchable;
    }
    if (read != kErrorSuccess) {
        problem = read == kErrorNoUnicodeTranslation ? ProfileProblem::Unrepresentable
                                                     : ProfileProblem::Unreadable;
        return Stored::Untouchable;
    }
    problem = ProfileProblem::NotPlainText;
    if (type != kRegSz) return Stored::Untouchable;
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

// Trusts folder in one profile; false with the reason when the profile had to be left as it was.
bool TrustFolder(Registry& registry, const std::string& variablesKey, const std::string& folder,
                 ProfileProblem& problem) {
    std::string current;
    const Stored stored = ReadTrustedPaths(registry, variablesKey, current, problem);
    if (stored == Stored::Untouchable) return false;
    std::string updated;
    if (!ComposeTrustedPaths(current, folder, updated)) {
        problem = ProfileProblem::TooLong;
        return false;
    }
    // A profile deleted since it was listed needs nothing.
    if (stored == Stored::NoVariablesKey && !ProfileExists(registry, variablesKey)) return true;

    problem = ProfileProblem::NotWritten;
    KeyHandle variables(registry);
    registry.CreateKey(kHkeyCurrentUser, variablesKey.c_str(), variables.out());
    if (!variables) return false;
    return registry.SetString(variables.get(), kTrustedPaths, updated.c_str(),
                              static_cast<std::uint32_t>(updated.size())) == kErrorSuccess;
}

}  // namespace

void HostCatalogue::AddTrustedPaths() {
    untouchedProfiles.clear();
    // Without a folder there is nothing to trust, and short values would be emptied.
    if (installFolder.empty()) return;
    const std::vector<Profile> profiles =
        ListProfiles(registry_, ListProfileKeys(registry_), untouchedProfiles);
    for (const Profile& profile : profiles) {
        ProfileProblem problem = ProfileProblem::Unreadable;
        if (!TrustFolder(registry_, profile.variablesKey, installFolder, problem))
            untouchedProfiles.push_back({profile.label, problem});
    }
}

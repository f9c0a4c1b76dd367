// Adds the install folder to the trusted paths of every AutoCAD profile of a user (the current
// one, or one whose hive is loaded), whatever was installed or ticked; and takes it out again.
#include <algorithm>
#include <cstring>
#include <vector>

#include "catalogue/HostCatalogue.h"
#include "text/PathText.h"
#include "register/TrustedPathValue.h"
#include "register/UserHives.h"

namespace {

// Opens the hive's own key (the user's root).
void OpenHive(Registry& registry, const UserHive& hive, KeyHandle& user) {
    registry.OpenKey(hive.root, hive.sid.empty() ? nullptr : hive.sid.c_str(), user.out());
}

// A key path below the hive's root as its registry root names it.
std::string InHive(const UserHive& hive, const std::string& path) {
    return hive.sid.empty() ? path : hive.sid + "\\" + path;
}

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
std::vector<ProductProfiles> ListProfileKeys(Registry& registry, const UserHive& hive) {
    std::vector<ProductProfiles> profileKeys;
    KeyHandle user(registry);
    OpenHive(registry, hive, user);
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
std::vector<Profile> ListProfiles(Registry& registry, const UserHive& hive,
                                  const std::vector<ProductProfiles>& products,
                                  std::vector<UntouchedProfile>& untouched) {
    std::vector<Profile> profiles;
    KeyHandle user(registry);
    OpenHive(registry, hive, user);
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
Stored ReadTrustedPaths(Registry& registry, const UserHive& hive, const std::string& variablesKey,
                        std::string& text, ProfileProblem& problem) {
    text.clear();
    KeyHandle variables(registry);
    const long opened = registry.OpenKey(hive.root, InHive(hive, variablesKey).c_str(), variables.out());
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
bool ProfileExists(Registry& registry, const UserHive& hive, const std::string& variablesKey) {
    const std::string profile =
        variablesKey.substr(0, variablesKey.size() - std::strlen(kVariables));
    KeyHandle key(registry);
    return registry.OpenKeyRead(hive.root, InHive(hive, profile).c_str(), key.out()) == kErrorSuccess &&
           key;
}

// Trusts folder in one profile; false with the reason when the profile had to be left as it was.
bool TrustFolder(Registry& registry, const UserHive& hive, const std::string& variablesKey,
                 const std::string& folder, ProfileProblem& problem) {
    std::string current;
    const Stored stored = ReadTrustedPaths(registry, hive, variablesKey, current, problem);
    if (stored == Stored::Untouchable) return false;
    std::string updated;
    if (!ComposeTrustedPaths(current, folder, updated)) {
        problem = ProfileProblem::TooLong;
        return false;
    }
    // Already as the rule leaves it (trusted, and in upper case): nothing is written, so that a
    // second run (the per-user step at the next logon, or a loaded hive that is also the current
    // user's) changes nothing.
    if (stored == Stored::Text && updated == current) return true;
    // A profile deleted since it was listed needs nothing.
    if (stored == Stored::NoVariablesKey && !ProfileExists(registry, hive, variablesKey)) return true;

    problem = ProfileProblem::NotWritten;
    KeyHandle variables(registry);
    registry.CreateKey(hive.root, InHive(hive, variablesKey).c_str(), variables.out());
    if (!variables) return false;
    return registry.SetString(variables.get(), kTrustedPaths, updated.c_str(),
                              static_cast<std::uint32_t>(updated.size())) == kErrorSuccess;
}

// Takes folder's entries out of one profile's value, the user's own entries kept as they are.
bool UntrustFolder(Registry& registry, const UserHive& hive, const std::string& variablesKey,
                   const std::string& folder, ProfileProblem& problem) {
    std::string current;
    const Stored stored = ReadTrustedPaths(registry, hive, variablesKey, current, problem);
    if (stored == Stored::Untouchable) return false;
    std::string updated;
    if (stored != Stored::Text || !RemoveTrustedFolder(current, folder, updated)) return true;
    problem = ProfileProblem::NotWritten;
    KeyHandle variables(registry);
    registry.OpenKey(hive.root, InHive(hive, variablesKey).c_str(), variables.out());
    return variables && registry.SetString(variables.get(), kTrustedPaths, updated.c_str(),
                                           static_cast<std::uint32_t>(updated.size())) == kErrorSuccess;
}

// Applies one change to every profile of the hive; labels name the hive when it is not the
// current user's.
template <typename Change>
void ForEveryProfile(Registry& registry, const UserHive& hive, std::vector<UntouchedProfile>& untouched,
                     Change change) {
    const std::size_t first = untouched.size();
    const std::vector<Profile> profiles =
        ListProfiles(registry, hive, ListProfileKeys(registry, hive), untouched);
    for (const Profile& profile : profiles) {
        ProfileProblem problem = ProfileProblem::Unreadable;
        if (!change(profile.variablesKey, problem)) untouched.push_back({profile.label, problem});
    }
    if (!hive.sid.empty())
        for (std::size_t i = first; i < untouched.size(); ++i)
            untouched[i].profile = hive.sid + "\\" + untouched[i].profile;
}

}  // namespace

void TrustFolderInHive(Registry& registry, const UserHive& hive, const std::string& folder,
                       std::vector<UntouchedProfile>& untouched) {
    // Without a folder there is nothing to trust, and short values would be emptied.
    if (folder.empty()) return;
    ForEveryProfile(registry, hive, untouched, [&](const std::string& variablesKey, ProfileProblem& problem) {
        return TrustFolder(registry, hive, variablesKey, folder, problem);
    });
}

void UntrustFolderInHive(Registry& registry, const UserHive& hive, const std::string& folder,
                         std::vector<UntouchedProfile>& untouched) {
    if (folder.empty()) return;
    ForEveryProfile(registry, hive, untouched, [&](const std::string& variablesKey, ProfileProblem& problem) {
        return UntrustFolder(registry, hive, variablesKey, folder, problem);
    });
}

void HostCatalogue::AddTrustedPaths() {
    untouchedProfiles.clear();
    TrustFolderInHive(registry_, UserHive{}, installFolder, untouchedProfiles);
}

void HostCatalogue::AddTrustedPathsForLoggedOnUsers(const std::string& ownSid) {
    for (const std::string& sid : LoggedOnUsers(registry_))
        if (!EqualsNoCase(sid, ownSid))
            TrustFolderInHive(registry_, UserHive{kHkeyUsers, sid}, installFolder, untouchedProfiles);
}

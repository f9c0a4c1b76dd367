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
// And in place of the profiles below a key that is there but could not be read.
constexpr const char* kUnreadableKey = "(无法读取)";

// A key that is there but refused, or failed to list its names: what lies below it is reported,
// never passed over as absent, since its profiles keep what they hold. A key that is not there
// (or was deleted meanwhile) has no profiles.
bool Refused(long result) {
    return result != kErrorSuccess && result != kErrorFileNotFound && result != kErrorKeyDeleted &&
           result != kErrorNoMoreItems;
}

// A key path with one trailing backslash dropped (an empty sub-key name leaves one).
std::string WithoutTrailingBackslash(std::string path) {
    DropTrailingSeparator(path);
    return path;
}

// "<place>\(无法读取)", or the marker alone for the user's AutoCAD key itself.
std::string UnreadableAt(const std::string& place) {
    return place.empty() ? std::string(kUnreadableKey) : place + "\\" + kUnreadableKey;
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

// The names of key's sub-keys, in enumeration order; one that cannot be read whole is handed to
// odd (with its error) and passed over. False when the list could not be read to its end.
template <typename Odd>
bool SubKeyNames(Registry& registry, RegKey key, StringList& names, Odd odd) {
    std::uint32_t count = 0;
    if (registry.QuerySubKeyCount(key, count) != kErrorSuccess) return false;
    bool whole = true;
    for (std::uint32_t j = 0; j < count; ++j) {
        char name[kNameBuffer] = {};
        std::uint32_t length = kNameBuffer;
        const long listed = registry.EnumKey(key, j, name, length);
        if (listed == kErrorNoUnicodeTranslation || listed == kErrorMoreData)
            odd(listed);
        else if (Refused(listed))
            whole = false;
        else if (listed == kErrorSuccess && name[0] != '\0')  // an empty name would open the key itself
            names.push_back(name);
    }
    return whole;
}

// "<release>\<product>\Profiles" for every product key of every release key of the user.
std::vector<ProductProfiles> ListProfileKeys(Registry& registry, const UserHive& hive,
                                             std::vector<UntouchedProfile>& untouched) {
    std::vector<ProductProfiles> profileKeys;
    KeyHandle user(registry);
    OpenHive(registry, hive, user);
    if (!user) {
        // A hive loaded a moment ago and gone now (its user logged off) was not reached.
        untouched.push_back({UnreadableAt(""), ProfileProblem::Unreadable});
        return profileKeys;
    }
    KeyHandle root(registry);
    const long rootOpened = registry.OpenKeyRead(user.get(), kAutoCadRoot, root.out());
    if (!root) {
        if (Refused(rootOpened)) untouched.push_back({UnreadableAt(""), ProfileProblem::Unreadable});
        return profileKeys;
    }
    // A release name too long for the buffer, or one this code page cannot spell, is no AutoCAD
    // release's.
    StringList releases;
    if (!SubKeyNames(registry, root.get(), releases, [](long) {}))
        untouched.push_back({UnreadableAt(""), ProfileProblem::Unreadable});
    for (const std::string& name : releases) {
        const std::string place = WithoutTrailingBackslash(name);
        KeyHandle release(registry);
        const long releaseOpened = registry.OpenKeyRead(root.get(), name.c_str(), release.out());
        if (!release) {
            if (Refused(releaseOpened)) untouched.push_back({UnreadableAt(place), ProfileProblem::Unreadable});
            continue;
        }
        StringList products;
        if (!SubKeyNames(registry, release.get(), products, [](long) {}))
            untouched.push_back({UnreadableAt(place), ProfileProblem::Unreadable});
        for (const std::string& product : products) {
            const std::string label = WithoutTrailingBackslash(Format("%s\\%s", name.c_str(), product.c_str()));
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
    if (!user) {
        if (!products.empty()) untouched.push_back({UnreadableAt(""), ProfileProblem::Unreadable});
        return profiles;
    }
    for (const ProductProfiles& product : products) {
        KeyHandle key(registry);
        const long opened = registry.OpenKeyRead(user.get(), product.key.c_str(), key.out());
        if (!key) {
            if (Refused(opened)) untouched.push_back({UnreadableAt(product.label), ProfileProblem::Unreadable});
            continue;
        }
        StringList names;
        const bool whole = SubKeyNames(registry, key.get(), names, [&](long listed) {
            untouched.push_back(listed == kErrorNoUnicodeTranslation
                                    ? UntouchedProfile{product.label + "\\" + kUnspellableName, ProfileProblem::Unrepresentable}
                                    : UntouchedProfile{product.label + "\\" + kOverlongName, ProfileProblem::Unreadable});
        });
        if (!whole) untouched.push_back({UnreadableAt(product.label), ProfileProblem::Unreadable});
        for (const std::string& name : names) {
            const std::string label = WithoutTrailingBackslash(product.label + "\\" + name);
            KeyHandle profile(registry);
            const long profileOpened = registry.OpenKeyRead(key.get(), name.c_str(), profile.out());
            if (!profile) {
                if (Refused(profileOpened)) untouched.push_back({label, ProfileProblem::Unreadable});
                continue;
            }
            profiles.push_back({WithoutTrailingBackslash(product.key + "\\" + name) + kVariables, label});
        }
    }
    return profiles;
}

enum class Stored { Text, NoValue, NoVariablesKey, Untouchable };

// The text of the first size bytes of buffer, read as REG_SZ: false where anything but zeros
// follows its end.
bool WholeText(const std::vector<std::uint8_t>& buffer, std::uint32_t size, std::string& text) {
    const auto end = buffer.begin() + size;
    const auto zero = std::find(buffer.begin(), end, 0);
    if (std::find_if(zero, end, [](std::uint8_t b) { return b != 0; }) != end) return false;
    text.assign(buffer.begin(), zero);
    return true;
}

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
    if (type != kRegSz || !WholeText(buffer, size, text)) return Stored::Untouchable;
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

// The per-user step keeps, in the user's own registry, what each profile's trusted paths held
// before it first changed them, so that the uninstall can put that back as it was, letter case
// included: one value a profile, named by its Variables key's path, holding the text it had, or a
// DWORD where it had none (0: no value, 1: no Variables key). The user may change it as they may
// change the profile itself; the uninstall only ever puts it back where the profile still holds
// exactly what the step made of it.
constexpr const char* kStepRecordParent = "Software\\Korvel-Tarnwick";
constexpr const char* kStepRecord = "Software\\Korvel-Tarnwick\\TrustedPathsBefore";
constexpr std::uint32_t kHadNoValue = 0;
constexpr std::uint32_t kHadNoKey = 1;

struct Earlier {
    Stored stored = Stored::Untouchable;
    std::string text;
};

// What the step found in the profile before it first changed it; false when nothing usable is kept.
bool ReadEarlier(Registry& registry, const UserHive& hive, const std::string& variablesKey, Earlier& earlier) {
    KeyHandle record(registry);
    if (registry.OpenKeyRead(hive.root, InHive(hive, kStepRecord).c_str(), record.out()) != kErrorSuccess || !record)
        return false;
    std::vector<std::uint8_t> buffer(kTrustedPathsBuffer, 0);
    std::uint32_t size = static_cast<std::uint32_t>(buffer.size());
    std::uint32_t type = 0;
    if (registry.QueryValue(record.get(), variablesKey.c_str(), &type, buffer.data(), size) != kErrorSuccess ||
        size >= kTrustedPathsBuffer)
        return false;
    if (type == kRegDword && size == 4) {
        const std::uint32_t had = buffer[0] | buffer[1] << 8 | buffer[2] << 16 | static_cast<std::uint32_t>(buffer[3]) << 24;
        if (had != kHadNoValue && had != kHadNoKey) return false;
        earlier.stored = had == kHadNoValue ? Stored::NoValue : Stored::NoVariablesKey;
        earlier.text.clear();
        return true;
    }
    if (type != kRegSz || !WholeText(buffer, size, earlier.text)) return false;
    earlier.stored = Stored::Text;
    return true;
}

void RememberEarlier(Registry& registry, const UserHive& hive, const std::string& variablesKey, Stored stored,
                     const std::string& text) {
    KeyHandle record(registry);
    if (registry.CreateKey(hive.root, InHive(hive, kStepRecord).c_str(), record.out()) != kErrorSuccess || !record)
        return;
    if (stored == Stored::Text)
        registry.SetString(record.get(), variablesKey.c_str(), text.c_str(), static_cast<std::uint32_t>(text.size()));
    else
        registry.SetDword(record.get(), variablesKey.c_str(), stored == Stored::NoValue ? kHadNoValue : kHadNoKey);
}

void ForgetEarlier(Registry& registry, const UserHive& hive, const std::string& variablesKey) {
    KeyHandle record(registry);
    if (registry.OpenKey(hive.root, InHive(hive, kStepRecord).c_str(), record.out()) == kErrorSuccess && record)
        registry.DeleteValue(record.get(), variablesKey.c_str());
}

// Whether an entry of value names a plug-in's folder, this install's or another's.
bool NamesAPlugInFolder(const std::string& value) {
    const TrustedPathList list(value);
    for (const std::string& entry : list.entries())
        if (!entry.empty() && IsPlugInFolder(TrustedPathList::FolderOf(entry))) return true;
    return false;
}

// Deletes the key below parent when it holds nothing; true when it is gone.
bool DeleteIfEmpty(Registry& registry, const UserHive& hive, const std::string& parent, const std::string& name) {
    KeyHandle key(registry);
    const long opened = registry.OpenKeyRead(hive.root, InHive(hive, parent + "\\" + name).c_str(), key.out());
    if (opened == kErrorFileNotFound) return true;
    if (!key || !IsEmptyKey(registry, key.get())) return false;
    key.Close();
    KeyHandle above(registry);
    return registry.OpenKey(hive.root, InHive(hive, parent).c_str(), above.out()) == kErrorSuccess && above &&
           registry.DeleteKey(above.get(), name.c_str()) == kErrorSuccess;
}

// Trusts folder in one profile; false with the reason when the profile had to be left as it was.
// remember: the per-user step, whose changes no install's record holds.
bool TrustFolder(Registry& registry, const UserHive& hive, const std::string& variablesKey,
                 const std::string& folder, bool remember, ProfileProblem& problem) {
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

    // Kept before the change, once: a value that already names a plug-in's folder was changed by a
    // step before, whose record holds what came before that.
    Earlier earlier;
    if (remember && (!ReadEarlier(registry, hive, variablesKey, earlier) || !NamesAPlugInFolder(current)))
        RememberEarlier(registry, hive, variablesKey, stored, current);

    problem = ProfileProblem::NotWritten;
    KeyHandle variables(registry);
    registry.CreateKey(hive.root, InHive(hive, variablesKey).c_str(), variables.out());
    if (!variables) return false;
    return registry.SetString(variables.get(), kTrustedPaths, updated.c_str(),
                              static_cast<std::uint32_t>(updated.size())) == kErrorSuccess;
}

// The profile as the step found it, where it holds exactly what the step made of that: without
// entries that name folder, since no trusted path outlives the install it named.
bool PutBack(Registry& registry, const UserHive& hive, const std::string& variablesKey, const std::string& folder,
             const Earlier& earlier) {
    KeyHandle variables(registry);
    if (registry.OpenKey(hive.root, InHive(hive, variablesKey).c_str(), variables.out()) != kErrorSuccess || !variables)
        return false;
    std::string text = earlier.text;
    const bool named = RemoveTrustedFolder(earlier.text, folder, text);
    if (earlier.stored == Stored::Text && !(named && text.empty()))
        return registry.SetString(variables.get(), kTrustedPaths, text.c_str(), static_cast<std::uint32_t>(text.size())) ==
               kErrorSuccess;
    if (registry.DeleteValue(variables.get(), kTrustedPaths) != kErrorSuccess) return false;
    variables.Close();
    const std::size_t cut = variablesKey.size() - std::strlen(kVariables);
    if (earlier.stored == Stored::NoVariablesKey)
        DeleteIfEmpty(registry, hive, variablesKey.substr(0, cut), kVariables + 1);
    return true;
}

// Whether value trusts one of folders.
bool TrustsAny(const std::string& value, const std::vector<std::string>& folders) {
    const TrustedPathList list(value);
    return std::any_of(folders.begin(), folders.end(), [&list](const std::string& f) { return list.Names(f); });
}

// Takes folder's entries out of one profile's value, the user's own entries kept as they are; puts
// back what the step or our record found there, where the profile holds what was made of it.
bool UntrustFolder(Registry& registry, const UserHive& hive, const std::string& variablesKey,
                   const std::string& folder, const std::vector<RecordedTrust>& recorded,
                   const std::vector<std::string>& remaining, ProfileProblem& problem) {
    std::string current;
    const Stored stored = ReadTrustedPaths(registry, hive, variablesKey, current, problem);
    if (stored == Stored::Untouchable) return false;
    // What an install's record holds comes first; the step's own record is the user's to change.
    Earlier earlier;
    bool inRecord = false;
    for (const RecordedTrust& r : recorded)
        if (!inRecord && EqualsNoCase(r.variablesKey, variablesKey)) {
            inRecord = true;
            earlier.stored = r.madeKey ? Stored::NoVariablesKey : r.hadValue ? Stored::Text : Stored::NoValue;
            earlier.text = r.hadValue ? r.text : std::string();
        }
    const bool remembered = inRecord || ReadEarlier(registry, hive, variablesKey, earlier);
    std::string composed;
    if (remembered && stored == Stored::Text &&
        ComposeTrustedPaths(earlier.stored == Stored::Text ? earlier.text : std::string(), folder, composed) &&
        UpperCp936(composed) == UpperCp936(current)) {
        problem = ProfileProblem::NotWritten;
        if (!PutBack(registry, hive, variablesKey, folder, earlier)) return false;
        if (!inRecord) ForgetEarlier(registry, hive, variablesKey);
        return true;
    }
    // What the step kept is needed no longer once no install still there is trusted here.
    const auto forget = [&](const std::string& value) {
        if (remembered && !inRecord && !TrustsAny(value, remaining)) ForgetEarlier(registry, hive, variablesKey);
    };
    if (stored != Stored::Text) {
        forget(current);
        return true;
    }
    // Without the folder's entries; and what was there before, and installs wrote back in upper
    // case, as it was.
    std::string updated = current;
    RemoveTrustedFolder(current, folder, updated);
    if (remembered && earlier.stored == Stored::Text) {
        TrustedPathList list(updated);
        list.RespellAs(TrustedPathList(earlier.text));
        updated = list.Text();
    }
    if (updated != current) {
        problem = ProfileProblem::NotWritten;
        KeyHandle variables(registry);
        registry.OpenKey(hive.root, InHive(hive, variablesKey).c_str(), variables.out());
        if (!variables || registry.SetString(variables.get(), kTrustedPaths, updated.c_str(),
                                             static_cast<std::uint32_t>(updated.size())) != kErrorSuccess)
            return false;
    }
    forget(updated);
    return true;
}

// Applies one change to every profile of the hive; labels name the hive when it is not the
// current user's.
template <typename Change>
void ForEveryProfile(Registry& registry, const UserHive& hive, std::vector<UntouchedProfile>& untouched,
                     Change change) {
    const std::size_t first = untouched.size();
    const std::vector<ProductProfiles> products = ListProfileKeys(registry, hive, untouched);
    const std::vector<Profile> profiles = ListProfiles(registry, hive, products, untouched);
    for (const Profile& profile : profiles) {
        ProfileProblem problem = ProfileProblem::Unreadable;
        if (!change(profile.variablesKey, problem)) untouched.push_back({profile.label, problem});
    }
    const std::string& name = hive.label.empty() ? hive.sid : hive.label;
    if (!name.empty())
        for (std::size_t i = first; i < untouched.size(); ++i) untouched[i].profile = name + "\\" + untouched[i].profile;
}

}  // namespace

void TrustFolderInHive(Registry& registry, const UserHive& hive, const std::string& folder,
                       std::vector<UntouchedProfile>& untouched, bool remember) {
    // Without a folder there is nothing to trust, and short values would be emptied.
    if (folder.empty()) return;
    ForEveryProfile(registry, hive, untouched, [&](const std::string& variablesKey, ProfileProblem& problem) {
        return TrustFolder(registry, hive, variablesKey, folder, remember, problem);
    });
}

void UntrustFolderInHive(Registry& registry, const UserHive& hive, const std::string& folder,
                         std::vector<UntouchedProfile>& untouched, const std::vector<RecordedTrust>& recorded,
                         const std::vector<std::string>& remaining) {
    if (folder.empty()) return;
    ForEveryProfile(registry, hive, untouched, [&](const std::string& variablesKey, ProfileProblem& problem) {
        return UntrustFolder(registry, hive, variablesKey, folder, recorded, remaining, problem);
    });
    // The step's record goes with the last profile it held.
    const std::string record = kStepRecord;
    const std::size_t cut = LastSeparator(record);
    if (DeleteIfEmpty(registry, hive, record.substr(0, cut), record.substr(cut + 1))) {
        const std::string parent = kStepRecordParent;
        const std::size_t up = LastSeparator(parent);
        DeleteIfEmpty(registry, hive, parent.substr(0, up), parent.substr(up + 1));
    }
}

void HostCatalogue::AddTrustedPaths() {
    untouchedProfiles.clear();
    TrustFolderInHive(registry_, UserHive{}, installFolder, untouchedProfiles);
}

void HostCatalogue::AddTrustedPathsForLoggedOnUsers(const std::string& ownSid) {
    for (const std::string& sid : LoggedOnUsers(registry_))
        if (!EqualsNoCase(sid, ownSid))
            TrustFolderInHive(registry_, UserHive{kHkeyUsers, sid, ""}, installFolder, untouchedProfiles);
}

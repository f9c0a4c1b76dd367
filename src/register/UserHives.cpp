#include "register/UserHives.h"

#include <cstdint>
#include <vector>

#include "text/PathText.h"
#include "text/Text.h"

const char* const kActiveSetupKey = "SOFTWARE\\Microsoft\\Active Setup\\Installed Components\\Korvel-Tarnwick";
const char* const kUserSetupSwitch = "/usersetup";

namespace {
constexpr const char* kProfileList = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";
// Where Windows records, in each user's hive, the version of the step it ran for them: the
// 32-bit view's components are recorded under Wow6432Node.
constexpr const char* kUserRecords[] = {
    "Software\\Microsoft\\Active Setup\\Installed Components\\Korvel-Tarnwick",
    "Software\\Wow6432Node\\Microsoft\\Active Setup\\Installed Components\\Korvel-Tarnwick",
};
constexpr std::uint32_t kNameBuffer = 256;
constexpr long kMaxPart = 65535;  // Windows keeps each part of the version in 16 bits

bool StartsWith(const std::string& text, const char* prefix) {
    const std::string p = prefix;
    return text.size() > p.size() && EqualsNoCase(text.substr(0, p.size()), p);
}

// A user account's SID: not a service's (S-1-5-18 and the like), not a hive's "_Classes" half
// nor a profile's ".bak" entry (Windows' copy of a profile it failed to load).
bool IsUserSid(const std::string& name) {
    if (!StartsWith(name, "S-1-5-21-") && !StartsWith(name, "S-1-12-1-")) return false;
    return name.find_first_not_of("0123456789-", 9) == std::string::npos && name.back() != '-';
}

// whole (if given) is cleared when the key exists but its names could not all be read.
StringList SubKeys(Registry& registry, RegKey root, const char* path, bool* whole = nullptr) {
    StringList names;
    KeyHandle key(registry);
    const long opened = registry.OpenKeyRead(root, path, key.out());
    if (opened != kErrorSuccess || !key) {
        if (whole != nullptr && opened != kErrorFileNotFound) *whole = false;
        return names;
    }
    std::uint32_t count = 0;
    if (registry.QuerySubKeyCount(key.get(), count) != kErrorSuccess && whole != nullptr) *whole = false;
    for (std::uint32_t i = 0; i < count; ++i) {
        char name[kNameBuffer] = {};
        std::uint32_t length = kNameBuffer;
        if (registry.EnumKey(key.get(), i, name, length) == kErrorSuccess && name[0] != '\0')
            names.push_back(name);
        else if (whole != nullptr)
            *whole = false;
    }
    return names;
}

// A text value, without terminating zeros; empty when missing or not text.
std::string ReadText(Registry& registry, RegKey key, const char* name) {
    std::vector<std::uint8_t> data(1024, 0);
    std::uint32_t size = static_cast<std::uint32_t>(data.size());
    std::uint32_t type = 0;
    if (registry.QueryValue(key, name, &type, data.data(), size) != kErrorSuccess ||
        (type != kRegSz && type != kRegExpandSz))
        return std::string();
    std::string text(data.begin(), data.begin() + size);
    return text.substr(0, text.find('\0'));
}

// "a<sep>b<sep>..." as exactly count numbers of at most 5 digits; false otherwise.
bool ParseParts(const std::string& text, char separator, std::size_t count, std::vector<long>& parts) {
    parts.clear();
    std::size_t i = 0;
    while (parts.size() < count) {
        long value = 0;
        std::size_t digits = 0;
        for (; i < text.size() && text[i] >= '0' && text[i] <= '9' && digits < 5; ++i, ++digits)
            value = value * 10 + (text[i] - '0');
        if (digits == 0 || value > kMaxPart) return false;
        parts.push_back(value);
        if (parts.size() == count) return i == text.size();
        if (i >= text.size() || text[i] != separator) return false;
        ++i;
    }
    return false;
}
}  // namespace

std::vector<std::string> LoggedOnUsers(Registry& registry) {
    std::vector<std::string> sids;
    for (const std::string& name : SubKeys(registry, kHkeyUsers, nullptr))
        if (IsUserSid(name)) sids.push_back(name);
    return sids;
}

std::vector<AbsentUser> UsersNotLoggedOn(Registry& registry, const std::vector<std::string>& loaded, bool& whole) {
    std::vector<AbsentUser> absent;
    whole = true;
    for (const std::string& sid : SubKeys(registry, kHkeyLocalMachine, kProfileList, &whole)) {
        if (!IsUserSid(sid)) continue;
        bool isLoaded = false;
        for (const std::string& other : loaded) isLoaded = isLoaded || EqualsNoCase(other, sid);
        if (isLoaded) continue;
        KeyHandle key(registry);
        std::string folder;
        if (registry.OpenKeyRead(kHkeyLocalMachine, (std::string(kProfileList) + "\\" + sid).c_str(), key.out()) ==
                kErrorSuccess &&
            key)
            folder = ReadText(registry, key.get(), "ProfileImagePath");
        absent.push_back({sid, folder});
    }
    return absent;
}

std::string NextActiveSetupVersion(const std::string& previous, const std::string& version) {
    std::vector<long> ours, before;
    if (!ParseParts(version, '.', 3, ours)) ours = {0, 0, 0};
    ours.push_back(0);
    // A component already at or above this version (a repeat, or a newer install's) is raised by
    // one, so that Windows runs the step again for every user; anything unreadable is replaced.
    if (ParseParts(previous, ',', 4, before) && before >= ours) {
        ours = before;
        for (std::size_t i = 4; i-- > 0;) {
            if (ours[i] < kMaxPart) {
                ++ours[i];
                break;
            }
            ours[i] = 0;
        }
    }
    return Format("%ld,%ld,%ld,%ld", ours[0], ours[1], ours[2], ours[3]);
}

bool RegisterActiveSetup(Registry& registry, const std::string& program, const std::string& displayName,
                         const std::string& version) {
    KeyHandle key(registry);
    if (registry.CreateKey(kHkeyLocalMachine, kActiveSetupKey, key.out()) != kErrorSuccess || !key) return false;
    const std::string next = NextActiveSetupVersion(ReadText(registry, key.get(), "Version"), version);
    const std::string stub = "\"" + program + "\" " + kUserSetupSwitch;
    const auto text = [&](const char* name, const std::string& value) {
        return registry.SetString(key.get(), name, value.c_str(), static_cast<std::uint32_t>(value.size())) ==
               kErrorSuccess;
    };
    bool ok = text("", displayName);
    ok &= text("StubPath", stub);
    ok &= text("Version", next);
    ok &= registry.SetDword(key.get(), "IsInstalled", 1) == kErrorSuccess;
    return ok;
}

std::vector<KeptRecord> ForgetUserSetup(Registry& registry, const UserHive& hive) {
    std::vector<KeptRecord> kept;
    const std::string& name = hive.label.empty() ? hive.sid : hive.label;
    for (const char* record : kUserRecords) {
        const std::string path = hive.sid.empty() ? std::string(record) : hive.sid + "\\" + record;
        const std::size_t cut = LastSeparator(path);
        KeyHandle parent(registry);
        long result = registry.OpenKey(hive.root, path.substr(0, cut).c_str(), parent.out());
        if (result == kErrorSuccess && parent) result = registry.DeleteKey(parent.get(), path.substr(cut + 1).c_str());
        // Not there is forgotten; anything else (a level that is a link, a refusal) is named.
        if (result != kErrorSuccess && result != kErrorFileNotFound && result != kErrorKeyDeleted)
            kept.push_back({name.empty() ? std::string(record) : name + "\\" + record, result});
    }
    return kept;
}

#include "setup/ProfileHives.h"

#include "journal/Scope.h"
#include "text/PathText.h"

namespace {
constexpr const char* kHiveFile = "NTUSER.DAT";
constexpr const char* kTemporaryPrefix = "Korvel-Tarnwick-";

// What a profile's levels and its hive file may not be: a link (junction, symbolic link, mount
// point), a device, or an entry whose content lies elsewhere (offline, or fetched when opened,
// as cloud and storage-tiering files are).
constexpr std::uint32_t kAttrDevice = 0x40;
constexpr std::uint32_t kAttrOffline = 0x1000;
constexpr std::uint32_t kAttrRecallOnOpen = 0x40000;
constexpr std::uint32_t kAttrRecallOnDataAccess = 0x400000;
constexpr std::uint32_t kNotPlain =
    kAttrReparsePoint | kAttrDevice | kAttrOffline | kAttrRecallOnOpen | kAttrRecallOnDataAccess;

bool KeyExists(Registry& registry, const std::string& name) {
    KeyHandle key(registry);
    return registry.OpenKeyRead(kHkeyUsers, name.c_str(), key.out()) == kErrorSuccess && key;
}

// The user's NTUSER.DAT, or why it is not to be loaded. The profile's path is expanded once and
// must then be written the one plain way; every level of it, from the drive down, must be a
// folder that is no link, and the file a plain file.
HiveFault FindHiveFile(Files& files, const AbsentUser& user, std::string& hiveFile) {
    std::string folder;
    if (user.profileFolder.empty() || !files.ExpandVariables(user.profileFolder, folder) || !IsCanonicalPath(folder))
        return HiveFault::ProfilePath;
    for (std::size_t end = NextSeparator(folder, 3);; end = NextSeparator(folder, end + 1)) {
        const std::uint32_t attributes = files.ReadAttributes(folder.substr(0, end));
        if (attributes == kInvalidAttributes) return HiveFault::NoProfileFolder;
        if (!(attributes & kAttrDirectory) || (attributes & kNotPlain)) return HiveFault::Link;
        if (end == std::string::npos) break;
    }
    hiveFile = JoinPath(folder, kHiveFile);
    const std::uint32_t attributes = files.ReadAttributes(hiveFile);
    if (attributes == kInvalidAttributes) return HiveFault::NoHiveFile;
    if (attributes & (kAttrDirectory | kNotPlain)) return HiveFault::Link;
    return HiveFault::None;
}

HiveVisit ChangeOne(Registry& registry, Files& files, const AbsentUser& user,
                    const std::function<void(const UserHive&)>& change) {
    HiveVisit visit{user, HiveFault::None, 0};
    std::string file;
    visit.fault = FindHiveFile(files, user, file);
    if (visit.fault != HiveFault::None) return visit;
    const std::string name = TemporaryHiveName(user.sid);
    // Only a run of this program names a key so, and no user can make one under HKEY_USERS: it
    // is a hive an earlier run loaded and was ended before it unloaded. Let it go first.
    if (KeyExists(registry, name)) registry.UnloadHive(name.c_str());
    visit.error = registry.LoadHive(name.c_str(), file.c_str());
    if (visit.error == kErrorSharingViolation && KeyExists(registry, user.sid)) {
        // The user logged on meanwhile: Windows holds the hive now, where it is reached as any
        // logged-on user's is.
        change(UserHive{kHkeyUsers, user.sid, ""});
        visit.error = 0;
        return visit;
    }
    if (visit.error != kErrorSuccess) {
        visit.fault = visit.error == kErrorSharingViolation ? HiveFault::InUse
                      : visit.error == kErrorCantAccessFile ? HiveFault::Link
                                                            : HiveFault::NotLoaded;
        return visit;
    }
    change(UserHive{kHkeyUsers, name, user.sid});
    // A hive left loaded would keep the user from their own profile at their next logon (Windows
    // could not load it, and gives them a temporary one): it goes, whatever the change did.
    visit.error = registry.UnloadHive(name.c_str());
    if (visit.error != kErrorSuccess) visit.fault = HiveFault::NotUnloaded;
    return visit;
}
}  // namespace

std::string TemporaryHiveName(const std::string& sid) { return kTemporaryPrefix + sid; }

std::vector<HiveVisit> ChangeUnloadedHives(Registry& registry, Files& files, const std::vector<AbsentUser>& users,
                                           const std::function<void(const UserHive&)>& change) {
    std::vector<HiveVisit> visits;
    for (const AbsentUser& user : users) visits.push_back(ChangeOne(registry, files, user, change));
    return visits;
}

#pragma once
// The registries of users who are not logged on. An uninstall for every user loads each one's
// NTUSER.DAT under a temporary key of HKEY_USERS, makes its change there as it does for a user
// who is logged on, and unloads it again. Where the profile lives is data a user may have shaped,
// so nothing is loaded from a path that is not a plain local one, through a link, or from a file
// that is not plain; what cannot be loaded is named with its reason, never guessed at.
#include <functional>
#include <string>
#include <vector>

#include "platform/Files.h"
#include "platform/Registry.h"
#include "register/UserHives.h"

// What became of one user's hive.
enum class HiveFault {
    None,             // loaded, changed and unloaded (or, logged on meanwhile, changed where loaded)
    ProfilePath,      // ProfileImagePath is missing, or not a plain local drive path once expanded
    NoProfileFolder,  // the profile folder is gone (also: a roaming profile not kept on this PC)
    NoHiveFile,       // the folder holds no NTUSER.DAT
    Link,             // the folder, a level above it or the hive file is a link or not a plain entry
    InUse,            // the hive file is in use (Windows has it loaded for a session of that user)
    NotLoaded,        // the hive would not load (damaged, no privileges, ...): error says why
    NotUnloaded,      // changed, but still loaded: error says why
};

struct HiveVisit {
    AbsentUser user;
    HiveFault fault = HiveFault::None;
    long error = 0;  // the registry's error, for NotLoaded and NotUnloaded
};

// The key under HKEY_USERS that the hive of sid is loaded as while it is changed. Not a SID, so
// no one takes it for a user who is logged on.
std::string TemporaryHiveName(const std::string& sid);

// Loads the hive of each of users, calls change with it, and unloads it once change has returned
// (every key it opened closed again), also when change could not do all it meant to. A user who
// logs on meanwhile, whose hive Windows now holds as HKEY_USERS\<sid>, is changed there.
std::vector<HiveVisit> ChangeUnloadedHives(Registry& registry, Files& files, const std::vector<AbsentUser>& users,
                                           const std::function<void(const UserHive&)>& change);

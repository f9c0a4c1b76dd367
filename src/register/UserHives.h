#pragma once
// Every user of the PC, not only the one who runs the install: the trusted-path rules applied to
// any user's registry, the users whose registries are loaded now, and the Active Setup component
// through which Windows runs the per-user step once for every user at logon.
#include <string>
#include <vector>

#include "catalogue/HostCatalogue.h"

// One user's registry: the current user's (HKEY_CURRENT_USER), or a loaded hive
// (HKEY_USERS\<sid>, or the temporary name of a hive the uninstall loaded itself).
struct UserHive {
    RegKey root = kHkeyCurrentUser;
    std::string sid;    // the key under HKEY_USERS; empty for the current user
    std::string label;  // names the hive in what is reported, where that is not sid
};

// Trusts folder in every AutoCAD profile of the hive, by the install's rules (no loss, entry-wise,
// a value that cannot be held whole left alone); what had to be left is appended to untouched,
// named "<sid>\<release>\<product>\<profile>" for a loaded hive. remember: for the per-user step,
// whose changes no install's record holds; what each profile held before the step first changed
// it is kept in the hive, for the uninstall to put back.
void TrustFolderInHive(Registry& registry, const UserHive& hive, const std::string& folder,
                       std::vector<UntouchedProfile>& untouched, bool remember = false);
// A profile's trusted paths as an install's record holds them for a user whose registry was
// loaded then: the Variables key's path below the user's key, and what it held before the install
// changed it (the text, or no value, or no Variables key either).
struct RecordedTrust {
    std::string variablesKey;
    bool hadValue = false;
    std::string text;
    bool madeKey = false;
};
// Takes folder's entries out of every profile of the hive; every other entry stays as it is. A
// profile that holds exactly what the per-user step made of what it kept, or what an install made
// of what recorded holds for it, gets that back as it was. What the step kept stays only for a
// profile that still trusts one of the folders of installs still there (remaining), whose
// uninstall will need it.
void UntrustFolderInHive(Registry& registry, const UserHive& hive, const std::string& folder,
                         std::vector<UntouchedProfile>& untouched, const std::vector<RecordedTrust>& recorded = {},
                         const std::vector<std::string>& remaining = {});

// The SIDs of the user accounts whose hives are loaded under HKEY_USERS (local and domain
// accounts "S-1-5-21-...", Azure AD accounts "S-1-12-1-..."; not the services' hives, the
// "_Classes" halves, nor any name with more than digits and dashes after that start), in
// enumeration order.
std::vector<std::string> LoggedOnUsers(Registry& registry);

// A user account that has a profile on this PC but no hive loaded now.
struct AbsentUser {
    std::string sid;
    std::string profileFolder;  // ProfileImagePath as stored (may hold %SystemDrive%); may be empty
};
// Those ProfileList names that loggedOn (the users whose hives were loaded a moment ago) does not:
// a caller that handled those already misses no one who logs on or off in between. whole: false
// when the list of profiles could not be read to its end (some user may be missing).
std::vector<AbsentUser> UsersNotLoggedOn(Registry& registry, const std::vector<std::string>& loggedOn, bool& whole);

// The Active Setup component, below HKEY_LOCAL_MACHINE in the program's own registry view (the
// 32-bit view for the x86 edition on a 64-bit Windows, which Windows runs too).
extern const char* const kActiveSetupKey;  // "SOFTWARE\Microsoft\Active Setup\Installed Components\Korvel-Tarnwick"
// What the per-user step is started with: "<program>" /usersetup.
extern const char* const kUserSetupSwitch;  // "/usersetup"

// Registers the component for the plug-in whose uninstaller (the file program) runs the step. version
// is "a.b.c"; the stored Version is "a,b,c,d", raised above what the component holds so that
// every install runs the step again for every user. False when the component could not be
// written whole (without administrator rights: not at all).
bool RegisterActiveSetup(Registry& registry, const std::string& program, const std::string& displayName,
                         const std::string& version);

// The "a,b,c,d" that follows previous (the component's Version now, empty when none) for an
// install of version "a.b.c".
std::string NextActiveSetupVersion(const std::string& previous, const std::string& version);

// Forgets that the step ran for the user of hive, so that a later install runs it again for them.
// Returns the records that are there but stay (a link the user made, a key that would not go),
// named "<sid>\<path>" for a loaded hive, each with the registry's error.
struct KeptRecord {
    std::string key;
    long error = 0;
};
std::vector<KeptRecord> ForgetUserSetup(Registry& registry, const UserHive& hive);

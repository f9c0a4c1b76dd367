#pragma once
// The installer state: what discovery found, the install folder, and the operations of the
// install run that read them. One per process; it reaches the system through the seams given at
// construction.
#include <array>
#include <string>
#include <vector>

#include "catalogue/ReleaseTable.h"
#include "text/Text.h"
#include "platform/Files.h"
#include "platform/Prompt.h"
#include "platform/Registry.h"

// Why a profile's trusted paths were left exactly as they were. Shown to the user.
enum class ProfileProblem {
    TooLong,          // the value, or the value with the folder added, exceeds its buffer
    Unreadable,       // the key or value could not be read
    NotPlainText,     // not REG_SZ, or text after an embedded zero
    Unrepresentable,  // a character this Windows code page cannot hold, in the value or the name
    NotWritten,       // the new value was refused
};

struct UntouchedProfile {
    std::string profile;  // "<release>\<product>\<profile>", as the user's registry names it
    ProfileProblem problem;
};

class HostCatalogue {
public:
    HostCatalogue(Registry& registry, Files& files, Prompt& prompt);
    HostCatalogue(const HostCatalogue&) = delete;
    HostCatalogue& operator=(const HostCatalogue&) = delete;

    // Discovery (HKEY_LOCAL_MACHINE, read only).
    void ScanInstalledReleases();
    void ScanWow6432Releases();
    void WalkForValue(RegKey parent, const std::string& name, std::string relativePath,
                      std::string basePath);

    // Stores the folder without one trailing backslash.
    void SetInstallFolder(const std::string& folder);

    // Loader keys of every ticked release, then the trusted paths of every profile.
    void RegisterReleases(const ReleaseFlags& flags);
    void RegisterRelease(int year);
    void AddTrustedPaths();
    // The same for the users logged on now (their hives under HKEY_USERS), appending to
    // untouchedProfiles; for a run with administrator rights. ownSid: the account this run is,
    // whose hive HKEY_CURRENT_USER is and AddTrustedPaths handled.
    void AddTrustedPathsForLoggedOnUsers(const std::string& ownSid = std::string());

    // Fonts, host libraries and the plot-driver file into every host folder of ticked releases.
    void CopySupportFiles(const ReleaseFlags& flags);

    // The registry it reads and writes through.
    Registry& registry() { return registry_; }

    // Members, in the order the installer state declares them.
    std::string installFolder;
    std::array<StringList, kReleaseCount> hostFolders;
    std::array<StringList, kReleaseCount> hostKeys;
    std::string walkValueName = "AcadLocation";
    StringList walkKeys;
    StringList walkValues;
    std::vector<std::uint32_t> walkTypes;  // the registry type of each of walkValues

    // Set by RegisterReleases for each ticked release of which some product key could not be
    // given its application keys; the install run warns about them.
    std::array<bool, kReleaseCount> registrationFailed{};
    // Set for each ticked release of which some loader path would not fit its buffer: that
    // product key got nothing, and no rights would help.
    std::array<bool, kReleaseCount> loaderTooLong{};
    // Set by CopySupportFiles when the package could no longer be found: no host got its files.
    bool supportPackageMissing = false;
    // Filled by CopySupportFiles: the names it offers every host that the package does not hold,
    // each once, in the order tried.
    StringList supportFilesAbsent;
    // Filled by AddTrustedPaths: the profiles it had to leave alone.
    std::vector<UntouchedProfile> untouchedProfiles;

private:
    // The host folder an "AcadLocation" value of this type and text names, or false when it
    // names none: not text, empty, not absolute, or not expandable.
    bool HostFolderOf(std::uint32_t type, const std::string& text, std::string& folder);
    void ScanRoot(const char* rootPath, const char* basePathFormat, int yearCount);

    Registry& registry_;
    Files& files_;
    Prompt& prompt_;
};

// Appends the names of the openable immediate sub-keys of key to list, in enumeration order.
void ListSubKeys(Registry& registry, RegKey key, StringList& list);

// The window's caption for every message on the install path.
extern const char* const kSetupCaption;

#pragma once
// The installer state: what discovery found, the install folder, and the operations of the
// install run that read them. One per process; it reaches the system through the seams given at
// construction.
#include <array>
#include <string>

#include "catalogue/ReleaseTable.h"
#include "catalogue/Text.h"
#include "platform/Files.h"
#include "platform/Prompt.h"
#include "platform/Registry.h"

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

    // Fonts, host libraries and the plot-driver file into every host folder of ticked releases.
    void CopySupportFiles(const ReleaseFlags& flags);

    // Members, in the order the installer state declares them.
    std::string installFolder;
    std::array<StringList, kReleaseCount> hostFolders;
    std::array<StringList, kReleaseCount> hostKeys;
    std::string walkValueName = "AcadLocation";
    StringList walkKeys;
    StringList walkValues;

    // Set by RegisterReleases for each ticked release of which some product key could not be
    // given its application keys; the install run warns about them.
    std::array<bool, kReleaseCount> registrationFailed{};

private:
    void ScanRoot(const char* rootPath, const char* basePathFormat, int yearCount);

    Registry& registry_;
    Files& files_;
    Prompt& prompt_;
};

// Appends the names of the openable immediate sub-keys of key to list, in enumeration order.
void ListSubKeys(Registry& registry, RegKey key, StringList& list);

// The window's caption for every message on the install path.
extern const char* const kSetupCaption;

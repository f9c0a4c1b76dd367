#pragma once
// The entry in Windows' list of installed programs ("Programs and Features"), under
// HKEY_LOCAL_MACHINE when the program may write there, else under HKEY_CURRENT_USER.
#include <cstdint>
#include <string>

#include "deploy/UninstallerNames.h"
#include "platform/Registry.h"

extern const char* const kUninstallKey;  // "SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\Korvel-Tarnwick"

struct UninstallEntryText {
    std::string displayName;
    std::string version;    // "2025.01.21"
    std::string publisher;
    // What management tools read besides: the day of this install ("yyyymmdd", the run's local
    // date) and the version's first two numbers.
    std::string installDate;
    std::uint32_t versionMajor = 0;
    std::uint32_t versionMinor = 0;
    // The releases the plug-in is registered with, "2018,2022" (the "Releases" value, for
    // detection scripts); not written while empty.
    std::string releases;
};

// Writes the entry for the plug-in in folder, whose uninstaller is the file uninstaller; true when
// every value was stored. root, when given, is set to the root it was written under (0 when none).
bool WriteUninstallEntry(Registry& registry, const std::string& folder, const std::string& uninstaller,
                         std::uint32_t sizeKb, const UninstallEntryText& text, RegKey* root = nullptr);

// The folder of the installed plug-in, from the entry's InstallLocation (machine first; only
// the machine's when machineOnly, as a user may write their own entry).
bool FindInstalledFolder(Registry& registry, std::string& folder, bool machineOnly = false);

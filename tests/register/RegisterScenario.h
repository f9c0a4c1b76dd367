#pragma once
// One install over the hosts and profiles of tests/fixtures/register-profiles.reg, shared by the
// tests against the registry double and the same run under Wine against the real registry.
#include <string>

#include "catalogue/HostCatalogue.h"

namespace register_scenario {

constexpr const char* kFixture = "register-profiles.reg";
constexpr const char* kInstallFolder = "C:\\Korvel\\Korvel-Tarnwick";
constexpr const char* kProducts = "SOFTWARE\\Autodesk\\AutoCAD";

// What discovery would have found in the fixture, plus a product key uninstalled since.
inline void DescribeHosts(HostCatalogue& catalogue) {
    auto add = [&catalogue](int year, const char* key, const char* folder) {
        catalogue.hostKeys[static_cast<std::size_t>(year - 2007)].push_back(
            std::string(kProducts) + "\\" + key + "\\");
        catalogue.hostFolders[static_cast<std::size_t>(year - 2007)].push_back(folder);
    };
    add(2007, "R17.0\\ACAD-5001:804", "C:\\Program Files\\AutoCAD 2007");
    add(2008, "R17.1\\ACAD-6001:409", "C:\\Program Files\\AutoCAD 2008");
    add(2008, "R17.1\\ACAD-6001:804", "D:\\CAD\\AutoCAD 2008 中文");
    add(2010, "R18.0\\ACAD-8001:409", "C:\\Program Files\\AutoCAD 2010");
    add(2022, "R24.1\\ACAD-5101:409", "C:\\Program Files\\Autodesk\\AutoCAD 2022");
    add(2025, "R25.0\\ACAD-8101:804", "C:\\Program Files\\Autodesk\\AutoCAD 2025");
    catalogue.SetInstallFolder(std::string(kInstallFolder) + "\\");
}

// 2022 stays unticked; 2010's product key is gone.
inline ReleaseFlags Ticked() {
    ReleaseFlags flags{};
    for (int year : {2007, 2008, 2010, 2025}) flags[static_cast<std::size_t>(year - 2007)] = 1;
    return flags;
}

constexpr const char* kLongProfiles = "SOFTWARE\\Autodesk\\AutoCAD\\R24.0\\ACAD-7101:409\\Profiles\\";

// Values at the 13000-byte limit, written through the seam so that both registries get them the
// same way: "Long" holds 13000 bytes, "Full" would need 13000 bytes with the folder added,
// "Fits" exactly 12999.
inline void AddLongValues(Registry& registry) {
    const std::size_t added = 1 + std::string(kInstallFolder).size();
    const struct {
        const char* profile;
        std::size_t length;
    } values[] = {{"Long", 13000}, {"Full", 13000 - added}, {"Fits", 12999 - added}};
    for (const auto& v : values) {
        std::string text = "e:\\" + std::string(v.length - 3, 'p');
        KeyHandle key(registry);
        registry.CreateKey(kHkeyCurrentUser,
                           (std::string(kLongProfiles) + v.profile + "\\Variables").c_str(),
                           key.out());
        if (key)
            registry.SetString(key.get(), "TRUSTEDPATHS", text.c_str(),
                               static_cast<std::uint32_t>(text.size()));
    }
}

}  // namespace register_scenario

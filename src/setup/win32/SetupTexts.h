#pragma once
// The dialog's version title and edition label, built from the build's constants. No Windows
// headers: the arithmetic is checked on its own.
#include <string>

#include "Version.h"
#include "text/Text.h"

// The version as major * 10000 + minor * 100 + patch.
constexpr int setupVersion =
    (KORVEL_VERSION_MAJOR * 100 + KORVEL_VERSION_MINOR) * 100 + KORVEL_VERSION_PATCH;
#ifdef KORVEL_HOST_BITNESS
constexpr int hostBitness = KORVEL_HOST_BITNESS;
#else
constexpr int hostBitness = 32;
#endif

// "2025.01.21": minor and patch always show at least two digits. The Programs and Features entry
// and the version resource's texts show it so.
inline std::string VersionText(int version) {
    const int major = version / 10000;
    const int minor = (version % 10000) / 100;
    const int patch = version - (major * 100 + minor) * 100;
    std::string text = minor < 10 ? Format("%d.0%d", major, minor) : Format("%d.%d", major, minor);
    return patch < 10 ? Format("%s.0%d", text.c_str(), patch) : Format("%s.%d", text.c_str(), patch);
}

// "Tarnwick软件 V2025.01.21".
inline std::string VersionTitle(int version) { return "Tarnwick软件 V" + VersionText(version); }

// "( 32位 AutoCAD版 )".
inline std::string EditionLabel(int bitness) { return Format("( %d位 AutoCAD版 )", bitness); }

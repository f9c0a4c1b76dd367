#pragma once
// The dialog's version title and edition label, built from the build's constants. No Windows
// headers: the arithmetic is checked on its own.
#include <string>

#include "catalogue/Text.h"

// The version as major * 10000 + minor * 100 + patch.
constexpr int setupVersion = 20250121;
#ifdef KORVEL_HOST_BITNESS
constexpr int hostBitness = KORVEL_HOST_BITNESS;
#else
constexpr int hostBitness = 32;
#endif

// "Tarnwick软件 V2025.01.21": minor and patch always show at least two digits.
inline std::string VersionTitle(int version) {
    const int major = version / 10000;
    const int minor = (version % 10000) / 100;
    const int patch = version - (major * 100 + minor) * 100;
    std::string title = minor < 10 ? Format("Tarnwick软件 V%d.0%d", major, minor)
                                    : Format("Tarnwick软件 V%d.%d", major, minor);
    return patch < 10 ? Format("%s.0%d", title.c_str(), patch) : Format("%s.%d", title.c_str(), patch);
}

// "( 32位 AutoCAD版 )".
inline std::string EditionLabel(int bitness) { return Format("( %d位 AutoCAD版 )", bitness); }

#pragma once
// The 19 supported AutoCAD releases, 2007..2025; a row's index is its year minus 2007.
#include <array>
#include <string>

constexpr int kReleaseCount = 19;
constexpr int kFirstReleaseYear = 2007;

struct ReleaseRow {
    int index;
    int year;
    int controlId;        // the release's check box in the setup dialog
    const char* caption;  // and its text
    bool shownIn32Bit;    // stays visible in the 32-bit edition
    int arxYear;          // "%s\Korvel%d.ARX"
    int dllYear;          // "%s\ACAD%d.dll"
    bool withPlotDriver;  // the support files include the plot-driver file
};

extern const std::array<ReleaseRow, kReleaseCount> ReleaseTable;

// The row of a release year, or null for a year outside 2007..2025.
const ReleaseRow* FindRelease(int year);

// Tick state by release index; nonzero = ticked.
using ReleaseFlags = std::array<int, kReleaseCount>;

// The ticked releases' years in table order, each after prefix, joined by separator: ("2008,2013"
// with ",", "AutoCAD2008, AutoCAD2013" with ", " and "AutoCAD"); empty when none is ticked.
std::string ReleaseList(const ReleaseFlags& flags, const char* separator, const char* prefix = "");

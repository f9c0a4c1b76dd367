#include "catalogue/ReleaseTable.h"

// The control IDs of 2010 and 2011 are swapped on purpose: map by this table, never by index.
const std::array<ReleaseRow, kReleaseCount> ReleaseTable = {{
    {0, 2007, 1018, "For AutoCAD2007", true, 2008, 2007, false},
    {1, 2008, 1019, "For AutoCAD2008", true, 2008, 2007, true},
    {2, 2009, 1020, "For AutoCAD2009", true, 2009, 2009, false},
    {3, 2010, 1027, "For AutoCAD2010", true, 2010, 2010, false},
    {4, 2011, 1026, "For AutoCAD2011", true, 2010, 2010, false},
    {5, 2012, 1028, "For AutoCAD2012", true, 2010, 2010, false},
    {6, 2013, 1029, "For AutoCAD2013", true, 2013, 2013, false},
    {7, 2014, 1030, "For AutoCAD2014", true, 2013, 2013, false},
    {8, 2015, 1031, "For AutoCAD2015", true, 2015, 2013, false},
    {9, 2016, 1032, "For AutoCAD2016", true, 2015, 2013, false},
    {10, 2017, 1033, "For AutoCAD2017", false, 2017, 2013, false},
    {11, 2018, 1034, "For AutoCAD2018", false, 2018, 2013, false},
    {12, 2019, 1035, "For AutoCAD2019", false, 2019, 2013, false},
    {13, 2020, 1036, "For AutoCAD2020", false, 2019, 2013, false},
    {14, 2021, 1037, "For AutoCAD2021", false, 2021, 2013, false},
    {15, 2022, 1038, "For AutoCAD2022", false, 2021, 2013, false},
    {16, 2023, 1039, "For AutoCAD2023", false, 2021, 2013, false},
    {17, 2024, 1040, "For AutoCAD2024", false, 2021, 2013, false},
    {18, 2025, 1041, "For AutoCAD2025", false, 2025, 2013, false},
}};

const ReleaseRow* FindRelease(int year) {
    const int index = year - kFirstReleaseYear;
    if (index < 0 || index >= kReleaseCount) return nullptr;
    return &ReleaseTable[static_cast<std::size_t>(index)];
}

std::string ReleaseList(const ReleaseFlags& flags, const char* separator, const char* prefix) {
    std::string list;
    for (const ReleaseRow& row : ReleaseTable) {
        if (flags[row.index] == 0) continue;
        if (!list.empty()) list += separator;
        list += prefix + std::to_string(row.year);
    }
    return list;
}

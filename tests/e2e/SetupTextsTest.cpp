// The version title and the edition label, from the constants of the build.
#include <cstdio>
#include <string>

#include "setup/win32/SetupTexts.h"

namespace {
int failures = 0;

void Expect(const std::string& actual, const char* expected) {
    if (actual == expected) return;
    ++failures;
    std::printf("FAIL: got \"%s\", expected \"%s\"\n", actual.c_str(), expected);
}
}  // namespace

int main() {
    // Minor and patch always show two digits, whatever their size.
    Expect(VersionTitle(20250121), "Tarnwick软件 V2025.01.21");
    Expect(VersionTitle(20251203), "Tarnwick软件 V2025.12.03");
    Expect(VersionTitle(20250900), "Tarnwick软件 V2025.09.00");
    Expect(VersionTitle(20261010), "Tarnwick软件 V2026.10.10");
    Expect(EditionLabel(32), "( 32位 AutoCAD版 )");
    Expect(EditionLabel(64), "( 64位 AutoCAD版 )");
    std::printf("%d failure(s)\n", failures);
    return failures == 0 ? 0 : 1;
}

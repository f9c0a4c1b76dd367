#include "deploy/UninstallerNames.h"

#include "text/Text.h"

const char* const kUninstallProgram = "uninstall.exe";

std::string UninstallerName(int n) {
    return n <= 1 ? std::string(kUninstallProgram) : "uninstall-" + std::to_string(n) + ".exe";
}

bool IsUninstallerName(const std::string& name) {
    if (EqualsNoCase(name, kUninstallProgram)) return true;
    // "uninstall-<n>.exe", n from 2, written without leading zeros.
    const std::size_t digits = name.size() > 14 ? name.size() - 14 : 0;
    if (digits < 1 || digits > 2 || !EqualsNoCase(name.substr(0, 10), "uninstall-") ||
        !EqualsNoCase(name.substr(10 + digits), ".exe"))
        return false;
    int n = 0;
    for (std::size_t i = 10; i < 10 + digits; ++i) {
        if (name[i] < '0' || name[i] > '9') return false;
        n = n * 10 + (name[i] - '0');
    }
    return n >= 2 && n <= kUninstallerNames && name.substr(10, digits) == std::to_string(n);
}

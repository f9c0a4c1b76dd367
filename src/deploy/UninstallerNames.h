#pragma once
// The names the program is placed under in the plug-in's folder as its uninstaller, in the order
// they are tried: "uninstall.exe", then "uninstall-2.exe" to "uninstall-99.exe" for an install
// whose earlier uninstaller cannot be written over (someone holds it open, or runs it).
#include <string>

extern const char* const kUninstallProgram;  // "uninstall.exe"
constexpr int kUninstallerNames = 99;
// The n-th name, counting from 1.
std::string UninstallerName(int n);
// Whether name (a file's name, without its folder) is one of them, in any letter case.
bool IsUninstallerName(const std::string& name);

#pragma once
// Where the package lies: the folder "Data" beside the setup program, or the program's own folder
// when the package was unpacked flat beside it (recognised by the module "Korvel2010.arx").
#include <string>

#include "platform/Files.h"
#include "platform/Prompt.h"

// 0 = nothing of that name, 1 = a file, 2 = a folder.
int ProbePath(Files& files, const std::string& path);

// Clears only the read-only bit; a path that names nothing is left alone.
void ClearReadOnly(Files& files, const std::string& path);

// Looks the package up afresh. On failure the user has been told (package missing, or the
// program's path too long to work with) and `folder` is not usable.
bool LocatePackageFolder(Files& files, Prompt& prompt, std::string& folder);

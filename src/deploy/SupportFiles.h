#pragma once
// Files that must lie in each host's own folders: the shape fonts in "Fonts", the host libraries
// "ACAD<year>.dll" in the host folder, and for release 2008 the plot-driver file in "Drv".
// Every copy overwrites and is silent; nothing is created and no attribute changed. A file the
// package does not hold is not tried (where the package can be listed), but named in absent.
// HostCatalogue::CopySupportFiles runs this for every host folder of every ticked release.
#include <string>
#include <vector>

#include "platform/Files.h"
#include "platform/Prompt.h"

// False when the package could not be found (the user has been told), so nothing was copied.
bool CopySupportFilesTo(Files& files, Prompt& prompt, const std::string& hostFolder,
                        bool withPlotDriver, std::vector<std::string>* absent = nullptr);

#include "setup/LogPlace.h"

#include "deploy/FolderTrust.h"
#include "text/PathText.h"
#include "text/Text.h"

LogPlace CheckLogPlace(Files& files, const std::string& path) {
    // "\\server\share\...": the network's. "\\?\..." and "\\.\..." name no plain file to check.
    if (path.compare(0, 2, "\\\\") == 0)
        return path[2] == '?' || path[2] == '.' ? LogPlace{false, false, "not a plain path of this PC"}
                                                : LogPlace{false, true, "a network share"};
    const std::size_t cut = LastSeparator(path);
    if (!IsDrivePath(path) || cut == std::string::npos || cut + 1 == path.size())
        return {false, false, "not a file on a drive of this PC"};
    if (files.DriveType(path) == kDriveRemote) return {false, true, "a network drive"};
    const std::string folder = path.substr(0, cut);
    // Every level by the rule of a level above: others may add to it, not replace it.
    TrustFault fault;
    if (!CheckTrustedLevels(files, folder, folder + "\\", fault))
        return {false, false, Format("other users could change %s (%s)", fault.level.c_str(), fault.why.c_str())};
    return {true, false, std::string()};
}

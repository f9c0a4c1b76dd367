#include "setup/LogPlace.h"

#include "deploy/FolderTrust.h"
#include "text/PathText.h"
#include "text/Text.h"

LogPlace CheckLogPlace(Files& files, const std::string& asked) {
    std::string path = asked;
    const bool longForm = path.compare(0, 4, "\\\\?\\") == 0;
    if (longForm && EqualsNoCase(path.substr(4, 4), "UNC\\")) return {false, true, "a network share"};
    if (longForm) path = path.substr(4);
    if (!longForm && path.compare(0, 2, "\\\\") == 0 && path.compare(0, 4, "\\\\.\\") != 0)
        return {false, true, "a network share"};
    if (!IsDrivePath(path) || path.find('\0') != std::string::npos)
        return {false, false, "not a file on a drive of this PC"};
    if (files.DriveType(path) == kDriveRemote) return {false, true, "a network drive"};
    const std::size_t cut = LastSeparator(path);
    if (cut == std::string::npos || cut + 1 == path.size()) return {false, false, "not a file"};
    const std::string folder = path.substr(0, cut);
    // Every level by the rule of a level above: others may add to it, not replace it.
    TrustFault fault;
    if (!CheckTrustedLevels(files, folder, folder + "\\", fault))
        return {false, false, "other users could change " + fault.level + " (" + fault.why + ")"};
    return {true, false, std::string()};
}

#pragma once
// The run's facts in the setup log that no seam call shows: what discovery found, what was
// chosen, and what the registration left undone, with its reasons.
#include <string>

#include "catalogue/HostCatalogue.h"
#include "catalogue/ReleaseTable.h"
#include "platform/SetupLog.h"

// One line per product found: release, key under HKEY_LOCAL_MACHINE and host folder.
void LogHostsFound(SetupLog& log, const HostCatalogue& catalogue);
// "releases chosen: AutoCAD2008, AutoCAD2013" and "install folder: ...".
void LogChoice(SetupLog& log, const ReleaseFlags& flags, const std::string& folder);
// Releases not registered and profiles left alone, each with its reason.
void LogRegistrationOutcome(SetupLog& log, const HostCatalogue& catalogue, const ReleaseFlags& flags);
// "AutoCAD2008, AutoCAD2013", or "none".
std::string ReleaseNames(const ReleaseFlags& flags);

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
// The files offered to every host that the package does not hold, in one line (library years in
// runs: "ACAD2008.dll to ACAD2012.dll"); nothing when it held them all.
void LogSupportFilesAbsent(SetupLog& log, const HostCatalogue& catalogue);
// "AutoCAD2008, AutoCAD2013", or "none".
std::string ReleaseNames(const ReleaseFlags& flags);

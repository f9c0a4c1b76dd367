#pragma once
// Loader keys live under HKEY_LOCAL_MACHINE, which a setup run without administrator rights
// cannot write: the user must hear of it rather than read "installation complete".
#include <string>

#include "catalogue/HostCatalogue.h"
#include "catalogue/ReleaseTable.h"

// The warning for the ticked releases whose registration failed, or empty when there are none.
std::string RegistrationWarning(const HostCatalogue& catalogue, const ReleaseFlags& flags);

#pragma once
// What the install could not do for the hosts, in one message: releases whose loader keys could
// not be written (HKEY_LOCAL_MACHINE wants administrator rights), releases whose loader paths
// would not fit, and profiles whose trusted paths were left as they were, each with its reason
// and how to add the folder by hand. The user must hear of it rather than read "installation
// complete".
#include <string>

#include "catalogue/HostCatalogue.h"
#include "catalogue/ReleaseTable.h"

// The warning, or empty when every change was made.
std::string RegistrationWarning(const HostCatalogue& catalogue, const ReleaseFlags& flags);

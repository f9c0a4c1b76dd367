#pragma once
// The per-user step that Windows' Active Setup runs as each user at logon: trusts the plug-in's
// folder in every AutoCAD profile of the user, by the install's own rules. The logon waits for
// it, so it shows nothing: what it left alone goes to the user's setup log. It needs no
// administrator rights, and a second run changes nothing.
#include <string>

#include <vector>

#include "catalogue/HostCatalogue.h"
#include "platform/Files.h"
#include "platform/Registry.h"
#include "platform/SetupLog.h"

// program: the running program's path, "<plug-in folder>\uninstall.exe". Its folder is trusted
// only while it is the installed plug-in's (the entry in the list of programs names it), so a
// stray copy started elsewhere trusts nothing. Returns the exit code: 0; 6 when some profile was
// left as it was; 7 when the plug-in is not installed there.
// left: where to put the profiles it had to leave as they were, if anywhere.
int RunUserSetup(Registry& registry, Files& files, SetupLog& log, const std::string& program,
                 std::vector<UntouchedProfile>* left = nullptr);

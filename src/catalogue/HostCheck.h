#pragma once
// Whether a process that looks like the host application runs: its executable name holds
// "acad.exe", letters compared without regard to case.
#include "platform/Processes.h"

// False when no process matches or when no process list can be had.
bool IsHostRunning(Processes& processes);

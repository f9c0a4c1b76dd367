#pragma once
// The program's start-up: reads the command line, opens the setup log, builds the objects of
// the chosen run over the system's seams, and runs it. Returns the exit code.
#include <windows.h>

int StartUp(HINSTANCE instance, const wchar_t* commandLine);

#pragma once
// The program started to uninstall ("uninstall.exe /uninstall", or "SetUp.exe /uninstall" from
// the package), and the helper that removes the uninstaller itself once it has ended.
#include <windows.h>

#include <string>
#include <vector>

class Registry;
class Files;
class Processes;
class Win32Prompt;
class TextCodec;
class SetupLog;

struct UninstallServices {
    Registry& registry;  // the system's, never a recording one
    Files& files;
    TextCodec& codec;
    Processes& processes;
    Win32Prompt& prompt;
    SetupLog& log;  // every message, shown or not, and what was left
};

// Runs the uninstall; returns the exit code.
int RunUninstallProgram(HINSTANCE instance, UninstallServices services, bool quiet);

// The temporary copy's work (started with "/cleanup PID PATH..."): waits until the uninstaller
// has ended, removes its file and then each folder that is empty, and has itself removed at the
// next restart.
int RunCleanup(const std::vector<std::wstring>& arguments);

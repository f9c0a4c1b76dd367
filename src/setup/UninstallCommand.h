#pragma once
// The uninstall as the program is started for it. The uninstaller in a plug-in's folder
// ("uninstall.exe") removes that install only. The package's SetUp.exe /uninstall removes every
// install of the plug-in that this edition lists on the PC, each by its own record: the one the
// entry in the list of programs names, then each install whose entry an install in that chain
// replaced and whose record is there still. They go newest first, the reverse of the order they
// were made, as one record's entries are undone: each step leaves the machine as it was before
// that install (the one before it listed and whole, every value it changed as that one left it),
// and the last leaves it as before them all. Each item removed, put back or left is in the log
// (the seams given log their changes), and so is what remains.
#include <functional>
#include <string>
#include <vector>

#include "platform/Files.h"
#include "platform/Processes.h"
#include "platform/ProgressSink.h"
#include "platform/Prompt.h"
#include "platform/Registry.h"
#include "platform/SetupLog.h"
#include "platform/TextCodec.h"

class UninstallCommand {
public:
    UninstallCommand(Registry& registry, Files& files, TextCodec& codec, Processes& processes, Prompt& prompt,
                     ProgressSink& progress, SetupLog& log)
        : registry_(registry), files_(files), codec_(codec), processes_(processes), prompt_(prompt),
          progress_(progress), log_(log) {}

    // The plug-in folders to uninstall, in the order they go; empty when none is listed. self: the
    // running program.
    std::vector<std::string> Targets(const std::string& self, bool elevated);

    // Uninstalls them; returns the exit code: 0 only when none remains, 12 when none was listed,
    // 7 when the one record there was missing or damaged (nothing changed), 8 naming what remains
    // otherwise, or the first run's code when it stopped before any change (2, 3).
    int Run(const std::string& self, bool quiet);

    // What the running program could not remove itself, for the caller once it has ended.
    std::vector<std::string> deferred;

    // Moves the running uninstaller out of the folder it is about to remove; false where it stays.
    std::function<bool(const std::string& self)> stepAside;

private:
    Registry& registry_;
    Files& files_;
    TextCodec& codec_;
    Processes& processes_;
    Prompt& prompt_;
    ProgressSink& progress_;
    SetupLog& log_;
};

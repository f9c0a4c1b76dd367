#pragma once
// The command line, parsed once from the whole UTF-16 text that GetCommandLineW gives into a
// plain record that start-up reads. Pure: no system call, so it is tested and fuzzed natively.
//
// Options are case-insensitive and start with '/' or '-':
//   /S                   no window and no message box; messages go to the log
//   /D=<folder>          the install folder; the rest of the line, spaces and all, unquoted
//   /RELEASES=2018,2022  the releases to install for (years of the release table), each of
//                        which must be installed
//   /RELEASES-IF-PRESENT=2018,2022,2024
//                        releases to install for where they are installed, the others passed
//                        over (one command line for PCs with different releases)
//   /LOG=<file>          where the setup log goes
//   /?                   the usage
//   /UNINSTALL           remove the plug-in (with /S and /LOG only)
//   /USERSETUP           the per-user step Windows runs at each user's logon: trust the plug-in's
//                        folder in the user's AutoCAD profiles; never a window (with /LOG only)
//   /ELEVATED            started again with administrator rights by a dialog that lacked them:
//                        straight into the install with the folder and releases given
//   /HOSTREFUSED         with /ELEVATED: that dialog refused once already while AutoCAD ran;
//                        this run, the same install, refuses no second time
// Arguments are split by the rules of CommandLineToArgvW; the program's own name by its rule
// (quoted or up to the first blank, backslashes as they are).
#include <string>
#include <vector>

// Values leave the process in logs and scripts: never renumber, add at the end.
enum class RunMode : int {
    Install = 0,
    Usage = 1,
    Uninstall = 2,
    Invalid = 3,  // nothing is done: exit code 1, with `error` in the log
    UserSetup = 4,
};

struct SetupCommand {
    RunMode mode = RunMode::Install;
    bool silent = false;          // /S, also noted on an invalid line so that no box is shown
                                  // (and always set for /USERSETUP)
    bool elevated = false;        // /ELEVATED
    bool hostRefused = false;     // /HOSTREFUSED
    std::u16string folder;        // /D=, empty when not given; kept in UTF-16 until the edge
    std::vector<int> releases;    // /RELEASES=, in the order given; empty when not given
    std::vector<int> releasesIfPresent;  // /RELEASES-IF-PRESENT=, likewise
    std::u16string logPath;       // /LOG=, empty when not given
    std::string error;            // Invalid: what is wrong, in ASCII
    std::u16string offending;     // Invalid: the argument that was not understood
};

// uninstaller: the program runs as the uninstaller it placed in the plug-in's folder
// (uninstall.exe), which uninstalls when started as it is; it installs nothing.
SetupCommand ParseCommandLine(const std::u16string& commandLine, bool uninstaller = false);

// The arguments after the program's name, by the rules of CommandLineToArgvW; each with the
// offset in the line where it starts.
struct CommandArgument {
    std::u16string text;
    std::size_t start = 0;
};
std::vector<CommandArgument> SplitArguments(const std::u16string& commandLine);


#pragma once
// What the program says of its command line: every switch an administrator may give and every
// exit code, each once. The usage (/?) is made from these tables, the log's last line names the
// exit code's outcome from them, and a test holds the README's tables of options and exit codes
// to them, so that none can drift from another.
#include <cstddef>
#include <string>

struct SwitchUsage {
    const char* name;     // "/S", "/D=" ...
    const char* meaning;  // CP936, for /?
};

struct ExitCodeUsage {
    int code;
    const char* meaning;  // CP936, for /?
    const char* outcome;  // for the log's last line
};

extern const SwitchUsage kSwitchUsage[];
extern const std::size_t kSwitchUsageCount;
extern const ExitCodeUsage kExitCodeUsage[];
extern const std::size_t kExitCodeUsageCount;

// The usage, for the message box (CP936).
std::string UsageText();
// The outcome an exit code stands for, in words ("installed, every change made"); "unknown" for a
// code the table lacks.
std::string ExitOutcome(int code);

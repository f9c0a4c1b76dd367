#include "catalogue/HostCheck.h"

#include "text/Text.h"

bool IsHostRunning(Processes& processes) {
    const std::string pattern = LowerCp936("acad.exe");
    std::unique_ptr<ProcessSnapshot> snapshot = processes.TakeSnapshot();
    if (!snapshot) return false;
    std::string exeName;
    while (snapshot->Next(exeName)) {
        if (LowerCp936(exeName).find(pattern) != std::string::npos) return true;  // stop early
    }
    return false;
}

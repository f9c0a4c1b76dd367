#pragma once
// Helpers for tests that run under Wine against the real (Wine's) registry and processes.
// Texts are CP936 bytes like everywhere else in the program.
#include <string>

#include "platform/Registry.h"

class RegistryDouble;

// "/work/x/y.reg" -> "Z:\work\x\y.reg" (Wine maps Z:\ to the Linux root). A path that already
// has a drive letter is returned as it is.
std::string WinePath(const std::string& linuxPath);

// Runs a command line (CreateProcessW), waits up to timeoutMs and gives its exit code, or -1
// when it could not be started or did not end in time (it is then ended).
int RunCommand(const std::string& commandLine, unsigned timeoutMs = 60000);

// reg import <file>: true when reg.exe reports success. file is a Linux or Windows path.
bool ImportRegFile(const std::string& file);

// Deletes root\path with everything below it; true when it is gone afterwards.
bool DeleteRegistryTree(RegKey root, const std::string& path);

// reg export of "HKEY_LOCAL_MACHINE\..." (or "HKEY_CURRENT_USER\...") into a temporary file,
// loaded into registry by the fixture loader. "" on success, else what went wrong.
std::string ExportToDouble(const std::string& fullKeyPath, RegistryDouble& registry);

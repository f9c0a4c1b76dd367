#include "win32/WineSupport.h"

#include <windows.h>

#include <vector>

#include "doubles/RegFile.h"
#include "doubles/RegistryDouble.h"
#include "platform/win32/Cp936.h"
#include "platform/win32/Handle.h"

std::string WinePath(const std::string& linuxPath) {
    if (linuxPath.size() >= 2 && linuxPath[1] == ':') return linuxPath;
    std::string path = "Z:" + linuxPath;
    for (char& c : path)
        if (c == '/') c = '\\';
    return path;
}

int RunCommand(const std::string& commandLine, unsigned timeoutMs) {
    std::wstring command = WidenCp936(commandLine);
    std::vector<wchar_t> buffer(command.begin(), command.end());
    buffer.push_back(L'\0');
    STARTUPINFOW startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    ZeroMemory(&process, sizeof process);
    if (!CreateProcessW(nullptr, buffer.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                        nullptr, &startup, &process))
        return -1;
    const Handle started(process.hProcess), thread(process.hThread);
    int code = -1;
    if (WaitForSingleObject(started.get(), timeoutMs) == WAIT_OBJECT_0) {
        DWORD exitCode = 0;
        if (GetExitCodeProcess(started.get(), &exitCode)) code = static_cast<int>(exitCode);
    } else {
        TerminateProcess(started.get(), 1);
    }
    return code;
}

bool ImportRegFile(const std::string& file) {
    return RunCommand("reg.exe import \"" + WinePath(file) + "\"") == 0;
}

bool DeleteRegistryTree(RegKey root, const std::string& path) {
    const HKEY hkey = root == kHkeyLocalMachine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
    const std::wstring wide = WidenCp936(path);
    RegDeleteTreeW(hkey, wide.c_str());
    HKEY key = nullptr;
    if (RegOpenKeyExW(hkey, wide.c_str(), 0, KEY_READ, &key) == ERROR_SUCCESS) {
        RegCloseKey(key);
        return false;
    }
    return true;
}

std::string ExportToDouble(const std::string& fullKeyPath, RegistryDouble& registry) {
    wchar_t folder[MAX_PATH];
    wchar_t file[MAX_PATH];
    if (!GetTempPathW(MAX_PATH, folder) || !GetTempFileNameW(folder, L"reg", 0, file))
        return "no temporary file";
    const std::string path = NarrowCp936(file, -1);
    const int code = RunCommand("reg.exe export \"" + fullKeyPath + "\" \"" + path + "\" /y");
    std::string error = code == 0 ? LoadRegFile(registry, path) : "reg export failed";
    DeleteFileW(file);
    return error;
}

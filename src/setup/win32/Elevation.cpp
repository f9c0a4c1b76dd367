#include "setup/win32/Elevation.h"

#include "setup/ExitCodes.h"
#include "setup/win32/RunLock.h"

#include <cstdlib>
#include <iterator>

#include "platform/win32/Cp936.h"
#include "platform/win32/Handle.h"
#include "platform/win32/ShellFunctions.h"
#include "platform/win32/SystemLibrary.h"
#include "platform/win32/Win32Prompt.h"

namespace {
// Whether this run may write below the key; opening with the rights asked changes nothing.
bool MachineKeyWritable(const std::string& path) {
    std::wstring wide;
    if (!WidenCp936Exact(path, wide)) return false;
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, wide.c_str(), 0, KEY_SET_VALUE | KEY_CREATE_SUB_KEY, &key) !=
        ERROR_SUCCESS)
        return false;
    ::RegCloseKey(key);
    return true;
}

#ifdef KORVEL_TEST_HOOKS
bool ForcedNotWritable() {
    const char* forced = std::getenv("KORVEL_TEST_NOT_WRITABLE");
    return forced != nullptr && forced[0] == '1';
}
#else
bool ForcedNotWritable() { return false; }
#endif
}  // namespace

bool Win32Elevation::Needed(const ReleaseFlags& chosen) {
    if (ForcedNotWritable()) {
        bool any = false;
        for (int flag : chosen) any = any || flag != 0;
        return any;
    }
    return NeedsAdministrator(catalogue_, chosen, MachineKeyWritable);
}

bool Win32Elevation::Relaunch(const std::string& folder, const ReleaseFlags& chosen, bool hostRefused,
                              int& exitCode) {
    wchar_t self[MAX_PATH * 4] = {};
    const DWORD length = ::GetModuleFileNameW(nullptr, self, static_cast<DWORD>(std::size(self)));
    if (length == 0 || length >= std::size(self)) return false;
    // /D= comes last and takes the rest of the line, blanks and all; a quote in the folder
    // would start arguments of the user's choosing: such a run is not started (no path Windows
    // makes holds one). No log is asked for: the elevated run writes its default one, in the
    // protected folder, never a place this run's user chose.
    if (folder.find('"') != std::string::npos) return false;
    const std::wstring parameters = std::wstring(L"/ELEVATED") + (hostRefused ? L" /HOSTREFUSED" : L"") +
                                    L" /RELEASES=" + WidenCp936(ReleaseYears(chosen)) + L" /D=" + WidenCp936(folder);
    HWND owner = static_cast<HWND>(owner_.Owner());
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
    info.hwnd = owner;
    info.lpVerb = L"runas";
    info.lpFile = self;
    info.lpParameters = parameters.c_str();
    info.nShow = SW_SHOWNORMAL;
    // The elevated run is refused while another run holds the lock: this one lets it go first.
    if (lock_ != nullptr) lock_->Release();
    // Refused at Windows' question (ERROR_CANCELLED), or not started at all.
    PreloadShellLibraries();
    // The shell may hand the verb to an extension, which wants COM on this thread.
    const HRESULT com = ComInitialize(COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    const BOOL started = ShellStart(&info);
    if (SUCCEEDED(com)) ComUninitialize();
    const Handle process(started ? info.hProcess : nullptr);
    if (!process) {
        if (lock_ == nullptr || lock_->Acquire()) return false;
        // Another run took the lock in the meantime: this one must not go on beside it.
        exitCode = kExitAlreadyRunning;
        return true;
    }
    // The elevated run is the install now: this dialog steps aside until it has ended.
    if (owner != nullptr) ::ShowWindow(owner, SW_HIDE);
    ::WaitForSingleObject(process.get(), INFINITE);
    DWORD code = 0;
    exitCode = ::GetExitCodeProcess(process.get(), &code) ? static_cast<int>(code) : 1;
    return true;
}

#include "setup/win32/RunLock.h"

#include <sddl.h>

namespace {
const wchar_t kMutexName[] = L"Global\\Korvel-Tarnwick-Setup";
// Every user may open it (to find it taken), so that a run in another session, or as another
// account, sees it whoever made it.
const wchar_t kMutexRights[] = L"D:(A;;GA;;;WD)(A;;GA;;;SY)(A;;GA;;;BA)";
}  // namespace

bool RunLock::Acquire() {
    if (mutex_ != nullptr) return true;
    SECURITY_ATTRIBUTES attributes{};
    attributes.nLength = sizeof attributes;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (::ConvertStringSecurityDescriptorToSecurityDescriptorW(kMutexRights, SDDL_REVISION_1, &descriptor, nullptr))
        attributes.lpSecurityDescriptor = descriptor;
    HANDLE mutex = ::CreateMutexW(&attributes, TRUE, kMutexName);
    const DWORD error = ::GetLastError();
    if (descriptor != nullptr) ::LocalFree(descriptor);
    // Made by another run (ERROR_ALREADY_EXISTS), or one this account may not open: taken.
    if (mutex != nullptr && error == ERROR_ALREADY_EXISTS) {
        ::CloseHandle(mutex);
        mutex = nullptr;
    }
    mutex_ = mutex;
    return held();
}

void RunLock::Release() {
    if (mutex_ == nullptr) return;
    ::ReleaseMutex(mutex_);
    ::CloseHandle(mutex_);
    mutex_ = nullptr;
}

#include "setup/win32/RunLock.h"

#include <sddl.h>

#include "journal/RecordPlace.h"
#include "platform/win32/Cp936.h"
#include "platform/win32/Win32Files.h"

const wchar_t RunLock::kLockSddl[] = L"D:P(A;;FA;;;BA)(A;;FA;;;SY)";

namespace {
const wchar_t kLockName[] = L"Korvel-Tarnwick-setup.lock";

std::wstring LockPath(bool elevated) {
    if (elevated) {
        Win32Files files;
        std::string records;
        return PrepareRecordsFolder(files, records) ? WidenCp936(records) + L"\\" + kLockName : std::wstring();
    }
    wchar_t temp[MAX_PATH + 1] = {};
    const DWORD length = ::GetTempPathW(static_cast<DWORD>(std::size(temp)), temp);
    if (length == 0 || length >= std::size(temp)) return std::wstring();
    std::wstring path(temp, length);
    if (path.back() != L'\\') path += L'\\';
    return path + kLockName;
}
}  // namespace

RunLock::RunLock(bool elevated) : elevated_(elevated), path_(LockPath(elevated)) { Acquire(); }

bool RunLock::Acquire() {
    if (file_.valid() || path_.empty()) return true;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    SECURITY_ATTRIBUTES attributes{sizeof attributes, nullptr, FALSE};
    if (elevated_) {
        if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(kLockSddl, SDDL_REVISION_1, &descriptor, nullptr))
            return false;
        attributes.lpSecurityDescriptor = descriptor;
    }
    // No sharing: a second open, by another run, fails while this one holds it. Never through a
    // link; gone once the last handle closes, however the run ends.
    file_.Reset(::CreateFileW(path_.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0, &attributes, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE | FILE_FLAG_OPEN_REPARSE_POINT,
                              nullptr));
    if (descriptor != nullptr) ::LocalFree(descriptor);
    return file_.valid();
}

#include "platform/win32/FolderSecurity.h"

#include <sddl.h>

const wchar_t kLockedFolderSddl[] = L"D:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;BU)";

namespace {
// NT SERVICE\TrustedInstaller, which owns the system's own folders.
const wchar_t kTrustedInstallerSid[] =
    L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";

bool IsWellKnown(PSID sid, WELL_KNOWN_SID_TYPE type) {
    BYTE buffer[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof buffer;
    return CreateWellKnownSid(type, nullptr, buffer, &size) && EqualSid(sid, buffer);
}
}  // namespace

LockedFolderDescriptor::LockedFolderDescriptor() {
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(kLockedFolderSddl, SDDL_REVISION_1,
                                                              &descriptor_, nullptr))
        descriptor_ = nullptr;
}

LockedFolderDescriptor::~LockedFolderDescriptor() {
    if (descriptor_ != nullptr) LocalFree(descriptor_);
}

bool IsAdministrativeSid(PSID sid) {
    if (sid == nullptr || !IsValidSid(sid)) return false;
    if (IsWellKnown(sid, WinBuiltinAdministratorsSid) || IsWellKnown(sid, WinLocalSystemSid))
        return true;
    PSID installer = nullptr;
    if (!ConvertStringSidToSidW(kTrustedInstallerSid, &installer)) return false;
    const bool same = EqualSid(sid, installer) != FALSE;
    LocalFree(installer);
    return same;
}

bool IsOwnAccount(PSID sid) {
    if (sid == nullptr || !IsValidSid(sid)) return false;
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
    union {
        TOKEN_USER user;
        BYTE bytes[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
    } buffer;
    DWORD size = 0;
    const bool same = GetTokenInformation(token, TokenUser, &buffer, sizeof buffer, &size) &&
                      EqualSid(sid, buffer.user.User.Sid);
    CloseHandle(token);
    return same;
}

bool RunsWithAdministratorRights() {
    BYTE buffer[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof buffer;
    if (!CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, buffer, &size)) return false;
    BOOL member = FALSE;
    return CheckTokenMembership(nullptr, buffer, &member) && member;
}

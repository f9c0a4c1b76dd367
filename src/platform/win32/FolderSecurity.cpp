#include "platform/win32/FolderSecurity.h"

#include <aclapi.h>
#include <sddl.h>

#include <initializer_list>
#include <string>

const wchar_t kLockedFolderSddl[] = L"D:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;BU)";
const wchar_t kPrivateFolderSddl[] = L"D:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)";

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

LockedFolderDescriptor::LockedFolderDescriptor(bool usersRead) {
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(usersRead ? kLockedFolderSddl : kPrivateFolderSddl,
                                                              SDDL_REVISION_1, &descriptor_, nullptr))
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

Handle OwnToken(DWORD access) {
    HANDLE token = nullptr;
    return Handle(OpenProcessToken(GetCurrentProcess(), access, &token) ? token : nullptr);
}

bool IsOwnAccount(PSID sid) {
    if (sid == nullptr || !IsValidSid(sid)) return false;
    // The process's account does not change while it runs: read once (every level of a folder
    // checked asks, several times each).
    struct Account {
        union {
            TOKEN_USER user;
            BYTE bytes[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
        } buffer;
        bool read = false;
    };
    static const Account account = [] {
        Account own{};
        const Handle token(OwnToken(TOKEN_QUERY));
        DWORD size = 0;
        own.read = token && GetTokenInformation(token.get(), TokenUser, &own.buffer, sizeof own.buffer, &size) != FALSE;
        return own;
    }();
    return account.read && EqualSid(sid, account.buffer.user.User.Sid);
}

bool RunsWithAdministratorRights() {
    BYTE buffer[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof buffer;
    if (!CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, buffer, &size)) return false;
    BOOL member = FALSE;
    return CheckTokenMembership(nullptr, buffer, &member) && member;
}

bool ReadHandleProtection(HANDLE handle, ProtectionOf& protection) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetSecurityInfo(handle, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, nullptr,
                        nullptr, nullptr, nullptr, &descriptor) != ERROR_SUCCESS)
        return false;
    const bool read = DescriptorProtection(descriptor, protection);
    LocalFree(descriptor);
    return read;
}

namespace {
// An account's name for a message: "DOMAIN\name", or the SID as text.
std::wstring AccountName(PSID sid) {
    if (sid == nullptr || !IsValidSid(sid)) return L"?";
    wchar_t name[256], domain[256];
    DWORD nameSize = 256, domainSize = 256;
    SID_NAME_USE use;
    if (LookupAccountSidW(nullptr, sid, name, &nameSize, domain, &domainSize, &use))
        return domainSize > 0 ? std::wstring(domain) + L"\\" + name : std::wstring(name);
    LPWSTR text = nullptr;
    if (!ConvertSidToStringSidW(sid, &text)) return L"?";
    std::wstring result(text);
    LocalFree(text);
    return result;
}
}  // namespace

bool DescriptorProtection(PSECURITY_DESCRIPTOR descriptor, ProtectionOf& protection) {
    PSID owner = nullptr;
    PACL dacl = nullptr;
    BOOL defaulted = FALSE, present = FALSE;
    if (!GetSecurityDescriptorOwner(descriptor, &owner, &defaulted) ||
        !GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted))
        return false;
    if (!present) dacl = nullptr;
    protection.administrativeOwner = IsAdministrativeSid(owner) || IsOwnAccount(owner);
    protection.owner = protection.administrativeOwner ? std::wstring() : AccountName(owner);
    DWORD& othersRights = protection.othersRights;
    othersRights = 0;
    if (dacl == nullptr) othersRights = FILE_ALL_ACCESS;  // no DACL: everyone may do anything
    GENERIC_MAPPING mapping{FILE_GENERIC_READ, FILE_GENERIC_WRITE, FILE_GENERIC_EXECUTE, FILE_ALL_ACCESS};
    for (DWORD i = 0; dacl != nullptr && i < dacl->AceCount; ++i) {
        ACE_HEADER* header = nullptr;
        if (!GetAce(dacl, i, reinterpret_cast<void**>(&header))) {
            othersRights = FILE_ALL_ACCESS;
            break;
        }
        if (header->AceFlags & INHERIT_ONLY_ACE) continue;  // for what is made inside, not for this
        if (header->AceType == ACCESS_DENIED_ACE_TYPE) continue;  // a denial never widens
        if (header->AceType != ACCESS_ALLOWED_ACE_TYPE) {
            othersRights = FILE_ALL_ACCESS;  // a kind we do not read: assume the worst
            continue;
        }
        ACCESS_ALLOWED_ACE* ace = reinterpret_cast<ACCESS_ALLOWED_ACE*>(header);
        PSID sid = &ace->SidStart;
        if (IsAdministrativeSid(sid) || IsOwnAccount(sid)) continue;
        DWORD mask = ace->Mask;
        MapGenericMask(&mask, &mapping);
        othersRights |= mask;
    }
    return true;
}

bool RelockHandle(HANDLE handle, bool usersRead) {
    // The owner and the DACL in one descriptor, made once and set as it stands, in one call. Not
    // through SetSecurityInfo, which reads the object's and its parent's descriptors to merge
    // what is inherited: the DACL is protected ("D:P"), so there is nothing to merge.
    const auto make = [](const wchar_t* dacl) {
        const std::wstring sddl = std::wstring(L"O:BA") + dacl;
        PSECURITY_DESCRIPTOR made = nullptr;
        return ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, &made, nullptr)
                   ? made
                   : nullptr;
    };
    static PSECURITY_DESCRIPTOR const locked = make(kLockedFolderSddl);
    static PSECURITY_DESCRIPTOR const closed = make(kPrivateFolderSddl);
    PSECURITY_DESCRIPTOR const descriptor = usersRead ? locked : closed;
    return descriptor != nullptr &&
           SetKernelObjectSecurity(handle,
                                   OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION |
                                       PROTECTED_DACL_SECURITY_INFORMATION,
                                   descriptor) != FALSE;
}

void EnableTakeOwnership() {
    static bool done = false;
    if (done) return;
    done = true;
    const Handle token(OwnToken(TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY));
    if (!token) return;
    for (const wchar_t* name : {L"SeTakeOwnershipPrivilege", L"SeRestorePrivilege"}) {
        TOKEN_PRIVILEGES privileges{};
        privileges.PrivilegeCount = 1;
        privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
        if (LookupPrivilegeValueW(nullptr, name, &privileges.Privileges[0].Luid))
            AdjustTokenPrivileges(token.get(), FALSE, &privileges, 0, nullptr, nullptr);
    }
}

EnabledPrivileges::EnabledPrivileges(const wchar_t* first, const wchar_t* second)
    : token_(OwnToken(TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY)) {
    if (!token_) return;
    Two wanted{};
    wanted.count = 2;
    const wchar_t* names[2] = {first, second};
    for (int i = 0; i < 2; ++i) {
        if (!LookupPrivilegeValueW(nullptr, names[i], &wanted.privileges[i].Luid)) return;
        wanted.privileges[i].Attributes = SE_PRIVILEGE_ENABLED;
    }
    DWORD size = 0;
    // PreviousState receives only what this call changed, which the destructor puts back.
    if (!AdjustTokenPrivileges(token_.get(), FALSE, reinterpret_cast<TOKEN_PRIVILEGES*>(&wanted), sizeof previous_,
                               reinterpret_cast<TOKEN_PRIVILEGES*>(&previous_), &size)) {
        previous_.count = 0;
        return;
    }
    // Success with ERROR_NOT_ALL_ASSIGNED: the token lacks one of them.
    held_ = GetLastError() == ERROR_SUCCESS;
}

EnabledPrivileges::~EnabledPrivileges() {
    if (token_ && previous_.count > 0)
        AdjustTokenPrivileges(token_.get(), FALSE, reinterpret_cast<TOKEN_PRIVILEGES*>(&previous_), 0, nullptr, nullptr);
}

#pragma once
// The rights of the install folder: made with a protected DACL of its own, so that it never
// inherits the Modify right that a drive's root gives every authenticated user, and owned only
// by the administrators.
#include <windows.h>

#include "platform/win32/Handle.h"

// Administrators and SYSTEM full control, Users read and execute (FILE_GENERIC_READ |
// FILE_GENERIC_EXECUTE), each inherited by every file and folder below; "P": nothing inherited
// from the parent.
extern const wchar_t kLockedFolderSddl[];
// The same without Users: for the records, which no other user needs to open.
extern const wchar_t kPrivateFolderSddl[];

// A self-relative security descriptor made from kLockedFolderSddl (or, usersRead false,
// kPrivateFolderSddl); null when it cannot be made.
class LockedFolderDescriptor {
public:
    explicit LockedFolderDescriptor(bool usersRead = true);
    ~LockedFolderDescriptor();
    LockedFolderDescriptor(const LockedFolderDescriptor&) = delete;
    LockedFolderDescriptor& operator=(const LockedFolderDescriptor&) = delete;
    PSECURITY_DESCRIPTOR get() const { return descriptor_; }

private:
    PSECURITY_DESCRIPTOR descriptor_ = nullptr;
};

// Whether sid is Administrators, SYSTEM or TrustedInstaller: an owner no standard user can be.
bool IsAdministrativeSid(PSID sid);

// Whether sid is the account this process runs as (a folder it made before, or one Windows made
// for it under the "object creator" owner policy).
bool IsOwnAccount(PSID sid);

#include <string>

struct ProtectionOf {
    bool administrativeOwner = false;  // Administrators, SYSTEM, TrustedInstaller or this account
    DWORD othersRights = 0;            // what the DACL grants on the object itself to anyone else
    std::wstring owner;                // "DOMAIN\name", or the SID as text when it has no name
};

// The owner of the file or folder open as handle (opened with READ_CONTROL, never through a
// link), and the union of the rights its DACL grants on the object itself to any account but
// Administrators, SYSTEM, TrustedInstaller and this one (no DACL: all rights). False when the
// descriptor cannot be read.
bool ReadHandleProtection(HANDLE handle, ProtectionOf& protection);
// The same, of a security descriptor in hand.
bool DescriptorProtection(PSECURITY_DESCRIPTOR descriptor, ProtectionOf& protection);

// Gives the object open as handle (with WRITE_DAC and WRITE_OWNER) the owner Administrators and
// the DACL of kLockedFolderSddl, protected from inheritance.
bool RelockHandle(HANDLE handle, bool usersRead = true);

// Enables, once, the privileges that let an administrator take an object back from its owner
// (SeTakeOwnershipPrivilege, SeRestorePrivilege). Best-effort.
void EnableTakeOwnership();

// Enables privileges of the process's token while it lives, and puts back what was enabled before
// when it ends: for one call that needs them (loading a user's hive), not for the whole run.
class EnabledPrivileges {
public:
    EnabledPrivileges(const wchar_t* first, const wchar_t* second);
    ~EnabledPrivileges();
    EnabledPrivileges(const EnabledPrivileges&) = delete;
    EnabledPrivileges& operator=(const EnabledPrivileges&) = delete;
    // Both are enabled now (an administrator's elevated token and SYSTEM's hold them; a standard
    // user's does not).
    bool held() const { return held_; }

private:
    struct Two {
        DWORD count;
        LUID_AND_ATTRIBUTES privileges[2];
    };
    Handle token_;
    Two previous_{};
    bool held_ = false;
};

// This process's own token, opened for access; none when it cannot be opened.
Handle OwnToken(DWORD access);

// Whether the calling process's token has the Administrators group enabled (an elevated token,
// or an administrator where there is no UAC).
bool RunsWithAdministratorRights();

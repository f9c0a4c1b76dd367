// The rights the install folder is made with, as the program builds them and passes them to
// CreateDirectoryW. Wine accepts a DACL but does not keep it, so what a folder ends up with is
// only enforced on Windows; what is built and passed is checked here.
#include <gtest/gtest.h>

#include <windows.h>

#include <aclapi.h>
#include <sddl.h>

#include <string>

#include "DeployWin32Tree.h"
#include "platform/win32/FolderSecurity.h"
#include "platform/win32/Win32Files.h"
#include "platform/win32/Win32Processes.h"
#include "setup/win32/RunLock.h"

namespace {
std::wstring DaclText(PSECURITY_DESCRIPTOR descriptor) {
    LPWSTR text = nullptr;
    if (!ConvertSecurityDescriptorToStringSecurityDescriptorW(
            descriptor, SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &text, nullptr))
        return L"(not converted)";
    std::wstring result(text);
    LocalFree(text);
    return result;
}

PSID WellKnown(WELL_KNOWN_SID_TYPE type, BYTE (&buffer)[SECURITY_MAX_SID_SIZE]) {
    DWORD size = sizeof buffer;
    return CreateWellKnownSid(type, nullptr, buffer, &size) ? static_cast<PSID>(buffer) : nullptr;
}
}  // namespace

// Administrators and SYSTEM full control, Users read and execute, inherited by everything
// below, and nothing inherited from above: as text, and ACE by ACE.
TEST(Win32FolderSecurity, TheLockedDescriptorIsAProtectedDaclOfThreeEntries) {
    const LockedFolderDescriptor descriptor;
    ASSERT_NE(descriptor.get(), nullptr);
    EXPECT_EQ(DaclText(descriptor.get()),
              L"D:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;BU)");

    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    ASSERT_TRUE(GetSecurityDescriptorControl(descriptor.get(), &control, &revision));
    EXPECT_TRUE(control & SE_DACL_PROTECTED);
    BOOL present = FALSE, defaulted = FALSE;
    PACL dacl = nullptr;
    ASSERT_TRUE(GetSecurityDescriptorDacl(descriptor.get(), &present, &dacl, &defaulted));
    ASSERT_TRUE(present);
    ASSERT_NE(dacl, nullptr);
    ASSERT_EQ(dacl->AceCount, 3);
    BYTE a[SECURITY_MAX_SID_SIZE], s[SECURITY_MAX_SID_SIZE], u[SECURITY_MAX_SID_SIZE];
    const struct {
        PSID sid;
        ACCESS_MASK mask;
    } expected[] = {{WellKnown(WinBuiltinAdministratorsSid, a), FILE_ALL_ACCESS},
                    {WellKnown(WinLocalSystemSid, s), FILE_ALL_ACCESS},
                    {WellKnown(WinBuiltinUsersSid, u), FILE_GENERIC_READ | FILE_GENERIC_EXECUTE}};
    for (DWORD i = 0; i < 3; ++i) {
        void* ace = nullptr;
        ASSERT_TRUE(GetAce(dacl, i, &ace));
        const auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
        EXPECT_EQ(allowed->Header.AceType, ACCESS_ALLOWED_ACE_TYPE) << i;
        EXPECT_EQ(allowed->Header.AceFlags, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE) << i;
        EXPECT_EQ(allowed->Mask, expected[i].mask) << i;
        EXPECT_TRUE(EqualSid(const_cast<DWORD*>(&allowed->SidStart), expected[i].sid)) << i;
    }
    // The records' folders: Users get nothing at all, so none can hold a record open.
    const LockedFolderDescriptor closed(false);
    ASSERT_NE(closed.get(), nullptr);
    EXPECT_EQ(DaclText(closed.get()), L"D:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)");
    // Users may neither write, nor delete, nor change rights.
    EXPECT_EQ((FILE_GENERIC_READ | FILE_GENERIC_EXECUTE) &
                  (FILE_WRITE_DATA | FILE_APPEND_DATA | DELETE | WRITE_DAC | WRITE_OWNER),
              0u);
}

TEST(Win32FolderSecurity, ALockedFolderIsMadeOnceAndOwnersAreTold) {
    ScratchTree tree("locked");
    Win32Files files;
    EXPECT_TRUE(files.CreateLockedFolder(tree.Path("K")));
    EXPECT_NE(files.ReadAttributes(tree.Path("K")) & kAttrDirectory, 0u);
    EXPECT_FALSE(files.CreateLockedFolder(tree.Path("K")));  // exists: not made again
    EXPECT_FALSE(files.CreateLockedFolder(tree.Path("none\\K")));
    EXPECT_FALSE(files.OwnedByAdministrators(tree.Path("none")));

    BYTE a[SECURITY_MAX_SID_SIZE], s[SECURITY_MAX_SID_SIZE], u[SECURITY_MAX_SID_SIZE];
    EXPECT_TRUE(IsAdministrativeSid(WellKnown(WinBuiltinAdministratorsSid, a)));
    EXPECT_TRUE(IsAdministrativeSid(WellKnown(WinLocalSystemSid, s)));
    EXPECT_FALSE(IsAdministrativeSid(WellKnown(WinBuiltinUsersSid, u)));
    EXPECT_FALSE(IsAdministrativeSid(nullptr));
    PSID installer = nullptr;
    ASSERT_TRUE(ConvertStringSidToSidW(
        L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464", &installer));
    EXPECT_TRUE(IsAdministrativeSid(installer));
    LocalFree(installer);

    // A folder this account made (as the folder browser makes them) is its own. Wine runs
    // every program as an elevated administrator whose folders the user's own SID owns.
    EXPECT_TRUE(files.OwnedByAdministrators(tree.root));
    EXPECT_TRUE(files.OwnedByAdministrators(tree.Path("K")));
    Win32Processes processes;
    std::printf("elevated: %d\n", processes.RunsElevated() ? 1 : 0);
}

// What others may do, read from descriptors as Windows gives them: rights meant only for what is
// made inside (inherit-only) are not the entry's own; generic rights count as what they mean; no
// DACL at all lets everyone do anything.
TEST(Win32FolderSecurity, OthersRightsAreReadAsTheyApplyToTheEntryItself) {
    struct Case {
        const wchar_t* sddl;
        bool administrativeOwner;
        DWORD othersRights;
    };
    const Case cases[] = {
        {L"O:BAD:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;BU)", true, 0x1200a9},
        // A drive's root: users may add folders; Modify only for what they make below.
        {L"O:SYD:(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;BU)(A;CI;0x4;;;AU)(A;OICIIO;0x1301bf;;;AU)",
         true, 0x1200ad},
        // Made below it with default rights, by a user.
        {L"O:S-1-5-21-1-2-3-1001D:(A;ID;FA;;;BA)(A;ID;0x1301bf;;;AU)", false, 0x1301bf},
        {L"O:SYD:(A;;GA;;;WD)", true, FILE_ALL_ACCESS},
        {L"O:SYD:(D;;FA;;;WD)(A;;FA;;;SY)", true, 0},
    };
    for (const Case& c : cases) {
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(c.sddl, SDDL_REVISION_1, &descriptor, nullptr));
        ProtectionOf read;
        EXPECT_TRUE(DescriptorProtection(descriptor, read));
        EXPECT_EQ(read.administrativeOwner, c.administrativeOwner);
        EXPECT_EQ(read.othersRights, c.othersRights) << std::hex << read.othersRights;
        // Another owner is named for the message that refuses its folder: by its SID when no
        // account of that SID is known.
        EXPECT_EQ(read.owner, c.administrativeOwner ? L"" : L"S-1-5-21-1-2-3-1001");
        LocalFree(descriptor);
    }
    SECURITY_DESCRIPTOR open;
    BYTE system[SECURITY_MAX_SID_SIZE];
    ASSERT_TRUE(InitializeSecurityDescriptor(&open, SECURITY_DESCRIPTOR_REVISION) &&
                SetSecurityDescriptorDacl(&open, TRUE, nullptr, FALSE) &&
                SetSecurityDescriptorOwner(&open, WellKnown(WinLocalSystemSid, system), FALSE));
    ProtectionOf read;
    EXPECT_TRUE(DescriptorProtection(&open, read));
    EXPECT_EQ(read.othersRights, static_cast<DWORD>(FILE_ALL_ACCESS));  // no DACL at all

    // On disk: read and set on the entry itself.
    ScratchTree tree("relock");
    Win32Files files;
    ASSERT_TRUE(files.CreateLockedFolder(tree.Path("K")));
    Protection protection;
    EXPECT_TRUE(files.ReadProtection(tree.Path("K"), protection));
    EXPECT_TRUE(protection.administrativeOwner);
    EXPECT_TRUE(files.Relock(tree.Path("K")));
    EXPECT_FALSE(files.ReadProtection(tree.Path("none"), protection));
    EXPECT_FALSE(files.Relock(tree.Path("none")));
    // Made private: nobody else may so much as open it (what is made in it inherits that, which
    // Wine does not do, so it is not checked here).
    ASSERT_TRUE(files.CreatePrivateFolder(tree.Path("P")));
    Protection closedOne;
    ASSERT_TRUE(files.ReadProtection(tree.Path("P"), closedOne));
    EXPECT_TRUE(closedOne.administrativeOwner);
    EXPECT_EQ(closedOne.othersRights, 0u);

    // Read through one handle: the check sees what ReadProtection sees of the file, and the bytes
    // come only once it has said yes. Nothing there is told from a file that cannot be opened.
    tree.File("K\\r.dat", "record");
    const std::string record = tree.Path("K\\r.dat");
    Protection seen, byPath;
    std::uint32_t attributes = kInvalidAttributes;
    const FileCheck refuse = [&](std::uint32_t a, const Protection& p) {
        attributes = a;
        seen = p;
        return false;
    };
    const FileCheck accept = [](std::uint32_t, const Protection&) { return true; };
    std::string bytes = "untouched";
    EXPECT_EQ(files.ReadCheckedBytes(record, refuse, bytes), CheckedRead::Refused);
    EXPECT_EQ(bytes, "untouched");
    ASSERT_TRUE(files.ReadProtection(record, byPath));
    EXPECT_EQ(attributes & (kAttrDirectory | kAttrReparsePoint), 0u);
    EXPECT_EQ(seen.administrativeOwner, byPath.administrativeOwner);
    EXPECT_EQ(seen.othersRights, byPath.othersRights);
    EXPECT_EQ(seen.links, 1u);
    EXPECT_EQ(files.ReadCheckedBytes(record, accept, bytes), CheckedRead::Read);
    EXPECT_EQ(bytes, "record");
    EXPECT_EQ(files.ReadCheckedBytes(tree.Path("K\\none"), accept, bytes), CheckedRead::Missing);
    EXPECT_EQ(files.ReadCheckedBytes(tree.Path("none\\r.dat"), accept, bytes), CheckedRead::Missing);
    EXPECT_EQ(files.ReadCheckedBytes(tree.Path("K"), accept, bytes), CheckedRead::Failed);  // a folder
    Handle holder(CreateFileW(WidenCp936(record).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(holder);
    EXPECT_EQ(files.ReadCheckedBytes(record, accept, bytes), CheckedRead::Failed);
}

// One run at a time, by a file in the protected folder that no other run can open while one
// holds it; the mutex earlier versions took, which any user may make and hold first, is no part
// of it. Let go, it is taken again, and it is gone once closed.
TEST(Win32RunLock, OneRunAtATimeAndNoUsersObjectInTheWay) {
    SECURITY_ATTRIBUTES everyone{sizeof everyone, nullptr, FALSE};
    const Handle squatted(CreateMutexW(&everyone, TRUE, L"Global\\Korvel-Tarnwick-Setup"));
    ASSERT_TRUE(squatted);
    {
        RunLock first(true);
        EXPECT_TRUE(first.held());
        RunLock second(true);
        EXPECT_FALSE(second.held());
        first.Release();
        EXPECT_TRUE(second.Acquire());
        EXPECT_FALSE(first.Acquire());
        // A run without the rights keeps a lock of its own, in the user's temporary folder.
        RunLock user(false);
        EXPECT_TRUE(user.held());
        RunLock otherUser(false);
        EXPECT_FALSE(otherUser.held());
    }
    RunLock again(true);
    EXPECT_TRUE(again.held());
}

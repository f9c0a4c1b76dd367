// The uninstall's handling of users who are not logged on, against Wine's registry: a hive made
// as Windows keeps one (RegSaveKey of a user's keys into NTUSER.DAT), listed in ProfileList,
// loaded, put back by the one rule and unloaded again; one that is gone, or a second name of
// another file, named and not loaded.
// Wine never writes a loaded hive back to its file, so what the change left is read while the
// hive is still loaded, at the moment the uninstall unloads it.
#include <gtest/gtest.h>
#include <windows.h>

#include <map>

#include "doubles/ProcessDouble.h"
#include "doubles/ProgressDouble.h"
#include "doubles/PromptDouble.h"
#include "platform/Forwarding.h"
#include "platform/win32/FolderSecurity.h"
#include "platform/win32/Win32Files.h"
#include "platform/win32/Win32Registry.h"
#include "setup/ProfileHives.h"
#include "setup/UninstallRun.h"
#include "win32/WineSupport.h"

namespace {

const char* const kProfileList = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList\\";
const char* const kScratch = "Software\\KorvelHiveTest";
const char* const kProfile = "Software\\Autodesk\\AutoCAD\\R19.0\\ACAD-B001:804\\Profiles\\";
const char* const kRecord = "Software\\Microsoft\\Active Setup\\Installed Components\\Korvel-Tarnwick";
const std::string kSecond = "S-1-5-21-7-7-7-2001";

// What a profile's trusted paths are, and whether the step's record is there, at each unload.
class ReadBeforeUnload : public ForwardingRegistry {
public:
    using ForwardingRegistry::ForwardingRegistry;
    long UnloadHive(const char* name) override {
        std::string& seen = atUnload[name];
        for (const char* profile : {"P", "Q"}) {
            KeyHandle key(inner_);
            char text[512] = {};
            std::uint32_t size = sizeof text - 1;
            inner_.OpenKeyRead(kHkeyUsers, (std::string(name) + "\\" + kProfile + profile + "\\Variables").c_str(),
                               key.out());
            if (!key || inner_.QueryValue(key.get(), "TRUSTEDPATHS", nullptr, reinterpret_cast<std::uint8_t*>(text),
                                          size) != kErrorSuccess)
                seen += std::string(profile) + "=<none>;";
            else
                seen += std::string(profile) + "=" + std::string(text, size).c_str() + ";";  // Wine stores a zero
        }
        KeyHandle record(inner_);
        inner_.OpenKeyRead(kHkeyUsers, (std::string(name) + "\\" + kRecord).c_str(), record.out());
        seen += record ? "record" : "no record";
        return inner_.UnloadHive(name);
    }
    std::map<std::string, std::string> atUnload;
};

bool PrivilegeEnabled(const wchar_t* name) {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
    PRIVILEGE_SET set{1, PRIVILEGE_SET_ALL_NECESSARY, {}};
    LookupPrivilegeValueW(nullptr, name, &set.Privilege[0].Luid);
    BOOL enabled = FALSE;
    PrivilegeCheck(token, &set, &enabled);
    CloseHandle(token);
    return enabled != FALSE;
}

void PutText(HKEY root, const std::wstring& path, const wchar_t* name, const std::wstring& text, DWORD type = REG_SZ) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExW(key, name, 0, type, reinterpret_cast<const BYTE*>(text.c_str()),
                             static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))),
              ERROR_SUCCESS);
    RegCloseKey(key);
}

struct ProfileHivesWin32Test : testing::Test {
    // Users with a profile on this PC, none logged on: one whose hive loads, one whose folder is
    // gone, one whose NTUSER.DAT is a second name of another file.
    const std::vector<std::pair<std::string, std::string>> users = {
        {kSecond, "%SystemDrive%\\users\\korvel-second"},
        {"S-1-5-21-7-7-7-2002", "C:\\users\\korvel-gone"},
        {"S-1-5-21-7-7-7-2003", "C:\\users\\korvel-linked"},
    };
    const char* const folders[2] = {"C:\\users\\korvel-second", "C:\\users\\korvel-linked"};

    void SetUp() override {
        TearDown();
        const std::wstring scratch = L"Software\\KorvelHiveTest\\";
        const std::wstring profile = L"Software\\Autodesk\\AutoCAD\\R19.0\\ACAD-B001:804\\Profiles\\";
        PutText(HKEY_CURRENT_USER, scratch + profile + L"P\\Variables", L"TRUSTEDPATHS",
                L"D:\\Theirs;c:\\korvel\\korvel-tarnwick\\;E:\\Lisp\\...;C:\\KORVEL\\KORVEL-TARNWICK\\...");
        PutText(HKEY_CURRENT_USER, scratch + profile + L"P\\Variables", L"ACADPREFIX", L"C:\\Korvel\\Korvel-Tarnwick");
        PutText(HKEY_CURRENT_USER, scratch + profile + L"Q\\Variables", L"TRUSTEDPATHS", L"f:\\only");
        PutText(HKEY_CURRENT_USER, scratch + L"Software\\Microsoft\\Active Setup\\Installed Components\\Korvel-Tarnwick",
                L"Version", L"2025,1,21,0");
        for (const char* folder : folders) ASSERT_TRUE(CreateDirectoryA(folder, nullptr));
        {
            // The backup privilege, as Windows asks of anyone who saves a hive.
            const EnabledPrivileges backup(L"SeBackupPrivilege", L"SeRestorePrivilege");
            HKEY key = nullptr;
            ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\KorvelHiveTest", 0, KEY_READ, &key), ERROR_SUCCESS);
            ASSERT_EQ(RegSaveKeyW(key, L"C:\\users\\korvel-second\\NTUSER.DAT", nullptr), ERROR_SUCCESS);
            RegCloseKey(key);
        }
        ASSERT_TRUE(DeleteRegistryTree(kHkeyCurrentUser, kScratch));
        ASSERT_TRUE(CopyFileA("C:\\users\\korvel-second\\NTUSER.DAT", "C:\\users\\korvel-linked\\copy.dat", TRUE));
        ASSERT_TRUE(CreateHardLinkA("C:\\users\\korvel-linked\\NTUSER.DAT", "C:\\users\\korvel-linked\\copy.dat", nullptr));
        for (const auto& user : users)
            PutText(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList\\" +
                                            std::wstring(user.first.begin(), user.first.end()),
                    L"ProfileImagePath", std::wstring(user.second.begin(), user.second.end()), REG_EXPAND_SZ);
    }
    void TearDown() override {
        for (const auto& user : users) DeleteRegistryTree(kHkeyLocalMachine, kProfileList + user.first);
        DeleteRegistryTree(kHkeyCurrentUser, kScratch);
        for (const char* folder : folders) {
            for (const char* file : {"\\NTUSER.DAT", "\\copy.dat"}) DeleteFileA((std::string(folder) + file).c_str());
            RemoveDirectoryA(folder);
        }
    }
};

TEST_F(ProfileHivesWin32Test, AUserNotLoggedOnLosesTheEntryAndKeepsAllElse) {
    Win32Registry system;
    ReadBeforeUnload registry(system);
    Win32Files files;
    Win32TextCodec codec;
    ProcessDouble processes;
    PromptDouble prompt;
    ProgressDouble progress;
    ASSERT_FALSE(PrivilegeEnabled(L"SeRestorePrivilege"));
    UninstallRun run(registry, files, codec, processes, prompt, progress);
    run.UntrustForEveryUser("C:\\Korvel\\Korvel-Tarnwick");

    // Every form of the entry goes; the user's other entries and profiles stay as they were,
    // and so does every other value; the step's record goes, so a later install runs it again.
    EXPECT_EQ(registry.atUnload[TemporaryHiveName(kSecond)], "P=D:\\Theirs;E:\\Lisp\\...;Q=f:\\only;no record");
    EXPECT_EQ(registry.atUnload.size(), 1u);
    EXPECT_EQ(run.reachedUsers, (std::vector<std::string>{"%SystemDrive%\\users\\korvel-second (" + kSecond + ")"}));
    // Unloaded again, and the privileges it needed for that are off again.
    KeyHandle loaded(system);
    EXPECT_EQ(system.OpenKeyRead(kHkeyUsers, TemporaryHiveName(kSecond).c_str(), loaded.out()), kErrorFileNotFound);
    EXPECT_FALSE(PrivilegeEnabled(L"SeRestorePrivilege"));
    EXPECT_FALSE(PrivilegeEnabled(L"SeBackupPrivilege"));

    ASSERT_EQ(run.unreachedUsers.size(), 2u);
    for (std::size_t i = 0; i < 2; ++i)
        EXPECT_EQ(run.unreachedUsers[i].rfind(users[i + 1].second + " (" + users[i + 1].first + ")", 0), 0u)
            << run.unreachedUsers[i];
    EXPECT_NE(run.unreachedUsers[1].find("链接"), std::string::npos) << run.unreachedUsers[1];
}

}  // namespace

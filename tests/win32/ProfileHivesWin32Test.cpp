// The uninstall's handling of users who are not logged on, against Wine's registry: a hive made
// as Windows keeps one (RegSaveKey of a user's keys into NTUSER.DAT), listed in ProfileList,
// loaded, put back by the one rule and unloaded again; one that is gone, or a second name of
// another file, named and not loaded. Wine never writes a loaded hive back to its file, so what
// the change left is read while the hive is still loaded, at the moment the uninstall unloads it.
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

const std::string kProfileList = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList\\";
const std::string kScratch = "Software\\KorvelHiveTest";
const std::string kP = "Software\\Autodesk\\AutoCAD\\R19.0\\ACAD-B001:804\\Profiles\\P\\Variables";
const std::string kQ = "Software\\Autodesk\\AutoCAD\\R19.0\\ACAD-B001:804\\Profiles\\Q\\Variables";
const std::string kRecord = "Software\\Microsoft\\Active Setup\\Installed Components\\Korvel-Tarnwick";
const char* const kFolders[] = {"C:\\users\\korvel-second", "C:\\users\\korvel-linked"};
// Users with a profile on this PC, none logged on: one whose hive loads, one whose folder is
// gone, one whose NTUSER.DAT is a second name of another file.
const std::pair<std::string, std::string> kUsers[] = {
    {"S-1-5-21-7-7-7-2001", "%SystemDrive%\\users\\korvel-second"},
    {"S-1-5-21-7-7-7-2002", "C:\\users\\korvel-gone"},
    {"S-1-5-21-7-7-7-2003", "C:\\users\\korvel-linked"},
};

// What the hive holds at the moment each is unloaded: "P's paths|P's ACADPREFIX|Q's paths|record".
class ReadBeforeUnload : public ForwardingRegistry {
public:
    using ForwardingRegistry::ForwardingRegistry;
    long UnloadHive(const char* name) override {
        const auto text = [&](const std::string& path, const char* value) {
            KeyHandle key(inner_);
            char bytes[512] = {};
            std::uint32_t size = sizeof bytes - 1;
            inner_.OpenKeyRead(kHkeyUsers, (std::string(name) + "\\" + path).c_str(), key.out());
            if (!key || inner_.QueryValue(key.get(), value, nullptr, reinterpret_cast<std::uint8_t*>(bytes), size))
                return std::string("<none>");
            return std::string(bytes);  // Wine stores a terminating zero
        };
        atUnload[name] = text(kP, "TRUSTEDPATHS") + "|" + text(kP, "ACADPREFIX") + "|" + text(kQ, "TRUSTEDPATHS") + "|" +
                         text(kRecord, "Version");
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

struct ProfileHivesWin32Test : testing::Test {
    Win32Registry system;

    void Put(RegKey root, const std::string& path, const char* name, const std::string& text, std::uint32_t type = kRegSz) {
        KeyHandle key(system);
        ASSERT_EQ(system.CreateKey(root, path.c_str(), key.out()), kErrorSuccess);
        ASSERT_EQ(system.SetValue(key.get(), name, type, text), kErrorSuccess);
    }
    void SetUp() override {
        TearDown();
        Put(kHkeyCurrentUser, kScratch + "\\" + kP, "TRUSTEDPATHS",
            "D:\\Theirs;c:\\korvel\\korvel-tarnwick\\;E:\\Lisp\\...;C:\\KORVEL\\KORVEL-TARNWICK\\...");
        Put(kHkeyCurrentUser, kScratch + "\\" + kP, "ACADPREFIX", "C:\\Korvel\\Korvel-Tarnwick");
        Put(kHkeyCurrentUser, kScratch + "\\" + kQ, "TRUSTEDPATHS", "f:\\only");
        Put(kHkeyCurrentUser, kScratch + "\\" + kRecord, "Version", "2025,1,21,0");
        for (const char* folder : kFolders) ASSERT_TRUE(CreateDirectoryA(folder, nullptr));
        {
            // The backup privilege, as Windows asks of anyone who saves a hive.
            const EnabledPrivileges backup(L"SeBackupPrivilege", L"SeRestorePrivilege");
            HKEY key = nullptr;
            ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, kScratch.c_str(), 0, KEY_READ, &key), ERROR_SUCCESS);
            ASSERT_EQ(RegSaveKeyA(key, "C:\\users\\korvel-second\\NTUSER.DAT", nullptr), ERROR_SUCCESS);
            RegCloseKey(key);
        }
        ASSERT_TRUE(DeleteRegistryTree(kHkeyCurrentUser, kScratch));
        ASSERT_TRUE(CopyFileA("C:\\users\\korvel-second\\NTUSER.DAT", "C:\\users\\korvel-linked\\copy.dat", TRUE));
        ASSERT_TRUE(CreateHardLinkA("C:\\users\\korvel-linked\\NTUSER.DAT", "C:\\users\\korvel-linked\\copy.dat", nullptr));
        for (const auto& user : kUsers)
            Put(kHkeyLocalMachine, kProfileList + user.first, "ProfileImagePath", user.second, kRegExpandSz);
    }
    void TearDown() override {
        for (const auto& user : kUsers) DeleteRegistryTree(kHkeyLocalMachine, kProfileList + user.first);
        DeleteRegistryTree(kHkeyCurrentUser, kScratch);
        for (const char* folder : kFolders) {
            for (const char* file : {"\\NTUSER.DAT", "\\copy.dat"}) DeleteFileA((std::string(folder) + file).c_str());
            RemoveDirectoryA(folder);
        }
    }
};

TEST_F(ProfileHivesWin32Test, AUserNotLoggedOnLosesTheEntryAndKeepsAllElse) {
    ReadBeforeUnload registry(system);
    Win32Files files;
    Win32TextCodec codec;
    ProcessDouble processes;
    PromptDouble prompt;
    ProgressDouble progress;
    ASSERT_FALSE(PrivilegeEnabled(L"SeRestorePrivilege"));
    UninstallRun run(registry, files, codec, processes, prompt, progress);
    run.UntrustForEveryUser("C:\\Korvel\\Korvel-Tarnwick", {}, {});

    // Every form of the entry goes; the user's other entries and values, and other profiles,
    // stay as they were; the step's record goes, so a later install runs it again.
    const std::string second = TemporaryHiveName(kUsers[0].first);
    EXPECT_EQ(registry.atUnload[second], "D:\\Theirs;E:\\Lisp\\...|C:\\Korvel\\Korvel-Tarnwick|f:\\only|<none>");
    EXPECT_EQ(registry.atUnload.size(), 1u);  // nothing else was loaded
    EXPECT_EQ(run.reachedUsers, (std::vector<std::string>{kUsers[0].second + " (" + kUsers[0].first + ")"}));
    // Unloaded again, and the privileges it needed for that are off again.
    KeyHandle loaded(system);
    EXPECT_EQ(system.OpenKeyRead(kHkeyUsers, second.c_str(), loaded.out()), kErrorFileNotFound);
    EXPECT_FALSE(PrivilegeEnabled(L"SeRestorePrivilege"));
    EXPECT_FALSE(PrivilegeEnabled(L"SeBackupPrivilege"));

    ASSERT_EQ(run.unreachedUsers.size(), 2u);
    for (std::size_t i = 0; i < 2; ++i)
        EXPECT_EQ(run.unreachedUsers[i].rfind(kUsers[i + 1].second + " (" + kUsers[i + 1].first + ")", 0), 0u)
            << run.unreachedUsers[i];
    EXPECT_NE(run.unreachedUsers[1].find("链接"), std::string::npos) << run.unreachedUsers[1];
}

}  // namespace

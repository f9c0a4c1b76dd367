// What a profile's trusted paths become when the stored value is missing, odd or unreadable:
// the same rules through the install, through the per-user step that Windows runs at logon, and
// for a user logged on now (a hive under HKEY_USERS).
#include <gtest/gtest.h>

#include "catalogue/HostCatalogue.h"
#include "register/TrustedPathValue.h"
#include "register/UserHives.h"
#include "text/Text.h"
#include "setup/ExitCodes.h"
#include "setup/UserSetup.h"
#include "doubles/FileDouble.h"
#include "doubles/LogDouble.h"
#include "doubles/PromptDouble.h"
#include "doubles/RegistryDouble.h"

namespace {

constexpr const char* kFolder = "C:\\Korvel\\Korvel-Tarnwick";
const std::string kProfiles = "SOFTWARE\\Autodesk\\AutoCAD\\R23.0\\ACAD-2001:409\\Profiles\\";

// How the rules are reached: the install (the current user), the per-user step at logon, and the
// install's pass over the hives of the users logged on now.
enum class Through { Install, UserStep, LoggedOnUser };
constexpr const char* kSid = "S-1-5-21-1-2-3-1001";

class TrustedPathsTest : public ::testing::TestWithParam<Through> {
protected:
    TrustedPathsTest() {
        catalogue.SetInstallFolder(kFolder);
        if (GetParam() == Through::UserStep)
            registry.PutString(kHkeyLocalMachine, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Korvel-Tarnwick",
                               "InstallLocation", kFolder);
        if (GetParam() == Through::LoggedOnUser) {
            // Hives that are not a user's own are passed over.
            registry.CreateKeyPath(kHkeyUsers, "S-1-5-18");
            registry.CreateKeyPath(kHkeyUsers, std::string(kSid) + "_Classes\\" + kProfiles + "X\\Variables");
        }
    }

    RegKey root() const { return GetParam() == Through::LoggedOnUser ? kHkeyUsers : kHkeyCurrentUser; }
    std::string hive() const { return GetParam() == Through::LoggedOnUser ? std::string(kSid) + "\\" : ""; }
    std::string Variables(const std::string& profile) { return hive() + kProfiles + profile + "\\Variables"; }
    void Put(const std::string& profile, const std::string& bytes, std::uint32_t type = kRegSz) {
        registry.PutValue(root(), Variables(profile), "TRUSTEDPATHS", type, bytes);
    }
    // The reads the route makes before the profiles' (the per-user step finds the installed folder).
    int ReadsBefore() const { return GetParam() == Through::UserStep ? 1 : 0; }
    void Apply() {
        switch (GetParam()) {
            case Through::Install: catalogue.AddTrustedPaths(); break;
            case Through::UserStep:
                exitCode = RunUserSetup(registry, files, log, std::string(kFolder) + "\\uninstall.exe", &left);
                break;
            case Through::LoggedOnUser:
                catalogue.untouchedProfiles.clear();
                catalogue.AddTrustedPathsForLoggedOnUsers();
                break;
        }
    }
    const std::vector<UntouchedProfile>& Left() const {
        return GetParam() == Through::UserStep ? left : catalogue.untouchedProfiles;
    }
    // The untouched profiles as "name:problem", names without their release and product.
    std::vector<std::string> Untouched() const {
        std::vector<std::string> out;
        for (const UntouchedProfile& p : Left())
            out.push_back(p.profile.substr(p.profile.rfind('\\') + 1) + ":" +
                          std::to_string(static_cast<int>(p.problem)));
        return out;
    }
    std::string Stored(const std::string& profile) {
        std::uint32_t type = 0;
        std::string bytes;
        if (!registry.GetValue(root(), Variables(profile), "TRUSTEDPATHS", type, bytes))
            return "<missing>";
        return std::to_string(type) + ":" + bytes;
    }

    RegistryDouble registry;
    FileDouble files;
    PromptDouble prompt;
    LogDouble log;
    HostCatalogue catalogue{registry, files, prompt};
    std::vector<UntouchedProfile> left;
    int exitCode = -1;
};

// Only a value that is certainly absent counts as empty; one that cannot be read whole is the
// user's and stays as it is.
TEST_P(TrustedPathsTest, OnlyAMissingValueCountsAsEmpty) {
    registry.CreateKeyPath(root(), Variables("Missing"));
    registry.CreateKeyPath(root(), hive() + kProfiles + "Unset");  // no Variables key
    Put("Refused", "d:\\tools");
    registry.FailKey(root(), Variables("Locked"));
    Put("Locked", "d:\\locked");
    Put("TextAfterZero", std::string("d:\\a\0e:\\b", 9));
    Put("TrailingZeros", std::string("d:\\a\0\0", 6));
    Put("Binary", "d:\\bin", kRegBinary);
    // Profiles are visited in enumeration order (Binary, Locked, Missing, Refused, ...); Locked
    // cannot be opened, so the third read is Refused's.
    registry.FailCall(RegOp::QueryValue, 3 + ReadsBefore(), kErrorAccessDenied);
    Apply();

    EXPECT_EQ(Stored("Missing"), std::string("1:") + kFolder);
    EXPECT_EQ(Stored("Refused"), "1:d:\\tools");
    EXPECT_EQ(Stored("Locked"), "1:d:\\locked");
    EXPECT_EQ(Stored("TextAfterZero"), std::string("1:d:\\a\0e:\\b", 11));
    EXPECT_EQ(Stored("TrailingZeros"), "1:D:\\A;C:\\KORVEL\\KORVEL-TARNWICK");
    EXPECT_EQ(Stored("Binary"), "3:d:\\bin");
    EXPECT_EQ(registry.OpenHandleCount(), 0);
    // Each one left alone is reported with its reason, in the order met.
    const auto code = [](ProfileProblem p) { return std::to_string(static_cast<int>(p)); };
    EXPECT_EQ(Untouched(), (std::vector<std::string>{"Binary:" + code(ProfileProblem::NotPlainText),
                                                     "Locked:" + code(ProfileProblem::Unreadable),
                                                     "Refused:" + code(ProfileProblem::Unreadable),
                                                     "TextAfterZero:" + code(ProfileProblem::NotPlainText)}));
    EXPECT_EQ(Left()[0].profile, hive() + "R23.0\\ACAD-2001:409\\Binary");
    if (GetParam() == Through::UserStep) {
        EXPECT_EQ(exitCode, kExitIncomplete);
        EXPECT_EQ(log.With("trusted paths left alone").size(), 4u);
    }

    // A second run (the step at the next logon) only writes the value it made back in upper case,
    // as it writes every value longer than two characters; a third writes nothing.
    Apply();
    EXPECT_EQ(Stored("Missing"), std::string("1:") + UpperCp936(kFolder));
    const std::string twice = registry.Dump(root(), "");
    registry.ResetCallCounts();
    Apply();
    EXPECT_EQ(registry.Dump(root(), ""), twice);
    EXPECT_EQ(registry.CallCount(RegOp::SetString) + registry.CallCount(RegOp::CreateKey), 0);
    if (GetParam() != Through::UserStep) return;

    // The uninstall takes out what the step added where there was nothing: the value, and the
    // Variables key it made.
    std::vector<UntouchedProfile> untouched;
    UntrustFolderInHive(registry, UserHive{}, kFolder, untouched);
    EXPECT_EQ(Stored("Missing"), "<missing>");
    EXPECT_TRUE(registry.KeyExists(root(), Variables("Missing")));
    EXPECT_FALSE(registry.KeyExists(root(), Variables("Unset")));
    EXPECT_TRUE(registry.KeyExists(root(), hive() + kProfiles + "Unset"));
}

// A value longer than two characters is written back in upper case, whether the folder was in it
// (in any letter case, with "\" or "\...") or is added; a shorter one gives way to the folder as
// it is cased. A value already so is not written, and a repeat (the install again, the per-user
// step twice) writes only what the first run left in another case.
TEST_P(TrustedPathsTest, AValueLongerThanTwoCharactersIsKeptInUpperCase) {
    const std::string folder = UpperCp936(kFolder);
    const struct {
        const char* profile;
        const char* before;
        std::string after;
    } cases[] = {
        {"Present", "x:\\y;c:\\korvel\\korvel-tarnwick", "X:\\Y;" + folder},
        {"Alone", "c:\\korvel\\korvel-tarnwick", folder},
        {"Slash", "c:\\korvel\\korvel-tarnwick\\", folder + "\\"},
        {"Below", "c:\\korvel\\korvel-tarnwick\\...;e:\\z", folder + "\\...;E:\\Z"},
        {"Absent", "d:\\tools", "D:\\TOOLS;" + folder},
        {"Short", ".", kFolder},
        {"AsTheRuleLeavesIt", "D:\\X;C:\\KORVEL\\KORVEL-TARNWICK", "D:\\X;" + folder},
    };
    for (const auto& c : cases) Put(c.profile, c.before);
    registry.ResetCallCounts();
    Apply();
    for (const auto& c : cases) EXPECT_EQ(Stored(c.profile), "1:" + c.after) << c.profile;
    // All but the one already so; the per-user step also keeps what each held.
    EXPECT_EQ(registry.CallCount(RegOp::SetString), GetParam() == Through::UserStep ? 12 : 6);
    // Again: only the folder written as it is cased goes to upper case; then nothing is written.
    registry.ResetCallCounts();
    Apply();
    EXPECT_EQ(Stored("Short"), "1:" + folder);
    EXPECT_EQ(registry.CallCount(RegOp::SetString), 1);
    registry.ResetCallCounts();
    Apply();
    EXPECT_EQ(registry.CallCount(RegOp::SetString), 0);
    if (GetParam() != Through::UserStep) return;

    // What no install's record holds, the uninstall puts back from what the step kept: as it was,
    // letter case included, without the folder's own entries; then nothing of the step is left.
    const struct {
        const char* profile;
        const char* after;
    } back[] = {{"Present", "1:x:\\y"},   {"Alone", "<missing>"},        {"Slash", "<missing>"},
                {"Below", "1:e:\\z"},     {"Absent", "1:d:\\tools"},   {"Short", "1:."},
                {"AsTheRuleLeavesIt", "1:D:\\X"}};
    std::vector<UntouchedProfile> untouched;
    UntrustFolderInHive(registry, UserHive{}, kFolder, untouched);
    for (const auto& b : back) EXPECT_EQ(Stored(b.profile), b.after) << b.profile;
    EXPECT_TRUE(untouched.empty());
    EXPECT_FALSE(registry.KeyExists(kHkeyCurrentUser, "Software\\Korvel-Tarnwick"));
}

// The hive of the account the install runs as is its HKEY_CURRENT_USER, which has had its pass:
// among the users logged on it is passed over, so that no profile is written twice.
TEST(TrustedPaths, TheRunsOwnHiveIsLeftToTheCurrentUsersPass) {
    RegistryDouble registry;
    FileDouble files;
    PromptDouble prompt;
    HostCatalogue catalogue(registry, files, prompt);
    catalogue.SetInstallFolder(kFolder);
    for (const char* sid : {"S-1-5-21-1-2-3-1001", "S-1-5-21-1-2-3-1002"})
        registry.CreateKeyPath(kHkeyUsers, std::string(sid) + "\\" + kProfiles + "P\\Variables");
    catalogue.AddTrustedPathsForLoggedOnUsers("S-1-5-21-1-2-3-1001");
    EXPECT_EQ(registry.GetText(kHkeyUsers, std::string("S-1-5-21-1-2-3-1001\\") + kProfiles + "P\\Variables", "TRUSTEDPATHS"), "");
    EXPECT_EQ(registry.GetText(kHkeyUsers, std::string("S-1-5-21-1-2-3-1002\\") + kProfiles + "P\\Variables", "TRUSTEDPATHS"),
              kFolder);
}

// A value or a profile name in characters this code page cannot hold, a value too long to read
// or to grow, a refused write, and a product whose profiles cannot be listed: each profile keeps
// exactly what it had, and is reported.
TEST_P(TrustedPathsTest, WhatCannotBeHandledWholeIsLeftAsItWasAndReported) {
    Put("Hangul", "D:\\??\\lib;E:\\tools");
    registry.FailValueRead(root(), Variables("Hangul"), "TRUSTEDPATHS");
    registry.CreateKeyPath(root(), hive() + kProfiles + "J?rg");
    // Enumerated as FINE, FULL, HANGUL, HUGE, J?RG, REFUSED.
    registry.FailEnumAt(root(), hive() + kProfiles, 4, kErrorNoUnicodeTranslation);
    const std::string full(12999, 'f');  // with the folder it would not fit
    Put("Full", full);
    Put("Huge", std::string(13000, 'h'));
    Put("Refused", "d:\\x");
    registry.RefuseValueWrite(root(), Variables("Refused"), "TRUSTEDPATHS");
    Put("Fine", "d:\\y");
    const std::string locked = hive() + "SOFTWARE\\Autodesk\\AutoCAD\\R24.0\\ACAD-4101:804\\Profiles";
    registry.PutString(root(), locked + "\\Q\\Variables", "TRUSTEDPATHS", "d:\\z");
    registry.FailKey(root(), locked);
    Apply();

    EXPECT_EQ(Stored("Hangul"), "1:D:\\??\\lib;E:\\tools");
    EXPECT_FALSE(registry.KeyExists(root(), Variables("J?rg")));
    EXPECT_EQ(Stored("Full"), "1:" + full);
    EXPECT_EQ(Stored("Huge"), "1:" + std::string(13000, 'h'));
    EXPECT_EQ(Stored("Refused"), "1:d:\\x");
    EXPECT_EQ(Stored("Fine"), "1:D:\\Y;C:\\KORVEL\\KORVEL-TARNWICK");
    const auto code = [](ProfileProblem p) { return std::to_string(static_cast<int>(p)); };
    EXPECT_EQ(Untouched(),
              (std::vector<std::string>{"(名称含无法显示的字符):" + code(ProfileProblem::Unrepresentable),
                                        "(无法读取):" + code(ProfileProblem::Unreadable),
                                        "Full:" + code(ProfileProblem::TooLong),
                                        "Hangul:" + code(ProfileProblem::Unrepresentable),
                                        "Huge:" + code(ProfileProblem::TooLong),
                                        "Refused:" + code(ProfileProblem::NotWritten)}));
    // Names that cannot be spelt, and profiles that cannot be listed, come first: they are met
    // while the profiles are listed.
    EXPECT_EQ(Left()[1].profile, hive() + "R24.0\\ACAD-4101:804\\(无法读取)");
    EXPECT_EQ(registry.GetText(root(), locked + "\\Q\\Variables", "TRUSTEDPATHS"), "d:\\z");
    EXPECT_EQ(registry.OpenHandleCount(), 0);
}

std::string RouteName(const ::testing::TestParamInfo<Through>& info) {
    static const char* const names[] = {"Install", "UserStep", "LoggedOnUser"};
    return names[static_cast<int>(info.param)];
}
INSTANTIATE_TEST_SUITE_P(Routes, TrustedPathsTest,
                         ::testing::Values(Through::Install, Through::UserStep, Through::LoggedOnUser), RouteName);

// The step started from anywhere but the installed plug-in's folder trusts nothing.
// What the step kept lies where its user may change it: whatever they write there, an uninstall
// with administrator rights changes nothing but that user's own profile, and there only what the
// user could have changed themselves (a reviewer's reproduction).
TEST(UserSetup, AForgedRecordReachesOnlyItsUsersOwnProfile) {
    const std::string variables = kProfiles + "P\\Variables";
    const std::string record = "Software\\Korvel-Tarnwick\\TrustedPathsBefore";
    const std::string mine = "S-1-5-21-1-2-3-1001", theirs = "S-1-5-21-1-2-3-1002";
    for (const bool noKey : {false, true}) {
        RegistryDouble registry;
        registry.PutString(kHkeyUsers, mine + "\\" + variables, "TRUSTEDPATHS", "C:\\KORVEL\\KORVEL-TARNWICK");
        registry.PutString(kHkeyUsers, theirs + "\\" + variables, "TRUSTEDPATHS", "C:\\KORVEL\\KORVEL-TARNWICK");
        if (noKey)
            registry.PutDword(kHkeyUsers, mine + "\\" + record, variables, 1);
        else
            registry.PutString(kHkeyUsers, mine + "\\" + record, variables, "C:");
        std::vector<UntouchedProfile> untouched;
        for (const std::string& sid : {mine, theirs}) UntrustFolderInHive(registry, UserHive{kHkeyUsers, sid, ""}, kFolder, untouched);
        EXPECT_EQ(registry.GetText(kHkeyUsers, theirs + "\\" + variables, "TRUSTEDPATHS"), "");
        if (noKey)
            EXPECT_FALSE(registry.KeyExists(kHkeyUsers, mine + "\\" + variables));  // their own empty key
        else
            EXPECT_EQ(registry.GetText(kHkeyUsers, mine + "\\" + variables, "TRUSTEDPATHS"), "C:");
        EXPECT_TRUE(registry.KeyExists(kHkeyUsers, mine + "\\" + kProfiles + "P"));
        EXPECT_TRUE(registry.KeyExists(kHkeyUsers, theirs + "\\" + variables));
        EXPECT_FALSE(registry.KeyExists(kHkeyUsers, mine + "\\Software\\Korvel-Tarnwick"));
    }
}

TEST(UserSetup, AStrayCopyTrustsNothing) {
    RegistryDouble registry;
    FileDouble files;
    LogDouble log;
    registry.PutString(kHkeyLocalMachine, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Korvel-Tarnwick",
                       "InstallLocation", kFolder);
    registry.PutString(kHkeyCurrentUser, kProfiles + "P\\Variables", "TRUSTEDPATHS", "d:\\x");
    const std::string before = registry.Dump(kHkeyCurrentUser, "");
    EXPECT_EQ(RunUserSetup(registry, files, log, "C:\\Users\\me\\Downloads\\uninstall.exe"), kExitNoRecord);
    EXPECT_EQ(registry.Dump(kHkeyCurrentUser, ""), before);
}

// Every install raises the component's Version, so that Windows runs the step again.
TEST(ActiveSetup, VersionIsRaisedAboveWhatTheComponentHolds) {
    EXPECT_EQ(NextActiveSetupVersion("", "2025.01.21"), "2025,1,21,0");
    EXPECT_EQ(NextActiveSetupVersion("2025,1,21,0", "2025.01.21"), "2025,1,21,1");
    EXPECT_EQ(NextActiveSetupVersion("2026,1,1,4", "2025.01.21"), "2026,1,1,5");  // a newer install's
    EXPECT_EQ(NextActiveSetupVersion("2024,12,1,9", "2025.01.21"), "2025,1,21,0");
    EXPECT_EQ(NextActiveSetupVersion("2025,1,21,65535", "2025.01.21"), "2025,1,22,0");
    EXPECT_EQ(NextActiveSetupVersion("junk,1", "2025.01.21"), "2025,1,21,0");
}

// Entries are compared whole: a longer folder that begins like ours does not trust ours.
TEST(TrustedPathValue, EntriesMatchWholeIgnoringCaseATrailingBackslashAndSubFolders) {
    const std::string folder = "C:\\Korvel\\Korvel-Tarnwick";
    for (const char* value : {"C:\\KORVEL\\KORVEL-TARNWICK", "d:\\x;c:\\korvel\\korvel-tarnwick\\",
                              "C:\\KORVEL\\KORVEL-TARNWICK\\...;D:\\X", ";;C:\\Korvel\\Korvel-Tarnwick;"})
        EXPECT_TRUE(TrustsFolder(value, folder)) << value;
    for (const char* value : {"C:\\KORVEL\\KORVEL-TARNWICK-OLD", "C:\\KORVEL", "X:\\C:\\KORVEL\\KORVEL-TARNWICK",
                              "C:\\KORVEL\\KORVEL-TARNWICK\\\\", "C:\\KORVEL\\KORVEL-TARNWICK\\SUB", ""})
        EXPECT_FALSE(TrustsFolder(value, folder)) << value;

    std::string updated;
    ASSERT_TRUE(ComposeTrustedPaths("c:\\korvel\\korvel-tarnwick-old", folder, updated));
    EXPECT_EQ(updated, "C:\\KORVEL\\KORVEL-TARNWICK-OLD;C:\\KORVEL\\KORVEL-TARNWICK");
    ASSERT_TRUE(ComposeTrustedPaths("d:\\a;c:\\korvel\\korvel-tarnwick\\", folder, updated));
    EXPECT_EQ(updated, "D:\\A;C:\\KORVEL\\KORVEL-TARNWICK\\");
}

// The cases below are the install's own.
class TrustedPathsInstallTest : public TrustedPathsTest {};
INSTANTIATE_TEST_SUITE_P(Install, TrustedPathsInstallTest, ::testing::Values(Through::Install));

TEST_P(TrustedPathsInstallTest, WithoutAnInstallFolderNothingIsTouched) {
    Put("Short", std::string(".") + '\0');
    catalogue.SetInstallFolder("");
    catalogue.AddTrustedPaths();
    EXPECT_EQ(Stored("Short"), std::string("1:.") + '\0');
}

TEST_P(TrustedPathsInstallTest, AVariablesKeyIsOnlyMadeInAProfileThatStillExists) {
    registry.CreateKeyPath(kHkeyCurrentUser, kProfiles + "Kept");
    registry.CreateKeyPath(kHkeyCurrentUser, kProfiles + "Removed");
    // The profile goes away after it was listed, before its Variables key is looked at.
    // (the first two opens are of the user's hive, the third of Kept's Variables key).
    bool removed = false;
    registry.beforeCall = [&](RegOp op) {
        if (op == RegOp::OpenKey && registry.CallCount(RegOp::OpenKey) == 3)
            removed = registry.DeleteTree(kHkeyCurrentUser, kProfiles + "Removed");
    };
    catalogue.AddTrustedPaths();
    EXPECT_TRUE(removed);
    EXPECT_EQ(Stored("Kept"), std::string("1:") + kFolder);
    EXPECT_FALSE(registry.KeyExists(kHkeyCurrentUser, kProfiles + "Removed"));
}

// 130 Chinese characters fit a key name but not the 256-byte name buffer as CP936 bytes.
TEST_P(TrustedPathsInstallTest, NamesTooLongForTheNameBufferAreSkipped) {
    std::string longName;
    for (int i = 0; i < 130; ++i) longName += "图";
    const std::string longRelease = "SOFTWARE\\Autodesk\\AutoCAD\\" + longName +
                                    "\\ACAD-1:409\\Profiles\\P\\Variables";
    registry.PutString(kHkeyCurrentUser, longRelease, "TRUSTEDPATHS", "d:\\x");
    Put(longName, "d:\\y");
    Put("Short", "d:\\z");
    catalogue.AddTrustedPaths();
    EXPECT_EQ(registry.GetText(kHkeyCurrentUser, longRelease, "TRUSTEDPATHS"), "d:\\x");
    EXPECT_EQ(Stored(longName), "1:d:\\y");
    EXPECT_EQ(Stored("Short"), "1:D:\\Z;C:\\KORVEL\\KORVEL-TARNWICK");
}

}  // namespace

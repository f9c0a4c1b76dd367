// What a profile's trusted paths become when the stored value is missing, odd or unreadable.
#include <gtest/gtest.h>

#include "catalogue/HostCatalogue.h"
#include "doubles/FileDouble.h"
#include "doubles/PromptDouble.h"
#include "doubles/RegistryDouble.h"

namespace {

constexpr const char* kFolder = "C:\\Korvel\\Korvel-Tarnwick";
const std::string kProfiles = "SOFTWARE\\Autodesk\\AutoCAD\\R23.0\\ACAD-2001:409\\Profiles\\";

class TrustedPathsTest : public ::testing::Test {
protected:
    TrustedPathsTest() { catalogue.SetInstallFolder(kFolder); }

    std::string Variables(const std::string& profile) { return kProfiles + profile + "\\Variables"; }
    void Put(const std::string& profile, const std::string& bytes, std::uint32_t type = kRegSz) {
        registry.PutValue(kHkeyCurrentUser, Variables(profile), "TRUSTEDPATHS", type, bytes);
    }
    std::string Stored(const std::string& profile) {
        std::uint32_t type = 0;
        std::string bytes;
        if (!registry.GetValue(kHkeyCurrentUser, Variables(profile), "TRUSTEDPATHS", type, bytes))
            return "<missing>";
        return std::to_string(type) + ":" + bytes;
    }

    RegistryDouble registry;
    FileDouble files;
    PromptDouble prompt;
    HostCatalogue catalogue{registry, files, prompt};
};

// Only a value that is certainly absent counts as empty; one that cannot be read whole is the
// user's and stays as it is.
TEST_F(TrustedPathsTest, OnlyAMissingValueCountsAsEmpty) {
    registry.CreateKeyPath(kHkeyCurrentUser, Variables("Missing"));
    Put("Refused", "d:\\tools");
    registry.FailKey(kHkeyCurrentUser, Variables("Locked"));
    Put("Locked", "d:\\locked");
    Put("TextAfterZero", std::string("d:\\a\0e:\\b", 9));
    Put("TrailingZeros", std::string("d:\\a\0\0", 6));
    Put("Binary", "d:\\bin", kRegBinary);
    // Profiles are visited in enumeration order (Binary, Locked, Missing, Refused, ...); Locked
    // cannot be opened, so the third read is Refused's.
    registry.FailCall(RegOp::QueryValue, 3, kErrorAccessDenied);
    catalogue.AddTrustedPaths();

    EXPECT_EQ(Stored("Missing"), std::string("1:") + kFolder);
    EXPECT_EQ(Stored("Refused"), "1:d:\\tools");
    EXPECT_EQ(Stored("Locked"), "1:d:\\locked");
    EXPECT_EQ(Stored("TextAfterZero"), std::string("1:d:\\a\0e:\\b", 11));
    EXPECT_EQ(Stored("TrailingZeros"), "1:D:\\A;C:\\KORVEL\\KORVEL-TARNWICK");
    EXPECT_EQ(Stored("Binary"), "3:d:\\bin");
    EXPECT_EQ(registry.OpenHandleCount(), 0);
}

TEST_F(TrustedPathsTest, WithoutAnInstallFolderNothingIsTouched) {
    Put("Short", std::string(".") + '\0');
    catalogue.SetInstallFolder("");
    catalogue.AddTrustedPaths();
    EXPECT_EQ(Stored("Short"), std::string("1:.") + '\0');
}

TEST_F(TrustedPathsTest, AVariablesKeyIsOnlyMadeInAProfileThatStillExists) {
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
TEST_F(TrustedPathsTest, NamesTooLongForTheNameBufferAreSkipped) {
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

// Loader registration at its edges: nothing ticked, and what is marked as failed. The loader
// values themselves are checked over the shared fixture (RegisterScenarioTest).
#include <gtest/gtest.h>

#include "catalogue/HostCatalogue.h"
#include "doubles/FileDouble.h"
#include "doubles/PromptDouble.h"
#include "doubles/RegistryDouble.h"

namespace {

constexpr const char* kFolder = "C:\\Korvel\\Korvel-Tarnwick";

class LoaderRegistrationTest : public ::testing::Test {
protected:
    LoaderRegistrationTest() { catalogue.SetInstallFolder(kFolder); }

    // A product key of release year, installed in folder.
    std::string AddHost(int year, const std::string& key, const std::string& folder) {
        const std::string path = "SOFTWARE\\Autodesk\\AutoCAD\\" + key;
        registry.PutString(kHkeyLocalMachine, path, "AcadLocation", folder);
        catalogue.hostKeys[static_cast<std::size_t>(year - 2007)].push_back(path + "\\");
        catalogue.hostFolders[static_cast<std::size_t>(year - 2007)].push_back(folder);
        return path;
    }

    std::string Applications(const std::string& product) {
        return registry.Dump(kHkeyLocalMachine, product + "\\Applications");
    }

    static ReleaseFlags Tick(std::initializer_list<int> years) {
        ReleaseFlags flags{};
        for (int year : years) flags[static_cast<std::size_t>(year - 2007)] = 1;
        return flags;
    }

    RegistryDouble registry;
    FileDouble files;
    PromptDouble prompt;
    HostCatalogue catalogue{registry, files, prompt};
};

TEST_F(LoaderRegistrationTest, NothingTickedWritesNoKeyButStillTrustsTheFolder) {
    const std::string p = AddHost(2020, "R23.1\\ACAD-3001:409", "C:\\AutoCAD 2020");
    const std::string variables =
        "SOFTWARE\\Autodesk\\AutoCAD\\R23.1\\ACAD-3001:409\\Profiles\\P\\Variables";
    registry.PutString(kHkeyCurrentUser, variables, "TRUSTEDPATHS", "");
    catalogue.registrationFailed.fill(true);
    catalogue.RegisterReleases(ReleaseFlags{});

    EXPECT_FALSE(registry.KeyExists(kHkeyLocalMachine, p + "\\Applications"));
    EXPECT_EQ(registry.GetText(kHkeyCurrentUser, variables, "TRUSTEDPATHS"), kFolder);
    for (bool failed : catalogue.registrationFailed) EXPECT_FALSE(failed);
}

// A vanished product key is no failure; what could not be written (or would have been cut
// short) is, and leaves the product key as it was.
TEST_F(LoaderRegistrationTest, FailuresAreMarkedPerReleaseAndNothingIsCutShort) {
    AddHost(2009, "R17.2\\ACAD-7001:409", "C:\\AutoCAD 2009");
    registry.DeleteTree(kHkeyLocalMachine, "SOFTWARE\\Autodesk\\AutoCAD\\R17.2");

    const std::string refused = AddHost(2013, "R19.0\\ACAD-B001:409", "C:\\AutoCAD 2013");
    registry.RefuseValueWrite(kHkeyLocalMachine, refused + "\\Applications\\Korvel2013DLL", "MANAGED");

    const std::string longHost = std::string("C:\\") + std::string(243, 'h');  // 259 with "\ACAD2013.dll"
    const std::string fits = AddHost(2014, "R19.1\\ACAD-D001:409", longHost);
    const std::string tooLong = AddHost(2014, "R19.1\\ACAD-D001:804", longHost + "x");
    registry.PutString(kHkeyLocalMachine, tooLong + "\\Applications\\Korvel2014", "LOADER", "old");
    const std::string before = Applications(tooLong);

    catalogue.RegisterReleases(Tick({2009, 2013, 2014}));

    EXPECT_FALSE(catalogue.registrationFailed[2]);  // 2009: uninstalled meanwhile
    EXPECT_TRUE(catalogue.registrationFailed[6]);   // 2013: a value refused
    EXPECT_FALSE(catalogue.registrationFailed[7]);  // 2014: one host folder too long, which
    EXPECT_TRUE(catalogue.loaderTooLong[7]);        // no administrator rights would mend
    EXPECT_FALSE(registry.KeyExists(kHkeyLocalMachine, "SOFTWARE\\Autodesk\\AutoCAD\\R17.2"));
    EXPECT_EQ(registry.GetText(kHkeyLocalMachine, fits + "\\Applications\\Korvel2014DLL", "LOADER"),
              longHost + "\\ACAD2013.dll");
    EXPECT_EQ(Applications(tooLong), before);
    EXPECT_EQ(registry.OpenHandleCount(), 0);

    // An install folder too long for any loader path: the earlier registration stays whole.
    const std::string registered = Applications(fits);
    catalogue.SetInstallFolder("C:\\" + std::string(250, 'k'));
    catalogue.RegisterReleases(Tick({2014}));
    EXPECT_TRUE(catalogue.loaderTooLong[7]);
    EXPECT_FALSE(catalogue.registrationFailed[6]);  // reset by the new run
    EXPECT_EQ(Applications(fits), registered);
}

}  // namespace

namespace {
TEST_F(LoaderRegistrationTest, AHostFolderEndingInABackslashGivesASingleSeparator) {
    const std::string p = AddHost(2022, "R24.1\\ACAD-5101:804", "C:\\AutoCAD 2022\\");
    catalogue.RegisterReleases(Tick({2022}));
    EXPECT_EQ(registry.GetText(kHkeyLocalMachine, p + "\\Applications\\Korvel2022DLL", "LOADER"),
              "C:\\AutoCAD 2022\\ACAD2013.dll");
}
}  // namespace

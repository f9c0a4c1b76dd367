// The offer to start again with administrator rights: when it is made, what each answer does, and
// the unattended run that asks nothing.
#include <gtest/gtest.h>

#include "setup/Elevation.h"
#include "setup/Unattended.h"
#include "setuplog/LoggedPrompt.h"
#include "InstallRunFixture.h"

namespace {
class OfferDouble : public ElevationOffer {
public:
    bool Needed(const ReleaseFlags&) override { return needed; }
    bool Relaunch(const std::string& folder, const ReleaseFlags& chosen, bool hostRefused, int& exitCode) override {
        relaunched.push_back(folder + " " + ReleaseYears(chosen) + (hostRefused ? " refused once" : ""));
        if (!started) return false;
        exitCode = code;
        return true;
    }
    bool needed = true;
    bool started = true;
    int code = kExitFinished;
    std::vector<std::string> relaunched;
};

class ElevationTest : public InstallRunFixture {
protected:
    void SetUp() override {
        InstallRunFixture::SetUp();
        run.SetElevation(&offer);
    }
    bool NothingChanged() {
        return !files.Exists("C:\\Korvel") && files.copies.empty() &&
               !registry.KeyExists(kHkeyLocalMachine, std::string(kKey2008) + "Applications");
    }
    OfferDouble offer;
};
}  // namespace

// Only chosen releases count, and only a key that cannot be written.
TEST(Elevation, NeededWhenAChosenReleasesKeyIsNotWritable) {
    RegistryDouble registry;
    FileDouble files;
    PromptDouble prompt;
    HostCatalogue catalogue(registry, files, prompt);
    catalogue.hostKeys[1] = {"SOFTWARE\\A\\"};
    catalogue.hostKeys[6] = {"SOFTWARE\\B\\", "SOFTWARE\\Locked\\"};
    const auto writable = [](const std::string& key) { return key != "SOFTWARE\\Locked\\"; };
    ReleaseFlags chosen{};
    chosen[1] = 1;
    EXPECT_FALSE(NeedsAdministrator(catalogue, chosen, writable));
    chosen[6] = 1;
    EXPECT_TRUE(NeedsAdministrator(catalogue, chosen, writable));
    EXPECT_EQ(ReleaseYears(chosen), "2008,2013");
}

// Refused at Windows' question, the dialog stays as it was; the next press asks again, and the
// run started with the rights ends the dialog with its own exit code. Nothing is changed here.
TEST_F(ElevationTest, YesStartsAgainWithTheRightsAndEndsWithThatRunsExitCode) {
    offer.started = false;
    view.answers = {kIdYes};
    EXPECT_EQ(run.OnInstall(), SetupState::Choosing);
    ASSERT_EQ(view.messages.size(), 1u);
    EXPECT_EQ(view.messages[0].text, kElevationQuestion);
    EXPECT_FALSE(view.closedCancelled);
    EXPECT_TRUE(NothingChanged());

    offer.started = true;
    offer.code = kExitIncomplete;
    view.answers = {kIdYes};
    EXPECT_EQ(run.OnInstall(), SetupState::Relaunched);
    EXPECT_TRUE(view.closedCancelled);
    EXPECT_EQ(run.ExitCode(), kExitIncomplete);
    EXPECT_EQ(offer.relaunched, (std::vector<std::string>{"C:\\Korvel 2008,2013", "C:\\Korvel 2008,2013"}));
    EXPECT_TRUE(NothingChanged());
}

// The refusal while AutoCAD runs is one per install: a run started again after it is told so.
TEST_F(ElevationTest, TheRunStartedAgainAfterTheRefusalRefusesNoSecondTime) {
    processes.names = {"acad.exe"};
    EXPECT_EQ(run.OnInstall(), SetupState::Choosing);  // refused
    view.answers = {kIdYes};
    EXPECT_EQ(run.OnInstall(), SetupState::Relaunched);
    EXPECT_EQ(offer.relaunched, std::vector<std::string>{"C:\\Korvel 2008,2013 refused once"});
}

TEST_F(ElevationTest, NoInstallsAsWithoutTheOffer) {
    view.answers = {kIdNo};
    EXPECT_EQ(run.OnInstall(), SetupState::Finished);
    EXPECT_TRUE(offer.relaunched.empty());
    EXPECT_TRUE(files.Exists("C:\\Korvel\\Korvel-Tarnwick\\Korvel2013.ARX"));
}

// Quiet, nobody is asked: nothing is installed and the exit code says why.
TEST_F(ElevationTest, QuietWithoutTheRightsInstallsNothingAndEndsWith11) {
    LoggedPrompt quiet(log, nullptr);
    EXPECT_EQ(RunUnattended(UnattendedChoice{{}, "C:\\Korvel", {}}, 64, catalogue, files, processes, quiet, log, nullptr,
                            &offer),
              kExitNeedsAdmin);
    EXPECT_TRUE(NothingChanged());
    EXPECT_TRUE(log.Has("not writable without administrator rights"));
    offer.needed = false;
    EXPECT_EQ(RunUnattended(UnattendedChoice{{}, "C:\\Korvel", {}}, 64, catalogue, files, processes, quiet, log, nullptr,
                            &offer),
              kExitFinished);
}

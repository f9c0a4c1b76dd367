#include "setup/UserSetup.h"

#include "catalogue/HostCatalogue.h"
#include "journal/UninstallEntry.h"
#include "register/UserHives.h"
#include "setup/ExitCodes.h"
#include "setuplog/LoggedPrompt.h"
#include "setuplog/RunFacts.h"
#include "text/PathText.h"
#include "text/Text.h"

int RunUserSetup(Registry& registry, Files& files, SetupLog& log, const std::string& program,
                 std::vector<UntouchedProfile>* left) {
    const std::size_t cut = LastSeparator(program);
    const std::string folder = cut == std::string::npos ? std::string() : program.substr(0, cut);
    std::string installed;
    if (folder.empty() || !FindInstalledFolder(registry, installed) || !EqualsNoCase(installed, folder)) {
        log.Line("per-user step: the plug-in is not installed in " + folder + "; nothing changed");
        return kExitNoRecord;
    }
    log.Line("per-user step: trusting " + folder);
    LoggedPrompt prompt(log, nullptr);
    HostCatalogue catalogue(registry, files, prompt);
    catalogue.SetInstallFolder(folder);
    TrustFolderInHive(registry, UserHive{}, folder, catalogue.untouchedProfiles, true);
    LogRegistrationOutcome(log, catalogue, ReleaseFlags{});
    if (left != nullptr) *left = catalogue.untouchedProfiles;
    return catalogue.untouchedProfiles.empty() ? kExitFinished : kExitIncomplete;
}

#include "catalogue/HostCatalogue.h"

#include "text/PathText.h"

const char* const kSetupCaption = "Korvel-软件安装";

HostCatalogue::HostCatalogue(Registry& registry, Files& files, Prompt& prompt)
    : registry_(registry), files_(files), prompt_(prompt) {}

void HostCatalogue::SetInstallFolder(const std::string& folder) {
    installFolder = folder;
    DropTrailingSeparator(installFolder);
}

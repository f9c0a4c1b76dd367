#pragma once
// CWizardApp: the application object. Its start-up fills the catalogue from the registry, runs
// the setup dialog and returns false, so the program ends when the dialog closes.
#include "framework/App.h"

class HostCatalogue;

class CWizardApp : public CWinApp {
public:
    explicit CWizardApp(HostCatalogue& catalogue) : catalogue(catalogue) {}
    bool InitInstance() override;
    int ExitInstance() override { return exitCode; }

private:
    HostCatalogue& catalogue;
    int exitCode = 2;
};

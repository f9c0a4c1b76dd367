#pragma once
// What a scenario knows of its run, and its checks: each prints one line, and a failed check
// makes the scenario fail without stopping it.
#include <windows.h>

#include <string>

#include "UiDriver.h"

struct Context {
    std::wstring setupBuilt;  // the SetUp.exe under test
    std::wstring fixtures;    // tests/e2e/fixtures
    std::wstring artifacts;   // screenshots go here
    std::wstring driverPath;  // this program (it also plays the running host)
    UINT codePage = 936;      // the system code page the run expects
    int hostBitness = 64;
    int failures = 0;

    bool Check(bool ok, const std::string& what, const std::wstring& detail = std::wstring());
    bool CheckText(const std::wstring& actual, const std::wstring& expected, const std::string& what);
    bool CheckExit(Process& process, int expected, const std::string& what);
    void Screenshot(HWND window, const std::wstring& name);
};

extern const wchar_t kDialogCaption[];
extern const wchar_t kSetupMessageCaption[];

using ScenarioFn = void (*)(Context&);
ScenarioFn FindScenario(const std::wstring& name);
// The folder browser's scenarios (tests/e2e/BrowseScenarios.cpp).
ScenarioFn FindBrowseScenario(const std::wstring& name);

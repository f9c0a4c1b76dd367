// korvel_e2e: runs one end-to-end scenario against SetUp.exe in the current Wine prefix.
//   korvel_e2e <scenario> <SetUp.exe> <fixtures folder> <artifacts folder> <code page>
//   korvel_e2e idle        (plays the running host: sleeps until it is ended)
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "Scenario.h"

int wmain(int argc, wchar_t** argv) {
    if (argc >= 2 && std::wstring(argv[1]) == L"idle") {
        ::Sleep(INFINITE);
        return 0;
    }
    if (argc < 6) {
        std::fprintf(stderr, "usage: korvel_e2e <scenario> <SetUp.exe> <fixtures> <artifacts> <code page>\n");
        return 2;
    }
    // Rectangles and pixels as they are on the screen, whatever the scaling of the program
    // under test (Wine would map them to 96 DPI for a program that is not aware of scaling).
    using SetContextFn = BOOL(WINAPI*)(HANDLE);
    const auto setContext = reinterpret_cast<SetContextFn>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleW(L"user32.dll"), "SetProcessDpiAwarenessContext")));
    if (setContext == nullptr || !setContext(reinterpret_cast<HANDLE>(-4))) ::SetProcessDPIAware();  // per-monitor v2
    ScenarioFn scenario = FindScenario(argv[1]);
    if (scenario == nullptr) {
        std::fprintf(stderr, "unknown scenario %s\n", Utf8(argv[1]).c_str());
        return 2;
    }
    Context context;
    context.setupBuilt = argv[2];
    context.fixtures = argv[3];
    context.artifacts = argv[4];
    context.codePage = static_cast<UINT>(std::wcstoul(argv[5], nullptr, 10));
    context.hostBitness = KORVEL_HOST_BITNESS;
    wchar_t self[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    context.driverPath = self;

    context.Check(::GetACP() == context.codePage, "system code page is " + std::to_string(context.codePage),
                  L"GetACP() = " + std::to_wstring(::GetACP()));
    scenario(context);
    std::printf("%s: %d failed check(s)\n", Utf8(argv[1]).c_str(), context.failures);
    std::fflush(stdout);
    return context.failures == 0 ? 0 : 1;
}

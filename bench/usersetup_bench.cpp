// The per-user step that Windows runs at each logon, which the logon waits for: a user with 1, 20
// and 200 AutoCAD profiles (over 5 products), each holding a dozen trusted paths. "First" adds the
// folder everywhere; "Again" is every later logon, which finds it and writes nothing. Read the
// times as ratios: 20 profiles against 1, and Again against First.
//
//   cmake --preset bench -B build/bench && cmake --build build/bench --target usersetup_bench
//   build/bench/bench/usersetup_bench
#include <benchmark/benchmark.h>

#include "doubles/FileDouble.h"
#include "doubles/LogDouble.h"
#include "doubles/RegistryDouble.h"
#include "setup/UserSetup.h"
#include "text/Text.h"

namespace {
const char* const kFolder = "C:\\Korvel\\Korvel-Tarnwick";

void Fill(RegistryDouble& registry, int profiles) {
    registry.PutString(kHkeyLocalMachine, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Korvel-Tarnwick",
                       "InstallLocation", kFolder);
    std::string value;
    for (int i = 0; i < 12; ++i) value += Format("%sD:\\Support\\Tools %02d\\...", i ? ";" : "", i);
    for (int p = 0; p < profiles; ++p) {
        const std::string variables =
            Format("Software\\Autodesk\\AutoCAD\\R24.%d\\ACAD-5101:409\\Profiles\\Profile %03d\\Variables", p % 5, p);
        registry.PutString(kHkeyCurrentUser, variables, "TRUSTEDPATHS", value);
        registry.PutString(kHkeyCurrentUser, variables, "ACADPREFIX", "D:\\Support");
    }
}

void BM_UserStepFirst(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        RegistryDouble registry;
        FileDouble files;
        LogDouble log;
        Fill(registry, static_cast<int>(state.range(0)));
        state.ResumeTiming();
        benchmark::DoNotOptimize(RunUserSetup(registry, files, log, std::string(kFolder) + "\\uninstall.exe"));
    }
    state.counters["profiles"] = static_cast<double>(state.range(0));
}

void BM_UserStepAgain(benchmark::State& state) {
    RegistryDouble registry;
    FileDouble files;
    LogDouble log;
    Fill(registry, static_cast<int>(state.range(0)));
    RunUserSetup(registry, files, log, std::string(kFolder) + "\\uninstall.exe");
    registry.ResetCallCounts();
    for (auto _ : state) {
        log.lines.clear();
        benchmark::DoNotOptimize(RunUserSetup(registry, files, log, std::string(kFolder) + "\\uninstall.exe"));
    }
    state.counters["writes"] = registry.CallCount(RegOp::SetString);
}
}  // namespace

BENCHMARK(BM_UserStepFirst)->Arg(1)->Arg(20)->Arg(200)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_UserStepAgain)->Arg(1)->Arg(20)->Arg(200)->Unit(benchmark::kMicrosecond);
BENCHMARK_MAIN();

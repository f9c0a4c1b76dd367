// Discovery over synthetic registries of 1e2 to 1e5 keys: the time per key must stay flat as
// the tree grows, including one release key that holds up to 10,000 products (the pairing of
// locations with names is where a quadratic cost would hide).
//
//   cmake --preset bench -B build/bench && cmake --build build/bench --target discovery_bench
//   build/bench/bench/discovery_bench
#include <benchmark/benchmark.h>

#include <map>
#include <memory>

#include "catalogue/HostCatalogue.h"
#include "doubles/FileDouble.h"
#include "doubles/PromptDouble.h"
#include "doubles/RegistryDouble.h"

namespace {

const std::string kRoot = "SOFTWARE\\Autodesk\\AutoCAD\\";

// A tree of about `keys` keys below the main root: one release key with min(keys / 4, 10000)
// products, the rest in ordinary release keys of two products and a five-key sub-tree without
// any of the values, which both walks visit to the bottom.
std::unique_ptr<RegistryDouble> BuildRegistry(int keys) {
    auto registry = std::make_unique<RegistryDouble>();
    int made = 0;
    const int big = std::min(keys / 4, 10000);
    for (int p = 0; p < big; ++p, ++made) {
        const std::string key = kRoot + "R24.0\\" + Format("ACAD-%05d:804", p);
        registry->PutString(kHkeyLocalMachine, key, "AcadLocation", Format("C:\\AutoCAD %d", p));
        registry->PutString(kHkeyLocalMachine, key, "ProductName",
                            Format("AutoCAD %d", 2007 + p % kReleaseCount));
    }
    for (int r = 0; made < keys; ++r) {
        const std::string release = kRoot + Format("R%d.%d", 17 + r / 10, r % 10);
        for (int p = 0; p < 2; ++p) {
            const std::string key = release + Format("\\ACAD-%04d:%d", r, p);
            registry->PutString(kHkeyLocalMachine, key, "AcadLocation", Format("D:\\R%d\\%d", r, p));
            registry->PutString(kHkeyLocalMachine, key, "ProductName",
                                Format("AutoCAD %d", 2007 + (r + p) % kReleaseCount));
        }
        registry->CreateKeyPath(kHkeyLocalMachine, release + "\\Shared\\Fonts");
        registry->CreateKeyPath(kHkeyLocalMachine, release + "\\Shared\\Plotters\\PC3");
        registry->CreateKeyPath(kHkeyLocalMachine, release + "\\Shared\\Support");
        made += 8;
    }
    return registry;
}

void BM_Discovery(benchmark::State& state) {
    const int keys = static_cast<int>(state.range(0));
    static std::map<int, std::unique_ptr<RegistryDouble>> registries;
    auto& registry = registries[keys];
    if (!registry) registry = BuildRegistry(keys);
    FileDouble files;
    PromptDouble prompt;
    std::size_t found = 0;
    for (auto _ : state) {
        HostCatalogue catalogue(*registry, files, prompt);
        catalogue.ScanInstalledReleases();
        found = 0;
        for (const StringList& list : catalogue.hostKeys) found += list.size();
        benchmark::DoNotOptimize(found);
    }
    state.counters["products"] = static_cast<double>(found);
    // Seconds per key (shown in ns by --benchmark_counters_tabular or as "per_key").
    state.counters["per_key"] = benchmark::Counter(
        keys, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

BENCHMARK(BM_Discovery)->RangeMultiplier(10)->Range(100, 100000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

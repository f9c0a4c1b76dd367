// The payload copy of a 165-file package, without and with the setup log: the log's wrappers
// and a log that stamps and buffers each line as the Windows one does. The ratio of the two
// is what logging costs an install.
//
//   cmake --preset bench -B build/bench && cmake --build build/bench --target copy_bench
//   build/bench/bench/copy_bench
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <ctime>

#include "text/Text.h"
#include "deploy/PackageCopy.h"
#include "doubles/FileDouble.h"
#include "doubles/ProgressDouble.h"
#include "doubles/PromptDouble.h"
#include "setuplog/LoggingFiles.h"

namespace {

constexpr int kPackageFiles = 165;

// Stamps each line with the local time to the millisecond and keeps it in a block that is
// handed on (here: dropped) when full, as the Windows log writes its blocks.
class StampingLog : public SetupLog {
public:
    void Line(const std::string& text) override {
        const auto now = std::chrono::system_clock::now();
        const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
        const int millis = static_cast<int>(
            std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000);
        std::tm local{};
        localtime_r(&seconds, &local);
        char stamp[32];
        std::snprintf(stamp, sizeof stamp, "%04d-%02d-%02d %02d:%02d:%02d.%03d ", local.tm_year + 1900,
                      local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec, millis);
        block_ += stamp;
        block_ += text;
        block_ += "\r\n";
        if (block_.size() >= 16 * 1024) {
            benchmark::DoNotOptimize(block_.data());
            block_.clear();
        }
    }

private:
    std::string block_;
};

void MakePackage(FileDouble& files) {
    files.AddFolder("C:\\");
    files.modulePath = "C:\\Setup\\SetUp.exe";
    files.AddFile(files.modulePath, "setup program");
    files.AddFile("C:\\Setup\\Data\\Korvel2010.arx", "module");
    for (int i = 1; i < kPackageFiles; ++i)
        files.AddFile("C:\\Setup\\Data\\" + Format("Korvel-part-%03d.dat", i), std::string(64, 'x'));
    files.AddFolder("C:\\Korvel\\Korvel-Tarnwick");
}

template <bool kLogged>
void BM_PayloadCopy(benchmark::State& state) {
    FileDouble files;
    MakePackage(files);
    StampingLog log;
    LoggingFiles logged(files, log);
    Files& seam = kLogged ? static_cast<Files&>(logged) : static_cast<Files&>(files);
    PromptDouble prompt;
    ProgressDouble progress;
    for (auto _ : state) {
        files.copies.clear();
        files.calls.clear();
        PackageCopy copy(seam, prompt, "C:\\Korvel\\Korvel-Tarnwick", progress);
        benchmark::DoNotOptimize(copy.Run());
    }
    state.counters["files"] = kPackageFiles;
}

BENCHMARK_TEMPLATE(BM_PayloadCopy, false)->Name("BM_PayloadCopy/plain")->Unit(benchmark::kMicrosecond);
BENCHMARK_TEMPLATE(BM_PayloadCopy, true)->Name("BM_PayloadCopy/logged")->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();

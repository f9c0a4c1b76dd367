// Timings over the real Win32 file seam, run under Wine by scripts/install-bench.sh (or by hand):
//
//   seam_bench copy FOLDER [ROUNDS]  the payload copy of a 165-file package (about 100 MB) made in
//                                    FOLDER: without the undo record (CopyFileW), the hashing
//                                    copy alone, with the record, with the record and the setup
//                                    log (a line a copy, as an install writes them), and, for
//                                    comparison, the way the record used to hash (CopyFileW, then
//                                    the whole file read back and hashed by the portable code);
//                                    the variants alternate in order, round by round
//   seam_bench log FOLDER [LINES]    the setup log alone: LINES lines (default 20000) of a copy's
//                                    length, each handed to the file as it comes, best of 5
//   seam_bench sha [MIB]             SHA-256 throughput of each engine over MIB MiB (default 256)
//   seam_bench peak FOLDER [MIB]     peak memory of one hashing copy of a MIB MiB file (default
//                                    1024), against the process before the copy
//   seam_bench launch A B [ROUNDS]   launch to the first visible window of two programs, alternating
//   seam_bench installers [ROUNDS [OTHER]]
//                                    C:\Pkg\SetUp.exe against C:\Pkg\nsis-baseline.exe, both
//                                    beside C:\Pkg\Data: quiet install into C:\Korvel, its quiet
//                                    uninstall (until the folder is gone), an install followed by
//                                    the same install again (timed, with the folder's growth),
//                                    launch to the first visible window, and xcopy of Data as the
//                                    floor; the two alternate in order, round by round. With
//                                    OTHER, that build of SetUp.exe stands in for NSIS: a change
//                                    against the build before it
//   seam_bench responsive [ROUNDS]   C:\Pkg\SetUp.exe's dialog installing into C:\Korvel (then
//                                    uninstalled quietly): a message sent to it every 100 ms
//                                    through the copy, and the slowest answer of each round
//                                    (Windows marks a window that answers nothing for 5 s as hung)
//
// Figures are medians of the rounds; ratios are medians of the ratios paired within a round.
#include <windows.h>

#include <psapi.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "deploy/PackageCopy.h"
#include "journal/Journal.h"
#include "journal/Recording.h"
#include "platform/Forwarding.h"
#include "platform/win32/Cp936.h"
#include "platform/win32/Handle.h"
#include "platform/win32/Win32Files.h"
#include "platform/win32/Win32Sha256.h"
#include "platform/win32/Win32SetupLog.h"
#include "setuplog/LoggingFiles.h"
#include "text/Sha256.h"

namespace {
constexpr int kPackageFiles = 165;

class NoPrompt : public Prompt {
public:
    int Show(const std::string& text, const std::string&, unsigned) override {
        std::fprintf(stderr, "unexpected message: %s\n", text.c_str());
        return kIdAbort;
    }
};

class NoProgress : public ProgressSink {
public:
    void SetRange(int, int) override {}
    void SetStep(int) override {}
    void SetPos(int) override {}
    void StepIt() override {}
};

// The running program as the package's SetUp.exe, so that the package is the bench's own.
class PackageFiles : public ForwardingFiles {
public:
    PackageFiles(Files& inner, std::string program) : ForwardingFiles(inner), program_(std::move(program)) {}
    PathRead ModulePath(std::string& path, std::uint32_t) override {
        path = program_;
        return PathRead::Read;
    }

private:
    std::string program_;
};

// How the undo record used to learn what a copy wrote: CopyFileW, then the whole file read back.
class ReadBackFiles : public ForwardingFiles {
public:
    using ForwardingFiles::ForwardingFiles;
    using Files::CopyOver;
    bool CopyOver(const std::string& source, const std::string& destination, bool failIfExists,
                  CopyReport& report) override {
        if (!inner_.CopyOver(source, destination, failIfExists)) return false;
        std::string bytes;
        if (!inner_.ReadBytes(destination, bytes)) return false;
        report.size = bytes.size();
        report.sha256 = Sha256Hex(bytes);
        if (report.watcher) report.watcher->Copied(bytes.size());
        return true;
    }
};

// The one-pass hashing copy on its own, as the record asks for it, without the record.
class HashingFiles : public ForwardingFiles {
public:
    using ForwardingFiles::ForwardingFiles;
    using Files::CopyOver;
    bool CopyOver(const std::string& source, const std::string& destination, bool failIfExists,
                  CopyReport& report) override {
        report.hash = true;
        return inner_.CopyOver(source, destination, failIfExists, report);
    }
};

bool WriteFileOf(const std::string& path, std::uint64_t size, unsigned seed) {
    Handle file(CreateFileW(WidenCp936(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    std::vector<char> block(1 << 20);
    bool ok = true;
    for (std::uint64_t done = 0; done < size && ok; done += block.size()) {
        for (std::size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>((i * 2654435761u + seed + done) >> 13);
        const DWORD part = static_cast<DWORD>(std::min<std::uint64_t>(block.size(), size - done));
        DWORD written = 0;
        ok = WriteFile(file.get(), block.data(), part, &written, nullptr) && written == part;
    }
    return file.Close() && ok;
}

void RemoveTree(const std::string& folder) {
    WIN32_FIND_DATAW data;
    const std::wstring wide = WidenCp936(folder);
    const HANDLE search = FindFirstFileW((wide + L"\\*").c_str(), &data);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = data.cFileName;
            if (name == L"." || name == L"..") continue;
            const std::wstring path = wide + L"\\" + name;
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(NarrowCp936(path.c_str(), -1));
            } else {
                SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileW(path.c_str());
            }
        } while (FindNextFileW(search, &data));
        FindClose(search);
    }
    RemoveDirectoryW(wide.c_str());
}

double Seconds(const std::function<void()>& work) {
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n == 0 ? 0 : (n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2);
}

void PrintRatio(const char* what, const std::vector<double>& ratios) {
    std::printf("  %-36s median %.3f  (min %.3f, max %.3f, %zu rounds)\n", what, Median(ratios),
                *std::min_element(ratios.begin(), ratios.end()), *std::max_element(ratios.begin(), ratios.end()),
                ratios.size());
}

int Copy(const std::string& folder, int rounds) {
    const std::string data = folder + "\\pkg\\Data";
    CreateDirectoryW(WidenCp936(folder).c_str(), nullptr);
    CreateDirectoryW(WidenCp936(folder + "\\pkg").c_str(), nullptr);
    CreateDirectoryW(WidenCp936(data).c_str(), nullptr);
    std::uint64_t total = 0;
    for (int i = 0; i < kPackageFiles; ++i) {
        // Mostly small files, every tenth a few MiB: about 100 MB in all.
        const std::uint64_t size = (i % 10 == 9) ? (3u << 20) + 4096u * i : 64u * 1024 + 9000u * i;
        char name[32];
        std::snprintf(name, sizeof name, "\\Korvel-part-%03d.dat", i);
        if (!WriteFileOf(data + name, size, i)) return 1;
        total += size;
    }
    std::printf("payload copy: %d files, %.1f MB, %d rounds\n", kPackageFiles, total / 1e6, rounds);

    Win32Files win32;
    Win32TextCodec codec;
    PackageFiles files(win32, folder + "\\pkg\\SetUp.exe");
    NoPrompt prompt;
    NoProgress progress;
    const std::string installed = folder + "\\Korvel";
    const std::string target = installed + "\\Korvel-Tarnwick";
    enum Variant { kPlain, kHashed, kRecorded, kReadBack, kLogged, kVariants };
    const char* names[kVariants] = {"without the record", "hashing copy, no record", "with the record",
                                    "with the record, read back (before)", "with the record and the log"};
    const std::wstring logPath = WidenCp936(folder + "\\seam-bench.log");
    std::vector<double> seconds[kVariants];
    std::vector<double> hashedRatio, recordedRatio, readBackRatio, loggedRatio;
    for (int round = 0; round < rounds; ++round) {
        double took[kVariants] = {};
        for (int k = 0; k < kVariants; ++k) {
            const int variant = (k + round) % kVariants;  // each variant first in turn
            RemoveTree(installed);
            CreateDirectoryW(WidenCp936(installed).c_str(), nullptr);
            CreateDirectoryW(WidenCp936(target).c_str(), nullptr);
            bool ok = false;
            took[variant] = Seconds([&] {
                if (variant == kPlain || variant == kHashed) {
                    HashingFiles hashing(files);
                    ok = PackageCopy(variant == kHashed ? static_cast<Files&>(hashing) : files, prompt, target, progress)
                             .Run();
                    return;
                }
                ReadBackFiles readBack(files);
                Files& base = variant == kReadBack ? static_cast<Files&>(readBack) : static_cast<Files&>(files);
                Journal journal(base, codec);
                RecordingFiles recording(base, journal);
                journal.Arm(target);
                if (!journal.Place(false).empty()) return;
                if (variant == kLogged) {
                    Win32SetupLog log(logPath);
                    LoggingFiles logging(recording, log);
                    ok = PackageCopy(logging, prompt, target, progress).Run() && journal.Flush();
                    return;
                }
                ok = PackageCopy(recording, prompt, target, progress).Run() && journal.Flush();
            });
            if (!ok) {
                std::fprintf(stderr, "copy failed: %s\n", names[variant]);
                return 1;
            }
            seconds[variant].push_back(took[variant]);
        }
        hashedRatio.push_back(took[kHashed] / took[kPlain]);
        recordedRatio.push_back(took[kRecorded] / took[kPlain]);
        readBackRatio.push_back(took[kReadBack] / took[kPlain]);
        loggedRatio.push_back(took[kLogged] / took[kRecorded]);
    }
    RemoveTree(installed);
    for (int v = 0; v < kVariants; ++v)
        std::printf("  %-36s median %7.1f ms  %6.0f MB/s\n", names[v], Median(seconds[v]) * 1000,
                    total / 1e6 / Median(seconds[v]));
    PrintRatio("hashing copy / without the record", hashedRatio);
    PrintRatio("with / without the record", recordedRatio);
    PrintRatio("read back (before) / without", readBackRatio);
    PrintRatio("with the log / with the record", loggedRatio);
    return 0;
}

int LogLines(const std::string& folder, int lines) {
    CreateDirectoryW(WidenCp936(folder).c_str(), nullptr);
    const std::wstring path = WidenCp936(folder + "\\seam-bench-lines.log");
    const std::string line = "copied C:\\Pkg\\Data\\Part123.dat -> C:\\CAD Plugins\\Korvel\\Korvel-Tarnwick\\Part123.dat";
    std::printf("setup log: %d lines of %zu bytes, best of 5\n", lines, line.size());
    double best = 1e9;
    for (int run = 0; run < 5; ++run) {
        best = std::min(best, Seconds([&] {
            Win32SetupLog log(path);
            for (int i = 0; i < lines; ++i) log.Line(line);
        }));
    }
    std::printf("  %-36s %7.1f ms  %6.2f us a line\n", "one WriteFile a line", best * 1000, best * 1e6 / lines);
    return 0;
}

int Sha(int mebibytes) {
    std::vector<char> buffer(1 << 20);
    for (std::size_t i = 0; i < buffer.size(); ++i) buffer[i] = static_cast<char>(i * 31 + (i >> 9));
    const char* names[] = {"CNG (bcrypt)", "CryptoAPI (PROV_RSA_AES)", "portable"};
    std::printf("SHA-256 over %d MiB, best of 3 (SHA instructions: %s):\n", mebibytes,
                Sha256::ProcessorHasSha() ? "yes" : "no");
    for (Sha256Engine engine : {Sha256Engine::Cng, Sha256Engine::CryptoApi, Sha256Engine::Portable}) {
        double best = 1e9;
        Sha256Engine got = engine;
        for (int run = 0; run < 3; ++run) {
            best = std::min(best, Seconds([&] {
                Win32Sha256 hash(engine);
                got = hash.engine();
                for (int m = 0; m < mebibytes; ++m) hash.Update(buffer.data(), buffer.size());
                if (hash.HexDigest().size() != 64) std::fprintf(stderr, "no digest\n");
            }));
        }
        std::printf("  %-26s %7.0f MB/s%s\n", names[static_cast<int>(engine)], mebibytes * 1.048576 / best,
                    got == engine ? "" : "  (not available: fell back)");
    }
    double plain = 1e9;
    for (int run = 0; run < 3; ++run) {
        plain = std::min(plain, Seconds([&] {
            Sha256 hash(false);
            for (int m = 0; m < mebibytes; ++m) hash.Update(buffer.data(), buffer.size());
            hash.HexDigest();
        }));
    }
    std::printf("  %-26s %7.0f MB/s\n", "portable, plain C (-O2)", mebibytes * 1.048576 / plain);
    return 0;
}

std::uint64_t PeakBytes() {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
    return std::max<std::uint64_t>(counters.PeakWorkingSetSize, counters.PeakPagefileUsage);
}

int Peak(const std::string& folder, int mebibytes) {
    CreateDirectoryW(WidenCp936(folder).c_str(), nullptr);
    const std::string source = folder + "\\large.bin", copy = folder + "\\large-copy.bin";
    if (!WriteFileOf(source, std::uint64_t(mebibytes) << 20, 7)) return 1;
    Win32Files files;
    const std::uint64_t before = PeakBytes();
    CopyReport report;
    report.hash = true;
    double took = 0;
    const bool ok = (took = Seconds([&] { files.CopyOver(source, copy, false, report); }), report.size > 0);
    const std::uint64_t after = PeakBytes();
    std::printf("hashing copy of %d MiB: %s in %.2f s; peak memory %.1f MB before, %.1f MB after (+%.1f MB)\n",
                mebibytes, ok ? "done" : "FAILED", took, before / 1e6, after / 1e6, (after - before) / 1e6);
    DeleteFileW(WidenCp936(copy).c_str());
    DeleteFileW(WidenCp936(source).c_str());
    return ok ? 0 : 1;
}

// Starts a command line and waits for its end; -1 when it could not start or did not end.
long Run(const std::wstring& command, double& seconds, DWORD timeout = 600000) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    std::wstring line = command;
    const auto start = std::chrono::steady_clock::now();
    if (!CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, L"C:\\", &startup, &started))
        return -1;
    const Handle process(started.hProcess), thread(started.hThread);
    DWORD code = static_cast<DWORD>(-1);
    if (WaitForSingleObject(process.get(), timeout) == WAIT_OBJECT_0) GetExitCodeProcess(process.get(), &code);
    seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return static_cast<long>(code);
}

bool Gone(const wchar_t* path) { return GetFileAttributesW(path) == INVALID_FILE_ATTRIBUTES; }

// Waits until a folder is gone (an uninstaller that hands its work to a copy in the temporary
// folder ends before the folder does).
bool WaitGone(const wchar_t* path, DWORD milliseconds) {
    for (DWORD waited = 0; waited < milliseconds; waited += 10) {
        if (Gone(path)) return true;
        Sleep(10);
    }
    return Gone(path);
}

std::uint64_t TreeBytes(const std::wstring& folder) {
    std::uint64_t total = 0;
    WIN32_FIND_DATAW data;
    const HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &data);
    if (search == INVALID_HANDLE_VALUE) return 0;
    do {
        const std::wstring name = data.cFileName;
        if (name == L"." || name == L"..") continue;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            total += TreeBytes(folder + L"\\" + name);
        else
            total += (std::uint64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    } while (FindNextFileW(search, &data));
    FindClose(search);
    return total;
}

struct FoundWindow {
    DWORD process;
    HWND window;
};

// EnumWindows' callback (CALLBACK: a lambda has the wrong calling convention on x86): the first
// visible, unowned top-level window of the wanted process.
BOOL CALLBACK FindProcessWindow(HWND window, LPARAM context) {
    auto* wanted = reinterpret_cast<FoundWindow*>(context);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != wanted->process || !IsWindowVisible(window) || GetWindow(window, GW_OWNER)) return TRUE;
    wanted->window = window;
    return FALSE;
}

// Seconds from the start of a program to its first visible top-level window; the program is
// then asked to close (and ended if it does not).
double LaunchToWindow(const std::wstring& command) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    std::wstring line = command;
    const auto start = std::chrono::steady_clock::now();
    if (!CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, L"C:\\", &startup, &started))
        return -1;
    const Handle process(started.hProcess), thread(started.hThread);
    double seconds = -1;
    FoundWindow found{started.dwProcessId, nullptr};
    for (int tries = 0; tries < 6000 && found.window == nullptr; ++tries) {
        EnumWindows(FindProcessWindow, reinterpret_cast<LPARAM>(&found));
        if (found.window == nullptr) Sleep(5);
    }
    if (found.window != nullptr) {
        seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        PostMessageW(found.window, WM_CLOSE, 0, 0);
    }
    if (WaitForSingleObject(process.get(), 10000) != WAIT_OBJECT_0) TerminateProcess(process.get(), 1);
    return seconds;
}

// Two programs' launch to their first window, alternating: a change against the build before it.
int Launches(const std::string& first, const std::string& second, int rounds) {
    std::vector<double> a, b, ratio;
    for (int round = 0; round < rounds; ++round) {
        const double x = LaunchToWindow(WidenCp936(first)), y = LaunchToWindow(WidenCp936(second));
        if (x <= 0 || y <= 0) return 1;
        a.push_back(x);
        b.push_back(y);
        ratio.push_back(x / y);
    }
    std::printf("launch to window: %s %.3f s, %s %.3f s (medians)\n", first.c_str(), Median(a), second.c_str(), Median(b));
    PrintRatio("first / second", ratio);
    return 0;
}

int Installers(int rounds, const std::string& other) {
    const std::wstring otherPath = WidenCp936(other);
    struct Installer {
        const char* name;
        const wchar_t* install;
        const wchar_t* uninstall;
        std::vector<double> first, again, removed, launch, grown;
    } ours{"SetUp.exe", L"C:\\Pkg\\SetUp.exe", L"C:\\Korvel\\Korvel-Tarnwick\\uninstall.exe /uninstall /S", {}, {}, {}, {}, {}},
      nsis{"NSIS", L"C:\\Pkg\\nsis-baseline.exe", L"C:\\Korvel\\Korvel-Tarnwick\\uninst.exe /S", {}, {}, {}, {}, {}};
    if (!other.empty()) nsis = Installer{"other", otherPath.c_str(), ours.uninstall, {}, {}, {}, {}, {}};
    const wchar_t* folder = L"C:\\Korvel\\Korvel-Tarnwick";
    std::vector<double> floor;
    std::printf("payload: %.1f MB in C:\\Pkg\\Data\n", TreeBytes(L"C:\\Pkg\\Data") / 1e6);
    for (int round = 0; round < rounds; ++round) {
        Installer* order[2] = {round % 2 ? &nsis : &ours, round % 2 ? &ours : &nsis};
        for (Installer* x : order) {
            double t = 0;
            const std::wstring quiet = std::wstring(x->install) + L" /S /D=C:\\Korvel";
            long code = Run(quiet, t);
            if (code < 0 || Gone(folder)) {
                std::printf("%s: install failed (exit %ld)\n", x->name, code);
                return 1;
            }
            x->first.push_back(t);
            const std::uint64_t firstBytes = TreeBytes(L"C:\\Korvel");
            // The uninstall of that install, until the folder is gone.
            const auto uninstall = [&](double& seconds) {
                long exit = Run(x->uninstall, seconds);
                const auto start = std::chrono::steady_clock::now();
                const bool gone = WaitGone(folder, 120000);
                seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
                if (!gone) std::printf("%s: uninstall left the folder (exit %ld)\n", x->name, exit);
                return gone;
            };
            if (!uninstall(t)) return 1;
            x->removed.push_back(t);
            // Installed again, then the same install once more into the same folder.
            Run(quiet, t);
            code = Run(quiet, t);
            x->again.push_back(t);
            x->grown.push_back(double(TreeBytes(L"C:\\Korvel")) / double(firstBytes));
            double ignored = 0;
            if (!uninstall(ignored)) return 1;
            x->launch.push_back(LaunchToWindow(x->install));
            std::printf("round %d %-9s install %.2f s, again %.2f s (folder x%.2f), uninstall %.2f s, launch %.2f s\n",
                        round + 1, x->name, x->first.back(), x->again.back(), x->grown.back(), x->removed.back(),
                        x->launch.back());
            std::fflush(stdout);
        }
        double t = 0;
        Run(L"C:\\windows\\system32\\xcopy.exe C:\\Pkg\\Data C:\\Floor\\ /E /I /Q /Y", t);
        floor.push_back(t);
        RemoveTree("C:\\Floor");
    }
    const auto ratios = [](const std::vector<double>& a, const std::vector<double>& b) {
        std::vector<double> r;
        for (std::size_t i = 0; i < a.size(); ++i) r.push_back(a[i] / b[i]);
        return r;
    };
    std::printf("medians of %d rounds:\n", rounds);
    for (Installer* x : {&ours, &nsis})
        std::printf("  %-9s install %.2f s, repeat %.2f s (folder x%.2f), uninstall %.2f s, launch %.3f s\n", x->name,
                    Median(x->first), Median(x->again), Median(x->grown), Median(x->removed), Median(x->launch));
    std::printf("  xcopy of Data (the floor) %.2f s\n", Median(floor));
    std::printf("paired ratios:\n");
    const std::string base = nsis.name;
    PrintRatio(("install / " + base + " install").c_str(), ratios(ours.first, nsis.first));
    PrintRatio(("uninstall / " + base + " uninstall").c_str(), ratios(ours.removed, nsis.removed));
    PrintRatio("repeat install / first install", ratios(ours.again, ours.first));
    PrintRatio(("launch to window / " + base).c_str(), ratios(ours.launch, nsis.launch));
    PrintRatio("install / xcopy floor", ratios(ours.first, floor));
    return 0;
}

// The dialog's slowest answer while it installs: started with the folder preset, Install pressed,
// a message sent every 100 ms until the finished view shows, then OK; the install is undone
// before the next round.
int Responsive(int rounds) {
    constexpr int kInstall = 1022;  // the dialog's Install button (IDC_INSTALL)
    const wchar_t* folder = L"C:\\Korvel\\Korvel-Tarnwick";
    std::vector<double> slowest, typical;
    for (int round = 0; round < rounds; ++round) {
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION started{};
        std::wstring line = L"C:\\Pkg\\SetUp.exe /D=C:\\Korvel";
        if (!CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, L"C:\\", &startup, &started))
            return 1;
        const Handle process(started.hProcess), thread(started.hThread);
        FoundWindow found{started.dwProcessId, nullptr};
        for (int tries = 0; tries < 6000 && found.window == nullptr; ++tries) {
            EnumWindows(FindProcessWindow, reinterpret_cast<LPARAM>(&found));
            if (found.window == nullptr) Sleep(5);
        }
        if (found.window == nullptr) {
            TerminateProcess(process.get(), 1);
            std::printf("round %d: no dialog\n", round + 1);
            return 1;
        }
        const HWND dialog = found.window;
        PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(kInstall, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, kInstall)));
        std::vector<double> answers;
        bool finished = false;
        for (int tries = 0; tries < 6000 && !finished && IsWindow(dialog); ++tries) {
            DWORD_PTR result = 0;
            const double took = Seconds([&] { SendMessageTimeoutW(dialog, WM_NULL, 0, 0, SMTO_NORMAL, 60000, &result); });
            answers.push_back(took);
            const HWND ok = GetDlgItem(dialog, IDOK);
            finished = ok != nullptr && IsWindowVisible(ok);
            if (!finished) Sleep(100);
        }
        if (finished) PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        if (WaitForSingleObject(process.get(), 60000) != WAIT_OBJECT_0) TerminateProcess(process.get(), 1);
        if (!finished || answers.empty()) {
            std::printf("round %d: the finished view did not show\n", round + 1);
            return 1;
        }
        double seconds = 0;
        Run(L"C:\\Korvel\\Korvel-Tarnwick\\uninstall.exe /uninstall /S", seconds);
        if (!WaitGone(folder, 120000)) {
            std::printf("round %d: the uninstall left the folder\n", round + 1);
            return 1;
        }
        slowest.push_back(*std::max_element(answers.begin(), answers.end()));
        typical.push_back(Median(answers));
        std::printf("round %d: %zu messages, slowest answer %.0f ms, median %.1f ms\n", round + 1, answers.size(),
                    slowest.back() * 1000, typical.back() * 1000);
        std::fflush(stdout);
    }
    std::printf("dialog during the install, %d rounds: slowest answer median %.0f ms (min %.0f, max %.0f); "
                "median answer %.1f ms\n",
                rounds, Median(slowest) * 1000, *std::min_element(slowest.begin(), slowest.end()) * 1000,
                *std::max_element(slowest.begin(), slowest.end()) * 1000, Median(typical) * 1000);
    return 0;
}
}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "copy" && argc > 2) return Copy(argv[2], argc > 3 ? std::atoi(argv[3]) : 5);
    if (mode == "sha") return Sha(argc > 2 ? std::atoi(argv[2]) : 256);
    if (mode == "log" && argc > 2) return LogLines(argv[2], argc > 3 ? std::atoi(argv[3]) : 20000);
    if (mode == "installers") return Installers(argc > 2 ? std::atoi(argv[2]) : 5, argc > 3 ? argv[3] : "");
    if (mode == "launch" && argc > 3) return Launches(argv[2], argv[3], argc > 4 ? std::atoi(argv[4]) : 20);
    if (mode == "peak" && argc > 2) return Peak(argv[2], argc > 3 ? std::atoi(argv[3]) : 1024);
    if (mode == "responsive") return Responsive(argc > 2 ? std::atoi(argv[2]) : 5);
    std::fprintf(stderr, "usage: seam_bench copy FOLDER [ROUNDS] | sha [MIB] | log FOLDER [LINES] | peak FOLDER [MIB] | "
                         "installers [ROUNDS [OTHER]] | "
                         "launch EXE EXE [ROUNDS] | responsive [ROUNDS]\n");
    return 2;
}

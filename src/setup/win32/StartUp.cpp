#include "setup/win32/StartUp.h"

#include <optional>
#include <vector>

#include "catalogue/HostCatalogue.h"
#include "platform/win32/Cp936.h"
#include "platform/win32/Win32Files.h"
#include "platform/win32/Win32Processes.h"
#include "platform/win32/Win32Prompt.h"
#include "platform/win32/Win32Registry.h"
#include "platform/win32/Win32SetupLog.h"
#include "platform/win32/SelfImage.h"
#include "setup/CommandLine.h"
#include "setup/ExitCodes.h"
#include "setup/LogPlace.h"
#include "setup/Unattended.h"
#include "setup/Usage.h"
#include "journal/Journal.h"
#include "journal/RecordPlace.h"
#include "text/PathText.h"
#include "platform/win32/FolderSecurity.h"
#include "journal/CodeGuard.h"
#include "journal/Recording.h"
#include "journal/UndoRecorder.h"
#include "setup/win32/RunLock.h"
#include "setup/win32/SetupTexts.h"
#include "setup/win32/UninstallProgram.h"
#include "setup/win32/Elevation.h"
#include "setup/SetupView.h"
#include "setup/UserSetup.h"
#include "setup/win32/WizardApp.h"
#include "setuplog/LoggedPrompt.h"
#include "setuplog/LoggingFiles.h"
#include "setuplog/LoggingRegistry.h"
#include "setuplog/RunFacts.h"

namespace {
const char kBadCommandLine[] = "命令行有误：";
const char kSelfReplaced[] =
    "安装程序自身的文件在运行后被替换，或被其他程序占用。为避免将其他程序登记为卸载程序，安装已停止，没有做任何更改。";
const char kAlreadyRunning[] =
    "Korvel-Tarnwick 安装程序正在运行（可能在本机其他用户的会话中）。\n\n请等待它结束后再运行，本次没有做任何更改。";

std::wstring Wide(const std::u16string& text) { return std::wstring(text.begin(), text.end()); }

// Tells the user at the window, unless the run must show none.
void Tell(const SetupCommand& command, const std::string& text) {
    if (command.silent) return;
    Win32Prompt box;
    box.Show(text, kSetupCaption, kMbOk | kMbIconExclamation);
}

int RefuseCommandLine(const SetupCommand& command, SetupLog& log, const std::string& why,
                      const std::string& shown) {
    log.Line("bad command line: " + why);
    Tell(command, std::string(kBadCommandLine) + shown + "\n\n" + UsageText());
    return kExitBadCommandLine;
}

int RunUninstall(HINSTANCE instance, const SetupCommand& command, SetupLog& log) {
    Win32Registry registry;
    Win32Files files;
    Win32TextCodec codec;
    Win32Processes processes;
    Win32Prompt window;
    return RunUninstallProgram(instance, UninstallServices{registry, files, codec, processes, window, log},
                               command.silent);
}

// The per-user step at a user's logon: no window, whatever happens.
int RunUserSetupStep(SetupLog& log) {
    Win32Registry systemRegistry;
    Win32Files files;
    LoggingRegistry registry(systemRegistry, log);
    std::string program;
    if (files.ModulePath(program, 32768) != PathRead::Read) {
        log.Line("per-user step: the program's own path cannot be read");
        return kExitNoRecord;
    }
    return RunUserSetup(registry, files, log, program);
}

// With administrator rights every folder the dialog makes (the folder browser's "create it?")
// gets the locked rights, as the install run's own do: it never exists with inherited ones.
class LockedFolderFiles : public ForwardingFiles {
public:
    using ForwardingFiles::ForwardingFiles;
    bool CreateFolder(const std::string& path) override { return inner_.CreateLockedFolder(path); }
};

int RunInstall(HINSTANCE instance, const SetupCommand& command, SetupLog& log, RunLock* lock, const SelfImage* image,
               std::string& outcome) {
    // Without /D= the unattended run keeps the folder of the install listed on the PC; the
    // dialog starts with the default one.
    std::string folder;
    if (!command.folder.empty() && !NarrowCp936Exact(Wide(command.folder), folder)) {
        return RefuseCommandLine(command, log,
                                 "the folder holds a character that code page 936 cannot hold: " + folder,
                                 folder);
    }

    Win32Registry systemRegistry;
    Win32Files systemFiles;
    Win32TextCodec codec;
    Win32Processes processes;
    Win32Prompt window;
    // Every write is logged, then recorded for the uninstall (once the install run arms the
    // record), then made.
    Journal journal(systemFiles, codec);
    RecordingRegistry recordingRegistry(systemRegistry, journal);
    LockedFolderFiles lockedFiles(systemFiles);
    RecordingFiles recordingFiles(RunsWithAdministratorRights() ? static_cast<Files&>(lockedFiles)
                                                                : static_cast<Files&>(systemFiles),
                                  journal);
    // Every value that names code is checked as it is written, whoever writes it.
    CodeGuard guard(recordingRegistry, recordingFiles);
    LoggingRegistry registry(guard, log);
    LoggingFiles files(recordingFiles, log);
    const std::string version = VersionText(setupVersion);
    SYSTEMTIME today{};
    ::GetLocalTime(&today);
    UndoRecorder recorder(journal, guard, recordingFiles,
                          UninstallEntryText{"Korvel-Tarnwick AutoCAD插件", version, "Tarnwick软件",
                                             Format("%04d%02d%02d", today.wYear, today.wMonth, today.wDay),
                                             KORVEL_VERSION_MAJOR, KORVEL_VERSION_MINOR, std::string()});
    recorder.SetUser(processes.UserSid());
    recorder.SetLog(log);
    if (image != nullptr) recorder.SetProgramImage({image->size(), image->sha256()});
    LoggedPrompt prompt(log, command.silent ? nullptr : &window);
    HostCatalogue catalogue(registry, files, prompt);
    catalogue.ScanInstalledReleases();
    LogHostsFound(log, catalogue);

    Win32Elevation elevation(catalogue, window, lock);
    if (command.silent) {
        return RunUnattended(UnattendedChoice{command.releases, folder, command.releasesIfPresent}, hostBitness,
                             catalogue, files, processes, prompt, log, &recorder, &elevation, &outcome);
    }
    DialogPresets presets;
    presets.folder = folder.empty() ? kDefaultFolder : folder;
    std::string error;
    if (!ChooseReleases(OfferedReleases(catalogue, hostBitness), command.releases, presets.ticks, error,
                        command.releasesIfPresent)) {
        return RefuseCommandLine(command, log, error, "/RELEASES=");
    }
    if (command.releases.empty() && command.releasesIfPresent.empty()) presets.ticks = SetupMembers::AllTicked();
    // Started again with the rights, it asks no second time: what the rights cannot give, they
    // cannot give.
    presets.startInstall = command.elevated;
    presets.hostCheckArmed = !command.hostRefused;
    CWizardApp app(catalogue, files, processes, window, log, presets, &recorder,
                   command.elevated ? nullptr : &elevation);
    const int code = RunApplication(instance);
    outcome = app.outcome();
    return code;
}
// With administrator rights the default log goes into the protected folder the records are
// kept in, never into a temporary folder where any user may have put a file or link first. No
// log when that folder cannot be made safe.
std::wstring DefaultLogPath() {
    if (!RunsWithAdministratorRights()) return DefaultSetupLogPath();
    Win32Files files;
    std::string records;
    if (!PrepareRecordsFolder(files, records)) return std::wstring();
    return WidenCp936(records + "\\Korvel-Tarnwick-setup.log");
}
// The log a run writes, and what its first lines say of the one asked for.
struct LogTarget {
    std::wstring path;       // empty: no log at all
    std::wstring copyTo;     // a share that gets the finished log
    std::string note;        // why the log asked for is not the one written, for its first lines
};

// With administrator rights a log the command line names is written only where no other user
// could have put a link on its way (LogPlace.h); a share gets a copy of the finished log; anything
// else the run refuses, and writes the default log instead, which says so.
LogTarget ChooseLog(const std::wstring& asked) {
    if (asked.empty()) return {DefaultLogPath(), std::wstring(), std::string()};
    if (!RunsWithAdministratorRights()) return {asked, std::wstring(), std::string()};
    std::vector<wchar_t> full(32768);
    const DWORD length = GetFullPathNameW(asked.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    std::string narrow;
    LogPlace place;
    if (length == 0 || length >= full.size() || !NarrowCp936Exact(std::wstring(full.data(), length), narrow)) {
        place.why = "not a path this program can check";
    } else {
        Win32Files files;
        place = CheckLogPlace(files, narrow);
        if (place.usable) return {std::wstring(full.data(), length), std::wstring(), std::string()};
    }
    const std::string named = "log asked for: " + NarrowCp936(asked) + "; refused with administrator rights: " + place.why;
    if (place.share)
        return {DefaultLogPath(), std::wstring(full.data(), length), named + "; this log is added to it when the run ends"};
    return {DefaultLogPath(), std::wstring(), named + "; this is the default log"};
}

// "name (SID), with administrator rights": the account the run acts as.
std::string RunAccount() {
    wchar_t name[257] = {};
    DWORD size = 257;
    if (!GetUserNameW(name, &size)) name[0] = L'\0';
    Win32Processes processes;
    return Format("%s (%s), %s administrator rights", NarrowCp936(name, -1).c_str(), processes.UserSid().c_str(),
                  RunsWithAdministratorRights() ? "with" : "without");
}

// The last line: the outcome in words, with its code. A share gets the finished log, ending
// with it too; the log says whether it did. Returns code.
int Finish(Win32SetupLog& log, const LogTarget& target, int code, const std::string& outcome) {
    const std::string last = Format("exit code %d: %s", code, (outcome.empty() ? ExitOutcome(code) : outcome).c_str());
    if (!target.copyTo.empty()) {
        std::uint32_t error = 0;
        if (log.CopyTo(target.copyTo, last, error))
            log.Line("log copied to " + NarrowCp936(target.copyTo));
        else
            log.Line(Format("log not copied to %s (error %u)", NarrowCp936(target.copyTo).c_str(),
                            static_cast<unsigned>(error)));
    }
    log.Line(last);
    return code;
}

// The copy in the plug-in's folder, as a user starts it from there: by its file's own name, not
// by the name the command line gives it.
bool StartedAsUninstaller() {
    std::vector<wchar_t> path(32768);
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0 || length >= path.size()) return false;
    const std::wstring full(path.data(), length);
    const std::size_t cut = full.find_last_of(L"\\/");
    const std::wstring name = cut == std::wstring::npos ? full : full.substr(cut + 1);
    return IsUninstallerName(NarrowCp936(name.c_str(), -1));
}
}  // namespace

int StartUp(HINSTANCE instance, const wchar_t* commandLine) {
    // An install copies this very file in as the uninstaller: held from the start, and proven the
    // file this process was started from.
    std::optional<SelfImage> self;
    if (commandLine == nullptr || !StartedAsUninstaller()) self.emplace();
    const std::wstring line = commandLine != nullptr ? commandLine : L"";
    const SetupCommand command = ParseCommandLine(std::u16string(line.begin(), line.end()), StartedAsUninstaller());
    // Two runs at once would interleave their copies, registry writes, records and logs: the
    // second is refused. The per-user step changes only its own user's profiles and runs at every
    // logon: it takes none.
    std::optional<RunLock> lock;
    if (command.mode == RunMode::Install || command.mode == RunMode::Uninstall)
        lock.emplace(RunsWithAdministratorRights());
    const bool refused = lock && !lock->held();
    // A run that changes nothing adds its lines to the log there is, and sets none aside: the one
    // a running setup writes stays whole.
    const bool adds = refused || command.mode == RunMode::Invalid || command.mode == RunMode::Usage;
    LogTarget choice = ChooseLog(Wide(command.logPath));
    // The per-user step runs at every logon: its log of its own keeps the last install's.
    std::wstring& logPath = choice.path;
    const std::wstring installLog = L"-setup.log";
    if (command.mode == RunMode::UserSetup && command.logPath.empty() && logPath.size() > installLog.size() &&
        logPath.compare(logPath.size() - installLog.size(), installLog.size(), installLog) == 0)
        logPath.replace(logPath.size() - installLog.size(), installLog.size(), L"-usersetup.log");
    const Win32SetupLog::Start start = adds ? Win32SetupLog::Start::Append : Win32SetupLog::Start::Fresh;
    Win32SetupLog log(logPath, start);
    // A log asked for that cannot be opened leaves the run with the default one, not none.
    if (!log.IsOpen() && !command.logPath.empty() && choice.note.empty()) {
        choice.note = Format("log asked for: %s; not opened (error %u); this is the default log",
                             NarrowCp936(Wide(command.logPath)).c_str(), static_cast<unsigned>(log.error()));
        logPath = DefaultLogPath();
        log.Open(logPath, start);
    }
    if (!choice.copyTo.empty()) log.KeepCopy();
    log.Line(Format("Korvel-Tarnwick setup %d.%02d.%02d, %d-bit edition, code page %u", setupVersion / 10000,
                    setupVersion / 100 % 100, setupVersion % 100, hostBitness, GetACP()));
    log.Line("command line: " + NarrowCp936(line));
    if (!choice.note.empty()) log.Line(choice.note);
    if (log.joined()) log.Line("added to the log of a run still writing it");
    log.Line("account: " + RunAccount());

    if (refused) {
        log.Line("refused: another setup or uninstall of the plug-in is running");
        Tell(command, kAlreadyRunning);
        return Finish(log, choice, kExitAlreadyRunning, std::string());
    }

    int code = kExitBadCommandLine;
    std::string outcome;
    switch (command.mode) {
        case RunMode::Invalid:
            code = RefuseCommandLine(command, log,
                                     command.error + ": " + NarrowCp936(Wide(command.offending)),
                                     NarrowCp936(Wide(command.offending)));
            break;
        case RunMode::Usage:
            log.Line("usage shown");
            if (!command.silent) {
                Win32Prompt box;
                box.Show(UsageText(), kSetupCaption, kMbOk);
            }
            code = kExitFinished;
            break;
        case RunMode::Uninstall: code = RunUninstall(instance, command, log); break;
        case RunMode::Install:
            if (self && !self->proven() && RunsWithAdministratorRights()) {
                // With the rights, a copy of what now lies at the program's path would be named
                // as the uninstaller that every user, and the uninstall, runs.
                log.Line("install stopped: the program's own file was replaced or is held by another program");
                Tell(command, kSelfReplaced);
                code = kExitStopped;
                outcome = ExitOutcome(code) + ": the program's own file was replaced";
                break;
            }
            code = RunInstall(instance, command, log, lock ? &*lock : nullptr, self ? &*self : nullptr, outcome);
            break;
        case RunMode::UserSetup: code = RunUserSetupStep(log); break;
    }
    return Finish(log, choice, code, outcome);
}

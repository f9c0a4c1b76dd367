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
#include "setup/CommandLine.h"
#include "setup/ExitCodes.h"
#include "setup/Unattended.h"
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
    Tell(command, std::string(kBadCommandLine) + shown + "\n\n" + kUsageText);
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

int RunInstall(HINSTANCE instance, const SetupCommand& command, SetupLog& log, const std::wstring& logPath,
               RunLock* lock) {
    std::string folder = kDefaultFolder;
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
                                             KORVEL_VERSION_MAJOR, KORVEL_VERSION_MINOR});
    recorder.SetUser(processes.UserSid());
    LoggedPrompt prompt(log, command.silent ? nullptr : &window);
    HostCatalogue catalogue(registry, files, prompt);
    catalogue.ScanInstalledReleases();
    LogHostsFound(log, catalogue);

    Win32Elevation elevation(catalogue, window, logPath, lock);
    if (command.silent) {
        return RunUnattended(UnattendedChoice{command.releases, folder}, hostBitness, catalogue,
                             files, processes, prompt, log, &recorder, &elevation);
    }
    DialogPresets presets;
    presets.folder = folder;
    std::string error;
    if (!ChooseReleases(OfferedReleases(catalogue, hostBitness), command.releases, presets.ticks, error)) {
        return RefuseCommandLine(command, log, error, "/RELEASES=");
    }
    if (command.releases.empty()) presets.ticks = SetupMembers::AllTicked();
    // Started again with the rights, it asks no second time: what the rights cannot give, they
    // cannot give.
    presets.startInstall = command.elevated;
    CWizardApp app(catalogue, files, processes, window, log, presets, &recorder,
                   command.elevated ? nullptr : &elevation);
    return RunApplication(instance);
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
// With administrator rights a log the command line names is written only where no other user
// could have put a link on its way (no level they own, or may rename, delete or re-permit); else
// the run goes on without a log. The file itself is checked when it is opened.
std::wstring CommandLogPath(const std::wstring& path) {
    if (!RunsWithAdministratorRights()) return path;
    std::vector<wchar_t> full(32768);
    const DWORD length = GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    std::string narrow;
    if (length == 0 || length >= full.size() || !NarrowCp936Exact(std::wstring(full.data(), length), narrow))
        return std::wstring();
    const std::size_t cut = LastSeparator(narrow);
    if (cut == std::string::npos) return std::wstring();
    const std::string folder = narrow.substr(0, cut);
    Win32Files files;
    TrustFault fault;
    // Every level by the rule of a level above: others may add to it, not replace it.
    if (!CheckTrustedLevels(files, folder, folder + "\\", fault)) return std::wstring();
    return std::wstring(full.data(), length);
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
    return CompareStringOrdinal(name.c_str(), -1, L"uninstall.exe", -1, TRUE) == CSTR_EQUAL;
}
}  // namespace

int StartUp(HINSTANCE instance, const wchar_t* commandLine) {
    const std::wstring line = commandLine != nullptr ? commandLine : L"";
    const SetupCommand command = ParseCommandLine(std::u16string(line.begin(), line.end()), StartedAsUninstaller());
    // Two runs at once would interleave their copies, registry writes, records and logs: the
    // second is refused before it opens its log (which would set the running one's aside). The
    // per-user step changes only its own user's profiles and runs at every logon: it takes none.
    std::optional<RunLock> lock;
    if (command.mode == RunMode::Install || command.mode == RunMode::Uninstall)
        lock.emplace(RunsWithAdministratorRights());
    if (lock && !lock->held()) {
        Tell(command, kAlreadyRunning);
        return kExitAlreadyRunning;
    }
    std::wstring logPath = command.logPath.empty() ? DefaultLogPath() : CommandLogPath(Wide(command.logPath));
    // The per-user step runs at every logon: its log of its own keeps the last install's.
    const std::wstring installLog = L"-setup.log";
    if (command.mode == RunMode::UserSetup && command.logPath.empty() && logPath.size() > installLog.size() &&
        logPath.compare(logPath.size() - installLog.size(), installLog.size(), installLog) == 0)
        logPath.replace(logPath.size() - installLog.size(), installLog.size(), L"-usersetup.log");
    Win32SetupLog log(logPath, command.silent);
    log.Line(Format("Korvel-Tarnwick setup %d.%02d.%02d, %d-bit edition, code page %u", setupVersion / 10000,
                    setupVersion / 100 % 100, setupVersion % 100, hostBitness, GetACP()));
    log.Line("command line: " + NarrowCp936(line));

    int code = kExitBadCommandLine;
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
                box.Show(kUsageText, kSetupCaption, kMbOk);
            }
            code = kExitFinished;
            break;
        case RunMode::Uninstall: code = RunUninstall(instance, command, log); break;
        case RunMode::Install: code = RunInstall(instance, command, log, logPath, lock ? &*lock : nullptr); break;
        case RunMode::UserSetup: code = RunUserSetupStep(log); break;
    }
    log.Line(Format("exit code %d", code));
    return code;
}

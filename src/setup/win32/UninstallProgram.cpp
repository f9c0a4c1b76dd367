#include "setup/win32/UninstallProgram.h"

#include <commctrl.h>

#include "text/PathText.h"
#include "text/Text.h"
#include "journal/Journal.h"
#include "journal/RecordPlace.h"
#include "platform/win32/FolderSecurity.h"
#include "platform/win32/Handle.h"
#include "platform/win32/SystemRandom.h"
#include "platform/win32/Win32Files.h"
#include "platform/Processes.h"
#include "journal/UninstallEntry.h"
#include "platform/Files.h"
#include "platform/SetupLog.h"
#include "platform/win32/Cp936.h"
#include "platform/win32/Win32Prompt.h"
#include "setup/InstallRun.h"
#include "setup/UninstallCommand.h"
#include "setuplog/LoggingFiles.h"
#include "setuplog/LoggingRegistry.h"
#include "framework/Gdi.h"
#include "setup/win32/CommonControls.h"

namespace {
const wchar_t kWindowClass[] = L"KorvelUninstallProgress";
const char kWorking[] = "正在卸载 Korvel-Tarnwick 插件，请稍候…";

// A small window with a progress bar, made when the undo starts (after the question), and the
// owner of the messages that follow it.
class ProgressWindow : public ProgressSink {
public:
    ProgressWindow(HINSTANCE instance, Win32Prompt& prompt, bool quiet)
        : instance_(instance), prompt_(prompt), quiet_(quiet) {}
    ~ProgressWindow() override {
        if (window_ != nullptr) {
            prompt_.SetOwner(nullptr);
            ::DestroyWindow(window_);
        }
    }

    void SetRange(int minimum, int maximum) override {
        Make();
        Send(PBM_SETRANGE32, static_cast<WPARAM>(minimum), static_cast<LPARAM>(maximum));
    }
    void SetStep(int step) override { Send(PBM_SETSTEP, static_cast<WPARAM>(step), 0); }
    void SetPos(int position) override { Send(PBM_SETPOS, static_cast<WPARAM>(position), 0); }
    void StepIt() override { Send(PBM_STEPIT, 0, 0); }

private:
    void Make() {
        if (quiet_ || window_ != nullptr) return;
        WNDCLASSEXW windowClass{};
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = ::DefWindowProcW;
        windowClass.hInstance = instance_;
        windowClass.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
        windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        windowClass.lpszClassName = kWindowClass;
        windowClass.hIcon = ::LoadIconW(instance_, MAKEINTRESOURCEW(128));
        ::RegisterClassExW(&windowClass);
        // Laid out in pixels at 100 %, scaled to the display's (the stock font already is).
        const int dpi = WindowDpi(nullptr);
        const auto px = [dpi](int length) { return ScaleToDpi(length, dpi); };
        const int width = px(380), height = px(120);
        const int left = (::GetSystemMetrics(SM_CXSCREEN) - width) / 2;
        const int top = (::GetSystemMetrics(SM_CYSCREEN) - height) / 2;
        window_ = ::CreateWindowExW(WS_EX_DLGMODALFRAME, kWindowClass, WidenCp936(kSetupCaption).c_str(),
                                    WS_POPUP | WS_CAPTION | WS_VISIBLE, left, top, width, height, nullptr,
                                    nullptr, instance_, nullptr);
        if (window_ == nullptr) return;
        HWND label = ::CreateWindowExW(0, L"STATIC", WidenCp936(kWorking).c_str(), WS_CHILD | WS_VISIBLE, px(16), px(14),
                                       px(340), px(20), window_, nullptr, instance_, nullptr);
        ::SendMessageW(label, WM_SETFONT, reinterpret_cast<WPARAM>(::GetStockObject(DEFAULT_GUI_FONT)), TRUE);
        bar_ = ::CreateWindowExW(0, PROGRESS_CLASSW, nullptr, WS_CHILD | WS_VISIBLE, px(16), px(44), px(340), px(20), window_,
                                 nullptr, instance_, nullptr);
        prompt_.SetOwner(window_);
        Pump();
    }
    void Send(UINT message, WPARAM wParam, LPARAM lParam) {
        if (bar_ == nullptr) return;
        ::SendMessageW(bar_, message, wParam, lParam);
        Pump();
    }
    // The undo runs on this thread: let the window paint between its steps.
    static void Pump() {
        MSG message;
        while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&message);
            ::DispatchMessageW(&message);
        }
    }

    HINSTANCE instance_;
    Win32Prompt& prompt_;
    bool quiet_;
    HWND window_ = nullptr;
    HWND bar_ = nullptr;
};

std::wstring Quoted(const std::wstring& text) { return L"\"" + text + L"\""; }

// The process ID in decimal digits. (std::to_wstring would bring a whole wide printf along.)
std::wstring ProcessIdText() { return WidenCp936(std::to_string(::GetCurrentProcessId())); }

// A folder of its own for the temporary copy, with a name no one can guess and (with
// administrator rights) in the protected folder with the locked rights, so that no one else can
// have put a file there first or change the copy before it starts. Empty when none can be made.
std::wstring MakeCleanupFolder(bool elevated) {
    std::wstring base;
    if (elevated) {
        Win32Files files;
        std::string records;
        if (!PrepareRecordsFolder(files, records)) return std::wstring();
        base = WidenCp936(records) + L"\\";
    } else {
        wchar_t temp[MAX_PATH + 1] = {};
        const DWORD length = ::GetTempPathW(static_cast<DWORD>(std::size(temp)), temp);
        if (length == 0 || length >= std::size(temp)) return std::wstring();  // none, or cut short
        base.assign(temp, length);
        if (base.back() != L'\\') base += L'\\';
    }
    const LockedFolderDescriptor descriptor;
    SECURITY_ATTRIBUTES locked{sizeof locked, descriptor.get(), FALSE};
    if (elevated && descriptor.get() == nullptr) return std::wstring();
    for (int attempt = 0; attempt < 8; ++attempt) {
        unsigned char random[12];
        if (!SystemRandom(random, sizeof random)) return std::wstring();
        std::string name = "Korvel-Tarnwick-cleanup-";
        for (unsigned char b : random) name += Format("%02x", b);
        const std::wstring folder = base + WidenCp936(name);
        if (::CreateDirectoryW(folder.c_str(), elevated ? &locked : nullptr)) return folder;
    }
    return std::wstring();
}

// Moves the running uninstaller into a fresh folder of its own (a running program's file may be
// renamed, though not deleted), so that the plug-in's folders can go before it ends; the moved
// file and that folder are removed at the next restart. False where it cannot move (the folder on
// another drive than the place of the cleanup folders): it then stays, and RemoveAfterExit
// removes it.
bool StepAside(const std::string& self, bool elevated, SetupLog& log) {
    std::wstring from;
    if (!WidenCp936Exact(self, from)) return false;
    const std::wstring folder = MakeCleanupFolder(elevated);
    if (folder.empty()) return false;
    const std::wstring moved = folder + L"\\uninstall-cleanup.exe";
    if (!::MoveFileExW(from.c_str(), moved.c_str(), 0)) {
        ::RemoveDirectoryW(folder.c_str());
        return false;
    }
    ::MoveFileExW(moved.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
    ::MoveFileExW(folder.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
    log.Line("the uninstaller moved aside, removed at the next restart: " + NarrowCp936(moved.c_str(), -1));
    return true;
}

// Hands what is left to a copy of this program in a fresh folder, which removes it once this
// process has ended; where no copy can be made, Windows removes it at the next restart.
void RemoveAfterExit(const std::vector<std::string>& deferred, bool elevated) {
    if (deferred.empty()) return;
    wchar_t self[MAX_PATH * 4] = {};
    const DWORD selfLength = ::GetModuleFileNameW(nullptr, self, static_cast<DWORD>(std::size(self)));
    const std::wstring folder = selfLength > 0 && selfLength < std::size(self) ? MakeCleanupFolder(elevated) : L"";
    if (!folder.empty()) {
        const std::wstring helper = folder + L"\\uninstall-cleanup.exe";
        // Made new, never over a file that is there.
        if (::CopyFileW(self, helper.c_str(), TRUE)) {
            std::wstring command = Quoted(helper) + L" /cleanup " + ProcessIdText();
            for (const std::string& path : deferred) command += L" " + Quoted(WidenCp936(path));
            STARTUPINFOW startup{};
            startup.cb = sizeof startup;
            PROCESS_INFORMATION process{};
            if (::CreateProcessW(helper.c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(),
                                 &startup, &process)) {
                const Handle thread(process.hThread), helperProcess(process.hProcess);  // not waited for
                return;
            }
            ::DeleteFileW(helper.c_str());
        }
        ::RemoveDirectoryW(folder.c_str());
    }
    for (const std::string& path : deferred)
        ::MoveFileExW(WidenCp936(path).c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
}
}  // namespace

int RunUninstallProgram(HINSTANCE instance, UninstallServices services, bool quiet) {
    LoadCommonControls();
    // Started from its own folder (as from Explorer), the uninstaller would hold that folder as
    // its current one, and Windows would not let it go: work from the temporary folder.
    wchar_t temp[MAX_PATH + 1] = {};
    const DWORD tempLength = ::GetTempPathW(static_cast<DWORD>(std::size(temp)), temp);
    if (tempLength > 0 && tempLength < std::size(temp)) ::SetCurrentDirectoryW(temp);

    std::string self;
    if (services.files.ModulePath(self, 32768) != PathRead::Read) self.clear();
    // Every change the undo makes is a line of the log: what it removed and what it put back.
    LoggingRegistry registry(services.registry, services.log, true);
    LoggingFiles files(services.files, services.log, true);
    ProgressWindow progress(instance, services.prompt, quiet);
    UninstallCommand command(registry, files, services.codec, services.processes, services.prompt, progress,
                             services.log);
    const bool elevated = services.processes.RunsElevated();
    command.stepAside = [elevated, &services](const std::string& running) {
        return StepAside(running, elevated, services.log);
    };
    const int code = command.Run(self, quiet);
    RemoveAfterExit(command.deferred, elevated);
    return code;
}

int RunCleanup(const std::vector<std::wstring>& arguments) {
    if (arguments.empty()) return 1;
    const DWORD parent = static_cast<DWORD>(std::wcstoul(arguments[0].c_str(), nullptr, 10));
    if (const Handle process{::OpenProcess(SYNCHRONIZE, FALSE, parent)}) ::WaitForSingleObject(process.get(), 60000);
    // Files first, then folders, each only while empty; a file still held is tried for a while.
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        const std::wstring& path = arguments[i];
        const DWORD attributes = ::GetFileAttributesW(path.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES) continue;
        if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
            ::RemoveDirectoryW(path.c_str());
            continue;
        }
        for (int attempt = 0; attempt < 100 && !::DeleteFileW(path.c_str()); ++attempt) ::Sleep(100);
    }
    // Then its own copy and the folder made for it, at the next restart.
    wchar_t self[MAX_PATH * 4] = {};
    const DWORD length = ::GetModuleFileNameW(nullptr, self, static_cast<DWORD>(std::size(self)));
    if (length > 0 && length < std::size(self)) {
        ::MoveFileExW(self, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
        std::wstring folder(self, length);
        folder = folder.substr(0, folder.find_last_of(L'\\'));
        if (folder.find(L"Korvel-Tarnwick-cleanup-") != std::wstring::npos)
            ::MoveFileExW(folder.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
    }
    return 0;
}

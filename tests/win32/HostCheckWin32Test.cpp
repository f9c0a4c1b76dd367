// The running-host check against Wine's process list: a small program that only sleeps is
// started under the names to test and ended again by its handle.
#include <gtest/gtest.h>
#include <windows.h>

#include "catalogue/HostCheck.h"
#include "platform/win32/Cp936.h"
#include "platform/win32/Handle.h"
#include "platform/win32/Win32Processes.h"
#include "win32/WineSupport.h"

namespace {

class Sleeper {
public:
    explicit Sleeper(const std::string& exeName) {
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        folder_ = std::wstring(temp) + L"korvel-hostcheck";
        CreateDirectoryW(folder_.c_str(), nullptr);
        path_ = folder_ + L"\\" + WidenCp936(exeName);
        if (!CopyFileW(WidenCp936(WinePath(KORVEL_SLEEPER)).c_str(), path_.c_str(), FALSE)) return;
        std::wstring command = L"\"" + path_ + L"\" 60000";
        STARTUPINFOW startup;
        ZeroMemory(&startup, sizeof startup);
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process{};
        if (CreateProcessW(path_.c_str(), &command[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr,
                           &startup, &process)) {
            process_.Reset(process.hProcess);
            thread_.Reset(process.hThread);
        }
    }
    ~Sleeper() {
        if (process_) {
            TerminateProcess(process_.get(), 0);
            WaitForSingleObject(process_.get(), 10000);
        }
        DeleteFileW(path_.c_str());
        RemoveDirectoryW(folder_.c_str());
    }
    bool started() const { return process_.valid(); }

private:
    std::wstring folder_;
    std::wstring path_;
    Handle process_, thread_;
};

TEST(HostCheckWin32, SeesAcadExeUnderAnyCaseAndSubstringButNotAcadlt) {
    Win32Processes processes;
    EXPECT_FALSE(IsHostRunning(processes));
    const struct {
        const char* name;
        bool host;
    } cases[] = {{"acad.exe", true}, {"MYACAD.EXE", true}, {"acadlt.exe", false}};
    for (const auto& c : cases) {
        Sleeper sleeper(c.name);
        ASSERT_TRUE(sleeper.started()) << c.name;
        EXPECT_EQ(IsHostRunning(processes), c.host) << c.name;
    }
    EXPECT_FALSE(IsHostRunning(processes));
}

}  // namespace

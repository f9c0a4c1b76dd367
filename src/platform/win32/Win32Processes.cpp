#include "platform/win32/Win32Processes.h"

#include <windows.h>
#include <sddl.h>
#include <tlhelp32.h>

#include <utility>
#include <vector>

#include "platform/win32/Cp936.h"
#include "platform/win32/FolderSecurity.h"
#include "platform/win32/Handle.h"

namespace {

class ToolhelpSnapshot : public ProcessSnapshot {
public:
    explicit ToolhelpSnapshot(Handle snapshot) : snapshot_(std::move(snapshot)) {}

    bool Next(std::string& exeName) override {
        PROCESSENTRY32W entry;
        ZeroMemory(&entry, sizeof entry);
        entry.dwSize = sizeof entry;
        const BOOL got = first_ ? Process32FirstW(snapshot_.get(), &entry) : Process32NextW(snapshot_.get(), &entry);
        first_ = false;
        if (!got) return false;
        entry.szExeFile[MAX_PATH - 1] = L'\0';
        exeName = NarrowCp936(entry.szExeFile, -1);
        return true;
    }

private:
    Handle snapshot_;
    bool first_ = true;
};

}  // namespace

std::unique_ptr<ProcessSnapshot> Win32Processes::TakeSnapshot() {
    Handle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) return nullptr;
    return std::make_unique<ToolhelpSnapshot>(std::move(snapshot));
}

bool Win32Processes::RunsElevated() { return RunsWithAdministratorRights(); }

std::string Win32Processes::UserSid() {
    const Handle token(OwnToken(TOKEN_QUERY));
    if (!token) return std::string();
    DWORD size = 0;
    GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
    std::vector<BYTE> buffer(size ? size : 1);
    std::string text;
    wchar_t* sid = nullptr;
    if (GetTokenInformation(token.get(), TokenUser, buffer.data(), size, &size) &&
        ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid, &sid)) {
        text = NarrowCp936(sid, -1);
        LocalFree(sid);
    }
    return text;
}

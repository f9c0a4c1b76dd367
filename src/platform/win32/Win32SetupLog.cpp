#include "platform/win32/Win32SetupLog.h"

#include "text/Text.h"

#include <windows.h>

#include <cstdio>

#include "platform/win32/Cp936.h"

namespace {
constexpr std::size_t kBlock = 16 * 1024;

std::string Utf8(const std::wstring& wide) {
    if (wide.empty()) return std::string();
    const int size = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()),
                                         nullptr, 0, nullptr, nullptr);
    if (size <= 0) return std::string();
    std::string text(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), &text[0], size,
                        nullptr, nullptr);
    return text;
}
}  // namespace

std::wstring DefaultSetupLogPath() {
    wchar_t folder[MAX_PATH + 1] = {};
    const DWORD length = GetTempPathW(MAX_PATH + 1, folder);
    if (length == 0 || length > MAX_PATH) return std::wstring();
    std::wstring path(folder, length);
    if (path.back() != L'\\') path += L'\\';
    return path + L"Korvel-Tarnwick-setup.log";
}

Win32SetupLog::Win32SetupLog(const std::wstring& path, bool buffered) : buffered_(buffered) {
    if (path.empty()) return;
    // The last run's log stays readable as ".1"; it is no loss when that fails. Only a file is
    // moved: a /LOG= that names a folder must not rename that folder.
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY))
        MoveFileExW(path.c_str(), (path + L".1").c_str(), MOVEFILE_REPLACE_EXISTING);
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                    CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    file_ = file;
    pending_ = "\xEF\xBB\xBF";  // so that Notepad on a Chinese Windows reads UTF-8, not GBK
}

Win32SetupLog::~Win32SetupLog() {
    Flush();
    Close();
}

void Win32SetupLog::Line(const std::string& text) {
    if (file_ == nullptr) return;
    SYSTEMTIME now;
    GetLocalTime(&now);
    // Through Format, which uses the system's printf: the runtime's own would add 70 KB to the exe.
    pending_ += Format("%04u-%02u-%02u %02u:%02u:%02u.%03u ", now.wYear, now.wMonth, now.wDay, now.wHour,
                       now.wMinute, now.wSecond, now.wMilliseconds);
    pending_ += Utf8(WidenCp936(text));
    pending_ += "\r\n";
    if (!buffered_ || pending_.size() >= kBlock) Flush();
}

void Win32SetupLog::Flush() {
    if (file_ == nullptr || pending_.empty()) return;
    DWORD written = 0;
    const BOOL ok = WriteFile(static_cast<HANDLE>(file_), pending_.data(),
                              static_cast<DWORD>(pending_.size()), &written, nullptr);
    const bool whole = ok && written == pending_.size();
    pending_.clear();
    // A full disk or a vanished share: the rest of the run goes unlogged.
    if (!whole) Close();
}

void Win32SetupLog::Close() {
    if (file_ != nullptr) CloseHandle(static_cast<HANDLE>(file_));
    file_ = nullptr;
}

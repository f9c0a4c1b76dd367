#include "platform/win32/Win32SetupLog.h"

#include "text/Text.h"

#include <windows.h>

#include <cstdio>
#include <utility>
#include <vector>

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

namespace {
// A file of its own: on a disk, not a folder, not a link, and with no other name through which
// someone else could have it written for them. Asked for these facts alone (not through
// GetFileInformationByHandle, which would also fetch the volume's serial number).
bool IsPlainFile(HANDLE file) {
    FILE_BASIC_INFO basic{};
    FILE_STANDARD_INFO standard{};
    return GetFileType(file) == FILE_TYPE_DISK &&
           GetFileInformationByHandleEx(file, FileBasicInfo, &basic, sizeof basic) &&
           GetFileInformationByHandleEx(file, FileStandardInfo, &standard, sizeof standard) &&
           !(basic.FileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) &&
           !standard.Directory && standard.NumberOfLinks == 1;
}

// Renames the file open as handle to path (replacing a file there, never a folder).
bool RenameOpenFile(HANDLE file, const std::wstring& path) {
    std::vector<wchar_t> full(32768);
    const DWORD length = GetFullPathNameW(path.c_str(), 32768, full.data(), nullptr);
    if (length == 0 || length >= 32768) return false;
    std::wstring name(full.data(), length);
    // The system's own name for it: "\??\C:\...", "\??\UNC\server\...".
    if (name.compare(0, 4, L"\\\\?\\") == 0) name = name.substr(4);
    else if (name.compare(0, 2, L"\\\\") == 0) name = L"UNC" + name.substr(1);
    const std::wstring target = L"\\??\\" + name;
    std::vector<unsigned char> buffer(sizeof(FILE_RENAME_INFO) + target.size() * sizeof(wchar_t));
    FILE_RENAME_INFO* rename = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    rename->ReplaceIfExists = TRUE;
    rename->RootDirectory = nullptr;
    rename->FileNameLength = static_cast<DWORD>(target.size() * sizeof(wchar_t));
    target.copy(rename->FileName, target.size());
    return SetFileInformationByHandle(file, FileRenameInfo, rename, static_cast<DWORD>(buffer.size())) != FALSE;
}

// Control characters in a name would end a line or forge another: written as escapes.
std::string Escaped(const std::string& text) {
    std::string out;
    for (char c : text) {
        const unsigned char byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte != 0x7F) out += c;
        else if (c == '\n') out += "\\n";
        else if (c == '\r') out += "\\r";
        else if (c == '\t') out += "\\t";
        else out += Format("\\x%02X", byte);
    }
    return out;
}
}  // namespace

Win32SetupLog::Win32SetupLog(const std::wstring& path, bool buffered) : buffered_(buffered) {
    if (path.empty()) return;
    // The last run's log stays readable as ".1"; it is no loss when that fails. The file is
    // opened first and renamed through its handle: a link or folder in its place is never
    // followed, renamed or written.
    const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    {
        const Handle previous(CreateFileW(path.c_str(), DELETE | FILE_READ_ATTRIBUTES, share, nullptr, OPEN_EXISTING,
                                          FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        if (previous && IsPlainFile(previous.get())) RenameOpenFile(previous.get(), path + L".1");
    }
    Handle file(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    // Checked on the handle, and emptied through it: the path is not looked at a second time.
    if (!file || !IsPlainFile(file.get()) || !SetEndOfFile(file.get())) return;
    file_ = std::move(file);
    pending_ = "\xEF\xBB\xBF";  // so that Notepad on a Chinese Windows reads UTF-8, not GBK
}

Win32SetupLog::~Win32SetupLog() { Flush(); }

void Win32SetupLog::Line(const std::string& text) {
    if (!file_) return;
    SYSTEMTIME now;
    GetLocalTime(&now);
    // Through Format, which uses the system's printf: the runtime's own would add 70 KB to the exe.
    pending_ += Format("%04u-%02u-%02u %02u:%02u:%02u.%03u ", now.wYear, now.wMonth, now.wDay, now.wHour,
                       now.wMinute, now.wSecond, now.wMilliseconds);
    pending_ += Utf8(WidenCp936(Escaped(text)));
    pending_ += "\r\n";
    if (!buffered_ || pending_.size() >= kBlock) Flush();
}

void Win32SetupLog::Flush() {
    if (!file_ || pending_.empty()) return;
    DWORD written = 0;
    const BOOL ok = WriteFile(file_.get(), pending_.data(),
                              static_cast<DWORD>(pending_.size()), &written, nullptr);
    const bool whole = ok && written == pending_.size();
    pending_.clear();
    // A full disk or a vanished share: the rest of the run goes unlogged.
    if (!whole) file_.Close();
}

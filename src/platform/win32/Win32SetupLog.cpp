#include "platform/win32/Win32SetupLog.h"

#include "text/Text.h"

#include <windows.h>

#include <utility>
#include <vector>

#include "platform/win32/Cp936.h"

namespace {
const char kBom[] = "\xEF\xBB\xBF";  // so that Notepad on a Chinese Windows reads UTF-8, not GBK

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
// someone else could have it written for them.
// (Not through GetFileInformationByHandle: it also fetches the volume's serial number, which Wine
// asks its mount manager for, a round trip through another process on every start.)
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

namespace {
// The earlier logs move up one place ("<path>.4" to ".5" ... ".1" to ".2", the oldest dropped),
// then the file open as current becomes ".1". Each is opened first and renamed through its
// handle: a link or folder in a place is never followed, renamed or written.
void SetAside(const std::wstring& path, HANDLE current) {
    const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    for (int k = Win32SetupLog::kKept - 1; k >= 1; --k) {
        // (Not std::to_wstring: it brings a whole wide printf along.)
        const std::wstring older = path + L"." + wchar_t(L'0' + k);
        const Handle file(CreateFileW(older.c_str(), DELETE | FILE_READ_ATTRIBUTES, share, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        if (file && IsPlainFile(file.get())) RenameOpenFile(file.get(), path + L"." + wchar_t(L'0' + k + 1));
    }
    RenameOpenFile(current, path + L".1");
}

// Opens path to add to its end: made when missing, checked on the handle (a plain file of one
// name), and shared with another run that adds its lines too. None when it cannot be used.
Handle OpenForAppending(const std::wstring& path, DWORD& error) {
    // Only appending: whatever another run added meanwhile is never written over.
    Handle file(CreateFileW(path.c_str(), FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file) {
        error = GetLastError();
        return Handle();
    }
    if (!IsPlainFile(file.get())) {
        error = ERROR_CANT_ACCESS_FILE;
        return Handle();
    }
    return file;
}

// One write, at the file's end: the handle may only append (FILE_APPEND_DATA without
// FILE_WRITE_DATA), so whatever another run added meanwhile is never written over. (An explicit
// end-of-file offset would say the same, at several times the cost a line under Wine.)
bool WriteAtEnd(HANDLE file, const std::string& bytes) {
    DWORD written = 0;
    return WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) && written == bytes.size();
}

// Whether the file holds nothing yet (it then starts with the byte-order mark).
bool IsEmpty(HANDLE file) {
    LARGE_INTEGER size{};
    return GetFileSizeEx(file, &size) && size.QuadPart == 0;
}
}  // namespace

void Win32SetupLog::Open(const std::wstring& path, Start start) {
    Close();
    error_ = 0;
    joined_ = false;
    if (path.empty()) return;
    if (start == Start::Fresh) {
        // A file another run has open for writing is its log: this run's lines follow its, and
        // nothing is set aside.
        const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
        const Handle current(CreateFileW(path.c_str(), DELETE | FILE_READ_ATTRIBUTES, share, nullptr, OPEN_EXISTING,
                                         FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        if (current) {
            if (IsPlainFile(current.get())) SetAside(path, current.get());
        } else {
            joined_ = GetLastError() == ERROR_SHARING_VIOLATION;
        }
    }
    DWORD error = 0;
    Handle file = OpenForAppending(path, error);
    if (!file) {
        error_ = error;
        return;
    }
    // A log that could not be set aside is added to, never emptied: nothing of it is lost.
    if (IsEmpty(file.get()) && !WriteAtEnd(file.get(), kBom)) return;
    file_ = std::move(file);
}

Win32SetupLog::~Win32SetupLog() { Close(); }

std::string Win32SetupLog::Stamped(const std::string& text) const {
    SYSTEMTIME now;
    GetLocalTime(&now);
    // Through Format, which uses the system's printf: the runtime's own would add 70 KB to the exe.
    return Format("%04u-%02u-%02u %02u:%02u:%02u.%03u ", now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute,
                  now.wSecond, now.wMilliseconds) +
           Utf8(WidenCp936(Escaped(text))) + "\r\n";
}

void Win32SetupLog::Line(const std::string& text) {
    if (!file_ && !keep_) return;
    const std::string line = Stamped(text);
    if (keep_) kept_ += line;
    // A full disk or a vanished share: the rest of the run goes unlogged.
    if (file_ && !WriteAtEnd(file_.get(), line)) Close();
}

bool Win32SetupLog::CopyTo(const std::wstring& path, const std::string& last, std::uint32_t& error) const {
    error = 0;
    DWORD opened = 0;
    Handle file = OpenForAppending(path, opened);
    if (!file) {
        error = opened;
        return false;
    }
    const bool written =
        WriteAtEnd(file.get(), (IsEmpty(file.get()) ? std::string(kBom) : std::string()) + kept_ + Stamped(last));
    if (!written) error = GetLastError();
    return file.Close() && written;
}

void Win32SetupLog::Close() { file_.Close(); }

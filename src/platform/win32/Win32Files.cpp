#include "platform/win32/Win32Files.h"

#include <windows.h>

#include <direct.h>
#include <io.h>

#include <vector>

#include "platform/win32/Cp936.h"

namespace {
// Wide paths may be longer than MAX_PATH (\\?\ names); read into a buffer that grows.
template <typename Read>
bool ReadGrowing(Read read, std::wstring& out) {
    std::vector<wchar_t> buffer(MAX_PATH + 1);
    for (int attempt = 0; attempt < 8; ++attempt) {
        const DWORD length = read(buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) return false;
        if (length < buffer.size()) {
            out.assign(buffer.data(), length);
            return true;
        }
        buffer.resize(buffer.size() * 2);
    }
    return false;
}

// Hands out a wide path as CP936 when it fits where the narrow function would have written it:
// the bytes and a terminator within the caller's capacity.
bool NarrowWithin(const std::wstring& wide, std::uint32_t capacity, std::string& path) {
    std::string narrow = NarrowCp936(wide);
    if (narrow.size() + 1 > capacity) return false;
    path = std::move(narrow);
    return true;
}

void Fill(const WIN32_FIND_DATAW& data, FindEntry& entry) {
    entry.name = NarrowCp936(data.cFileName, -1);
    entry.attributes = data.dwFileAttributes;
}
}  // namespace

bool Win32Files::ModulePath(std::string& path, std::uint32_t capacity) {
    std::wstring wide;
    const bool read = ReadGrowing(
        [](wchar_t* buffer, DWORD size) {
            const DWORD length = GetModuleFileNameW(nullptr, buffer, size);
            return length >= size ? size : length;  // a truncated read asks for more room
        },
        wide);
    return read && NarrowWithin(wide, capacity, path);
}

bool Win32Files::FindFirst(const std::string& pattern, FindHandle& handle, FindEntry& entry) {
    WIN32_FIND_DATAW data;
    const HANDLE search = FindFirstFileW(WidenCp936(pattern).c_str(), &data);
    if (search == INVALID_HANDLE_VALUE) {
        handle = 0;
        return false;
    }
    handle = reinterpret_cast<FindHandle>(search);
    Fill(data, entry);
    return true;
}

bool Win32Files::FindNext(FindHandle handle, FindEntry& entry) {
    WIN32_FIND_DATAW data;
    if (!FindNextFileW(reinterpret_cast<HANDLE>(handle), &data)) return false;
    Fill(data, entry);
    return true;
}

void Win32Files::FindClose(FindHandle handle) { ::FindClose(reinterpret_cast<HANDLE>(handle)); }

std::uint32_t Win32Files::ReadAttributes(const std::string& path) {
    return GetFileAttributesW(WidenCp936(path).c_str());
}

bool Win32Files::WriteAttributes(const std::string& path, std::uint32_t attributes) {
    // The native layer reads 0 as "leave unchanged", so a file whose only bit was read-only could
    // keep it; say "no attributes" as the API documents it.
    if (attributes == 0) attributes = FILE_ATTRIBUTE_NORMAL;
    return SetFileAttributesW(WidenCp936(path).c_str(), attributes) != FALSE;
}

bool Win32Files::CopyOver(const std::string& source, const std::string& destination,
                          bool failIfExists) {
    return CopyFileW(WidenCp936(source).c_str(), WidenCp936(destination).c_str(),
                     failIfExists ? TRUE : FALSE) != FALSE;
}

int Win32Files::MakeDir(const std::string& path) {
    return _wmkdir(WidenCp936(path).c_str()) == 0 ? 0 : -1;
}

bool Win32Files::CreateFolder(const std::string& path) {
    return CreateDirectoryW(WidenCp936(path).c_str(), nullptr) != FALSE;
}

bool Win32Files::Exists(const std::string& path) {
    return _waccess(WidenCp936(path).c_str(), 0) == 0;
}

bool Win32Files::CurrentFolder(std::string& path, std::uint32_t capacity) {
    std::wstring wide;
    const bool read = ReadGrowing(
        [](wchar_t* buffer, DWORD size) {
            const DWORD length = GetCurrentDirectoryW(size, buffer);
            return length >= size ? size : length;  // too small: the size needed
        },
        wide);
    return read && NarrowWithin(wide, capacity, path);
}

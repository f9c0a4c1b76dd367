#include "platform/win32/SelfImage.h"

#include <string>
#include <vector>

#include "platform/win32/SystemLibrary.h"
#include "platform/win32/Win32Sha256.h"

namespace {
using MappedFileNameFn = DWORD(WINAPI*)(HANDLE, LPVOID, LPWSTR, DWORD);

// The file a memory manager's name of a mapping names ("\Device\HarddiskVolume2\..." as Windows
// gives it, "\??\C:\..." as some implementations do), opened to be compared.
HANDLE OpenMapped(const std::wstring& name) {
    const std::wstring path =
        name.compare(0, 4, L"\\??\\") == 0 ? L"\\\\?\\" + name.substr(4) : L"\\\\?\\GLOBALROOT" + name;
    return ::CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                         nullptr, OPEN_EXISTING, 0, nullptr);
}

// Reads the file whole from its start through the handle: its size and SHA-256.
bool DigestOf(HANDLE file, std::uint64_t& size, std::string& sha256) {
    std::vector<char> block(64 * 1024);
    Win32Sha256 hash;
    OVERLAPPED at{};
    size = 0;
    for (;;) {
        at.Offset = static_cast<DWORD>(size);
        at.OffsetHigh = static_cast<DWORD>(size >> 32);
        DWORD got = 0;
        if (!::ReadFile(file, block.data(), static_cast<DWORD>(block.size()), &got, &at))
            if (::GetLastError() != ERROR_HANDLE_EOF) return false;
        if (got == 0) break;
        hash.Update(block.data(), got);
        size += got;
    }
    sha256 = hash.HexDigest();
    return !sha256.empty();
}

bool SameFile(HANDLE a, HANDLE b) {
    BY_HANDLE_FILE_INFORMATION x{}, y{};
    return ::GetFileInformationByHandle(a, &x) && ::GetFileInformationByHandle(b, &y) &&
           x.dwVolumeSerialNumber == y.dwVolumeSerialNumber && x.nFileIndexHigh == y.nFileIndexHigh &&
           x.nFileIndexLow == y.nFileIndexLow;
}
}  // namespace

SelfImage::SelfImage() {
    std::vector<wchar_t> self(32768);
    const DWORD length = ::GetModuleFileNameW(nullptr, self.data(), static_cast<DWORD>(self.size()));
    if (length == 0 || length >= self.size()) return;
    file_.Reset(::CreateFileW(self.data(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file_) return;
    // The file the process's image was mapped from, as the memory manager names it now (a rename
    // since follows it), against the file just opened at the program's path: one and the same
    // file, which from now on no one can rename or write.
    const auto mapped = ProcedureOf<MappedFileNameFn>(::GetModuleHandleW(L"kernel32.dll"), "K32GetMappedFileNameW");
    if (mapped != nullptr) {
        std::vector<wchar_t> name(32768);
        const DWORD got =
            mapped(::GetCurrentProcess(), ::GetModuleHandleW(nullptr), name.data(), static_cast<DWORD>(name.size()));
        if (got == 0 || got >= name.size()) return;
        const Handle image(OpenMapped(std::wstring(name.data(), got)));
        if (!image || !SameFile(image.get(), file_.get())) return;
    }
    // (Where this Windows cannot tell which file the image came from, the file is held from now on.)
    proven_ = DigestOf(file_.get(), size_, sha256_);
}

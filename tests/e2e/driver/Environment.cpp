#include "Environment.h"

#include <algorithm>
#include <algorithm>
#include <fstream>
#include <iterator>

#include "UiDriver.h"

namespace {
std::wstring Widen(const std::string& utf8) {
    if (utf8.empty()) return std::wstring();
    const int size = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(size), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &out[0], size);
    return out;
}
}  // namespace

bool OnWow64() {
    BOOL wow64 = FALSE;
    return ::IsWow64Process(::GetCurrentProcess(), &wow64) && wow64;
}

namespace {
// "[HKEY_LOCAL_MACHINE\SOFTWARE\X" -> "[HKEY_LOCAL_MACHINE\SOFTWARE\Wow6432Node\X" for every X
// that is not already Wow6432Node.
std::wstring IntoWow6432Node(const std::wstring& text) {
    const std::wstring software = L"[HKEY_LOCAL_MACHINE\\SOFTWARE\\";
    const std::wstring node = L"Wow6432Node\\";
    std::wstring out;
    std::size_t line = 0;
    while (line < text.size()) {
        std::size_t end = text.find(L'\n', line);
        end = end == std::wstring::npos ? text.size() : end + 1;
        std::wstring current = text.substr(line, end - line);
        if (::CompareStringOrdinal(current.c_str(), static_cast<int>(std::min(current.size(), software.size())),
                                   software.c_str(), static_cast<int>(software.size()), TRUE) == CSTR_EQUAL &&
            ::CompareStringOrdinal(current.c_str() + software.size(),
                                   static_cast<int>(std::min(current.size() - software.size(), node.size())),
                                   node.c_str(), static_cast<int>(node.size()), TRUE) != CSTR_EQUAL) {
            current.insert(software.size(), node);
        }
        out += current;
        line = end;
    }
    return out;
}
}  // namespace

bool ImportRegFixture(const std::wstring& utf8Path, FixtureView view) {
    std::ifstream in(utf8Path.c_str(), std::ios::binary);
    if (!in) return false;
    const std::string utf8((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::wstring text = Widen(utf8);
    // On a 64-bit Windows the 32-bit reg.exe would import in the 32-bit view, where Wine makes a
    // nested SOFTWARE\Wow6432Node\Wow6432Node of a key named with Wow6432Node: import in the 64-bit
    // view instead, with the keys placed as the fixture means them.
    const bool wow64 = OnWow64();
    if (wow64 && view == FixtureView::SeenByTheEdition) text = IntoWow6432Node(text);
    // CRLF line ends, as regedit writes them.
    std::wstring crlf;
    for (wchar_t c : text) {
        if (c == L'\n' && (crlf.empty() || crlf.back() != L'\r')) crlf += L'\r';
        crlf += c;
    }
    const std::wstring converted = L"C:\\korvel-fixture.reg";
    HANDLE file = ::CreateFileW(converted.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const wchar_t bom = 0xFEFF;
    ::WriteFile(file, &bom, sizeof(bom), &written, nullptr);
    ::WriteFile(file, crlf.data(), static_cast<DWORD>(crlf.size() * sizeof(wchar_t)), &written, nullptr);
    ::CloseHandle(file);
    Process reg;
    wchar_t system[MAX_PATH] = {};
    ::GetSystemDirectoryW(system, MAX_PATH);
    if (!reg.Start(std::wstring(system) + L"\\reg.exe", L"import " + converted + (wow64 ? L" /reg:64" : L""), L""))
        return false;
    return reg.Wait(60000) == 0;
}

const std::vector<std::wstring>& PayloadFiles() {
    static const std::vector<std::wstring> files = {
        L"Korvel2008.ARX", L"Korvel2010.ARX", L"Korvel2019.ARX", L"Korvel2021.ARX",
        L"Korvel.mnu",     L"ACAD2007.dll",   L"ACAD2010.dll",   L"ACAD2013.dll",
        L"Korvel.prt5",    L"说明.txt",
    };
    return files;
}

std::wstring MakePackage(const std::wstring& builtSetup, bool withData) {
    const std::wstring folder = L"C:\\pkg";
    MakeFolders(folder);
    const std::wstring program = folder + L"\\SetUp.exe";
    ::CopyFileW(builtSetup.c_str(), program.c_str(), FALSE);
    if (withData) {
        const std::wstring data = folder + L"\\Data";
        MakeFolders(data);
        for (const std::wstring& name : PayloadFiles()) WriteTextFile(data + L"\\" + name, "payload " + Utf8(name));
        // Not installed into the install folder: the program itself and the fonts.
        ::CopyFileW(builtSetup.c_str(), (data + L"\\SetUp.EXE").c_str(), FALSE);
        WriteTextFile(data + L"\\Korvel_EN.shx", "font EN");
        WriteTextFile(data + L"\\Korvel_HZ.shx", "font HZ");
    }
    return program;
}

void MakeHostFolder(const std::wstring& folder) {
    MakeFolders(folder + L"\\Fonts");
    MakeFolders(folder + L"\\Drv");
}

bool MakeFolders(const std::wstring& path) {
    for (std::size_t at = path.find(L'\\', 3); at != std::wstring::npos; at = path.find(L'\\', at + 1)) {
        ::CreateDirectoryW(path.substr(0, at).c_str(), nullptr);
    }
    ::CreateDirectoryW(path.c_str(), nullptr);
    return IsFolder(path);
}

bool WriteTextFile(const std::wstring& path, const std::string& content) {
    HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const bool ok = ::WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
    ::CloseHandle(file);
    return ok;
}

bool IsFile(const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool IsFolder(const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool RemoveFolder(const std::wstring& path) { return ::RemoveDirectoryW(path.c_str()) != FALSE; }

bool KeyExists(HKEY root, const std::wstring& path, REGSAM view) {
    HKEY key = nullptr;
    if (::RegOpenKeyExW(root, path.c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS) return false;
    ::RegCloseKey(key);
    return true;
}

bool ReadString(HKEY root, const std::wstring& path, const wchar_t* name, std::wstring& value, REGSAM view) {
    wchar_t buffer[8192] = {};
    DWORD size = sizeof(buffer) - sizeof(wchar_t);
    DWORD type = 0;
    HKEY key = nullptr;
    if (::RegOpenKeyExW(root, path.c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS) return false;
    const LONG read = ::RegGetValueW(key, nullptr, name, RRF_RT_ANY, &type, buffer, &size);
    ::RegCloseKey(key);
    if (read != ERROR_SUCCESS) return false;
    if (type != REG_SZ) return false;
    value.assign(buffer, size / sizeof(wchar_t));
    while (!value.empty() && value.back() == L'\0') value.pop_back();
    return true;
}

bool ReadDword(HKEY root, const std::wstring& path, const wchar_t* name, DWORD& value, REGSAM view) {
    DWORD size = sizeof(value);
    DWORD type = 0;
    HKEY key = nullptr;
    if (::RegOpenKeyExW(root, path.c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS) return false;
    const LONG read = ::RegGetValueW(key, nullptr, name, RRF_RT_ANY, &type, &value, &size);
    ::RegCloseKey(key);
    return read == ERROR_SUCCESS && type == REG_DWORD;
}

namespace {
std::wstring Hex(const BYTE* data, DWORD size) {
    static const wchar_t kDigits[] = L"0123456789abcdef";
    std::wstring out;
    for (DWORD i = 0; i < size; ++i) {
        out += kDigits[data[i] >> 4];
        out += kDigits[data[i] & 0xF];
    }
    return out;
}

void SnapshotKey(HKEY root, const std::wstring& path, std::wstring& out) {
    HKEY key = nullptr;
    if (::RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return;
    out += L"[" + path + L"]\n";
    std::vector<std::wstring> values, children;
    for (DWORD i = 0;; ++i) {
        wchar_t name[16384];
        DWORD length = 16384, type = 0, size = 0;
        if (::RegEnumValueW(key, i, name, &length, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) break;
        std::vector<BYTE> data(size + 2);
        length = 16384;
        ::RegEnumValueW(key, i, name, &length, nullptr, &type, data.data(), &size);
        // Texts without the terminating zeros a writer may or may not store.
        if (type == REG_SZ || type == REG_EXPAND_SZ)
            while (size >= 2 && data[size - 1] == 0 && data[size - 2] == 0) size -= 2;
        values.push_back(L"\"" + std::wstring(name, length) + L"\" " + std::to_wstring(type) + L":" +
                         Hex(data.data(), size));
    }
    for (DWORD i = 0;; ++i) {
        wchar_t name[256];
        DWORD length = 256;
        if (::RegEnumKeyExW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        children.emplace_back(name, length);
    }
    ::RegCloseKey(key);
    std::sort(values.begin(), values.end());
    std::sort(children.begin(), children.end());
    for (const std::wstring& value : values) out += value + L"\n";
    for (const std::wstring& child : children) SnapshotKey(root, path + L"\\" + child, out);
}

void SnapshotFolder(const std::wstring& folder, std::wstring& out) {
    WIN32_FIND_DATAW data;
    HANDLE search = ::FindFirstFileW((folder + L"\\*").c_str(), &data);
    if (search == INVALID_HANDLE_VALUE) return;
    std::vector<std::wstring> names;
    do {
        const std::wstring name = data.cFileName;
        if (name != L"." && name != L"..") names.push_back(name);
    } while (::FindNextFileW(search, &data));
    ::FindClose(search);
    std::sort(names.begin(), names.end());
    for (const std::wstring& name : names) {
        const std::wstring path = folder + L"\\" + name;
        const DWORD attributes = ::GetFileAttributesW(path.c_str());
        out += path + L" " + std::to_wstring(attributes);
        if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
            out += L"\n";
            SnapshotFolder(path, out);
            continue;
        }
        std::string content;
        HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            char buffer[4096];
            DWORD got = 0;
            while (::ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) content.append(buffer, got);
            ::CloseHandle(file);
        }
        out += L" " + Hex(reinterpret_cast<const BYTE*>(content.data()), static_cast<DWORD>(content.size())) + L"\n";
    }
}
}  // namespace

std::wstring RegistrySnapshot(HKEY root, const std::wstring& path) {
    std::wstring out;
    SnapshotKey(root, path, out);
    return out;
}

std::wstring FileSnapshot(const std::wstring& folder) {
    std::wstring out;
    if (::GetFileAttributesW(folder.c_str()) == INVALID_FILE_ATTRIBUTES) return out;
    out += folder + L"\n";
    SnapshotFolder(folder, out);
    return out;
}

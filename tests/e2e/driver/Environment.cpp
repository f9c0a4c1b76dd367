#include "Environment.h"

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

bool ImportRegFixture(const std::wstring& utf8Path) {
    std::ifstream in(utf8Path.c_str(), std::ios::binary);
    if (!in) return false;
    const std::string utf8((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::wstring text = Widen(utf8);
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
    if (!reg.Start(std::wstring(system) + L"\\reg.exe", L"import " + converted, L"")) return false;
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

bool KeyExists(HKEY root, const std::wstring& path) {
    HKEY key = nullptr;
    if (::RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    ::RegCloseKey(key);
    return true;
}

bool ReadString(HKEY root, const std::wstring& path, const wchar_t* name, std::wstring& value) {
    wchar_t buffer[8192] = {};
    DWORD size = sizeof(buffer) - sizeof(wchar_t);
    DWORD type = 0;
    if (::RegGetValueW(root, path.c_str(), name, RRF_RT_ANY, &type, buffer, &size) != ERROR_SUCCESS) return false;
    if (type != REG_SZ) return false;
    value.assign(buffer, size / sizeof(wchar_t));
    while (!value.empty() && value.back() == L'\0') value.pop_back();
    return true;
}

bool ReadDword(HKEY root, const std::wstring& path, const wchar_t* name, DWORD& value) {
    DWORD size = sizeof(value);
    DWORD type = 0;
    return ::RegGetValueW(root, path.c_str(), name, RRF_RT_ANY, &type, &value, &size) == ERROR_SUCCESS &&
           type == REG_DWORD;
}

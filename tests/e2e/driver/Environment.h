#pragma once
// The scenarios' world inside the Wine prefix: registry fixtures, the package folder, host
// folders, and what the registry and the disk hold afterwards. Everything through the wide
// functions.
#include <windows.h>

#include <string>
#include <vector>

// True when this (32-bit) driver runs on a 64-bit Windows, in the 32-bit registry view.
bool OnWow64();

// How a fixture's HKEY_LOCAL_MACHINE\SOFTWARE keys are placed on a 64-bit Windows when the driver
// is the x86 build (elsewhere both place every key as written).
enum class FixtureView {
    // Every product is one the edition under test sees: keys under SOFTWARE\Wow6432Node stay
    // there, and the others go there too (a 32-bit host records itself in the 32-bit view).
    SeenByTheEdition,
    // Keys land where the fixture names them in the 64-bit view: SOFTWARE\Wow6432Node for
    // 32-bit hosts, SOFTWARE for 64-bit ones.
    As64BitView,
};

// Imports a .reg fixture written in UTF-8 (reg import wants UTF-16 with a byte-order mark for
// anything beyond ASCII). True when reg.exe reported success.
bool ImportRegFixture(const std::wstring& utf8Path, FixtureView view = FixtureView::SeenByTheEdition);

// Lays out C:\pkg with SetUp.exe and, with withData, the package folder Data and its files.
// Returns the program's path in the package.
std::wstring MakePackage(const std::wstring& builtSetup, bool withData);
// The package's top-level files (besides SetUp.EXE and the fonts, which are not installed).
const std::vector<std::wstring>& PayloadFiles();

// A host's install folder with the sub-folders that the support files go into.
void MakeHostFolder(const std::wstring& folder);

bool MakeFolders(const std::wstring& path);  // every missing level
bool WriteTextFile(const std::wstring& path, const std::string& content);
bool IsFile(const std::wstring& path);
bool IsFolder(const std::wstring& path);
bool RemoveFolder(const std::wstring& path);

// view: 0 for the driver's own registry view, KEY_WOW64_64KEY for the 64-bit one.
bool KeyExists(HKEY root, const std::wstring& path, REGSAM view = 0);
bool ReadString(HKEY root, const std::wstring& path, const wchar_t* name, std::wstring& value,
                REGSAM view = 0);
bool ReadDword(HKEY root, const std::wstring& path, const wchar_t* name, DWORD& value, REGSAM view = 0);

// Everything below a key, as text: "[path]" lines, each followed by its values ("name" type:hex),
// sub-keys sorted; "" when the key does not exist.
std::wstring RegistrySnapshot(HKEY root, const std::wstring& path);
// Every file and folder below folder with its attributes and content (hex); "" when missing.
std::wstring FileSnapshot(const std::wstring& folder);

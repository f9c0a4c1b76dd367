#pragma once
// The scenarios' world inside the Wine prefix: registry fixtures, the package folder, host
// folders, and what the registry and the disk hold afterwards. Everything through the wide
// functions.
#include <windows.h>

#include <string>
#include <vector>

// Imports a .reg fixture written in UTF-8 (reg import wants UTF-16 with a byte-order mark for
// anything beyond ASCII). True when reg.exe reported success.
bool ImportRegFixture(const std::wstring& utf8Path);

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

bool KeyExists(HKEY root, const std::wstring& path);
bool ReadString(HKEY root, const std::wstring& path, const wchar_t* name, std::wstring& value);
bool ReadDword(HKEY root, const std::wstring& path, const wchar_t* name, DWORD& value);

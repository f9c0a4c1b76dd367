#pragma once
// A scratch folder tree in the Wine prefix's temporary folder, removed afterwards; paths are
// CP936 bytes, as the program sees them.
#include <windows.h>

#include <string>
#include <vector>

#include "platform/win32/Cp936.h"
#include "platform/win32/Handle.h"

class ScratchTree {
public:
    explicit ScratchTree(const char* tag) {
        static int counter = 0;
        wchar_t temp[MAX_PATH + 1] = {};
        GetTempPathW(MAX_PATH, temp);
        root = NarrowCp936(temp, -1) + "korvel-" + tag + "-" +
               std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++counter);
        CreateDirectoryW(WidenCp936(root).c_str(), nullptr);
    }
    ~ScratchTree() { RemoveTree(root); }
    ScratchTree(const ScratchTree&) = delete;
    ScratchTree& operator=(const ScratchTree&) = delete;

    std::string Path(const std::string& relative) const { return root + "\\" + relative; }

    // Makes the folders on the way.
    void Folder(const std::string& relative) const {
        std::string path = root;
        std::size_t start = 0;
        while (start <= relative.size()) {
            const std::size_t end = relative.find('\\', start);
            path += "\\" + relative.substr(start, end - start);
            CreateDirectoryW(WidenCp936(path).c_str(), nullptr);
            if (end == std::string::npos) break;
            start = end + 1;
        }
    }
    void File(const std::string& relative, const std::string& content) const {
        const std::size_t cut = relative.rfind('\\');
        if (cut != std::string::npos) Folder(relative.substr(0, cut));
        const Handle file(CreateFileW(WidenCp936(Path(relative)).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
        DWORD written = 0;
        WriteFile(file.get(), content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
    }
    // The content, or "<none>" when the file cannot be read.
    std::string Read(const std::string& relative) const {
        const Handle file(CreateFileW(WidenCp936(Path(relative)).c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
        if (!file) return "<none>";
        std::string content;
        char buffer[4096];
        DWORD got = 0;
        while (ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr) && got > 0) content.append(buffer, got);
        return content;
    }
    DWORD Attributes(const std::string& relative) const {
        return GetFileAttributesW(WidenCp936(Path(relative)).c_str());
    }
    // Names in the folder, without "." and "..", in listing order.
    std::vector<std::string> Names(const std::string& relative) const {
        std::vector<std::string> names;
        WIN32_FIND_DATAW data;
        const HANDLE search = FindFirstFileW(WidenCp936(Path(relative) + "\\*").c_str(), &data);
        if (search == INVALID_HANDLE_VALUE) return names;
        do {
            const std::string name = NarrowCp936(data.cFileName, -1);
            if (name != "." && name != "..") names.push_back(name);
        } while (FindNextFileW(search, &data));
        FindClose(search);
        return names;
    }

    static void RemoveTree(const std::string& path) {
        const std::wstring wide = WidenCp936(path);
        WIN32_FIND_DATAW data;
        const HANDLE search = FindFirstFileW((wide + L"\\*").c_str(), &data);
        if (search != INVALID_HANDLE_VALUE) {
            do {
                const std::wstring name = data.cFileName;
                if (name == L"." || name == L"..") continue;
                const std::wstring child = wide + L"\\" + name;
                SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
                if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                    RemoveTree(NarrowCp936(child));
                else
                    DeleteFileW(child.c_str());
            } while (FindNextFileW(search, &data));
            FindClose(search);
        }
        RemoveDirectoryW(wide.c_str());
    }

    std::string root;
};

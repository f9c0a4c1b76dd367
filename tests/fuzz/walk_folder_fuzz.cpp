// Any bytes as a typed path, tested only: the walk never touches the file system, answers 0 or
// 1, and accepts only a drive-rooted path of at most 259 bytes whose every name passes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "text/PathText.h"
#include "pathdialog/FolderValidation.h"

namespace {
// Testing only must not reach the file system: every call is a failure of the target.
class NoFiles : public Files {
public:
    PathRead ModulePath(std::string&, std::uint32_t) override { std::abort(); }
    bool FindFirst(const std::string&, FindHandle&, FindEntry&) override { std::abort(); }
    FindStep FindNext(FindHandle, FindEntry&) override { std::abort(); }
    void FindClose(FindHandle) override { std::abort(); }
    std::uint32_t ReadAttributes(const std::string&) override { std::abort(); }
    bool WriteAttributes(const std::string&, std::uint32_t) override { std::abort(); }
    bool CopyOver(const std::string&, const std::string&, bool, CopyReport&) override { std::abort(); }
    int MakeDir(const std::string&) override { std::abort(); }
    bool CreateFolder(const std::string&) override { std::abort(); }
    bool CreateLockedFolder(const std::string&) override { std::abort(); }
    bool OwnedByAdministrators(const std::string&) override { std::abort(); }
    bool Exists(const std::string&) override { std::abort(); }
    PathRead CurrentFolder(std::string&, std::uint32_t) override { std::abort(); }
    bool ExpandVariables(const std::string&, std::string&) override { std::abort(); }
    bool FileSize(const std::string&, std::uint64_t&) override { std::abort(); }
    bool HashFile(const std::string&, std::string&) override { std::abort(); }
    bool ReadBytes(const std::string&, std::string&) override { std::abort(); }
    bool WriteBytes(const std::string&, const std::string&, bool) override { std::abort(); }
    bool RemoveFile(const std::string&) override { std::abort(); }
    bool RemoveFolder(const std::string&) override { std::abort(); }
};

bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // An exactly sized heap copy, so that a read past the terminator shows under ASan.
    std::unique_ptr<char[]> path(new char[size + 1]);
    std::memcpy(path.get(), data, size);
    path[size] = '\0';
    NoFiles files;
    const int result = WalkFolderPath(files, path.get(), 1);
    if (result != 0 && result != 1) std::abort();
    if (result == 0) {
        const std::string text(path.get());
        if (text.size() < 3 || text.size() > 259) std::abort();
        if (!IsLetter(text[0]) || text[1] != ':' || text[2] != '\\') std::abort();
        if (text.size() > 3) {
            std::size_t start = 3;
            for (;;) {
                const std::size_t end = NextSeparator(text, start);  // whole characters
                const std::string name = text.substr(start, end - start);
                if (CheckFolderName(name.c_str()) != 1) std::abort();
                if (end == std::string::npos) break;
                start = end + 1;
            }
        }
    }
    return 0;
}

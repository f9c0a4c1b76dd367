#include "journal/CodeGuard.h"

#include <algorithm>

#include "deploy/FolderTrust.h"
#include "journal/Scope.h"
#include "journal/UninstallEntry.h"
#include "register/UserHives.h"
#include "text/PathText.h"
#include "text/Text.h"

namespace {
const char kNotAPath[] = "不是一个完整的、不含变量的文件路径";
const char kNotAFile[] = "不是一个普通文件";
const char kChanged[] = "该文件的内容与安装时写入的不同";
const char kStranger[] = "该文件不是安装程序放置的";
const char kArguments[] = "命令行带有参数，而其程序不是安装程序放置的，参数无法核查";

// A command line's program (quoted, or up to the first blank) and what follows it; false for an
// opening quote without its close.
bool SplitCommand(const std::string& text, std::string& program, std::string& rest) {
    const std::string value = text.substr(0, text.find('\0'));
    std::size_t end = value.find(' ');
    if (!value.empty() && value[0] == '"') {
        end = value.find('"', 1);
        if (end == std::string::npos) return false;
        program = value.substr(1, end - 1);
        rest = value.substr(end + 1);
        return true;
    }
    program = value.substr(0, end);
    rest = end == std::string::npos ? std::string() : value.substr(end);
    return true;
}

// Whether what follows the program in a command line is only switches ("/S", "/uninstall"), and
// the program one of ours (ours), which reads them as switches: a path among them (a library
// rundll32 would load, say), or a switch another program reads as code (cmd's "/cname", a name
// found on the search path), names code as much as the program does, and cannot be checked.
bool PlainArguments(const std::string& valueName, const std::string& text, bool ours) {
    if (EqualsNoCase(valueName, "LOADER")) return true;
    std::string program, rest;
    if (!SplitCommand(text, program, rest)) return false;
    if (!ours) return rest.find_first_not_of(' ') == std::string::npos;
    for (std::size_t start = 0; start < rest.size();) {
        if (rest[start] == ' ') {
            ++start;
            continue;
        }
        const std::size_t end = std::min(rest.find(' ', start), rest.size());
        const std::string token = rest.substr(start, end - start);
        if (token.size() < 2 || (token[0] != '/' && token[0] != '-')) return false;
        for (std::size_t i = 1; i < token.size(); ++i) {
            const char c = token[i];
            if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '-' ||
                  c == '=' || c == ',' || c == '.'))
                return false;
        }
        start = end;
    }
    return true;
}

std::string RootName(RegKey root) {
    return root == kHkeyLocalMachine ? "HKEY_LOCAL_MACHINE" : root == kHkeyUsers ? "HKEY_USERS" : "HKEY_CURRENT_USER";
}
}  // namespace

bool CodeGuard::NamesCode(RegKey root, const std::string& keyPath, const std::string& valueName) {
    const std::string path = NormalKeyPath(keyPath);
    // A host reads loader keys in every user's registry as in the machine's.
    if (EqualsNoCase(valueName, "LOADER")) return true;
    if (EqualsNoCase(valueName, "StubPath")) return root == kHkeyLocalMachine && EqualsNoCase(path, kActiveSetupKey);
    if (EqualsNoCase(valueName, "UninstallString") || EqualsNoCase(valueName, "QuietUninstallString"))
        return EqualsNoCase(path, kUninstallKey);
    return false;
}

std::string CodeGuard::NamedFile(const std::string& valueName, const std::string& text) {
    if (EqualsNoCase(valueName, "LOADER")) return text.substr(0, text.find('\0'));
    std::string program, rest;
    return SplitCommand(text, program, rest) ? program : std::string();
}

const CodeGuard::Refusal* CodeGuard::RefusalOf(const std::string& value) const {
    for (const Refusal& refusal : refusals_)
        if (EqualsNoCase(refusal.value, value)) return &refusal;
    return nullptr;
}

std::string CodeGuard::Check(const std::string& file) {
    if (!IsCanonicalPath(file)) return kNotAPath;
    const std::string key = UpperCp936(file);
    Written written;
    const bool ours = known_.file && known_.file(file, written);
    const std::string expected = (ours ? written.sha256 : std::string("-")) + "|" + std::to_string(written.stamp);
    if (proven_[key + "|" + expected]) return std::string();
    const std::uint32_t attributes = files_.ReadAttributes(file);
    if (attributes == kInvalidAttributes) return kRefusedMissing;
    if (attributes & (kAttrDirectory | kAttrReparsePoint)) return kNotAFile;
    // The file and every folder above it: no one but the administrators may change, replace or
    // re-permit any of them.
    TrustFault fault;
    if (!CheckTrustedLevels(files_, file, std::string(), fault)) return fault.level + " " + fault.why;
    // A second name a user gave the file elsewhere (any user may link a file they can read) gives
    // them nothing of it: its rights are the file's, checked with every level above it.
    if (ours) {
        std::uint64_t size = 0;
        std::string sha256;
        if (written.sha256.empty() || !files_.FileSize(file, size) || size != written.size ||
            !files_.HashFile(file, sha256) || sha256 != written.sha256)
            return kChanged;
    } else {
        for (const std::string& folder : known_.folders)
            if (Inside(file, folder)) return kStranger;
    }
    proven_[key + "|" + expected] = true;
    return std::string();
}

bool CodeGuard::Allowed(RegKey key, const char* valueName, std::uint32_t type, const std::string& bytes) {
    if (!elevated_) return true;
    const std::string name = valueName != nullptr ? valueName : "";
    KeyPlaces::Place place;
    // A handle not seen opened cannot be placed: a value that may name code is not written there.
    const bool located = places_.Locate(key, place);
    if (located && !NamesCode(place.root, place.path, name)) return true;
    if (!located && !EqualsNoCase(name, "LOADER") && !EqualsNoCase(name, "StubPath") &&
        !EqualsNoCase(name, "UninstallString") && !EqualsNoCase(name, "QuietUninstallString"))
        return true;
    std::string file;
    std::string why;
    if (type != kRegSz && type != kRegExpandSz) {
        why = kNotAPath;
    } else {
        file = NamedFile(name, bytes);
        // A variable would be expanded in the environment of whoever runs or loads it, not in
        // this run's: no name that holds one can be checked here.
        Written written;
        const bool ours = known_.file && known_.file(file, written);
        why = !located || file.find('%') != std::string::npos ? kNotAPath
              : !PlainArguments(name, bytes, ours)             ? kArguments
                                                                : Check(file);
    }
    if (why.empty()) return true;
    refusals_.push_back({RootName(place.root) + "\\" + place.path + "\\" + name, file, why});
    return false;
}

bool CodeGuard::Admits(const std::string& file, const std::string& what) {
    if (!elevated_) return true;
    const std::string why = Check(file);
    if (why.empty()) return true;
    refusals_.push_back({what, file, why});
    return false;
}

long CodeGuard::OpenKey(RegKey parent, const char* subKey, RegKey& out) {
    const long result = inner_.OpenKey(parent, subKey, out);
    places_.Opened(result, out, parent, subKey);
    return result;
}

long CodeGuard::OpenKeyRead(RegKey parent, const char* subKey, RegKey& out) {
    const long result = inner_.OpenKeyRead(parent, subKey, out);
    places_.Opened(result, out, parent, subKey);
    return result;
}

long CodeGuard::CreateKey(RegKey parent, const char* path, RegKey& out) {
    const long result = inner_.CreateKey(parent, path, out);
    places_.Opened(result, out, parent, path);
    return result;
}

long CodeGuard::SetString(RegKey key, const char* valueName, const char* text, std::uint32_t byteCount) {
    const std::string bytes = text != nullptr ? std::string(text, byteCount) : std::string();
    if (!Allowed(key, valueName, kRegSz, bytes)) return kErrorAccessDenied;
    return inner_.SetString(key, valueName, text, byteCount);
}

long CodeGuard::SetValue(RegKey key, const char* valueName, std::uint32_t type, const std::string& bytes) {
    if (!Allowed(key, valueName, type, bytes)) return kErrorAccessDenied;
    return inner_.SetValue(key, valueName, type, bytes);
}

#include "pathdialog/FolderValidation.h"

#include <cstring>

#include "text/PathText.h"
#include "text/Text.h"

const char* const kFolderPromptCaption = "SetUp";

namespace {
bool IsEdgeByte(char c) { return c == '\t' || c == ' ' || c == '.'; }

// strlen that stops looking after limit bytes.
std::size_t BoundedLength(const char* text, std::size_t limit) {
    std::size_t length = 0;
    while (length < limit && text[length] != '\0') ++length;
    return length;
}
}  // namespace

int CheckFolderName(const char* name) {
    if (name == nullptr || name[0] == '\0') return 0;
    const std::string text(name);
    if (IsEdgeByte(text.front()) || IsEdgeByte(text.back())) return 0;
    // ';' would split the name in a list of paths (the hosts' trusted paths are one); control
    // characters and the rest are refused by the file system itself. All are ASCII below 0x40,
    // so no trail byte of a double-byte character is ever mistaken for one of them.
    static const char kForbidden[] = "\"*/:;<>?\\|";
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t step = CharLength(text, at);
        if (step == 0) return 0;  // not a CP936 character: no such name exists
        if (step == 1) {
            const auto c = static_cast<unsigned char>(text[at]);
            if (c < 0x20 || c == 0x7F || std::memchr(kForbidden, c, sizeof kForbidden - 1) != nullptr)
                return 0;
        }
        at += step;
    }
    return 1;
}

int WalkFolderPath(Files& files, const char* path, int testOnly) {
    if (path == nullptr) return kFolderInvalid;
    // The working copy holds at most kPathBuffer - 1 bytes; a longer path is refused rather
    // than cut, so that no other folder than the one typed is ever made.
    const std::size_t length = BoundedLength(path, kPathBuffer);
    if (length >= kPathBuffer) return kFolderInvalid;
    const std::string text(path, length);
    if (!IsDrivePath(text)) return kFolderInvalid;
    if (length == 3) {
        if (testOnly) return kFolderAcceptable;
        return files.Exists(text) ? kFolderAcceptable : kFolderNotMade;
    }
    // Every name is checked before the first level is made, so that a path refused half-way
    // leaves nothing behind.
    for (std::size_t start = 3;;) {
        const std::size_t end = NextSeparator(text, start);
        const std::string name = text.substr(start, end == std::string::npos ? end : end - start);
        if (!CheckFolderName(name.c_str())) return kFolderInvalid;
        if (end == std::string::npos) break;
        if (end + 1 == length) return kFolderInvalid;  // a trailing backslash
        start = end + 1;
    }
    if (testOnly) return kFolderAcceptable;
    for (std::size_t start = 3;;) {
        const std::size_t end = NextSeparator(text, start);
        const std::string level = text.substr(0, end);
        files.CreateFolder(level);  // an existing folder is no error; existence decides
        if (!files.Exists(level)) return kFolderNotMade;
        if (end == std::string::npos) return kFolderAcceptable;
        start = end + 1;
    }
}

int ConfirmFolder(Files& files, Prompt& prompt, const std::string& path,
                  const std::string& caption) {
    // The Win32 calls would see only the text up to a zero byte: a folder other than the one
    // shown could be made, so such a text is invalid.
    int result = path.find('\0') == std::string::npos ? WalkFolderPath(files, path.c_str(), 1)
                                                       : kFolderInvalid;
    if (result == kFolderAcceptable) {
        if (files.Exists(path)) return kFolderAcceptable;
        const std::string question = Format(
            "The folder:\n\n%s\n\ndoes not exist. Do you want the folder to be created?",
            path.c_str());
        if (prompt.Show(question, caption, kMbYesNo | kMbIconQuestion) != kIdYes)
            return kFolderDeclined;
        result = WalkFolderPath(files, path.c_str(), 0);
        if (result == kFolderAcceptable) return kFolderAcceptable;
    }
    const char* format = result == kFolderInvalid
                             ? "The folder:\n\n%s\n\nis invalid. Please reenter."
                             : "The folder:\n\n%s\n\ncan not be created. Please double check.";
    prompt.Show(Format(format, path.c_str()), caption, kMbOk | kMbIconExclamation);
    return result;
}

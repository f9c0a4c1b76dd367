#include "pathdialog/FolderValidation.h"

#include <cstring>

#include "catalogue/Text.h"

const char* const kFolderPromptCaption = "SetUp";

namespace {
bool IsEdgeByte(char c) { return c == '\t' || c == ' ' || c == '.'; }

bool IsAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// strlen that stops looking after limit bytes.
std::size_t BoundedLength(const char* text, std::size_t limit) {
    std::size_t length = 0;
    while (length < limit && text[length] != '\0') ++length;
    return length;
}
}  // namespace

int CheckFolderName(const char* name) {
    if (name == nullptr || name[0] == '\0') return 0;
    const std::size_t length = std::strlen(name);
    if (IsEdgeByte(name[0]) || IsEdgeByte(name[length - 1])) return 0;
    // The set is ASCII, so a byte of 0x80 or above never matches.
    static const char kForbidden[] = "\"*/:<>?\\|";
    for (std::size_t i = 0; i < length; ++i)
        if (std::memchr(kForbidden, name[i], sizeof kForbidden - 1) != nullptr) return 0;
    return 1;
}

int WalkFolderPath(Files& files, const char* path, int testOnly) {
    if (path == nullptr) return kFolderInvalid;
    // The working copy holds at most kPathBuffer - 1 bytes; a longer path is refused rather
    // than cut, so that no other folder than the one typed is ever made.
    const std::size_t length = BoundedLength(path, kPathBuffer);
    if (length >= kPathBuffer) return kFolderInvalid;
    char text[kPathBuffer];
    std::memcpy(text, path, length + 1);
    if (length < 3) return kFolderInvalid;
    if (!IsAsciiLetter(text[0]) || text[1] != ':' || text[2] != '\\') return kFolderInvalid;
    if (length == 3) {
        if (testOnly) return kFolderAcceptable;
        return files.Exists(text) ? kFolderAcceptable : kFolderNotMade;
    }

    std::size_t start = 3;
    for (;;) {
        std::size_t end = start;
        while (text[end] != '\0' && text[end] != '\\') ++end;
        const char stop = text[end];
        text[end] = '\0';  // the text is now the path up to and including this name
        if (!CheckFolderName(text + start)) return kFolderInvalid;
        if (!testOnly) {
            files.CreateFolder(text);  // an existing folder is no error; existence decides
            if (!files.Exists(text)) return kFolderNotMade;
        }
        if (stop == '\0') return kFolderAcceptable;
        text[end] = stop;
        if (text[end + 1] == '\0') return kFolderInvalid;  // a trailing backslash
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

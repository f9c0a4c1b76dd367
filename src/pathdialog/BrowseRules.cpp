#include "pathdialog/BrowseRules.h"

#include <cstring>

#include "catalogue/Text.h"

namespace {

bool IsAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

bool IsLeadByte(char c) {
    const auto b = static_cast<unsigned char>(c);
    return b >= 0x81 && b <= 0xFE;
}

// The longest prefix of text, at most limit bytes, that ends on a character boundary.
std::size_t FittingLength(const std::string& text, std::size_t limit) {
    std::size_t end = 0;
    while (end < text.size()) {
        const std::size_t step = IsLeadByte(text[end]) && end + 1 < text.size() ? 2 : 1;
        if (end + step > limit) break;
        end += step;
    }
    return end;
}

// Whether the last character is a one-byte backslash, not the trail byte 0x5C of a double-byte one.
bool EndsInBackslash(const std::string& text) {
    std::size_t last = 0;
    for (std::size_t at = 0; at < text.size(); at += IsLeadByte(text[at]) && at + 1 < text.size() ? 2 : 1)
        last = at;
    return !text.empty() && last == text.size() - 1 && text[last] == '\\';
}

}  // namespace

SelectionView ViewOfSelection(bool converted, const std::string& path) {
    const bool usable = converted && FitsBuffer(path) && path.size() >= 2 &&
                        IsAsciiLetter(path[0]) && path[1] == ':';
    if (!usable) return {false, std::string()};
    // Some shells (Wine's, for special folders) end a folder's path in a backslash, which the
    // folder check would refuse; only a drive root keeps it.
    if (path.size() > 3 && EndsInBackslash(path)) return {true, path.substr(0, path.size() - 1)};
    return {true, path};
}

bool FollowEditText(const std::string& text, char* pathBuffer, std::size_t capacity) {
    StoreInBuffer(text, pathBuffer, capacity);
    return !text.empty();
}

void StoreInBuffer(const std::string& text, char* buffer, std::size_t capacity) {
    if (buffer == nullptr || capacity == 0) return;
    const std::size_t length = FittingLength(text, capacity - 1);
    std::memcpy(buffer, text.data(), length);
    buffer[length] = '\0';
}

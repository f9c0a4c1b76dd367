#include "pathdialog/BrowseRules.h"

#include <cstring>

#include "text/PathText.h"
#include "text/Text.h"

namespace {

bool IsAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// The longest prefix of text, at most limit bytes, that ends on a character boundary.
std::size_t FittingLength(const std::string& text, std::size_t limit) {
    std::size_t end = 0;
    while (end < text.size()) {
        const std::size_t step = IsLeadByte(static_cast<unsigned char>(text[end])) && end + 1 < text.size() ? 2 : 1;
        if (end + step > limit) break;
        end += step;
    }
    return end;
}

}  // namespace

SelectionView ViewOfSelection(bool converted, const std::string& path) {
    const bool usable = converted && FitsBuffer(path) && path.size() >= 2 &&
                        IsAsciiLetter(path[0]) && path[1] == ':';
    if (!usable) return {false, std::string()};
    // Some shells (Wine's, for special folders) end a folder's path in a backslash, which the
    // folder check would refuse; only a drive root keeps it.
    if (path.size() > 3 && EndsWithSeparator(path)) return {true, path.substr(0, path.size() - 1)};
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

#include "doubles/TextCodecDouble.h"

#include "doubles/Cp936Codec.h"

namespace {
constexpr char16_t kInvalidBase = 0xF700;  // how the codec marks bytes that are no character

// ASCII is the same bytes in both, and most of what long runs convert.
bool IsAscii(const std::string& text) {
    for (char c : text)
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    return true;
}

void PutUtf8(char32_t c, std::string& out) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}
}  // namespace

bool TextCodecDouble::Cp936ToUtf8(const std::string& cp936, std::string& utf8) {
    if (IsAscii(cp936)) return utf8 = cp936, true;
    const std::u16string wide = DecodeCp936(cp936);
    std::string out;
    for (char16_t c : wide) {
        if (c >= kInvalidBase && c <= kInvalidBase + 0xFF) return false;
        PutUtf8(c, out);
    }
    utf8 = out;
    return true;
}

bool TextCodecDouble::Utf8ToCp936(const std::string& utf8, std::string& cp936) {
    if (IsAscii(utf8)) return cp936 = utf8, true;
    std::u16string wide;
    for (std::size_t i = 0; i < utf8.size();) {
        const auto b = static_cast<unsigned char>(utf8[i]);
        const int length = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : 0;
        if (length == 0 || i + length > utf8.size()) return false;  // also refuses 4-byte forms
        char32_t c = length == 1 ? b : length == 2 ? (b & 0x1F) : (b & 0x0F);
        for (int k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(utf8[i + k]);
            if ((next >> 6) != 2) return false;
            c = (c << 6) | (next & 0x3F);
        }
        // Overlong forms and surrogates are refused, as MB_ERR_INVALID_CHARS refuses them: a
        // text has one spelling.
        if ((length == 2 && c < 0x80) || (length == 3 && (c < 0x800 || (c >= 0xD800 && c <= 0xDFFF)))) return false;
        // The marks for bytes that are no character stand for nothing CP936 can spell: the
        // system's table has no entry for them either.
        if (c >= kInvalidBase && c <= kInvalidBase + 0xFF) return false;
        wide += static_cast<char16_t>(c);
        i += length;
    }
    const std::string narrow = EncodeCp936(wide);
    if (DecodeCp936(narrow) != wide) return false;  // something became '?'
    cp936 = narrow;
    return true;
}

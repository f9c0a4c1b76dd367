#include "text/Text.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "text/PathText.h"

std::string Join(const std::string& first, const std::string& second) { return first + second; }

std::string Join(const std::string& first, const char* second) {
    return second ? first + second : first;
}

std::string Format(const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
#ifdef _WIN32
    // On Windows the system's own formatting (msvcrt): MinGW's C99 printf would bring its own
    // into the exe, and the formats used here (%d %u %s %08x, no size modifiers) mean the same to
    // both. The buffer is given the exact length, so no truncation rule comes into play.
    const int length = _vscprintf(format, args);
#else
    // Most texts fit a small buffer: formatted once, not measured first.
    char small[256];
    const int length = std::vsnprintf(small, sizeof small, format, args);
    if (length >= 0 && static_cast<std::size_t>(length) < sizeof small) {
        va_end(args);
        va_end(again);
        return std::string(small, static_cast<std::size_t>(length));
    }
#endif
    va_end(args);
    std::string text;
    if (length > 0) {
        text.resize(static_cast<std::size_t>(length) + 1);
#ifdef _WIN32
        _vsnprintf(&text[0], text.size(), format, again);
#else
        std::vsnprintf(&text[0], text.size(), format, again);
#endif
        text.resize(static_cast<std::size_t>(length));
    }
    va_end(again);
    return text;
}

namespace {
// The trail byte of a double-byte letter in the other case, as the file system folds names:
// full-width Latin (lead 0xA3), Greek (0xA6), Cyrillic (0xA7) and the small Roman numerals
// (0xA2, whose capitals lie further on in the same row). Any other character keeps its trail.
unsigned char UpperTrail(unsigned char lead, unsigned char trail) {
    switch (lead) {
        case 0xA2: return trail >= 0xA1 && trail <= 0xAA ? static_cast<unsigned char>(trail + 0x50) : trail;
        case 0xA3: return trail >= 0xE1 && trail <= 0xFA ? static_cast<unsigned char>(trail - 0x20) : trail;
        case 0xA6: return trail >= 0xC1 && trail <= 0xD8 ? static_cast<unsigned char>(trail - 0x20) : trail;
        case 0xA7: return trail >= 0xD1 && trail <= 0xF1 ? static_cast<unsigned char>(trail - 0x30) : trail;
        default: return trail;
    }
}
unsigned char LowerTrail(unsigned char lead, unsigned char trail) {
    switch (lead) {
        case 0xA2: return trail >= 0xF1 && trail <= 0xFA ? static_cast<unsigned char>(trail - 0x50) : trail;
        case 0xA3: return trail >= 0xC1 && trail <= 0xDA ? static_cast<unsigned char>(trail + 0x20) : trail;
        case 0xA6: return trail >= 0xA1 && trail <= 0xB8 ? static_cast<unsigned char>(trail + 0x20) : trail;
        case 0xA7: return trail >= 0xA1 && trail <= 0xC1 ? static_cast<unsigned char>(trail + 0x30) : trail;
        default: return trail;
    }
}

// up: to upper case. letters: the double-byte letters too, or ASCII's alone.
std::string MapLetters(const std::string& text, bool up, bool letters) {
    const char from = up ? 'a' : 'A', to = up ? 'A' : 'a';
    std::string out = text;
    // Through a pointer and a size held in locals: a char written through the string could be
    // its own size or buffer as far as the compiler knows, which it would then read again for
    // every byte. Every path and key name is upper-cased to be compared.
    char* const bytes = out.empty() ? nullptr : &out[0];
    const std::size_t size = out.size();
    for (std::size_t i = 0; i < size; ++i) {
        const unsigned char c = static_cast<unsigned char>(bytes[i]);
        if (IsLeadByte(c)) {
            if (i + 1 < size) {  // the trail byte belongs to the character
                ++i;
                const unsigned char trail = static_cast<unsigned char>(bytes[i]);
                if (letters) bytes[i] = static_cast<char>(up ? UpperTrail(c, trail) : LowerTrail(c, trail));
            }
            continue;
        }
        // Without a branch on it: letters and other characters alternate in every path.
        const bool letter = static_cast<unsigned char>(c - from) < 26;
        bytes[i] = static_cast<char>(c - (letter ? from - to : 0));
    }
    return out;
}
}  // namespace

std::string UpperCp936(const std::string& text) { return MapLetters(text, true, true); }
std::string LowerCp936(const std::string& text) { return MapLetters(text, false, true); }
std::string UpperAsciiLetters(const std::string& text) { return MapLetters(text, true, false); }

namespace {
bool SameNoCase(const std::string& a, const char* b, std::size_t size) {
    if (a.size() != size) return false;
    for (std::size_t i = 0; i < size; ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]);
        unsigned char y = static_cast<unsigned char>(b[i]);
        if (IsLeadByte(x) && i + 1 < size) {
            // One double-byte character: the same lead byte, and trail bytes of one letter.
            if (x != y) return false;
            ++i;
            if (UpperTrail(x, static_cast<unsigned char>(a[i])) != UpperTrail(x, static_cast<unsigned char>(b[i])))
                return false;
            continue;
        }
        if (x == y) continue;
        if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}
}  // namespace

bool EqualsNoCase(const std::string& a, const std::string& b) { return SameNoCase(a, b.c_str(), b.size()); }

bool EqualsNoCase(const std::string& a, const char* b) { return SameNoCase(a, b, std::strlen(b)); }

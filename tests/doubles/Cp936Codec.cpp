#include "doubles/Cp936Codec.h"

#include <array>
#include <cstdint>
#include <mutex>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <iconv.h>
#endif

namespace {

constexpr char16_t kInvalidBase = 0xF700;

bool IsLead(unsigned char c) { return c >= 0x81 && c <= 0xFE; }
bool IsTrail(unsigned char c) { return c >= 0x40 && c <= 0xFE && c != 0x7F; }

struct Tables {
    // Index (lead - 0x81) * 256 + trail; 0 means no character.
    std::vector<char16_t> decode = std::vector<char16_t>(126 * 256, 0);
    std::vector<std::uint16_t> encode = std::vector<std::uint16_t>(65536, 0);
};

char16_t DecodePair(unsigned char lead, unsigned char trail) {
    const char in[2] = {static_cast<char>(lead), static_cast<char>(trail)};
#ifdef _WIN32
    wchar_t out[2] = {0, 0};
    const int n = MultiByteToWideChar(936, MB_ERR_INVALID_CHARS, in, 2, out, 2);
    return n == 1 ? static_cast<char16_t>(out[0]) : 0;
#else
    static iconv_t cd = iconv_open("UTF-16LE", "CP936");
    if (cd == reinterpret_cast<iconv_t>(-1)) return 0;
    char* src = const_cast<char*>(in);
    std::size_t srcLeft = 2;
    unsigned char out[4] = {0, 0, 0, 0};
    char* dst = reinterpret_cast<char*>(out);
    std::size_t dstLeft = sizeof out;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    if (iconv(cd, &src, &srcLeft, &dst, &dstLeft) == static_cast<std::size_t>(-1)) return 0;
    if (sizeof out - dstLeft != 2) return 0;
    return static_cast<char16_t>(out[0] | (out[1] << 8));
#endif
}

const Tables& GetTables() {
    static Tables* tables = [] {
        auto* t = new Tables;
        for (unsigned lead = 0x81; lead <= 0xFE; ++lead) {
            for (unsigned trail = 0x40; trail <= 0xFE; ++trail) {
                if (trail == 0x7F) continue;
                const char16_t c = DecodePair(static_cast<unsigned char>(lead),
                                              static_cast<unsigned char>(trail));
                if (c < 0x80 || (c >= kInvalidBase && c < kInvalidBase + 0x100)) continue;
                t->decode[(lead - 0x81) * 256 + trail] = c;
                if (t->encode[c] == 0) t->encode[c] = static_cast<std::uint16_t>(lead << 8 | trail);
            }
        }
        return t;
    }();
    return *tables;
}

}  // namespace

std::u16string DecodeCp936(const std::string& bytes) {
    const Tables& tables = GetTables();
    std::u16string text;
    text.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        if (c < 0x80) {
            text.push_back(c);
            continue;
        }
        if (IsLead(c) && i + 1 < bytes.size() && IsTrail(static_cast<unsigned char>(bytes[i + 1]))) {
            const char16_t w = tables.decode[(c - 0x81) * 256 + static_cast<unsigned char>(bytes[i + 1])];
            if (w != 0) {
                text.push_back(w);
                ++i;
                continue;
            }
        }
        text.push_back(static_cast<char16_t>(kInvalidBase + c));
    }
    return text;
}

std::string EncodeCp936(const std::u16string& text) {
    const Tables& tables = GetTables();
    std::string bytes;
    bytes.reserve(text.size() * 2);
    for (char16_t c : text) {
        if (c < 0x80) {
            bytes.push_back(static_cast<char>(c));
        } else if (c >= kInvalidBase && c < kInvalidBase + 0x100 && c >= kInvalidBase + 0x80) {
            bytes.push_back(static_cast<char>(c - kInvalidBase));
        } else if (tables.encode[c] != 0) {
            bytes.push_back(static_cast<char>(tables.encode[c] >> 8));
            bytes.push_back(static_cast<char>(tables.encode[c] & 0xFF));
        } else {
            bytes.push_back('?');
        }
    }
    return bytes;
}

char16_t UpcaseForRegistry(char16_t c) {
    if (c >= u'a' && c <= u'z') return c - 0x20;
    if (c < 0xE0) return c;
    if (c <= 0xFE && c != 0xF7) return c - 0x20;
    if (c == 0xFF) return 0x178;
    if (c >= 0x3B1 && c <= 0x3C9 && c != 0x3C2) return c - 0x20;
    if (c == 0x3C2) return 0x3A3;
    if (c >= 0x430 && c <= 0x44F) return c - 0x20;
    if (c >= 0x450 && c <= 0x45F) return c - 0x50;
    if (c >= 0xFF41 && c <= 0xFF5A) return c - 0x20;
    return c;
}

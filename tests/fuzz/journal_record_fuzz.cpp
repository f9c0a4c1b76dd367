// Arbitrary bytes as the body of a record line, sealed with its checksum so that the parser's
// checks after the seal are reached. Two oracles:
// - every line that parses re-formats to exactly the same line (one spelling per entry, so what
//   was checked is what is replayed);
// - every path that the scope check lets through reads back unchanged through an independent
//   normaliser that does what the system does to a path (both slashes, "." and "..", empty
//   names, trailing dots and blanks, a NUL) and holds no control character.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "doubles/TextCodecDouble.h"
#include "journal/Journal.h"
#include "journal/Scope.h"

namespace {
std::uint32_t Crc32(const std::string& text) {
    std::uint32_t crc = 0xFFFFFFFFu;
    for (unsigned char c : text) {
        crc ^= c;
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

// What the system would make of path, by a route of its own: split at either slash (stepping
// over double-byte characters), names trimmed as Win32 trims them, "." dropped, ".." going up.
std::string Normalised(const std::string& whole) {
    const std::string path = whole.substr(0, whole.find('\0'));
    std::vector<std::string> names(1);
    for (std::size_t i = 0; i < path.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(path[i]);
        if (c >= 0x81 && c <= 0xFE && i + 1 < path.size()) {
            names.back() += path.substr(i++, 2);
        } else if (c == '\\' || c == '/') {
            names.emplace_back();
        } else {
            names.back() += path[i];
        }
    }
    std::vector<std::string> kept;
    for (std::string name : names) {
        while (!name.empty() && (name.back() == '.' || name.back() == ' ') && name != "." && name != "..")
            name.pop_back();
        if (name.empty() || name == ".") continue;
        if (name == "..") {
            if (kept.size() > 1) kept.pop_back();
            continue;
        }
        kept.push_back(name);
    }
    std::string out;
    for (std::size_t i = 0; i < kept.size(); ++i) out += (i ? "\\" : "") + kept[i];
    return out;
}

void ExpectPlain(const std::string& path) {
    bool control = false;
    for (unsigned char c : path) control |= c < 0x20 || c == 0x7F;
    const bool drive = path.size() > 3 && ((path[0] | 0x20) >= 'a' && (path[0] | 0x20) <= 'z') && path[1] == ':' &&
                       path[2] == '\\';
    if (control || !drive || Normalised(path) != path) {
        std::fprintf(stderr, "in scope but not plain: %s\n", path.c_str());
        __builtin_trap();
    }
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static TextCodecDouble codec;
    const std::string body(reinterpret_cast<const char*>(data), size);
    char seal[16];
    std::snprintf(seal, sizeof seal, "\t#%08x", static_cast<unsigned>(Crc32(body)));
    const std::string line = body + seal;
    JournalEntry entry;
    if (!ParseEntry(line, codec, entry)) return 0;
    std::string again;
    if (!FormatEntry(entry, codec, again) || again != line) {
        std::fprintf(stderr, "read:   %s\nwrites: %s\n", line.c_str(), again.c_str());
        __builtin_trap();
    }
    const InstallScope scope{"C:\\Korvel\\Korvel-Tarnwick", "C:\\ProgramData\\Korvel-Tarnwick\\0123456789abcdef",
                             {"C:\\Program Files\\AutoCAD 2010"}};
    if (!WithinInstallScope(entry, scope)) return 0;
    switch (entry.kind) {
        case EntryKind::Folder:
        case EntryKind::File:
            ExpectPlain(entry.path);
            break;
        case EntryKind::Replaced:
            ExpectPlain(entry.path);
            ExpectPlain(entry.backup);
            break;
        default:
            // What a key held before is the machine's own, whatever its LOADER names: whether it
            // may be written back is decided where it is written, not by the record.
            break;
    }
    return 0;
}

#include "doubles/RegFile.h"

#include <cstdint>
#include <fstream>
#include <sstream>
#include <vector>

#include "doubles/Cp936Codec.h"
#include "doubles/RegistryDouble.h"

namespace {

constexpr std::size_t kMaxKeyName = 255;

struct Action {
    enum Kind { CreateKey, DeleteTree, PutValue, DeleteValue } kind;
    RegKey root;
    std::string path;
    std::string name;
    std::uint32_t type = 0;
    std::string bytes;
};

bool IsSpace(char16_t c) { return c == u' ' || c == u'\t'; }

std::u16string Trim(const std::u16string& s) {
    std::size_t b = 0, e = s.size();
    while (b < e && IsSpace(s[b])) ++b;
    while (e > b && IsSpace(s[e - 1])) --e;
    return s.substr(b, e - b);
}

int HexDigit(char16_t c) {
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'a' && c <= u'f') return c - u'a' + 10;
    if (c >= u'A' && c <= u'F') return c - u'A' + 10;
    return -1;
}

bool StartsWith(const std::u16string& s, const std::u16string& prefix) {
    return s.compare(0, prefix.size(), prefix) == 0;
}

bool StartsWithNoCase(const std::u16string& s, const std::u16string& prefix) {
    if (s.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i)
        if (UpcaseForRegistry(s[i]) != UpcaseForRegistry(prefix[i])) return false;
    return true;
}

std::u16string Ascii(const char* text) {
    std::u16string out;
    while (*text) out.push_back(static_cast<unsigned char>(*text++));
    return out;
}

// Reads a quoted text starting at s[pos] == '"'; pos ends after the closing quote.
bool ReadQuoted(const std::u16string& s, std::size_t& pos, std::u16string& out) {
    if (pos >= s.size() || s[pos] != u'"') return false;
    ++pos;
    while (pos < s.size()) {
        char16_t c = s[pos++];
        if (c == u'"') return true;
        if (c == u'\\') {
            if (pos >= s.size()) return false;
            const char16_t e = s[pos++];
            switch (e) {
                case u'\\': out.push_back(u'\\'); break;
                case u'"': out.push_back(u'"'); break;
                case u'n': out.push_back(u'\n'); break;
                case u'r': out.push_back(u'\r'); break;
                case u'0': out.push_back(u'\0'); break;
                default: return false;
            }
            continue;
        }
        out.push_back(c);
    }
    return false;
}

bool ParseHexBytes(const std::u16string& s, std::string& bytes) {
    std::size_t pos = 0;
    bool expectByte = true;
    while (pos < s.size()) {
        if (IsSpace(s[pos])) {
            ++pos;
            continue;
        }
        if (s[pos] == u',') {
            if (expectByte) return false;
            expectByte = true;
            ++pos;
            continue;
        }
        if (!expectByte) return false;
        int value = 0, digits = 0;
        while (pos < s.size() && HexDigit(s[pos]) >= 0 && digits < 2) {
            value = value * 16 + HexDigit(s[pos++]);
            ++digits;
        }
        if (digits == 0) return false;
        bytes.push_back(static_cast<char>(value));
        expectByte = false;
    }
    return true;  // a trailing comma is tolerated, as regedit writes none but accepts one
}

std::string Utf16BytesToCp936(const std::string& bytes) {
    std::u16string text;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2)
        text.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                             static_cast<unsigned char>(bytes[i + 1]) << 8));
    return EncodeCp936(text);
}

class Parser {
public:
    std::string Parse(const std::u16string& text, std::vector<Action>& actions) {
        std::vector<std::u16string> lines;
        std::u16string line;
        for (char16_t c : text) {
            if (c == u'\n') {
                if (!line.empty() && line.back() == u'\r') line.pop_back();
                lines.push_back(line);
                line.clear();
            } else {
                line.push_back(c);
            }
        }
        if (!line.empty()) lines.push_back(line);

        std::size_t i = 0;
        while (i < lines.size() && Trim(lines[i]).empty()) ++i;
        if (i == lines.size()) return "empty file";
        const std::u16string header = Trim(lines[i]);
        if (header == Ascii("Windows Registry Editor Version 5.00")) {
            unicodeData_ = true;
        } else if (header == Ascii("REGEDIT4")) {
            unicodeData_ = false;
        } else {
            return Error(i, "not a registry file header");
        }
        for (++i; i < lines.size(); ++i) {
            const std::size_t first = i;
            std::u16string current = Trim(lines[i]);
            if (current.empty() || current[0] == u';') continue;
            // A hex value goes on over the lines that end with a backslash.
            if (current[0] != u'[') {
                while (!current.empty() && current.back() == u'\\' && IsHexValue(current)) {
                    current.pop_back();
                    if (++i == lines.size()) return Error(first, "continuation past the end");
                    current += Trim(lines[i]);
                }
            }
            std::string error = current[0] == u'[' ? Section(current) : ValueLine(current);
            if (!error.empty()) return Error(first, error.c_str());
        }
        actions = std::move(actions_);
        return std::string();
    }

private:
    static std::string Error(std::size_t line, const char* what) {
        std::ostringstream out;
        out << "line " << line + 1 << ": " << what;
        return out.str();
    }

    // Whether a value line holds hex data, which may go on over further lines.
    static bool IsHexValue(const std::u16string& line) {
        std::size_t pos = 0;
        std::u16string name;
        if (line[0] == u'@') {
            pos = 1;
        } else if (!ReadQuoted(line, pos, name)) {
            return false;
        }
        while (pos < line.size() && IsSpace(line[pos])) ++pos;
        if (pos >= line.size() || line[pos] != u'=') return false;
        ++pos;
        while (pos < line.size() && IsSpace(line[pos])) ++pos;
        return line.compare(pos, 3, u"hex") == 0;
    }

    std::string Section(const std::u16string& line) {
        if (line.back() != u']') return "a section must end with ]";
        std::u16string inner = line.substr(1, line.size() - 2);
        bool remove = false;
        if (!inner.empty() && inner[0] == u'-') {
            remove = true;
            inner.erase(0, 1);
        }
        struct RootName {
            const char* name;
            RegKey key;
        };
        static const RootName roots[] = {{"HKEY_LOCAL_MACHINE", kHkeyLocalMachine},
                                         {"HKEY_CURRENT_USER", kHkeyCurrentUser},
                                         {"HKEY_USERS", kHkeyUsers}};
        haveKey_ = false;
        for (const RootName& r : roots) {
            const std::u16string name = Ascii(r.name);
            if (!StartsWithNoCase(inner, name)) continue;
            if (inner.size() > name.size() && inner[name.size()] != u'\\') continue;
            std::u16string path = inner.substr(name.size());
            if (path.find(u'\0') != std::u16string::npos) return "a key name cannot hold a zero";
            while (!path.empty() && path[0] == u'\\') path.erase(0, 1);
            std::size_t start = 0;
            while (start <= path.size()) {
                std::size_t end = path.find(u'\\', start);
                if (end == std::u16string::npos) end = path.size();
                if (end - start > kMaxKeyName) return "a key name longer than 255 characters";
                start = end + 1;
            }
            Action a{remove ? Action::DeleteTree : Action::CreateKey, r.key, EncodeCp936(path),
                     std::string(), 0, std::string()};
            if (remove && a.path.empty()) return "a root cannot be deleted";
            actions_.push_back(a);
            if (!remove) {
                haveKey_ = true;
                root_ = r.key;
                path_ = a.path;
            }
            return std::string();
        }
        return "unknown root key";
    }

    std::string ValueLine(const std::u16string& line) {
        if (!haveKey_) return "a value outside a key section";
        std::size_t pos = 0;
        std::u16string name;
        if (line[0] == u'@') {
            pos = 1;
        } else if (!ReadQuoted(line, pos, name) || name.find(u'\0') != std::u16string::npos) {
            return "a bad value name";
        }
        while (pos < line.size() && IsSpace(line[pos])) ++pos;
        if (pos >= line.size() || line[pos] != u'=') return "= expected after the value name";
        ++pos;
        while (pos < line.size() && IsSpace(line[pos])) ++pos;
        const std::u16string data = line.substr(pos);

        Action a{Action::PutValue, root_, path_, EncodeCp936(name), 0, std::string()};
        if (data == u"-") {
            a.kind = Action::DeleteValue;
        } else if (!data.empty() && data[0] == u'"') {
            std::size_t p = 0;
            std::u16string text;
            if (!ReadQuoted(data, p, text) || !Trim(data.substr(p)).empty()) return "a bad text";
            a.type = kRegSz;
            a.bytes = EncodeCp936(text) + '\0';
        } else if (StartsWith(data, u"dword:")) {
            const std::u16string digits = Trim(data.substr(6));
            if (digits.empty() || digits.size() > 8) return "a dword needs 1 to 8 hex digits";
            std::uint32_t value = 0;
            for (char16_t c : digits) {
                if (HexDigit(c) < 0) return "a bad dword";
                value = value << 4 | static_cast<std::uint32_t>(HexDigit(c));
            }
            a.type = kRegDword;
            for (int k = 0; k < 4; ++k) a.bytes.push_back(static_cast<char>(value >> (8 * k)));
        } else if (StartsWith(data, u"hex")) {
            std::size_t p = 3;
            a.type = kRegBinary;
            if (p < data.size() && data[p] == u'(') {
                std::uint32_t type = 0;
                int digits = 0;
                for (++p; p < data.size() && HexDigit(data[p]) >= 0; ++p, ++digits)
                    type = type << 4 | static_cast<std::uint32_t>(HexDigit(data[p]));
                if (digits == 0 || digits > 8 || p >= data.size() || data[p] != u')')
                    return "a bad hex(type)";
                ++p;
                a.type = type;
            }
            if (p >= data.size() || data[p] != u':') return ": expected after hex";
            if (!ParseHexBytes(data.substr(p + 1), a.bytes)) return "bad hex bytes";
            if (unicodeData_ && (a.type == kRegSz || a.type == kRegExpandSz || a.type == kRegMultiSz))
                a.bytes = Utf16BytesToCp936(a.bytes);
        } else {
            return "unknown value data";
        }
        actions_.push_back(a);
        return std::string();
    }

    std::vector<Action> actions_;
    bool unicodeData_ = true;
    bool haveKey_ = false;
    RegKey root_ = 0;
    std::string path_;
};

}  // namespace

std::string LoadRegText(RegistryDouble& registry, const std::string& bytes) {
    std::u16string text;
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
        static_cast<unsigned char>(bytes[1]) == 0xFE) {
        if (bytes.size() % 2 != 0) return "UTF-16 text with an odd number of bytes";
        for (std::size_t i = 2; i + 1 < bytes.size(); i += 2)
            text.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                                 static_cast<unsigned char>(bytes[i + 1]) << 8));
    } else {
        text = DecodeCp936(bytes);
    }
    std::vector<Action> actions;
    Parser parser;
    const std::string error = parser.Parse(text, actions);
    if (!error.empty()) return error;
    for (const Action& a : actions) {
        switch (a.kind) {
            case Action::CreateKey: registry.CreateKeyPath(a.root, a.path); break;
            case Action::DeleteTree: registry.DeleteTree(a.root, a.path); break;
            case Action::PutValue: registry.PutValue(a.root, a.path, a.name, a.type, a.bytes); break;
            case Action::DeleteValue: registry.DeleteValue(a.root, a.path, a.name); break;
        }
    }
    return std::string();
}

std::string LoadRegFile(RegistryDouble& registry, const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return "cannot read " + path;
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return LoadRegText(registry, bytes.str());
}

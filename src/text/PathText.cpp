#include "text/PathText.h"

#include "text/Text.h"

std::size_t CharLength(const std::string& text, std::size_t at) {
    if (at >= text.size()) return 0;
    const auto c = static_cast<unsigned char>(text[at]);
    if (c == 0xFF) return 0;
    if (!IsLeadByte(c)) return 1;
    if (at + 1 >= text.size()) return 0;
    const auto trail = static_cast<unsigned char>(text[at + 1]);
    return trail >= 0x40 && trail <= 0xFE && trail != 0x7F ? 2 : 0;
}

bool IsWholeCp936(const std::string& text) {
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t step = CharLength(text, at);
        if (step == 0) return false;
        at += step;
    }
    return true;
}

namespace {
// Steps over a character; a byte that starts none counts as one, so that every byte is seen.
std::size_t Step(const std::string& text, std::size_t at) {
    const std::size_t step = CharLength(text, at);
    return step == 0 ? 1 : step;
}
}  // namespace

std::size_t NextSeparator(const std::string& path, std::size_t from) {
    // Character boundaries are only known from the start of the text.
    for (std::size_t at = 0; at < path.size(); at += Step(path, at))
        if (at >= from && path[at] == '\\') return at;
    return std::string::npos;
}

std::size_t LastSeparator(const std::string& path) {
    std::size_t last = std::string::npos;
    for (std::size_t at = 0; at < path.size(); at += Step(path, at))
        if (path[at] == '\\') last = at;
    return last;
}

bool EndsWithSeparator(const std::string& path) {
    return !path.empty() && LastSeparator(path) == path.size() - 1;
}

bool DropTrailingSeparator(std::string& path) {
    if (!EndsWithSeparator(path)) return false;
    path.pop_back();
    return true;
}

std::string JoinPath(const std::string& folder, const std::string& name) {
    return EndsWithSeparator(folder) ? folder + name : folder + "\\" + name;
}

bool IsDrivePath(const std::string& path) {
    if (path.size() < 3) return false;
    const char c = path[0];
    const bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
    return letter && path[1] == ':' && path[2] == '\\';
}

bool IsAbsolutePath(const std::string& path) {
    if (IsDrivePath(path)) return true;
    if (path.size() < 5 || path[0] != '\\' || path[1] != '\\') return false;
    if (path[2] == '?' || path[2] == '.') return false;  // device namespaces, not shares
    const std::size_t shareAt = NextSeparator(path, 2);
    return shareAt != std::string::npos && shareAt > 2 && shareAt + 1 < path.size();
}

bool Within(const std::string& path, const std::string& folder) {
    if (folder.empty() || path.size() < folder.size()) return false;
    if (!EqualsNoCase(path.substr(0, folder.size()), folder)) return false;
    return path.size() == folder.size() || path[folder.size()] == '\\';
}

#include "register/TrustedPathValue.h"

#include "text/PathText.h"
#include "text/Text.h"

namespace {
// An entry as the host matches it: letter case aside, "X\" and "X\..." (X with every folder
// below it) name X.
std::string EntryFolder(std::string entry) {
    entry = UpperCp936(entry);
    const std::string below = "\\...";
    if (entry.size() > below.size() && entry.compare(entry.size() - below.size(), below.size(), below) == 0)
        entry.resize(entry.size() - below.size());
    else
        DropTrailingSeparator(entry);
    return entry;
}
}  // namespace

bool TrustsFolder(const std::string& value, const std::string& folder) {
    const std::string wanted = EntryFolder(folder);
    // ';' is ASCII below 0x40, so it is never the trail byte of a double-byte character.
    for (std::size_t start = 0; start <= value.size();) {
        std::size_t end = value.find(';', start);
        if (end == std::string::npos) end = value.size();
        if (end > start && EntryFolder(value.substr(start, end - start)) == wanted) return true;
        start = end + 1;
    }
    return false;
}

bool RemoveTrustedFolder(const std::string& value, const std::string& folder, std::string& updated) {
    const std::string wanted = EntryFolder(folder);
    std::string kept;
    bool removed = false;
    bool first = true;
    for (std::size_t start = 0; start <= value.size();) {
        std::size_t end = value.find(';', start);
        if (end == std::string::npos) end = value.size();
        const std::string entry = value.substr(start, end - start);
        if (!entry.empty() && EntryFolder(entry) == wanted) {
            removed = true;
        } else {
            if (!first) kept += ';';
            kept += entry;
            first = false;
        }
        start = end + 1;
    }
    if (removed) updated = kept;
    return removed;
}

bool ComposeTrustedPaths(const std::string& current, const std::string& folder,
                         std::string& updated) {
    std::string result;
    if (current.size() <= 2) {
        // Too short to name a folder ("." or ";"): the install folder alone, as it is cased.
        result = folder;
    } else {
        // The host compares trusted paths without regard to case; the value is kept in upper
        // case, and a folder already named by one of its entries is not added again. Another
        // folder that merely begins with the same text (C:\KORVEL\KORVEL-TARNWICK-OLD) does not
        // trust ours.
        const std::string upperCurrent = UpperCp936(current);
        if (TrustsFolder(current, folder))
            result = upperCurrent;
        else
            result = Format("%s;%s", upperCurrent.c_str(), UpperCp936(folder).c_str());
    }
    if (!FitsBuffer(result, kTrustedPathsBuffer)) return false;
    updated = result;
    return true;
}

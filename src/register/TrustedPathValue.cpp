#include "register/TrustedPathValue.h"

#include "text/PathText.h"
#include "text/Text.h"

TrustedPathList::TrustedPathList(const std::string& value) {
    for (std::size_t start = 0;;) {
        const std::size_t end = value.find(';', start);
        entries_.push_back(value.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos) break;
        start = end + 1;
    }
}

std::string TrustedPathList::FolderOf(const std::string& entry) {
    std::string folder = UpperCp936(entry);
    const std::string below = "\\...";
    if (folder.size() > below.size() && folder.compare(folder.size() - below.size(), below.size(), below) == 0)
        folder.resize(folder.size() - below.size());
    else
        DropTrailingSeparator(folder);
    return folder;
}

bool TrustedPathList::Names(const std::string& folder) const {
    const std::string wanted = FolderOf(folder);
    for (const std::string& entry : entries_)
        if (!entry.empty() && FolderOf(entry) == wanted) return true;
    return false;
}

void TrustedPathList::RespellAs(const TrustedPathList& earlier) {
    for (std::string& entry : entries_) {
        if (UpperCp936(entry) != entry) continue;
        for (const std::string& spelling : earlier.entries_)
            if (spelling != entry && UpperCp936(spelling) == entry) {
                entry = spelling;
                break;
            }
    }
}

std::string TrustedPathList::Text() const {
    std::string text;
    for (std::size_t i = 0; i < entries_.size(); ++i) text += (i ? ";" : "") + entries_[i];
    return text;
}

bool IsPlugInFolder(const std::string& folder) {
    const std::string name = "\\KORVEL-TARNWICK";
    const std::string upper = UpperCp936(folder);
    return upper.size() > name.size() && upper.compare(upper.size() - name.size(), name.size(), name) == 0;
}

bool TrustsFolder(const std::string& value, const std::string& folder) { return TrustedPathList(value).Names(folder); }

bool RemoveTrustedFolder(const std::string& value, const std::string& folder, std::string& updated) {
    TrustedPathList list(value);
    const std::string wanted = TrustedPathList::FolderOf(folder);
    if (!list.Remove([&](const std::string& entry) { return TrustedPathList::FolderOf(entry) == wanted; }))
        return false;
    updated = list.Text();
    return true;
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

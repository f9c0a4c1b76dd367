#pragma once
// A profile's "TRUSTEDPATHS" text, and the rule by which it gains the install folder.
#include <cstddef>
#include <string>
#include <vector>

// The stored value is read into, and the new one built in, buffers of this many bytes.
constexpr std::size_t kTrustedPathsBuffer = 13000;

// The value as the host reads it: entries separated by ';' (an ASCII byte below 0x40, never the
// trail byte of a double-byte character), empty ones included, so that joined again the text is
// the same bytes. An entry names a folder without regard to letter case; "X\" and "X\..." (X with
// every folder below it) name X.
class TrustedPathList {
public:
    explicit TrustedPathList(const std::string& value);

    // The folder an entry names, as the host matches it: upper case, without "\..." or one "\".
    static std::string FolderOf(const std::string& entry);

    const std::vector<std::string>& entries() const { return entries_; }
    // Whether a non-empty entry names folder.
    bool Names(const std::string& folder) const;
    // Takes out every non-empty entry for which drop(entry) holds; the others stay exactly as they
    // are, in their order. True when one was taken out.
    template <typename Drop>
    bool Remove(Drop drop) {
        std::vector<std::string> kept;
        for (const std::string& entry : entries_)
            if (entry.empty() || !drop(entry)) kept.push_back(entry);
        const bool removed = kept.size() != entries_.size();
        if (kept.empty()) kept.emplace_back();
        entries_.swap(kept);
        return removed;
    }
    // Each entry in upper case that an entry of earlier spells in other letters takes that
    // spelling back: installs write the whole value in upper case, and what was there before them
    // comes back as it was, though other entries came or went meanwhile.
    void RespellAs(const TrustedPathList& earlier);
    // The entries joined by ';'.
    std::string Text() const;

private:
    std::vector<std::string> entries_;
};

// Computes what the profile should hold once folder is trusted, from the text it holds now
// (empty when it has none): longer than 2 characters, the value in upper case, with the folder
// added as one more entry unless an entry names it already; else the folder alone, as it is
// cased. False when the profile's value must be left exactly as it is, because the result would
// not fit: a user's trusted paths are never cut short.
bool ComposeTrustedPaths(const std::string& current, const std::string& folder,
                         std::string& updated);

// Whether folder is named as a plug-in's folder is, "...\Korvel-Tarnwick" (in any letter case):
// an install's, or one that was.
bool IsPlugInFolder(const std::string& folder);

// Whether one of the ';'-separated entries of value names folder.
bool TrustsFolder(const std::string& value, const std::string& folder);

// value without the entries that name folder; the other entries stay exactly as they are, in
// their order. False when value names folder nowhere.
bool RemoveTrustedFolder(const std::string& value, const std::string& folder, std::string& updated);

#pragma once
// The rule by which a profile's "TRUSTEDPATHS" text gains the install folder.
#include <cstddef>
#include <string>

// The stored value is read into, and the new one built in, buffers of this many bytes.
constexpr std::size_t kTrustedPathsBuffer = 13000;

// Computes what the profile should hold once folder is trusted, from the text it holds now
// (empty when it has none). False when the profile's value must be left exactly as it is,
// because the result would not fit: a user's trusted paths are never cut short.
bool ComposeTrustedPaths(const std::string& current, const std::string& folder,
                         std::string& updated);

// Whether one of the ';'-separated entries of value names folder: letter case, one trailing
// backslash and a trailing "\..." (the folder with all below it) aside.
bool TrustsFolder(const std::string& value, const std::string& folder);

// value without the entries that name folder (as TrustsFolder matches them); the other entries
// stay exactly as they are, in their order. False when value names folder nowhere.
bool RemoveTrustedFolder(const std::string& value, const std::string& folder, std::string& updated);

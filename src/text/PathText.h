#pragma once
// Paths and key names are CP936 bytes. A backslash separates names only where a character
// begins: the trail byte of a double-byte character (as in "禱", B6 5C) is no separator, so every
// cut, join and walk over a path goes character by character through these helpers.
#include <cstddef>
#include <string>

inline bool IsLeadByte(unsigned char c) { return c >= 0x81 && c <= 0xFE; }

// The byte length of the character at `at`: 1 or 2, or 0 when the bytes there are no CP936
// character (a lead byte with no valid trail byte after it, or 0xFF).
std::size_t CharLength(const std::string& text, std::size_t at);

// Whether text is a sequence of whole CP936 characters.
bool IsWholeCp936(const std::string& text);

// The offset of the first separator at or after `from` that begins a character, or npos.
std::size_t NextSeparator(const std::string& path, std::size_t from = 0);
// The offset of the last such separator, or npos.
std::size_t LastSeparator(const std::string& path);

// Whether the last character of path is a backslash.
bool EndsWithSeparator(const std::string& path);
// Removes one trailing backslash character; true when there was one.
bool DropTrailingSeparator(std::string& path);

// folder + "\" + name, with exactly one separator between them whether or not folder ends in
// one (host folders stored by newer releases do).
std::string JoinPath(const std::string& folder, const std::string& name);
// Whether path lies inside folder or is it (letters compared without regard to case).
bool Within(const std::string& path, const std::string& folder);

// "X:\..." with a drive letter.
bool IsDrivePath(const std::string& path);
// A drive path, or a network one: "\\server\share...".
bool IsAbsolutePath(const std::string& path);

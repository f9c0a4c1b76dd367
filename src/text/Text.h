#pragma once
// Small text helpers shared by every subsystem. Texts are CP936 bytes.
#include <cstddef>
#include <string>
#include <vector>

using StringList = std::vector<std::string>;

// Composed paths, key names and loader values live in buffers of this many bytes, so they hold
// at most kPathBuffer - 1 characters.
constexpr std::size_t kPathBuffer = 260;

inline bool FitsBuffer(const std::string& text, std::size_t bufferBytes = kPathBuffer) {
    return text.size() < bufferBytes;
}

std::string Join(const std::string& first, const std::string& second);
std::string Join(const std::string& first, const char* second);

// printf-style formatting into a string of any length.
std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Letter case of the code page, as the file system folds names: ASCII letters, and the
// double-byte full-width Latin, Greek and Cyrillic letters and small Roman numerals, change; any
// other double-byte character (lead byte 0x81..0xFE) stays as it is, even when its trail byte
// looks like a letter.
std::string UpperCp936(const std::string& text);
std::string LowerCp936(const std::string& text);
// ASCII letters alone upper-cased: the key earlier builds named protected records by.
std::string UpperAsciiLetters(const std::string& text);

// Equality with letters compared without regard to case, as UpperCp936 folds them.
bool EqualsNoCase(const std::string& a, const std::string& b);
// The same for a literal, without making a string of it (the undo compares every entry's key
// with the fixed ones).
bool EqualsNoCase(const std::string& a, const char* b);

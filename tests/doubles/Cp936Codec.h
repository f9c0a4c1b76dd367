#pragma once
// Code page 936 <-> UTF-16 for the doubles and the fixture loader, the same mapping on every
// build (glibc's iconv natively, the system's code page 936 tables on Windows). Bytes that are
// not a valid CP936 character decode to U+F700 + byte, so nothing is ever lost or merged.
#include <string>

std::u16string DecodeCp936(const std::string& bytes);
// Characters that CP936 lacks become '?', as the narrow Win32 functions make them.
std::string EncodeCp936(const std::u16string& text);

// Upper case as the registry folds names for comparison: ASCII, Latin-1, Greek, Cyrillic and
// full-width letters.
char16_t UpcaseForRegistry(char16_t c);

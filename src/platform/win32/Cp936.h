#pragma once
// Conversions at the Win32 boundary. The program's texts are CP936 bytes on every Windows, so
// the wide functions are called with texts converted by code page 936 explicitly, never by the
// system's ANSI code page.
//
// A conversion never guesses: a wide character that code page 936 cannot hold (Hangul, most
// accented Latin letters, an emoji) is not replaced by a look-alike, and bytes that are no CP936
// text are not turned into U+FFFD. The exact forms say so, and the callers leave such a text
// alone rather than write back something else.
#include <string>

// CP936 to UTF-16. False when text holds bytes that are not CP936 characters.
bool WidenCp936Exact(const std::string& text, std::wstring& wide);
// UTF-16 to CP936. False when a character has no CP936 form; narrow then holds '?' in its place.
bool NarrowCp936Exact(const wchar_t* text, int length, std::string& narrow);
bool NarrowCp936Exact(const std::wstring& text, std::string& narrow);

// The same for texts the program shows or was given by a window, where an unconvertible
// character becomes '?' (which no file or folder name can hold, so a path with it is refused).
std::wstring WidenCp936(const std::string& text);
std::wstring WidenCp936(const char* text);  // null gives an empty text
std::string NarrowCp936(const wchar_t* text, int length);  // length -1: up to the first zero
std::string NarrowCp936(const std::wstring& text);

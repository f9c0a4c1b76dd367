#pragma once
// Conversions at the Win32 boundary. The program's texts are CP936 bytes on every Windows, so
// the wide functions are called with texts converted by code page 936 explicitly, never by the
// system's ANSI code page.
#include <string>

std::wstring WidenCp936(const std::string& text);
std::wstring WidenCp936(const char* text);  // null gives an empty text
std::string NarrowCp936(const wchar_t* text, int length);  // length -1: up to the first zero
std::string NarrowCp936(const std::wstring& text);

#include "platform/win32/Cp936.h"

#include <windows.h>

namespace {
constexpr UINT kCodePage = 936;
}

std::wstring WidenCp936(const std::string& text) {
    if (text.empty()) return std::wstring();
    const int size = static_cast<int>(text.size());
    const int length = MultiByteToWideChar(kCodePage, 0, text.data(), size, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length > 0 ? length : 0), L'\0');
    if (length > 0) MultiByteToWideChar(kCodePage, 0, text.data(), size, &wide[0], length);
    return wide;
}

std::wstring WidenCp936(const char* text) { return text ? WidenCp936(std::string(text)) : std::wstring(); }

std::string NarrowCp936(const wchar_t* text, int length) {
    if (text == nullptr) return std::string();
    if (length < 0) length = lstrlenW(text);
    if (length == 0) return std::string();
    const int size = WideCharToMultiByte(kCodePage, 0, text, length, nullptr, 0, nullptr, nullptr);
    std::string narrow(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
    if (size > 0) WideCharToMultiByte(kCodePage, 0, text, length, &narrow[0], size, nullptr, nullptr);
    return narrow;
}

std::string NarrowCp936(const std::wstring& text) {
    return NarrowCp936(text.c_str(), static_cast<int>(text.size()));
}

#include "platform/win32/Cp936.h"

#include <windows.h>

namespace {
constexpr UINT kCodePage = 936;
}

bool WidenCp936Exact(const std::string& text, std::wstring& wide) {
    wide.clear();
    if (text.empty()) return true;
    const int size = static_cast<int>(text.size());
    const int length =
        MultiByteToWideChar(kCodePage, MB_ERR_INVALID_CHARS, text.data(), size, nullptr, 0);
    if (length <= 0) return false;
    wide.assign(static_cast<std::size_t>(length), L'\0');
    return MultiByteToWideChar(kCodePage, MB_ERR_INVALID_CHARS, text.data(), size, &wide[0],
                               length) == length;
}

std::wstring WidenCp936(const std::string& text) {
    std::wstring wide;
    if (WidenCp936Exact(text, wide)) return wide;
    // Not CP936 throughout: convert what can be, for display only.
    const int size = static_cast<int>(text.size());
    const int length = MultiByteToWideChar(kCodePage, 0, text.data(), size, nullptr, 0);
    wide.assign(static_cast<std::size_t>(length > 0 ? length : 0), L'\0');
    if (length > 0) MultiByteToWideChar(kCodePage, 0, text.data(), size, &wide[0], length);
    return wide;
}

std::wstring WidenCp936(const char* text) { return text ? WidenCp936(std::string(text)) : std::wstring(); }

bool NarrowCp936Exact(const wchar_t* text, int length, std::string& narrow) {
    narrow.clear();
    if (text == nullptr) return true;
    if (length < 0) length = lstrlenW(text);
    if (length == 0) return true;
    BOOL usedDefault = FALSE;
    const int size = WideCharToMultiByte(kCodePage, WC_NO_BEST_FIT_CHARS, text, length, nullptr, 0,
                                         nullptr, nullptr);
    if (size <= 0) return false;
    narrow.assign(static_cast<std::size_t>(size), '\0');
    const int written = WideCharToMultiByte(kCodePage, WC_NO_BEST_FIT_CHARS, text, length,
                                            &narrow[0], size, "?", &usedDefault);
    if (written != size) {
        narrow.assign(static_cast<std::size_t>(length), '?');
        return false;
    }
    if (usedDefault) return false;
    // Belt and braces: the text must come back as it was.
    std::wstring again;
    return WidenCp936Exact(narrow, again) &&
           again.compare(0, std::wstring::npos, text, static_cast<std::size_t>(length)) == 0;
}

bool NarrowCp936Exact(const std::wstring& text, std::string& narrow) {
    return NarrowCp936Exact(text.c_str(), static_cast<int>(text.size()), narrow);
}

std::string NarrowCp936(const wchar_t* text, int length) {
    std::string narrow;
    NarrowCp936Exact(text, length, narrow);
    return narrow;
}

std::string NarrowCp936(const std::wstring& text) {
    return NarrowCp936(text.c_str(), static_cast<int>(text.size()));
}

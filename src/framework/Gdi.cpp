#include "framework/Gdi.h"

#include "platform/win32/Cp936.h"
#include "platform/win32/SystemLibrary.h"

bool CFont::Create(int height, int weight, const std::string& face) {
    Reset(::CreateFontW(height, 0, 0, 0, weight, FALSE, FALSE, FALSE, ANSI_CHARSET, OUT_DEFAULT_PRECIS,
                        CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, WidenCp936(face).c_str()));
    return static_cast<bool>(*this);
}

int WindowDpi(HWND window) {
    // Looked up, not imported: Windows 7 and 8 have no such function, and the program runs there.
    using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
    static const auto getDpiForWindow =
        ProcedureOf<GetDpiForWindowFn>(::GetModuleHandleW(L"user32.dll"), "GetDpiForWindow");
    if (getDpiForWindow != nullptr && window != nullptr) {
        if (const UINT dpi = getDpiForWindow(window)) return static_cast<int>(dpi);
    }
    HDC screen = ::GetDC(nullptr);
    const int dpi = screen != nullptr ? ::GetDeviceCaps(screen, LOGPIXELSY) : 96;
    if (screen != nullptr) ::ReleaseDC(nullptr, screen);
    return dpi > 0 ? dpi : 96;
}

HBITMAP ScaledResourceBitmap(int id, int width, int height, COLORREF background) {
    HMODULE module = ::GetModuleHandleW(nullptr);
    HRSRC found = ::FindResourceW(module, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(2));  // RT_BITMAP
    const DWORD size = found != nullptr ? ::SizeofResource(module, found) : 0;
    HGLOBAL loaded = found != nullptr ? ::LoadResource(module, found) : nullptr;
    const auto* info = static_cast<const BITMAPINFO*>(loaded != nullptr ? ::LockResource(loaded) : nullptr);
    if (info == nullptr || size < sizeof(BITMAPINFOHEADER) || width <= 0 || height <= 0) return nullptr;
    // A packed DIB: header, colour table, then the (run-length encoded) pixels.
    const BITMAPINFOHEADER& header = info->bmiHeader;
    const DWORD colours = header.biClrUsed != 0 ? header.biClrUsed : header.biBitCount <= 8 ? 1u << header.biBitCount : 0;
    const DWORD offset = header.biSize + colours * sizeof(RGBQUAD);
    if (header.biSize < sizeof(BITMAPINFOHEADER) || colours > 256 || offset >= size) return nullptr;
    const void* bits = reinterpret_cast<const BYTE*>(info) + offset;
    const int sourceWidth = header.biWidth;
    const int sourceHeight = header.biHeight < 0 ? -header.biHeight : header.biHeight;

    HDC screen = ::GetDC(nullptr);
    HDC source = ::CreateCompatibleDC(screen);
    HDC target = ::CreateCompatibleDC(screen);
    HBITMAP decoded = ::CreateCompatibleBitmap(screen, sourceWidth, sourceHeight);
    HBITMAP scaled = ::CreateCompatibleBitmap(screen, width, height);
    bool ok = source != nullptr && target != nullptr && decoded != nullptr && scaled != nullptr;
    if (ok) {
        HGDIOBJ oldSource = ::SelectObject(source, decoded);
        HGDIOBJ oldTarget = ::SelectObject(target, scaled);
        // Decoded at its own size first: a run-length encoded source is only defined whole.
        ok = ::StretchDIBits(source, 0, 0, sourceWidth, sourceHeight, 0, 0, sourceWidth, sourceHeight, bits, info,
                             DIB_RGB_COLORS, SRCCOPY) > 0;
        const RECT all{0, 0, width, height};
        HBRUSH brush = ::CreateSolidBrush(background);
        ::FillRect(target, &all, brush);
        ::DeleteObject(brush);
        // The largest size that fits; at most two pixels above the bitmap's own (dialog units
        // rounded up), its own size, since that is not worth the blur of resampling.
        double scale = static_cast<double>(width) / sourceWidth;
        if (static_cast<double>(height) / sourceHeight < scale) scale = static_cast<double>(height) / sourceHeight;
        int fitWidth = static_cast<int>(sourceWidth * scale + 0.5);
        int fitHeight = static_cast<int>(sourceHeight * scale + 0.5);
        if (fitWidth >= sourceWidth && fitWidth <= sourceWidth + 2 && fitHeight >= sourceHeight &&
            fitHeight <= sourceHeight + 2) {
            fitWidth = sourceWidth;
            fitHeight = sourceHeight;
        }
        // Halftone averages the source pixels under each target pixel: smooth, not blocky.
        ::SetStretchBltMode(target, HALFTONE);
        ::SetBrushOrgEx(target, 0, 0, nullptr);
        ok = ok && ::StretchBlt(target, (width - fitWidth) / 2, (height - fitHeight) / 2, fitWidth, fitHeight, source, 0,
                                0, sourceWidth, sourceHeight, SRCCOPY);
        ::SelectObject(source, oldSource);
        ::SelectObject(target, oldTarget);
    }
    if (decoded != nullptr) ::DeleteObject(decoded);
    if (target != nullptr) ::DeleteDC(target);
    if (source != nullptr) ::DeleteDC(source);
    if (screen != nullptr) ::ReleaseDC(nullptr, screen);
    if (!ok && scaled != nullptr) {
        ::DeleteObject(scaled);
        scaled = nullptr;
    }
    return scaled;
}

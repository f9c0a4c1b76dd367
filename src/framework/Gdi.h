#pragma once
// Owners of GDI objects: each deletes its object once, when replaced or destroyed.
#include <windows.h>

#include <string>

template <typename Handle>
class GdiObject {
public:
    GdiObject() = default;
    GdiObject(const GdiObject&) = delete;
    GdiObject& operator=(const GdiObject&) = delete;
    ~GdiObject() { Reset(); }
    Handle get() const { return handle; }
    operator Handle() const { return handle; }
    explicit operator bool() const { return handle != nullptr; }
    void Reset(Handle replacement = nullptr) {
        if (handle != nullptr) ::DeleteObject(handle);
        handle = replacement;
    }

private:
    Handle handle = nullptr;
};

class CBrush : public GdiObject<HBRUSH> {
public:
    bool CreateSolid(COLORREF colour) {
        Reset(::CreateSolidBrush(colour));
        return static_cast<bool>(*this);
    }
};

class CBitmap : public GdiObject<HBITMAP> {};

class CFont : public GdiObject<HFONT> {
public:
    // A font of the given height and weight; face is CP936 bytes. The rest: no italic,
    // underline or strike-out, ANSI_CHARSET, default precision, quality and pitch.
    bool Create(int height, int weight, const std::string& face);
};

// The window's dots per inch: its monitor's where Windows tracks it per window (10 1607 and
// later), else the system's; 96 is 100 % scaling.
int WindowDpi(HWND window);
// A length of 96-DPI pixels at dpi.
inline int ScaleToDpi(int length, int dpi) { return ::MulDiv(length, dpi, 96); }

// A width x height bitmap, compatible with the screen, showing this program's bitmap resource id
// scaled smoothly (halftone) to fit, its shape kept, centred on background; null when it cannot
// be made.
HBITMAP ScaledResourceBitmap(int id, int width, int height, COLORREF background);

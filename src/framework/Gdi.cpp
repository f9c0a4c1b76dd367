#include "framework/Gdi.h"

#include "platform/win32/Cp936.h"

bool CFont::Create(int height, int weight, const std::string& face) {
    Reset(::CreateFontW(height, 0, 0, 0, weight, FALSE, FALSE, FALSE, ANSI_CHARSET, OUT_DEFAULT_PRECIS,
                        CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, WidenCp936(face).c_str()));
    return static_cast<bool>(*this);
}

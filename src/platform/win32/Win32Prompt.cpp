#include "platform/win32/Win32Prompt.h"

#include <windows.h>

#include "platform/win32/Cp936.h"

int Win32Prompt::Show(const std::string& text, const std::string& caption, unsigned type) {
    return MessageBoxW(static_cast<HWND>(owner_), WidenCp936(text).c_str(),
                       WidenCp936(caption).c_str(), type);
}

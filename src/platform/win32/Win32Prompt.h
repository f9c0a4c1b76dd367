#pragma once
// The prompt seam as a wide message box, owned by the window the setup dialog sets (held as an
// opaque handle so that this header needs no <windows.h>); texts are converted from CP936.
#include "platform/Prompt.h"

class Win32Prompt : public Prompt {
public:
    // The owner's HWND; null gives an unowned box.
    void SetOwner(void* window) { owner_ = window; }
    void* Owner() const { return owner_; }

    int Show(const std::string& text, const std::string& caption, unsigned type) override;

private:
    void* owner_ = nullptr;
};

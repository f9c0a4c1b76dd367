#pragma once
// The dialog's progress control as the install run's ProgressSink: one message per operation.
// The install runs on the dialog's thread and sets the bar after every block it copies, so the
// windows are let paint, move and answer what other programs send them there; a window that
// answers nothing for five seconds is marked as hung and users end it.
#include "framework/Window.h"
#include "platform/ProgressSink.h"

#include <commctrl.h>

class CProgressCtrl : public CWnd, public ProgressSink {
public:
    void SetRange(int minimum, int maximum) override { Send(PBM_SETRANGE, 0, MAKELPARAM(minimum, maximum)); }
    void SetStep(int step) override { Send(PBM_SETSTEP, static_cast<WPARAM>(step), 0); }
    void SetPos(int position) override {
        Send(PBM_SETPOS, static_cast<WPARAM>(position), 0);
        PumpWithoutInput();
    }
    void StepIt() override {
        Send(PBM_STEPIT, 0, 0);
        PumpWithoutInput();
    }

private:
    // Keys and clicks are dropped, not kept for later: the dialog takes no input until the
    // install is over, as before. Only a drag of the caption gets through, to move the window.
    static void PumpWithoutInput() {
        MSG message;
        while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) {
                ::PostQuitMessage(static_cast<int>(message.wParam));
                return;
            }
            const UINT kind = message.message;
            const bool input = (kind >= WM_KEYFIRST && kind <= WM_KEYLAST) ||
                               (kind >= WM_MOUSEFIRST && kind <= WM_MOUSELAST) ||
                               (kind >= WM_NCMOUSEMOVE && kind <= WM_NCXBUTTONDBLCLK);
            if (input && !(kind == WM_NCLBUTTONDOWN && message.wParam == HTCAPTION)) continue;
            ::DispatchMessageW(&message);
        }
    }
};

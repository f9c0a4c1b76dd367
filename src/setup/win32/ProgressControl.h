#pragma once
// The dialog's progress control as the install run's ProgressSink: one message per operation.
#include "framework/Window.h"
#include "platform/ProgressSink.h"

#include <commctrl.h>

class CProgressCtrl : public CWnd, public ProgressSink {
public:
    void SetRange(int minimum, int maximum) override { Send(PBM_SETRANGE, 0, MAKELPARAM(minimum, maximum)); }
    void SetStep(int step) override { Send(PBM_SETSTEP, static_cast<WPARAM>(step), 0); }
    void SetPos(int position) override { Send(PBM_SETPOS, static_cast<WPARAM>(position), 0); }
    void StepIt() override { Send(PBM_STEPIT, 0, 0); }
};

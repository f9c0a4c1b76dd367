#pragma once
// A bounded position indicator: StepIt advances by the step and, once past the maximum, starts
// over at the minimum. On Windows it is the dialog's progress control.
class ProgressSink {
public:
    virtual ~ProgressSink() = default;
    virtual void SetRange(int minimum, int maximum) = 0;
    virtual void SetStep(int step) = 0;
    virtual void SetPos(int position) = 0;
    virtual void StepIt() = 0;
};

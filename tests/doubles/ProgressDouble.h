#pragma once
// Records every progress operation in order, and keeps the position as the progress control
// does: StepIt past the maximum starts over at the minimum.
#include <functional>
#include <string>
#include <vector>

#include "platform/ProgressSink.h"

class ProgressDouble : public ProgressSink {
public:
    void SetRange(int minimum, int maximum) override {
        calls.push_back("SetRange(" + std::to_string(minimum) + "," + std::to_string(maximum) + ")");
        this->minimum = minimum;
        this->maximum = maximum;
    }
    void SetStep(int step) override {
        calls.push_back("SetStep(" + std::to_string(step) + ")");
        this->step = step;
    }
    void SetPos(int position) override {
        calls.push_back("SetPos(" + std::to_string(position) + ")");
        this->position = position;
    }
    void StepIt() override {
        if (beforeStep) beforeStep();
        calls.push_back("StepIt");
        position += step;
        if (position > maximum) position = minimum;
    }

    int StepCount() const {
        int count = 0;
        for (const std::string& call : calls) count += call == "StepIt";
        return count;
    }

    std::vector<std::string> calls;
    std::function<void()> beforeStep;  // runs before each StepIt: a test's change between phases
    int minimum = 0, maximum = 100, step = 10, position = 0;
};

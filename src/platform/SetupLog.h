#pragma once
// The setup log: one line of text per fact. Texts are CP936 bytes like every other seam's; the
// implementation stamps, converts and stores them, and swallows its own failures, so a log that
// cannot be written never changes what the install does.
#include <string>

class SetupLog {
public:
    virtual ~SetupLog() = default;
    virtual void Line(const std::string& text) = 0;
};

// For runs and tests that keep no log.
class NoLog : public SetupLog {
public:
    void Line(const std::string&) override {}
};

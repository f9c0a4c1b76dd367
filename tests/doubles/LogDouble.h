#pragma once
// The setup log as a list of its lines, in order.
#include <string>
#include <vector>

#include "platform/SetupLog.h"

class LogDouble : public SetupLog {
public:
    void Line(const std::string& text) override { lines.push_back(text); }

    // The lines that contain part, in order.
    std::vector<std::string> With(const std::string& part) const {
        std::vector<std::string> found;
        for (const std::string& line : lines)
            if (line.find(part) != std::string::npos) found.push_back(line);
        return found;
    }
    bool Has(const std::string& part) const { return !With(part).empty(); }

    std::vector<std::string> lines;
};

#pragma once
// A scripted message box: answers from a queue (OK when the queue is empty) and records every
// message it was shown.
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "platform/Prompt.h"

class PromptDouble : public Prompt {
public:
    struct Shown {
        std::string text;
        std::string caption;
        unsigned type;
    };

    int Show(const std::string& text, const std::string& caption, unsigned type) override {
        shown.push_back({text, caption, type});
        int answer = kIdOk;
        if (!answers.empty()) {
            answer = answers.front();
            answers.pop_front();
        }
        if (onShow) onShow(shown.back());
        return answer;
    }

    std::deque<int> answers;
    std::vector<Shown> shown;
    // Runs while the message is up, before the answer is returned (a user fixing the obstacle).
    std::function<void(const Shown&)> onShow;
};

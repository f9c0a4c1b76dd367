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
        // A box that could not be shown answers 0 (MessageBox's failure), whatever was queued.
        if (failShowAt != 0 && static_cast<int>(shown.size()) == failShowAt) return 0;
        return answer;
    }

    std::deque<int> answers;
    std::vector<Shown> shown;
    // Runs while the message is up, before the answer is returned (a user fixing the obstacle).
    std::function<void(const Shown&)> onShow;
    int failShowAt = 0;  // the n-th box (1 = the first) fails to show; 0 = none
};

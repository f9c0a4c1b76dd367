#include "setuplog/LoggedPrompt.h"

int UnattendedAnswer(unsigned type) {
    switch (type & 0xF) {
        case kMbAbortRetryIgnore: return kIdAbort;
        case kMbYesNo: return kIdNo;
        default: return kIdOk;
    }
}

void LogMessageShown(SetupLog& log, const std::string& text, const char* prefix) {
    std::string line = prefix;
    line.reserve(line.size() + text.size());
    for (char ch : text) {
        if (ch == '\r') continue;
        if (ch == '\n') {
            if (line.back() != ' ') line += ' ';
            continue;
        }
        line += ch;
    }
    log.Line(line);
}

void LogUnattendedMessage(SetupLog& log, const std::string& text) { LogMessageShown(log, text, "(unattended) "); }

void LogAnswer(SetupLog& log, int answer) {
    const char* word = "none";  // the box could not be shown
    switch (answer) {
        case kIdOk: word = "OK"; break;
        case kIdCancel: word = "Cancel"; break;
        case kIdAbort: word = "Abort"; break;
        case kIdRetry: word = "Retry"; break;
        case kIdIgnore: word = "Ignore"; break;
        case kIdYes: word = "Yes"; break;
        case kIdNo: word = "No"; break;
        default: break;
    }
    log.Line(std::string("answer: ") + word);
}

int LoggedPrompt::Show(const std::string& text, const std::string& caption, unsigned type) {
    // Nobody saw it, and nobody answered: what the run does next is in the lines that follow.
    if (window_ == nullptr) {
        LogUnattendedMessage(log_, text);
        return UnattendedAnswer(type);
    }
    LogMessageShown(log_, text);
    const int answer = window_->Show(text, caption, type);
    LogAnswer(log_, answer);
    return answer;
}

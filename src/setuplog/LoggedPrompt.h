#pragma once
// Messages and answers in the setup log. A LoggedPrompt forwards each message to the window's
// prompt and logs it with the user's answer; without a window (the unattended run) it logs the
// message as one nobody saw, "(unattended) <text>", and answers as the unattended run must:
// Abort where it may abort, No to a question, OK to everything else.
#include "platform/Prompt.h"
#include "platform/SetupLog.h"

// The answer the unattended run gives to a message of this type.
int UnattendedAnswer(unsigned type);

// "message: <text>", its lines joined (or with another prefix), and "answer: <word>".
void LogMessageShown(SetupLog& log, const std::string& text, const char* prefix = "message: ");
// A message of a run without a window: "(unattended) <text>", its lines joined.
void LogUnattendedMessage(SetupLog& log, const std::string& text);
void LogAnswer(SetupLog& log, int answer);

class LoggedPrompt : public Prompt {
public:
    // window may be null: no window is ever shown.
    LoggedPrompt(SetupLog& log, Prompt* window) : log_(log), window_(window) {}
    int Show(const std::string& text, const std::string& caption, unsigned type) override;

private:
    SetupLog& log_;
    Prompt* window_;
};

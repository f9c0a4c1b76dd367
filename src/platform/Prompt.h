#pragma once
// A modal message box owned by the setup dialog. Texts are CP936 bytes; type and answer keep
// the Win32 values.
#include <string>

constexpr unsigned kMbOk = 0x0;
constexpr unsigned kMbAbortRetryIgnore = 0x2;
constexpr unsigned kMbYesNo = 0x4;
constexpr unsigned kMbRetryCancel = 0x5;
constexpr unsigned kMbIconInformation = 0x40;
constexpr unsigned kMbIconQuestion = 0x20;
constexpr unsigned kMbIconExclamation = 0x30;  // also MB_ICONWARNING

constexpr int kIdOk = 1;
constexpr int kIdCancel = 2;
constexpr int kIdAbort = 3;
constexpr int kIdRetry = 4;
constexpr int kIdIgnore = 5;
constexpr int kIdYes = 6;
constexpr int kIdNo = 7;

class Prompt {
public:
    virtual ~Prompt() = default;
    virtual int Show(const std::string& text, const std::string& caption, unsigned type) = 0;
};

#pragma once
// The setup log as a UTF-8 file: each line stamped with the local time, converted from CP936,
// ended with CR LF. The previous run's log is kept beside it as "<file>.1". Opened best-effort:
// when the file cannot be made or written, logging stops and nothing else changes.
#include <string>

#include "platform/SetupLog.h"
#include "platform/win32/Handle.h"

class Win32SetupLog : public SetupLog {
public:
    // buffered: lines are kept in memory and written in blocks and at the end (the unattended
    // run, where nobody waits in a message box); otherwise each line is written at once.
    Win32SetupLog(const std::wstring& path, bool buffered);
    ~Win32SetupLog() override;
    Win32SetupLog(const Win32SetupLog&) = delete;
    Win32SetupLog& operator=(const Win32SetupLog&) = delete;

    void Line(const std::string& text) override;
    void Flush();
    bool IsOpen() const { return file_.valid(); }

private:
    Handle file_;  // none once closed
    bool buffered_;
    std::string pending_;
};

// %TEMP%\Korvel-Tarnwick-setup.log, or empty when the temporary folder cannot be read.
std::wstring DefaultSetupLogPath();

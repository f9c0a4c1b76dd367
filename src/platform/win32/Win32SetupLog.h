#pragma once
// The setup log as a UTF-8 file: each line stamped with the local time, converted from CP936,
// ended with CR LF, and handed to the file with one WriteFile as it comes, so that a run killed
// at any point leaves every line it logged (the system keeps what WriteFile took; nothing is
// flushed to the disk a line). The five runs before are kept beside it as "<file>.1" (the last)
// to "<file>.5". Opened best-effort: when the file cannot be made or written, logging stops and
// nothing else changes.
#include <cstdint>
#include <string>

#include "platform/SetupLog.h"
#include "platform/win32/Handle.h"

class Win32SetupLog : public SetupLog {
public:
    enum class Start {
        Fresh,   // the earlier logs are set aside and a new one begun; but while another run
                 // writes the file, this run's lines go after its, and nothing is set aside
        Append,  // after what the file holds (a run refused before it began), nothing set aside
    };
    explicit Win32SetupLog(const std::wstring& path, Start start = Start::Fresh) { Open(path, start); }
    ~Win32SetupLog() override;
    Win32SetupLog(const Win32SetupLog&) = delete;
    Win32SetupLog& operator=(const Win32SetupLog&) = delete;

    // Writes to path from now on (the file open so far is closed).
    void Open(const std::wstring& path, Start start);
    void Line(const std::string& text) override;
    bool IsOpen() const { return file_.valid(); }
    // Why it could not be opened: the Windows error code (0 when it is open, or no path was given).
    std::uint32_t error() const { return error_; }
    // Whether the file was there and another run's (Fresh only): this run's lines follow its.
    bool joined() const { return joined_; }

    // Keeps this run's lines from now on, for CopyTo.
    void KeepCopy() { keep_ = true; }
    // Adds this run's lines, then last (stamped as a line), to the end of path (made when missing),
    // through a handle checked to be a plain file of one name, never a link. False with the
    // Windows error code when it could not; the log itself is not changed either way.
    bool CopyTo(const std::wstring& path, const std::string& last, std::uint32_t& error) const;

    static constexpr int kKept = 5;  // earlier logs kept

private:
    void Close();
    std::string Stamped(const std::string& text) const;

    Handle file_;  // none once closed
    std::uint32_t error_ = 0;
    bool joined_ = false;
    bool keep_ = false;
    std::string kept_;
};

// %TEMP%\Korvel-Tarnwick-setup.log, or empty when the temporary folder cannot be read.
std::wstring DefaultSetupLogPath();

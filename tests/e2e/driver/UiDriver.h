#pragma once
// A small driver for another process's windows, for the end-to-end tests: start a program, find
// its dialog by caption, read and click controls, press keys, answer message boxes, read
// rectangles and save screenshots. Every text is UTF-16, read through the wide functions.
#include <windows.h>

#include <string>
#include <vector>

struct ControlState {
    bool exists = false;
    std::wstring text;
    bool visible = false;
    bool enabled = false;
    int checked = 0;  // BM_GETCHECK for buttons
};

struct MessageBoxInfo {
    HWND box = nullptr;
    std::wstring caption;
    std::wstring text;
};

class Process {
public:
    Process() = default;
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;
    ~Process();

    bool Start(const std::wstring& exe, const std::wstring& arguments, const std::wstring& folder);
    // The exit code, or -1 when the process did not end within the time.
    int Wait(DWORD milliseconds);
    bool Running() const;
    void Terminate();
    DWORD id() const { return info.dwProcessId; }

private:
    PROCESS_INFORMATION info{};
};

// A wait's time on this run: milliseconds times KORVEL_TIME_SCALE (1 to 99, default 1), which the
// harness sets where Wine runs slower than natively (32-bit Wine under QEMU). The waits below
// take their times through it; a scenario's own polling loops use it for their limits.
DWORD Scaled(DWORD milliseconds);

// Top-level windows of a process, or with a given class and owner.
HWND WaitForWindow(DWORD processId, const std::wstring& caption, DWORD milliseconds);
std::wstring WindowText(HWND window);
// A visible top-level window of the process (a dialog, a message box, anything), or null.
HWND AnyVisibleWindow(DWORD processId);
std::wstring ClassName(HWND window);

ControlState ReadControl(HWND dialog, int id);
bool IsVisible(HWND window);

// Clicks a button or check box as a user would (BM_CLICK, posted: a click that opens a modal
// box must not block the driver). Waits until the dialog has handled it.
void Click(HWND dialog, int id);
// The command message of a control, as its click would send it.
void PostCommand(HWND dialog, int id);
// Puts the focus on the control (through the dialog's own thread) and presses a key there.
void FocusControl(HWND dialog, int id);
void PressKey(HWND dialog, int id, UINT virtualKey);
void CloseBox(HWND window);  // the window's close box (SC_CLOSE)
// Types a text into an edit control (WM_SETTEXT, then the edit's change notification).
void SetControlText(HWND dialog, int id, const std::wstring& text);

// Waits until the thread that owns the window has handled what was posted to it before.
void Settle(HWND window);

// A message box (#32770) owned by owner: its caption and text (control 65535).
bool WaitForMessageBox(HWND owner, DWORD milliseconds, MessageBoxInfo& info);
void AnswerMessageBox(const MessageBoxInfo& info, int buttonId);
// A message box of the process, whatever owns it.
bool WaitForProcessMessageBox(DWORD processId, DWORD milliseconds, MessageBoxInfo& info);
// Whether the process shows any window at all right now.
bool ShowsAnyWindow(DWORD processId);

RECT WindowRect(HWND window);
RECT ClientRectOf(HWND dialog, int id);  // a control's rectangle in the dialog's client coordinates
// Copies the window's screen area into a 24-bit BMP file.
bool SaveScreenshot(HWND window, const std::wstring& path);

std::string Utf8(const std::wstring& text);

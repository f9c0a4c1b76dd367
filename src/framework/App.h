#pragma once
// CWinApp: the one application object. Its constructor makes it the process's application;
// RunApplication (called from the program's WinMain) runs its start-up hook and ends with
// ExitInstance's code when InitInstance returns false.
#include <windows.h>

class CWinApp {
public:
    CWinApp();
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;
    virtual ~CWinApp();

    // False ends the program after it (no message loop follows).
    virtual bool InitInstance() { return false; }
    // The process's exit code.
    virtual int ExitInstance() { return 0; }

    static CWinApp* Current();
    HINSTANCE instance = nullptr;
};

int RunApplication(HINSTANCE instance);

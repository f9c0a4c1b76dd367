#include "framework/App.h"

namespace {
CWinApp* theApplication = nullptr;
}

CWinApp::CWinApp() { theApplication = this; }

CWinApp::~CWinApp() {
    if (theApplication == this) theApplication = nullptr;
}

CWinApp* CWinApp::Current() { return theApplication; }

int RunApplication(HINSTANCE instance) {
    CWinApp* app = CWinApp::Current();
    if (app == nullptr) return 1;
    app->instance = instance;
    if (app->InitInstance()) {
        MSG message;
        while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
            ::TranslateMessage(&message);
            ::DispatchMessageW(&message);
        }
    }
    return app->ExitInstance();
}

#pragma once
// The program's own file, held open for the whole run: shared for reading only, so that no one
// can rename, replace or write it while the run copies it (as the uninstaller the install puts
// in place). Opened as the run starts and proven to be the very file this process was started
// from: a file put at the program's path after it started (the original renamed away, in a
// download folder its user owns) is not the program, and no copy of it may be named as its
// uninstaller.
#include <windows.h>

#include "platform/win32/Handle.h"

class SelfImage {
public:
    SelfImage();
    SelfImage(const SelfImage&) = delete;
    SelfImage& operator=(const SelfImage&) = delete;

    // Held, and the file the process was started from (or, where Windows cannot tell which file
    // that is, held).
    bool proven() const { return proven_; }

private:
    Handle file_;
    bool proven_ = false;
};

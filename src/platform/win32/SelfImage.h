#pragma once
// The program's own file, held open for the whole run: shared for reading only, so that no one
// can rename, replace or write it while the run copies it (as the uninstaller the install puts
// in place). Opened as the run starts and proven to be the very file this process was started
// from: a file put at the program's path after it started (the original renamed away, in a
// download folder its user owns) is not the program, and no copy of it may be named as its
// uninstaller. Its size and SHA-256 are read through the handle held, so that a copy can be
// proven to hold these very bytes, whatever its source path leads to by then.
#include <windows.h>

#include <cstdint>
#include <string>

#include "platform/win32/Handle.h"

class SelfImage {
public:
    SelfImage();
    SelfImage(const SelfImage&) = delete;
    SelfImage& operator=(const SelfImage&) = delete;

    // Held, and the file the process was started from (or, where Windows cannot tell which file
    // that is, held).
    bool proven() const { return proven_; }
    // The held file's size and SHA-256 (empty when it could not be read whole).
    std::uint64_t size() const { return size_; }
    const std::string& sha256() const { return sha256_; }

private:
    Handle file_;
    bool proven_ = false;
    std::uint64_t size_ = 0;
    std::string sha256_;
};

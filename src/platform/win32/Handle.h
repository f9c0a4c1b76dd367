#pragma once
// The one owner of a kernel handle: closed once, by whoever holds it last. Both of Windows' "no
// handle" values (null and INVALID_HANDLE_VALUE) count as none, so it holds what CreateFileW and
// what CreateEventW or OpenProcess give alike.
#include <windows.h>

class Handle {
public:
    Handle() = default;
    explicit Handle(HANDLE handle) : handle_(handle) {}
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    Handle(Handle&& other) noexcept : handle_(other.Release()) {}
    Handle& operator=(Handle&& other) noexcept {
        Reset(other.Release());
        return *this;
    }
    ~Handle() { Close(); }

    bool valid() const { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }
    explicit operator bool() const { return valid(); }
    HANDLE get() const { return handle_; }
    // Closes it; false when the close itself failed (a write may only fail there).
    bool Close() {
        const bool closed = !valid() || CloseHandle(handle_) != FALSE;
        handle_ = nullptr;
        return closed;
    }
    void Reset(HANDLE handle) {
        Close();
        handle_ = handle;
    }
    // Gives the handle up to the caller, who closes it.
    HANDLE Release() {
        const HANDLE handle = handle_;
        handle_ = nullptr;
        return handle;
    }

private:
    HANDLE handle_ = nullptr;
};

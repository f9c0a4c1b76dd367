// The stack canaries' value and what ends the program when one was overwritten. This replaces
// libssp's, whose start-up code asks CryptoAPI for the random value: that loads the RSA provider
// and its dependencies into every run before the window can show, and its failure handler writes
// to a standard error that a windowed program does not have.
//
// The value comes from the system's generator (RtlGenRandom); should it fail, from what differs
// between runs (the counters, the process, the randomised addresses), as Microsoft's own
// compilers make their stack cookie.
#include <windows.h>

#include <cstdint>

#include "platform/win32/SystemRandom.h"

extern "C" {
void* __stack_chk_guard = nullptr;

// Set before any function with a canary runs: the constructors run before the program's entry,
// and this one carries no canary of its own (the value changes under it).
__attribute__((constructor, optimize("no-stack-protector"))) static void SetUpStackGuard() {
    std::uintptr_t value = 0;
    if (!SystemRandom(&value, sizeof value) || value == 0) {
        LARGE_INTEGER counter{};
        QueryPerformanceCounter(&counter);
        value = static_cast<std::uintptr_t>(counter.QuadPart) ^ (static_cast<std::uintptr_t>(GetTickCount()) << 11) ^
                static_cast<std::uintptr_t>(GetCurrentProcessId()) ^ reinterpret_cast<std::uintptr_t>(&value) ^
                reinterpret_cast<std::uintptr_t>(&SetUpStackGuard);
    }
    // A zero byte first, as libssp's: a string copied over the canary cannot reproduce it.
    value &= ~static_cast<std::uintptr_t>(0xFF);
    if (value == 0) value = 0xFF0A0D00u;
    __stack_chk_guard = reinterpret_cast<void*>(value);
}

// A canary or a checked buffer function found memory overwritten: end at once, with the code
// Windows gives its own compilers' checks, running nothing more of the program. (Not by a fast
// fail: 32-bit Wine takes that interrupt for an illegal instruction and starts its debugger.)
[[noreturn]] static void Overrun() {
    // For a debugger, in libssp's words (the hardening check looks for them in a stripped exe).
    OutputDebugStringA("*** stack smashing detected ***: terminated\n");
    TerminateProcess(GetCurrentProcess(), 0xC0000409 /* STATUS_STACK_BUFFER_OVERRUN */);
    for (;;) {
    }
}

[[noreturn]] void __stack_chk_fail() { Overrun(); }
[[noreturn]] void __stack_chk_fail_local() { Overrun(); }
[[noreturn]] void __chk_fail() { Overrun(); }
}

// Built with the setup program's own stack canary code. "guard FILE" writes the canary's value to
// FILE; "smash" overruns a buffer on the stack, which must end the process as an overrun before
// the function returns into what was written.
#include <windows.h>

#include <cstdio>
#include <cstring>

extern "C" void* __stack_chk_guard;

namespace {
__attribute__((noinline)) void Overrun(int count) {
    char buffer[16];
    // Through a volatile pointer, so that the compiler neither sees the overrun nor drops it.
    for (int i = 0; i < count; ++i) reinterpret_cast<volatile char*>(buffer)[i] = 'A';
    std::printf("%c\n", buffer[3]);
}
}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "smash") == 0) {
        Overrun(argc * 20);  // 40 bytes into a 16-byte buffer: over the canary, short of the caller
        return 0;
    }
    if (argc == 3 && std::strcmp(argv[1], "guard") == 0) {
        FILE* file = std::fopen(argv[2], "w");
        if (file == nullptr) return 2;
        std::fprintf(file, "%llx", static_cast<unsigned long long>(reinterpret_cast<ULONG_PTR>(__stack_chk_guard)));
        return std::fclose(file) == 0 ? 0 : 2;
    }
    return 1;
}

// Sleeps for the milliseconds given (default 30000), so that a test can find it in the process
// list under whatever name it was copied to.
#include <windows.h>

#include <cstdlib>

int main(int argc, char** argv) {
    Sleep(argc > 1 ? static_cast<DWORD>(std::strtoul(argv[1], nullptr, 10)) : 30000);
    return 0;
}

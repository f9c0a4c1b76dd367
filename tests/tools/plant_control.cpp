// The planting test's control: a program without any protection that loads each DLL named on its
// command line by name, as a program loads one after start-up. With a planted DLL of that name
// beside it (and Wine told to prefer a native DLL of the name), the plant is what it gets.
// Exit code: the number of names that could not be loaded.
#include <windows.h>

int wmain(int argc, wchar_t** argv) {
    int failed = 0;
    for (int i = 1; i < argc; ++i)
        if (::LoadLibraryW(argv[i]) == nullptr) ++failed;
    return failed;
}

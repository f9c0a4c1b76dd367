#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#include <cstdio>
#endif

int main(int argc, char** argv) {
#ifdef _WIN32
    // Under Wine the code page follows LC_ALL; say which one this run has, for the logs.
    std::printf("code page %u\n", GetACP());
#endif
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

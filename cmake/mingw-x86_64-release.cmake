# Release builds of the x86_64 edition: Debian's MinGW-w64 win32-thread compilers. The program starts
# no threads, and these need no winpthread (about 110 KB of a statically linked exe).
include(${CMAKE_CURRENT_LIST_DIR}/mingw-x86_64.cmake)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-win32)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-win32)

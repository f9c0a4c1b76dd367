// Included first in every C++ source of a release build (cmake/Release.cmake): std::string and
// std::wstring are made from their templates in the program's own objects, for the members it
// uses, rather than taken from the library's explicit instantiations, which bring every member of
// both classes and, for the x86 edition, unwind tables the linker keeps whole.
#include <bits/c++config.h>
#undef _GLIBCXX_EXTERN_TEMPLATE
#define _GLIBCXX_EXTERN_TEMPLATE -1  // -1: no extern templates for basic_string only

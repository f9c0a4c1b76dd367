# What a release build (KORVEL_RELEASE=ON: presets win32-release and win64-release) adds to the
# flags of its build type. Included by the top-level CMakeLists.txt before any target is made.

# Size: every function and object in a section of its own, so that the linker drops what nothing
# uses; stripped.
add_compile_options(-ffunction-sections -fdata-sections)
add_link_options(-Wl,--gc-sections -s)
option(KORVEL_LTO "Link-time optimisation in release builds" ON)
if(KORVEL_LTO)
  # The partitioning stays as given, so that the output does not depend on the machine's load.
  add_compile_options(-flto -flto-partition=one)
  add_link_options(-flto=1 -flto-partition=one)
endif()

# Reproducible: the same commit gives the same bytes, whatever folder it is built in and whenever.
# No link time in the PE header; no build paths in the objects (assertions and __FILE__).
add_compile_options(-ffile-prefix-map=${PROJECT_SOURCE_DIR}=. -ffile-prefix-map=${PROJECT_BINARY_DIR}=build)
add_link_options(-Wl,--no-insert-timestamp)

# No exception is ever caught in the program (a failure it meets is a result it reports, and
# what the library throws, an allocation that fails, ends the program either way): without
# exceptions and their unwind tables the exe loses about a fifth of its size.
add_compile_options($<$<COMPILE_LANGUAGE:CXX>:-fno-exceptions> -fno-asynchronous-unwind-tables)
# No type is asked for at run time (no dynamic_cast, no typeid): without run-time type information
# the exe carries no type names and descriptors for its many seam classes (about 3.5 KB).
add_compile_options($<$<COMPILE_LANGUAGE:CXX>:-fno-rtti>)

# The strings are made in the program's own objects, for the members it uses (StringInstances.h).
add_compile_options($<$<COMPILE_LANGUAGE:CXX>:-include${CMAKE_CURRENT_LIST_DIR}/StringInstances.h>)

# Hardening flags of release builds go here. The top-level CMakeLists.txt gives every Windows
# build stack canaries, checked buffer functions, ASLR and DEP.

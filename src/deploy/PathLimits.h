#pragma once
// The fixed sizes the install works within, and what the user is told when a path exceeds them.
#include <cstdint>

// The running program's path, in characters with the terminator.
constexpr std::uint32_t kModulePathCapacity = 261;

extern const char* const kProgramPathTooLong;
extern const char* const kTargetPathTooLong;
// The program's own path holds a character that code page 936 cannot hold.
extern const char* const kProgramPathUnrepresentable;

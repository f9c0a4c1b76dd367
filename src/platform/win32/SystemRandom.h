#pragma once
// Random bytes from the system's generator (RtlGenRandom), for names no one can guess and the
// stack canaries' value.
#include <cstddef>

// Fills size bytes at buffer; false when the system's generator cannot be reached or fails.
bool SystemRandom(void* buffer, std::size_t size);

#pragma once
// SHA-256 of a byte string, as 64 lower-case hex digits: how the undo record recognises a file it
// placed, so that a file changed since is never deleted or replaced.
#include <string>

std::string Sha256Hex(const std::string& bytes);

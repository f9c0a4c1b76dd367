#pragma once
// Whether anyone but the administrators could change what lies at a path, for an elevated run
// that is about to install into it or act on a record kept there. Each level is checked for its
// owner and for the rights that other accounts hold on it, from the drive's root down:
// - the root may let users add folders (Windows' default), but not delete what is in it, nor
//   change its rights or owner;
// - a level above the entries in question may let users add entries (as ProgramData does), but
//   not delete or rename it, delete what it holds, nor change its rights or owner;
// - the entries themselves may not let users add, write, delete or re-own anything.
// Every level but the root must be owned by Administrators, SYSTEM or TrustedInstaller, and none
// may be a link.
#include <string>

#include "platform/Files.h"

struct TrustFault {
    std::string level;  // the path that failed
    std::string why;    // what is wrong with it, for the message (CP936)
};

// What is wrong with one level, given its attribute word and protection, or nullptr (the rule
// above; root: a drive's root; strict: an entry in question). For a caller that read them from a
// handle it holds.
const char* LevelFault(std::uint32_t attributes, const Protection& protection, bool root, bool strict);

// Checks every existing level of path (an absolute drive path); the levels at and below
// strictFrom (a leading part of path, or empty for every level below the root) get the rule of
// the entries themselves. Missing levels are passed over; false with fault set at the first
// level that fails.
bool CheckTrustedLevels(Files& files, const std::string& path, const std::string& strictFrom, TrustFault& fault);

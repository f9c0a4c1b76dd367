#pragma once
// Whether a run with administrator rights may write the log a command line names (/LOG=) where it
// is. It may where no other user could have put a link on its way: every level of its folder
// lets others at most add entries, never replace or re-permit one (the file itself is checked when
// it is opened). A network share's rules are not this PC's to prove, nor can a link there send a
// write back onto this PC's files: the run writes its log in the default place, and copies the
// finished log to the share once, through a handle checked to be a plain file. Anything else is
// refused (a long "\\?\" or device "\\.\" path among them): the run writes the default log, which
// names the log asked for and why.
#include <string>

#include "platform/Files.h"

struct LogPlace {
    bool usable = false;  // write it there, line by line
    bool share = false;   // a network share: copy the finished log there
    std::string why;      // when not usable: why (CP936)
};

// path: the full path asked for, as GetFullPathName gives it (CP936).
LogPlace CheckLogPlace(Files& files, const std::string& path);

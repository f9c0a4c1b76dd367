#pragma once
// The install folder and its sub-folder, made so that no other user of the machine can change
// what every user's host loads from them. With administrator rights a folder is made with rights
// of its own (Files::CreateLockedFolder), never with those inherited from a parent that any user
// may write to; an existing folder is refused when it redirects elsewhere (a junction or a
// symbolic link) or, with administrator rights, when another user owns it or may change it
// (FolderTrust.h). The plug-in's own sub-folder, left by an earlier install, is taken back when
// the administrators own it and every folder in it, and no other account may change their rights
// or owner. One an earlier install with administrator rights made, or made anew, gets the locked
// rights again with everything in it, as does one in a folder others may add to (a drive's
// root). Any other is made anew, as a new folder object holding what it held, so that a handle
// opened to it while others could change its rights reaches nothing the hosts load (a folder
// with anything in it held open cannot be moved aside for that, and is refused). A file in it
// with a second name (a hard link) loses its name there. One that another account owns, or could
// take over, is refused whole: what it holds is that account's, and a handle opened to it before
// would outlive the relock. With administrator rights the folder must lie on a fixed drive of
// this PC, whose rules the PC keeps: a network or removable drive is refused.
#include <string>
#include <vector>

#include "platform/Files.h"

enum class FolderOutcome {
    Ready,         // exists (made now or before) and may be installed into
    Redirected,    // a level is a reparse point
    ForeignOwner,  // exists, and not Administrators own it (checked only when elevated)
    NotMade,       // missing and could not be made (reported only when elevated)
    Unprotected,   // others may change it, or its rights cannot be read or set (elevated only)
    ForeignDrive,  // on a network, removable or unknown drive (elevated only)
};

struct PreparedFolders {
    FolderOutcome outcome = FolderOutcome::Ready;
    std::string refused;  // the level the outcome names, when not Ready ("X:" for ForeignDrive)
    std::string why;      // Unprotected: what is wrong with it; ForeignDrive: the drive's kind;
                          // ForeignOwner: the account that owns it (CP936)
    bool reclaimed = false;  // Ready: the plug-in's folder was there, and others could add to it
                             // (or to a folder in it): what it holds may be theirs
    // The files in it that had another name too (a hard link made elsewhere): their name here is
    // removed rather than the file relocked or written through.
    std::vector<std::string> unlinked = {};
    // What could not be moved into the plug-in's folder as it was made anew (held open, say): it
    // stays where it is, in a folder beside it that the next run with administrator rights takes
    // back.
    std::vector<std::string> left = {};
};

// Makes `folder` (an absolute drive path without a trailing backslash; "X:" for a drive root,
// which is never made) and then folder + subFolder, one level each; a level above them that is
// missing is made the same way first. Every existing level above them is first checked for a
// reparse point, and with administrator rights for its owner and rights, before anything is
// made. Without administrator rights a level that cannot be
// made is left for the payload copy to report, as the copy into it fails. recorded: the protected
// record of an earlier install with administrator rights is there; that install took the
// plug-in's folder with the locked rights.
PreparedFolders PrepareInstallFolders(Files& files, const std::string& folder, const std::string& subFolder,
                                      bool elevated, bool recorded = false);


// The path as the file system spells it: each level that is there under the name it holds in
// its folder (the long name, in its own letter case), the rest as given. Two spellings of one
// folder (another letter case, a short 8.3 name) come out as one text, so that a record, a value
// or a comparison that names the folder agrees with every other whatever spelling a run was
// handed. A name the file system gives that a typed one could not be (one Windows reads as another,
// with a trailing blank or dot, or one that splits a list of paths, with ';') is left as given,
// and odd, when given, is set.
std::string StoredSpelling(Files& files, const std::string& path, bool* odd = nullptr);

#pragma once
// Where the undo record of an install is kept. Without administrator rights it lies in the
// plug-in's own folder, the user's as the install is. With them, the uninstall will act on it as
// an administrator, so it lies where only administrators write: a folder of its own, named by a
// digest of the plug-in's folder, in a records folder made with the locked rights and checked,
// with every level above it, before it is read or written. The records folder is
// "<ProgramData>\Korvel-Tarnwick"; ProgramData lets every user make a folder of their own, so where
// a user took that name first, "<ProgramFiles>\Korvel-Tarnwick Records", where no user can add a
// folder, takes its place: no user can keep the administrators from installing or uninstalling.
#include <string>
#include <vector>

#include "deploy/FolderTrust.h"
#include "register/TrustedPathValue.h"
#include "platform/Files.h"

extern const char* const kRecordsFolder;  // "Korvel-Tarnwick", under ProgramData

// The records folders, in the order they are used: ProgramData's, then Program Files'. False when
// no such folder can be named (neither variable names a drive path).
bool RecordRoots(Files& files, std::vector<std::string>& roots);

// The protected folder of the record of an install into folder (the plug-in's own folder) in the
// records folder root: a digest of its upper-case form names it, so that each install folder has
// one and the same.
std::string ProtectedRecordFolder(const std::string& root, const std::string& folder);

// Whether a records folder is one to use: there and no one else's, or not there yet (and so ours
// to make); a user's folder, or a link, in its place is not.
bool UsableRoot(Files& files, const std::string& root);

// The record folder of an install into folder, in the first usable records folder that holds its
// record; false when none does.
bool FindProtectedRecord(Files& files, const std::string& folder, std::string& root, std::string& recordFolder);

// Whether a records folder is there that this run may not look into at all (the records give
// Users nothing): a run without administrator rights cannot tell whether it holds the record.
bool RecordsOutOfSight(Files& files);

// Makes the missing levels of recordFolder below root with the locked rights, then checks the
// owner and rights of every level (and of path, when it exists) from the drive's root down.
// False with fault set when anyone but the administrators could change them.
bool PrepareProtectedFolder(Files& files, const std::string& root, const std::string& recordFolder,
                            TrustFault& fault);

// Checks path (a file or folder in the records folder root) and every level above it.
bool ProtectedPath(Files& files, const std::string& root, const std::string& path, TrustFault& fault);

// Reads the record file at path, in its protected folder in the records folder root, through one
// open handle, and only once these have passed: the file as opened is a file (not a link) that no
// one but the administrators can change; and, while it is held, every level above it is as
// ProtectedPath wants it. Refused or Failed with fault set otherwise; Missing when nothing is there.
CheckedRead ReadProtectedRecord(Files& files, const std::string& root, const std::string& path, std::string& bytes,
                                TrustFault& fault);

// The first records folder that can be made safe, made and checked as above: where an elevated run
// keeps its log, its lock and its temporary copies. False when none can.
bool PrepareRecordsFolder(Files& files, std::string& records);

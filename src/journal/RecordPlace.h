#pragma once
// Where the undo record of an install is kept. Without administrator rights it lies in the
// plug-in's own folder, the user's as the install is. With them, the uninstall will act on it as
// an administrator, so it lies where only administrators write: a folder of its own under
// ProgramData, "<ProgramData>\Korvel-Tarnwick\<digest of the plug-in's folder>", made with the
// locked rights and checked, with every level above it, before it is read or written.
#include <string>

#include "deploy/FolderTrust.h"
#include "platform/Files.h"

extern const char* const kRecordsFolder;  // "Korvel-Tarnwick", under ProgramData

// %ProgramData%, expanded; false when there is none.
bool ProgramDataFolder(Files& files, std::string& programData);

// The protected folder of the record of an install into folder (the plug-in's own folder): a
// digest of its upper-case form names it, so that each install folder has one and the same.
std::string ProtectedRecordFolder(const std::string& programData, const std::string& folder);

// Makes the missing levels of recordFolder below programData with the locked rights, then checks
// the owner and rights of every level (and of path, when it exists) from the drive's root down.
// False with fault set when anyone but the administrators could change them.
bool PrepareProtectedFolder(Files& files, const std::string& programData, const std::string& recordFolder,
                            TrustFault& fault);

// Checks path (a file or folder below programData\Korvel-Tarnwick) and every level above it.
bool ProtectedPath(Files& files, const std::string& programData, const std::string& path, TrustFault& fault);

// "<ProgramData>\Korvel-Tarnwick" itself, made and checked as above: where an elevated run keeps
// its log and its temporary copies. False when it cannot be made safe.
bool PrepareRecordsFolder(Files& files, std::string& records);

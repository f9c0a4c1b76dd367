#pragma once
// The program's exit codes, in the window and unattended alike. Administrators' scripts test
// them: never renumber one, never reuse one, add new ones at the end.
constexpr int kExitFinished = 0;        // installed, every change made (also: the usage was shown)
constexpr int kExitBadCommandLine = 1;  // an unknown option or a bad value; nothing was done
constexpr int kExitCancelled = 2;       // closed before an install began
constexpr int kExitHostRunning = 3;     // unattended: AutoCAD was running; nothing was done
constexpr int kExitFilesSkipped = 4;    // installed, but the user chose Ignore for some files
constexpr int kExitStopped = 5;         // the install stopped: package missing or unreadable, or Abort
constexpr int kExitIncomplete = 6;      // installed, but some host or profile was left unchanged
                                        // (the warning named them)
constexpr int kExitNoRecord = 7;        // uninstall: the undo record is missing or damaged;
                                        // nothing was changed
constexpr int kExitUninstallIncomplete = 8;  // uninstalled, but something was left (changed since
                                             // the install, or could not be removed), or a user's
                                             // registry could not be loaded to put it back
constexpr int kExitNothingToInstall = 9;  // unattended: no release of the edition was found
constexpr int kExitAlreadyRunning = 10;  // another setup or uninstall of the plug-in was running;
                                         // nothing was changed
constexpr int kExitNeedsAdmin = 11;      // unattended: the chosen releases need administrator
                                         // rights this run does not have; nothing was installed.
                                         // Uninstall: the install was made with them, and its
                                         // record is where only they may use it; nothing changed
constexpr int kExitNotInstalled = 12;    // uninstall: no install of the plug-in is listed on the
                                         // machine; nothing was changed

#pragma once
// Validation and creation of a folder path typed in the folder picker. Everything is byte by
// byte over CP936 text: a double-byte character is not a unit, so a trail byte 0x5C ends a name
// and a trail byte 0x7C makes a name invalid, exactly as the narrow Win32 calls would see them.
#include <string>

#include "platform/Files.h"
#include "platform/Prompt.h"

// Results of WalkFolderPath, and of ConfirmFolder, which adds kFolderDeclined.
constexpr int kFolderAcceptable = 0;  // acceptable (and, when creating, the whole path exists)
constexpr int kFolderInvalid = 1;     // bad form or bad name
constexpr int kFolderNotMade = 2;     // a level does not exist and cannot be made
constexpr int kFolderDeclined = -1;   // does not exist, and the user chose not to create it

// The framework captions its message boxes with the application's name, which is the name of
// the program's module.
extern const char* const kFolderPromptCaption;  // "SetUp"

// 1 when name (null for none) is an acceptable folder name, else 0.
int CheckFolderName(const char* name);

// Walks path (null for none) name by name. testOnly nonzero: only tests the form and names and
// never touches the file system. Zero: also creates each level, outermost first, right after its
// name passed. A path longer than 259 bytes is invalid.
int WalkFolderPath(Files& files, const char* path, int testOnly);

// The picker's acceptance flow: tests path, asks before creating a missing folder, creates it
// and reports what went wrong. Messages go through prompt with the given caption.
int ConfirmFolder(Files& files, Prompt& prompt, const std::string& path,
                  const std::string& caption = kFolderPromptCaption);

#pragma once
// Validation and creation of a folder path typed in the folder picker or the setup dialog.
// The text is CP936 and is read character by character: the trail byte of a double-byte
// character (0x5C in "禱", 0x7C in others) is part of that character, never a separator or a
// forbidden "|".
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
// never touches the file system. Zero: once every name has passed, creates each level,
// outermost first. A path longer than 259 bytes is invalid.
int WalkFolderPath(Files& files, const char* path, int testOnly);

// The picker's acceptance flow: tests path, asks before creating a missing folder, creates it
// and reports what went wrong. Messages go through prompt with the given caption.
int ConfirmFolder(Files& files, Prompt& prompt, const std::string& path,
                  const std::string& caption = kFolderPromptCaption);

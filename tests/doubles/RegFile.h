#pragma once
// Registry fixtures as .reg files, the same files that `reg import` brings into a Wine prefix.
//
// Accepted: "Windows Registry Editor Version 5.00" or "REGEDIT4" as the first line; UTF-16LE
// with a byte-order mark (needed for Chinese text, since reg import reads a file without one in
// code page 936) or plain ASCII/CP936 bytes; [HKEY_LOCAL_MACHINE\...] and [HKEY_CURRENT_USER\...]
// sections, [-...] to delete a tree; "name"= or @= with "text" (REG_SZ, stored with its
// terminating zero as reg import stores it), dword:xxxxxxxx, hex:.. (REG_BINARY), hex(N):.. with
// continuation lines ending in a backslash, and - to delete the value; escapes \\ \" \n \r \0 in
// names and texts; ';' comment lines. In a version 5.00 file the data of hex(1), hex(2) and
// hex(7) are UTF-16LE and are kept as CP936, as the narrow functions read them.
//
// The whole text is checked before anything is applied: bad input changes nothing and gives an
// error text naming its line.
#include <string>

class RegistryDouble;

// "" on success, else what is wrong and where.
std::string LoadRegText(RegistryDouble& registry, const std::string& bytes);
// Reads the file at path (a native path) and loads it; "" on success.
std::string LoadRegFile(RegistryDouble& registry, const std::string& path);

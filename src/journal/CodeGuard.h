#pragma once
// The one check of every value that makes code run or load: a loader key's "LOADER" (in any
// registry), the Active Setup component's "StubPath", and the entry's "UninstallString" and
// "QuietUninstallString".
// Every write of the install and of the undo passes through it, so that none can miss it. With
// administrator rights, such a value is written only when the file it names, at that moment:
// - exists, a plain file, named the one way the system reads it, without variables;
// - lies where only administrators can change it and every folder above it (FolderTrust.h);
// - and, when it is a file of the plug-in's (one a record names, or any file in a plug-in
//   folder), holds exactly the bytes the install wrote, by size and hash.
// A value that fails is not written (kErrorAccessDenied), and the refusal is kept with its reason.
// Without administrator rights nothing is checked: the run can change nothing another user runs.
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "journal/InstallJournal.h"
#include "platform/Files.h"
#include "platform/Forwarding.h"
#include "platform/KeyPlaces.h"

class CodeGuard : public ForwardingRegistry {
public:
    CodeGuard(Registry& inner, Files& files) : ForwardingRegistry(inner), files_(files) {}

    struct Written {
        std::uint64_t size = 0;
        std::string sha256;  // empty: begun, not finished
        // Which of the record's lines says so (0: none): a file proven once is proven again once
        // a later line tells of the run writing it since.
        std::size_t stamp = 0;
    };
    // What the install wrote: the size and hash a file of the plug-in's was last left with (false
    // for a file no record names); and the plug-in folders, in which any other file is a
    // stranger's.
    struct Known {
        std::function<bool(const std::string& path, Written& written)> file;
        std::vector<std::string> folders;
    };

    void SetElevated(bool elevated) { elevated_ = elevated; }
    void SetKnown(Known known) { known_ = std::move(known); }

    using Refusal = CodeRefusal;
    const std::vector<Refusal>& refusals() const { return refusals_; }
    // The refusal of that value, or null.
    const Refusal* RefusalOf(const std::string& value) const;

    // Whether the value names code to run or load, and the file it names (the first, quoted or
    // not, of a command line). False for any other value.
    static bool NamesCode(RegKey root, const std::string& keyPath, const std::string& valueName);
    static std::string NamedFile(const std::string& valueName, const std::string& text);

    // Whether a value naming that file would be written now (what: the values, for the refusal
    // kept). Asked before the first of several values that must all name it is written, so that a
    // refusal leaves none of them behind.
    bool Admits(const std::string& file, const std::string& what);

    long OpenKey(RegKey parent, const char* subKey, RegKey& out) override;
    long OpenKeyRead(RegKey parent, const char* subKey, RegKey& out) override;
    long CreateKey(RegKey parent, const char* path, RegKey& out) override;
    long SetString(RegKey key, const char* valueName, const char* text, std::uint32_t byteCount) override;
    long SetValue(RegKey key, const char* valueName, std::uint32_t type, const std::string& bytes) override;

private:
    // Empty when the file may be named; else why not.
    std::string Check(const std::string& file);
    bool Allowed(RegKey key, const char* valueName, std::uint32_t type, const std::string& bytes);

    Files& files_;
    bool elevated_ = false;
    Known known_;
    KeyPlaces places_;
    std::vector<Refusal> refusals_;
    // Files found good in this run, by path, expected hash and stamp: no one but the run itself can
    // change them since, and a write of the run's is a new stamp.
    std::map<std::string, bool> proven_;
};

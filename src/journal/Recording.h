#pragma once
// The seams as the install run sees them while a record is armed: every write is passed on to
// the real seam and, when it took effect, added to the record with the state it replaced. Reads
// pass straight through, and nothing is recorded before the journal is armed (discovery, the
// dialog), so the subsystems need no change and no write can be missed.
#include <map>
#include <set>
#include <string>
#include <vector>

#include "journal/Journal.h"
#include "platform/Forwarding.h"
#include "platform/KeyPlaces.h"

// A loader key that already holds another install's values (its key could not be deleted, as one
// with sub-keys cannot) is written over value by value. Before the first of them, the values that
// install's record kept of the key are added to this record, so that it holds what the key held
// before any install: the last uninstall puts that back, whichever install goes first.
class RecordingRegistry : public ForwardingRegistry {
public:
    RecordingRegistry(Registry& inner, Journal& journal) : ForwardingRegistry(inner), journal_(journal) {}

    long OpenKey(RegKey parent, const char* subKey, RegKey& out) override;
    long OpenKeyRead(RegKey parent, const char* subKey, RegKey& out) override;
    long CreateKey(RegKey parent, const char* path, RegKey& out) override;
    long SetDword(RegKey key, const char* valueName, std::uint32_t value) override;
    long SetString(RegKey key, const char* valueName, const char* text,
                   std::uint32_t byteCount) override;
    long SetValue(RegKey key, const char* valueName, std::uint32_t type,
                  const std::string& bytes) override;
    long DeleteKey(RegKey parent, const char* subKey) override;
    // The install deletes no value: DeleteValue is passed on unrecorded.

private:
    // Reads a value as it is now: kErrorSuccess, kErrorFileNotFound, or the failure.
    long ReadNow(RegKey key, const char* valueName, RecordedValue& value);
    long Write(RegKey key, const char* valueName, std::uint32_t type, const std::string& bytes);
    // The plug-in folder whose module the loader key at place (or its module's key) named when
    // this run first touched it; empty when none, or for another kind of key.
    std::string OwnerOf(const KeyPlaces::Place& place);
    // A trusted-path value's text (as read, with its terminator) with each entry spelled as the
    // records of the installs it names found it, where that differs in letter case alone.
    std::string EarlierSpelling(const KeyPlaces::Place& where, const std::string& bytes);

    Journal& journal_;
    KeyPlaces places_;
    std::map<std::string, std::string> owners_;  // loader key -> the plug-in folder it named first
    std::map<std::string, bool> handedOver_;      // "root|KEY": its earlier states are in the record
    std::set<std::string> made_;                  // "root|KEY": keys this run made, there still
};

class RecordingFiles : public ForwardingFiles {
public:
    RecordingFiles(Files& inner, Journal& journal) : ForwardingFiles(inner), journal_(journal) {}

    // Recorded before it is made. An existing destination is first copied aside (and the copy
    // refused when that fails), once: a destination the record already holds is not backed up
    // again. What was written is recorded with its size and hash, which the copy reports from
    // the bytes it wrote: nothing is read back.
    using Files::CopyOver;
    bool CopyOver(const std::string& source, const std::string& destination, bool failIfExists,
                  CopyReport& report) override;
    // The copies that will make a file of the plug-in's (one where none is, or one the record
    // already holds as its own) are recorded here, all with one write to the disk; each copy
    // then goes ahead without one. Copies that overwrite something else are recorded singly.
    void WillCopy(const std::vector<std::string>& destinations) override;
    // A folder made is recorded when nothing was there: the undo removes it again. One made anew
    // in the place of a folder moved aside (to hold what that one held) was there, and is not.
    // Moves pass on unrecorded: what was there stays, under the same names.
    int MakeDir(const std::string& path) override;
    bool CreateFolder(const std::string& path) override;
    bool CreateLockedFolder(const std::string& path) override;
    bool MakeFolderAnew(const std::string& path, const std::string& earlier) override;
    // The error of the copy that failed, not of the clean-up after it.
    std::uint32_t LastError() override { return copyError_ != 0 ? copyError_ : inner_.LastError(); }
    // The install reads and writes no file but by copying, and removes none: the rest is passed
    // on unrecorded.

    // The files beneath the record: for a copy that is no part of the install (one staged, proven
    // and removed again before the install's own copy is made from it).
    Files& Unrecorded() { return inner_; }

    // The destinations whose copy was refused because their content could not be kept first
    // (the error of such a copy is kBackupFailed when Windows gave none).
    const std::vector<std::string>& unkept() const { return unkept_; }
    static constexpr std::uint32_t kBackupFailed = 0x20000001;  // a customer-defined error code
    static constexpr std::uint32_t kErrorInvalidName = 123;       // ERROR_INVALID_NAME

private:
    // Records the copy ahead of it, and makes the backup it needs; false when either fails.
    bool Prepare(const std::string& destination, bool existed, JournalEntry& pending);

    bool There(const std::string& path);

    Journal& journal_;
    // Upper-cased destinations whose line is on the disk, not yet copied to.
    std::set<std::string> announced_;
    std::uint32_t copyError_ = 0;
    std::vector<std::string> unkept_;
};

#pragma once
// The undo record: what an install did, one action a line, so that uninstall can put the
// machine back as it was. Each line keeps the state before the action beside it (the previous
// value of a registry value, a copy of a file it overwrote, the values of a key it deleted) and
// what the action left (the new value, the size and hash of the file), so that undo touches only
// what still is as the install left it.
//
// The file is UTF-8 text: a header line, then one entry a line, fields separated by tabs, texts
// escaped (\\ \t \n \r), bytes in hex, and each line closed by a checksum of the rest of it. A
// later install into the same folder appends to it, so one record undoes both.
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "deploy/FolderTrust.h"
#include "platform/Files.h"
#include "platform/Registry.h"
#include "platform/TextCodec.h"

// Never renumber: the names below are what the file holds.
enum class EntryKind {
    Folder,      // "folder": a folder was made
    File,        // "file": a file was made where none was
    Replaced,    // "replaced": a file was overwritten; its previous content is in `backup`
    Key,         // "key": a registry key was made
    Value,       // "value": a registry value was set (with its previous state)
    KeyDeleted,  // "keydeleted": a registry key was deleted (with the values it held)
    // Written before a copy, so that a run killed part-way leaves nothing the record does not
    // name; the "file" or "replaced" line follows once the copy is done.
    PendingFile,      // "pendingfile": a file is about to be made where none was (after lines
                      // on a file with earlier content: see StartsAnew)
    PendingReplaced,  // "pendingreplaced": a file is about to be overwritten; `backup` is to
                      // hold its content, whose size and hash are kept to tell a whole backup
    User,             // "user": `path` is the SID of the account whose HKEY_CURRENT_USER the
                      // entries after it change
};

struct RecordedValue {
    std::string name;
    std::uint32_t type = 0;
    std::string bytes;  // texts as CP936 bytes, as the registry seam gives them
};

struct JournalEntry {
    EntryKind kind = EntryKind::Folder;
    std::string path;    // a file or folder; or a key path below `root`
    RegKey root = 0;     // registry entries: kHkeyLocalMachine or kHkeyCurrentUser
    std::string backup;  // Replaced, PendingReplaced
    std::uint64_t size = 0;  // File, Replaced: what the install left; PendingReplaced: what
    std::string hash;        //   was there before (SHA-256 hex)
    RecordedValue value;     // Value: the name, and the type and bytes written
    bool hadOld = false;     // Value: whether the value existed before
    RecordedValue old;       //   and what it held
    std::vector<RecordedValue> values;  // KeyDeleted: what the key held
};

// One entry as a line without its line break; false when a text cannot be written as UTF-8.
bool FormatEntry(const JournalEntry& entry, TextCodec& codec, std::string& line);
// The entry of one line; false for a line that is not one, or whose checksum does not match.
bool ParseEntry(const std::string& line, TextCodec& codec, JournalEntry& entry);

// Whether an entry names a file the install copied (made, overwritten, or about to be).
bool IsFileEntry(EntryKind kind);
// Whether the file had no earlier content (made, or about to be made, where none was).
bool IsNewFile(EntryKind kind);
// Whether line, a later line on the file of first (the first line on it, or the last to start
// anew), starts its lines anew: a new file's copy begun after lines on a file with earlier
// content. Written where those lines kept nothing: a run again after a kill before its backup was
// whole, finding the file gone; or another install's uninstall, handing on that what this record
// kept was that install's copy, with none there before it.
bool StartsAnew(const JournalEntry& first, const JournalEntry& line);

// What loading a record found. Unsafe: a protected record that others could have changed (the
// file, or a folder above it); it is not read.
enum class RecordState { Loaded, Missing, Damaged, Unsafe };

class Journal {
public:
    static constexpr const char* kRecordName = "uninstall.dat";
    static constexpr const char* kBackupFolder = "uninstall-backup";
    // The uninstaller as staged and proven before it is placed (removed again at once; a run
    // killed in between leaves it, which the uninstall removes with the record).
    static constexpr const char* kStagedUninstaller = "uninstall.exe.new";
    // Where an earlier build kept the uninstaller there before while it wrote over it (a run of it
    // killed in between left it): removed with the record.
    static constexpr const char* kKeptUninstaller = "uninstall.exe.old";

    Journal(Files& files, TextCodec& codec) : files_(files), codec_(codec) {}
    Journal(const Journal&) = delete;
    Journal& operator=(const Journal&) = delete;

    // Reads the record in folder: its entries, in the order they were made (key paths as the
    // registry reads them: names joined by single backslashes). A line cut short at
    // the very end (a run that ended while writing it) is passed over, and so is one that a later
    // run closed and followed with the header again; a record cut inside its header holds
    // nothing and counts as missing. Anything else that does not read back is damage, and the
    // record is not used.
    static RecordState Load(Files& files, TextCodec& codec, const std::string& folder,
                            std::vector<JournalEntry>& entries);
    // A record as one load found it, for the next load of the same record: bytes that have not
    // changed since are not parsed again.
    struct Parsed {
        std::string bytes;
        std::vector<JournalEntry> entries;
    };
    // The record of the install into folder (the plug-in's own folder), read as Load reads it,
    // from where a run with these rights keeps it. Without administrator rights: in folder. With
    // them: in its protected folder, in the first usable records folder that holds one, or else
    // where the first usable one would hold it; read through one open handle, once the file and
    // every level above it have passed (ReadProtectedRecord), never looked up again by path;
    // Unsafe, with fault, when they have not. recordFolder: where the record lies, or would.
    // parsed: the record as an earlier load with it found it, kept up to date.
    static RecordState LoadFor(Files& files, TextCodec& codec, const std::string& folder, bool elevated,
                               std::string& recordFolder, std::vector<JournalEntry>& entries, TrustFault& fault,
                               Parsed* parsed = nullptr);

    // Starts recording for an install into folder (the plug-in's own folder). Nothing is read or
    // written until Place has found where the record lies, and nothing is written until the
    // run's first change beyond the folders it makes: a run that changed nothing else leaves no
    // record. Entries are kept until then.
    void Arm(const std::string& folder);
    // Once the install folder has been proven: where the record lies (the plug-in's folder, or
    // with administrator rights a protected folder of its own, made now), and an earlier record
    // there, which is continued. Returns why the install must not go on (a record folder that
    // others could change, a damaged record, which is left exactly as it is), or empty.
    std::string Place(bool elevated);
    // Whether a protected record of an earlier install into the armed folder is there, read as
    // LoadFor reads it with administrator rights. Only a run with those rights writes one; such a
    // run of this build made the folder or made it anew, one of an older build relocked it.
    bool ProtectedRecordThere() const;
    // The spelling of folder (the plug-in's own folder) that records and values of the install
    // into it use: as the file system stores it (StoredSpelling), unless the install's record
    // names it otherwise, as given or as listed (the listed install's folder), since earlier
    // builds kept the spelling they were handed.
    static std::string Spelling(Files& files, TextCodec& codec, const std::string& folder, bool elevated,
                                const std::string& listed);
    bool armed() const { return armed_; }
    TextCodec& codec() const { return codec_; }
    bool placed() const { return placed_; }
    const std::string& folder() const { return folder_; }
    // The folder that holds the record and its backups.
    const std::string& recordFolder() const { return recordFolder_; }

    // Whether this run has changed more than folders.
    bool live() const { return live_; }
    // Whether the record was there before this run (its entries come first).
    bool continued() const { return continued_; }

    // Adds an entry to the record, kept in memory until the next Flush. An entry that tells what
    // a change left (a copy's size and hash) may wait there: a run that ends before it is written
    // leaves the line written ahead of the change, which undo reads as the change begun.
    void Add(const JournalEntry& entry);
    // Writes what is still pending and has it on the disk; true when the file holds every entry.
    // Callers that record before they change (every change but a folder) refuse the change when
    // this fails.
    bool Flush();

    // The entries of one kind (KeyDeleted or Value) that the record of the install in another
    // plug-in folder holds for a registry key: what was there before that install, for one that
    // now deletes or writes over the key to keep too. The record is read only where this run
    // trusts it (with administrator rights: in its protected folder, checked); none otherwise.
    std::vector<JournalEntry> EarlierStatesIn(const std::string& otherFolder, EntryKind kind, RegKey root,
                                              const std::string& path);

    // The newest entry of the file at path (any of the four file kinds), or null.
    const JournalEntry* LastFileEntry(const std::string& path) const;
    // The entry of path's first copy in this record, and whether one of its copies completed.
    const JournalEntry* FirstFileEntry(const std::string& path, bool& completed) const;

    // Every entry of the record, earlier installs' included.
    const std::vector<JournalEntry>& entries() const { return entries_; }
    // A fresh path in the backup folder (beside the record) for the previous content of an
    // overwritten file, neither there nor named by the record; the folder is made when missing.
    // Empty when it cannot be.
    std::string NewBackupPath();

    // Stops recording for a run that ends before its first change took hold: the record this
    // run began (nothing of an earlier run in it) is removed, then the empty folders it made.
    void Withdraw();
    // The folders this run made, in the order it made them.
    std::vector<std::string> FoldersOfRun() const;

private:
    // The record in recordFolder: by path when root is empty, else as LoadFor reads a protected
    // one in the records folder root. bytes: what the file held. parsed: as LoadFor keeps it.
    static RecordState Read(Files& files, TextCodec& codec, const std::string& root, const std::string& recordFolder,
                            std::string& bytes, std::vector<JournalEntry>& entries, TrustFault& fault,
                            Parsed* parsed = nullptr);
    // Stops recording where the record cannot be kept; the empty folders made so far go.
    void Abandon();

    Files& files_;
    TextCodec& codec_;
    bool armed_ = false;
    bool live_ = false;
    bool placed_ = false;
    bool headerWritten_ = false;
    bool resumeAfterCut_ = false;  // the file ends in a line a killed run cut short
    bool continued_ = false;
    bool elevated_ = false;
    std::string folder_;
    std::string recordFolder_;
    std::vector<JournalEntry> entries_;
    // The records of other installs as EarlierStatesIn last loaded them, by plug-in folder: each
    // is read again for every key this run may share with its install.
    std::map<std::string, Parsed> others_;
    // Where each file's lines are in entries_ (by upper-cased path): a repeated install looks up
    // every file it copies, in a record that grows with each run.
    struct FileLines {
        std::size_t first, last;
        bool completed;  // one of its copies was done
    };
    std::map<std::string, FileLines> fileIndex_;
    void Index(std::size_t from);  // entries_ from this one on; from 0, anew
    std::size_t written_ = 0;  // entries_ already in the file
    std::size_t firstOfRun_ = 0;  // entries_ from this one on are this run's
    int backups_ = 0;
};

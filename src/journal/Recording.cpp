#include "journal/Recording.h"

#include <deque>
#include <map>
#include <set>
#include <vector>

#include "journal/CodeGuard.h"
#include "journal/RecordPlace.h"
#include "journal/Scope.h"
#include "register/TrustedPathValue.h"
#include "text/PathText.h"
#include "text/Sha256.h"
#include "text/Text.h"

namespace {
// A library's loader key ("...\Korvel2013DLL") goes with its module's ("...\Korvel2013").
std::string ModuleKeyOf(const std::string& path) {
    const std::string upper = UpperCp936(path);
    return upper.size() > 3 && upper.compare(upper.size() - 3, 3, "DLL") == 0 ? path.substr(0, path.size() - 3) : path;
}

bool IsLoaderKeyPath(RegKey root, const std::string& path) {
    const std::string upper = UpperCp936(path);
    const std::size_t at = upper.rfind("\\APPLICATIONS\\KORVEL");
    return root == kHkeyLocalMachine && at != std::string::npos && upper.find('\\', at + 14) == std::string::npos;
}

// A profile's trusted-path value; the per-user step writes one in HKCU, and the every-user one
// under a user's hive.
bool IsTrustedPathsValue(RegKey root, const char* valueName) {
    return root != kHkeyLocalMachine && valueName != nullptr && EqualsNoCase(valueName, "TRUSTEDPATHS");
}
}  // namespace

long RecordingRegistry::OpenKey(RegKey parent, const char* subKey, RegKey& out) {
    const long result = inner_.OpenKey(parent, subKey, out);
    places_.Opened(result, out, parent, subKey);
    return result;
}

long RecordingRegistry::OpenKeyRead(RegKey parent, const char* subKey, RegKey& out) {
    const long result = inner_.OpenKeyRead(parent, subKey, out);
    places_.Opened(result, out, parent, subKey);
    return result;
}

long RecordingRegistry::CreateKey(RegKey parent, const char* path, RegKey& out) {
    KeyPlaces::Place where;
    const bool located = places_.Locate(parent, path, where);
    if (!journal_.armed() || !located) {
        const long result = inner_.CreateKey(parent, path, out);
        places_.Opened(result, out, parent, path);
        return result;
    }
    // Which levels are missing now: those the call makes, outermost first.
    KeyPlaces::Place base;
    places_.Locate(parent, base);
    std::vector<std::string> missing;
    const std::string text = path ? path : "";
    for (std::size_t start = 0; start < text.size();) {
        std::size_t end = NextSeparator(text, start);
        if (end == std::string::npos) end = text.size();
        const std::string level = text.substr(0, end);
        RegKey probe = 0;
        if (inner_.OpenKeyRead(parent, level.c_str(), probe) == kErrorSuccess)
            inner_.CloseKey(probe);
        else
            missing.push_back(NormalKeyPath(base.path + "\\" + level));
        start = end + 1;
    }
    // Recorded before they are made: a key that is then not made is found missing by the undo.
    for (const std::string& made : missing) {
        made_.insert(Format("%u|", static_cast<unsigned>(where.root)) + UpperCp936(made));
        // A loader key that another install's record says was there before it (that install
        // removed it, its own values refused): what it held comes first, as for a key deleted.
        // Not again for one this run has just deleted, whose earlier states are in already.
        const std::string owner = OwnerOf(KeyPlaces::Place{where.root, made});
        bool& handed = handedOver_[Format("%u|", static_cast<unsigned>(where.root)) + UpperCp936(made)];
        if (!owner.empty() && !handed)
            for (const JournalEntry& earlier : journal_.EarlierStatesIn(owner, EntryKind::KeyDeleted, where.root, made))
                journal_.Add(earlier);
        handed = handed || !owner.empty();
        JournalEntry entry;
        entry.kind = EntryKind::Key;
        entry.root = where.root;
        entry.path = made;
        journal_.Add(entry);
    }
    if (!missing.empty() && !journal_.Flush()) return kErrorAccessDenied;
    const long result = inner_.CreateKey(parent, path, out);
    places_.Opened(result, out, parent, path);
    return result;
}

long RecordingRegistry::ReadNow(RegKey key, const char* valueName, RecordedValue& value) {
    value.name = valueName ? valueName : "";
    std::uint32_t size = 0;
    long read = inner_.QueryValue(key, valueName, &value.type, nullptr, size);
    if (read != kErrorSuccess) return read;
    // A value larger than any the program reads whole (a user's may be hundreds of megabytes) is
    // not read: the caller takes it as unreadable.
    if (size > kLargestValueRead) return kErrorMoreData;
    std::vector<std::uint8_t> data(size ? size : 1);
    read = inner_.QueryValue(key, valueName, &value.type, data.data(), size);
    if (read == kErrorSuccess) value.bytes.assign(data.begin(), data.begin() + size);
    return read;
}

std::string RecordingRegistry::OwnerOf(const KeyPlaces::Place& place) {
    if (!IsLoaderKeyPath(place.root, place.path)) return std::string();
    const std::string module = UpperCp936(ModuleKeyOf(place.path));
    const auto known = owners_.find(module);
    if (known != owners_.end()) return known->second;
    std::string& owner = owners_[module];
    RegKey key = 0;
    if (inner_.OpenKeyRead(place.root, ModuleKeyOf(place.path).c_str(), key) != kErrorSuccess) return owner;
    RecordedValue loader;
    if (ReadNow(key, "LOADER", loader) == kErrorSuccess && (loader.type == kRegSz || loader.type == kRegExpandSz)) {
        const std::string text = loader.bytes.substr(0, loader.bytes.find('\0'));
        const std::size_t cut = LastSeparator(text);
        if (cut != std::string::npos) owner = text.substr(0, cut);
    }
    inner_.CloseKey(key);
    return owner;
}

// The install writes the value back in upper case, so what it holds after another install is not
// the user's own spelling; that install's record has it, as what the value held before its first
// write. Where the value is still just as that install's last write left it (or as the per-user
// step wrote that back in upper case), each entry takes the spelling it had there: entries that
// differ in letter case alone, so the text stays the same for the host, which reads it without
// regard to case, and the last uninstall puts back the user's own letters. A value the user has
// edited since stays as it is.
std::string RecordingRegistry::EarlierSpelling(const KeyPlaces::Place& where, const std::string& bytes) {
    const auto textOf = [](const std::string& value) { return value.substr(0, value.find('\0')); };
    const std::string current = textOf(bytes);
    const TrustedPathList now(current);
    std::set<std::string> tried;  // each install's record is read once, however often it is named
    for (const std::string& entry : now.entries()) {
        const std::string folder = TrustedPathList::FolderOf(entry);
        if (!IsPlugInFolder(folder) || !tried.insert(UpperCp936(folder)).second)
            continue;
        std::vector<JournalEntry> writes;
        for (JournalEntry& e : journal_.EarlierStatesIn(folder, EntryKind::Value, where.root, where.path))
            if (EqualsNoCase(e.value.name, "TRUSTEDPATHS")) writes.push_back(std::move(e));
        if (writes.empty() || !writes.front().hadOld || writes.front().old.type != kRegSz) continue;
        const std::string left = textOf(writes.back().value.bytes);
        if (current != left && current != UpperCp936(left)) continue;
        // Upper-cased entry -> its spellings as that record found them, in their order: an entry
        // named twice gets each back in turn.
        std::map<std::string, std::deque<std::string>> spelled;
        const TrustedPathList before(textOf(writes.front().old.bytes));
        for (const std::string& was : before.entries())
            if (!was.empty()) spelled[UpperCp936(was)].push_back(was);
        std::string text;
        for (std::size_t i = 0; i < now.entries().size(); ++i) {
            const auto found = spelled.find(UpperCp936(now.entries()[i]));
            const bool known = found != spelled.end() && !found->second.empty();
            text += (i ? ";" : "") + (known ? found->second.front() : now.entries()[i]);
            if (known && found->second.size() > 1) found->second.pop_front();
        }
        return text + bytes.substr(current.size());
    }
    return bytes;
}

long RecordingRegistry::Write(RegKey key, const char* valueName, std::uint32_t type, const std::string& bytes) {
    KeyPlaces::Place where;
    if (!journal_.armed() || !places_.Locate(key, where)) return inner_.SetValue(key, valueName, type, bytes);
    // What the value holds now goes into the record; a value that cannot be read whole is not
    // overwritten, since it could never be put back.
    RecordedValue old;
    const long read = ReadNow(key, valueName, old);
    if (read != kErrorSuccess && read != kErrorFileNotFound) return read;
    if (read == kErrorSuccess && old.type == kRegSz && IsTrustedPathsValue(where.root, valueName))
        old.bytes = EarlierSpelling(where, old.bytes);
    const std::string owner = OwnerOf(where);
    const std::string handed = Format("%u|", static_cast<unsigned>(where.root)) + UpperCp936(where.path);
    if (!owner.empty() && !handedOver_[handed]) {
        handedOver_[handed] = true;
        for (const JournalEntry& earlier : journal_.EarlierStatesIn(owner, EntryKind::Value, where.root, where.path))
            journal_.Add(earlier);
    }
    JournalEntry entry;
    entry.kind = EntryKind::Value;
    entry.root = where.root;
    entry.path = where.path;
    entry.value = RecordedValue{valueName ? valueName : "", type, bytes};
    entry.hadOld = read == kErrorSuccess;
    if (entry.hadOld) entry.old = old;
    journal_.Add(entry);
    if (!journal_.Flush()) return kErrorAccessDenied;  // never a change the record does not hold
    return inner_.SetValue(key, valueName, type, bytes);
}

long RecordingRegistry::SetDword(RegKey key, const char* valueName, std::uint32_t value) {
    std::string bytes(4, '\0');
    for (int i = 0; i < 4; ++i) bytes[i] = static_cast<char>((value >> (8 * i)) & 0xFF);
    return Write(key, valueName, kRegDword, bytes);
}

long RecordingRegistry::SetString(RegKey key, const char* valueName, const char* text, std::uint32_t byteCount) {
    return Write(key, valueName, kRegSz, text ? std::string(text, byteCount) : std::string());
}

long RecordingRegistry::SetValue(RegKey key, const char* valueName, std::uint32_t type, const std::string& bytes) {
    return Write(key, valueName, type, bytes);
}

long RecordingRegistry::DeleteKey(RegKey parent, const char* subKey) {
    KeyPlaces::Place where;
    if (!journal_.armed() || !places_.Locate(parent, subKey, where)) return inner_.DeleteKey(parent, subKey);
    // A key this run made (and removes again, its values refused) held nothing before it: the
    // "key" line already says so, and a deletion recorded would stand for an earlier state, one
    // that a later install would take over as what was there before any install.
    const std::string path = Format("%u|", static_cast<unsigned>(where.root)) + UpperCp936(where.path);
    if (made_.count(path) != 0) {
        const long deleted = inner_.DeleteKey(parent, subKey);
        if (deleted == kErrorSuccess) made_.erase(path);
        return deleted;
    }
    // What the key holds is kept in the record, so that undo can make it again; a key whose
    // values cannot all be read is not deleted.
    RegKey key = 0;
    const long opened = inner_.OpenKeyRead(parent, subKey, key);
    if (opened != kErrorSuccess) return inner_.DeleteKey(parent, subKey);  // nothing there to lose
    // The install it belonged to, as it is now: whether deleted or written over value by value.
    const std::string owner = OwnerOf(where);
    // A key with sub-keys is not deleted (the call fails, as Windows fails it): nothing to record,
    // or the undo would take the values the run then writes into it for a deletion of its own.
    std::uint32_t subKeys = 0;
    if (inner_.QuerySubKeyCount(key, subKeys) != kErrorSuccess || subKeys != 0) {
        inner_.CloseKey(key);
        return inner_.DeleteKey(parent, subKey);
    }
    JournalEntry entry;
    entry.kind = EntryKind::KeyDeleted;
    entry.root = where.root;
    entry.path = where.path;
    long listed = kErrorSuccess;
    for (std::uint32_t index = 0;; ++index) {
        RecordedValue value;
        listed = inner_.EnumValue(key, index, value.name, value.type, value.bytes);
        if (listed != kErrorSuccess) break;
        entry.values.push_back(value);
    }
    inner_.CloseKey(key);
    if (listed != kErrorNoMoreItems) return listed;
    // The key another install of the plug-in made: what that install's record kept of the key
    // before it comes first, so that undo can put that back once the other install is gone too.
    if (!owner.empty())
        for (const JournalEntry& earlier : journal_.EarlierStatesIn(owner, EntryKind::KeyDeleted, entry.root, entry.path))
            journal_.Add(earlier);
    // Made anew below: its values have no earlier states but those the deleted key holds.
    handedOver_[Format("%u|", static_cast<unsigned>(where.root)) + UpperCp936(where.path)] = true;
    journal_.Add(entry);
    if (!journal_.Flush()) return kErrorAccessDenied;
    return inner_.DeleteKey(parent, subKey);
}

namespace {
bool SameContent(Files& files, const std::string& path, std::uint64_t size, const std::string& hash) {
    std::uint64_t now = 0;
    std::string sha256;
    return files.FileSize(path, now) && now == size && files.HashFile(path, sha256) && sha256 == hash;
}

// The size and hash of a file as it is now; false when it cannot be read whole.
bool Measure(Files& files, const std::string& path, std::uint64_t& size, std::string& sha256) {
    return files.FileSize(path, size) && files.HashFile(path, sha256);
}
}  // namespace

bool RecordingFiles::Prepare(const std::string& destination, bool existed, JournalEntry& pending) {
    pending = JournalEntry{};
    pending.path = destination;
    bool completed = false;
    const JournalEntry* first = journal_.FirstFileEntry(destination, completed);
    if (first != nullptr && IsNewFile(first->kind)) {
        // Ours since the first install: whatever is there now is a copy of ours.
        pending.kind = EntryKind::PendingFile;
    } else if (first != nullptr) {
        // The content from before the first install is kept already: it is backed up once. A
        // backup a killed run left unfinished (no copy over the file followed it) is made again.
        pending.kind = EntryKind::PendingReplaced;
        pending.backup = first->backup;
        const JournalEntry* last = journal_.LastFileEntry(destination);
        if (last->kind == EntryKind::PendingReplaced) {
            pending.size = last->size;
            pending.hash = last->hash;
        } else {
            // A backup lost since cannot be told whole: the undo will leave the file.
            if (!Measure(inner_, first->backup, pending.size, pending.hash)) pending.hash = std::string(64, '0');
        }
        if (!completed && !SameContent(inner_, pending.backup, pending.size, pending.hash)) {
            if (!existed) {
                // Nothing was kept, and nothing is there to keep now: made where none was.
                pending = JournalEntry{};
                pending.kind = EntryKind::PendingFile;
                pending.path = destination;
                journal_.Add(pending);
                return journal_.Flush();
            }
            if (!Measure(inner_, destination, pending.size, pending.hash)) return false;
            journal_.Add(pending);
            return journal_.Flush() && inner_.CopyOver(destination, pending.backup, false);
        }
    } else if (existed) {
        // The previous content is kept before it is overwritten; without a copy, no overwrite.
        pending.kind = EntryKind::PendingReplaced;
        if (!Measure(inner_, destination, pending.size, pending.hash)) return false;
        pending.backup = journal_.NewBackupPath();
        if (pending.backup.empty()) return false;
        journal_.Add(pending);
        if (!journal_.Flush()) return false;
        if (!inner_.CopyOver(destination, pending.backup, true)) {
            copyError_ = inner_.LastError();
            inner_.RemoveFile(pending.backup);
            return false;
        }
        return true;
    } else {
        pending.kind = EntryKind::PendingFile;
    }
    // Written ahead already, with the others of its run of copies (a retry writes its own).
    if (pending.kind == EntryKind::PendingFile && announced_.erase(UpperCp936(destination))) return true;
    journal_.Add(pending);
    return journal_.Flush();
}

void RecordingFiles::WillCopy(const std::vector<std::string>& destinations) {
    inner_.WillCopy(destinations);
    if (!journal_.armed()) return;
    std::vector<std::string> written;
    for (const std::string& destination : destinations) {
        const std::string key = UpperCp936(destination);
        if (announced_.count(key) != 0 || !IsCanonicalPath(destination)) continue;
        bool completed = false;
        const JournalEntry* first = journal_.FirstFileEntry(destination, completed);
        const bool there = inner_.ReadAttributes(destination) != kInvalidAttributes;
        // As Prepare decides: a new file where nothing is, or a copy over one of ours.
        if (first != nullptr ? !IsNewFile(first->kind) : there) continue;
        JournalEntry pending;
        pending.kind = EntryKind::PendingFile;
        pending.path = destination;
        journal_.Add(pending);
        written.push_back(key);
    }
    if (!written.empty() && journal_.Flush()) announced_.insert(written.begin(), written.end());
}

namespace {
// The caller's watcher hears of the backup's blocks, so that its window stays alive, but with
// no bytes: they are not the install's.
class KeepAlive : public CopyWatcher {
public:
    explicit KeepAlive(CopyWatcher* inner) : inner_(inner) {}
    void Copied(std::uint64_t) override { inner_->Copied(0); }

private:
    CopyWatcher* inner_;
};
}  // namespace

bool RecordingFiles::CopyOver(const std::string& source, const std::string& destination, bool failIfExists,
                              CopyReport& report) {
    copyError_ = 0;
    if (!journal_.armed()) return inner_.CopyOver(source, destination, failIfExists, report);
    // One of a run of copies told of ahead: its destination was looked at then, and its source
    // comes from a listing, so neither is looked up again here (a name that is not there is the
    // costly lookup: the folder is searched for it in every spelling).
    const auto told = failIfExists ? announced_.end() : announced_.find(UpperCp936(destination));
    const bool announced = told != announced_.end();
    const std::uint32_t attributes = announced ? kInvalidAttributes : inner_.ReadAttributes(destination);
    // A copy that is to fail (onto a folder, or onto a file it may not replace) changes nothing.
    if (attributes != kInvalidAttributes && ((attributes & kAttrDirectory) || failIfExists))
        return inner_.CopyOver(source, destination, failIfExists);
    // A name the record's reader would refuse (a listing can give one that ends in a dot or a
    // blank) would make the whole record unusable: such a file is not copied at all.
    if (!IsCanonicalPath(destination)) {
        copyError_ = kErrorInvalidName;
        return false;
    }
    // A copy from nothing changes nothing, and needs no line (the support files are tried for
    // every release's library, most of which a package does not hold).
    if (!announced && inner_.ReadAttributes(source) == kInvalidAttributes) {
        copyError_ = static_cast<std::uint32_t>(kErrorFileNotFound);
        return false;
    }
    JournalEntry pending;
    if (!Prepare(destination, attributes != kInvalidAttributes, pending)) {
        if (copyError_ == 0) copyError_ = inner_.LastError() != 0 ? inner_.LastError() : kBackupFailed;
        unkept_.push_back(destination);
        return false;
    }
    report.hash = true;
    if (!inner_.CopyOver(source, destination, failIfExists, report)) {
        copyError_ = inner_.LastError();
        // A file of ours that another program holds open (a user reading it) cannot be made
        // anew; when it holds the very bytes of the copy already, it is the copy.
        std::uint64_t size = 0, now = 0;
        std::string sha256, there;
        if (IsNewFile(pending.kind) && Measure(inner_, destination, now, there) && Measure(inner_, source, size, sha256) &&
            now == size && there == sha256) {
            copyError_ = 0;
            report.size = size;
            report.sha256 = sha256;
            JournalEntry entry;
            entry.kind = EntryKind::File;
            entry.path = destination;
            entry.size = size;
            entry.hash = sha256;
            journal_.Add(entry);
            return true;
        }
        // A copy that failed leaves the file there as it was; one that is gone all the same (a
        // user's removed it in between) is the host's own content, back from the backup at once.
        if (!IsNewFile(pending.kind) && !pending.backup.empty() &&
            inner_.ReadAttributes(destination) == kInvalidAttributes)
            inner_.CopyOver(pending.backup, destination, true);
        return false;
    }
    JournalEntry entry;
    entry.kind = IsNewFile(pending.kind) ? EntryKind::File : EntryKind::Replaced;
    entry.path = destination;
    entry.backup = pending.backup;
    entry.size = report.size;
    // A hash the engine could not give: undo will find the file changed and keep it.
    entry.hash = report.sha256.size() == 64 ? report.sha256 : std::string(64, '0');
    journal_.Add(entry);
    return true;
}

namespace {
// A folder made by one of the calls that make folders: recorded when it was not there before.
template <typename Make>
bool RecordFolder(Journal& journal, const std::string& path, bool existed, Make make) {
    // Recorded before it is made; one that is then not made is found missing by the undo.
    if (!existed && journal.armed()) {
        JournalEntry entry;
        entry.kind = EntryKind::Folder;
        entry.path = path;
        journal.Add(entry);
        journal.Flush();  // written once the run is live; before that, kept for its first write
    }
    return make();
}
}  // namespace

bool RecordingFiles::There(const std::string& path) { return inner_.ReadAttributes(path) != kInvalidAttributes; }

int RecordingFiles::MakeDir(const std::string& path) {
    int result = -1;
    RecordFolder(journal_, path, There(path), [&] { return (result = inner_.MakeDir(path)) == 0; });
    return result;
}


bool RecordingFiles::CreateFolder(const std::string& path) {
    return RecordFolder(journal_, path, There(path), [&] { return inner_.CreateFolder(path); });
}

bool RecordingFiles::MakeFolderAnew(const std::string& path, const std::string& earlier) {
    const std::uint32_t before = inner_.ReadAttributes(earlier);
    const bool existed = There(path) || (before != kInvalidAttributes && (before & kAttrDirectory));
    return RecordFolder(journal_, path, existed, [&] { return inner_.MakeFolderAnew(path, earlier); });
}

bool RecordingFiles::CreateLockedFolder(const std::string& path) {
    return RecordFolder(journal_, path, There(path), [&] { return inner_.CreateLockedFolder(path); });
}

#include "journal/Undo.h"

#include <algorithm>
#include <map>
#include <optional>

#include "journal/CodeGuard.h"
#include "journal/RecordPlace.h"
#include "journal/UninstallEntry.h"
#include "text/PathText.h"
#include "text/Text.h"
#include "register/TrustedPathValue.h"
#include "register/UserHives.h"

namespace {
const char kChanged[] = "安装后已被更改，保留不动";
const char kNotRemoved[] = "无法删除";
const char kNotRestored[] = "无法还原";
const char kUnreadable[] = "无法完整读取，保留不动";
const char kLinked[] = "用户的注册表中此处是指向别处的链接，未跟随，保留不动";
const char kNotEmpty[] = "文件夹中还有其他文件，保留不动";
const char kBackupKept[] = "原文件的备份保留在 ";
const std::string kOtherUser = "另一个用户的AutoCAD配置，本用户无法更改：";
const char kShared[] = "另一处的插件安装仍在使用，保留不动";
const char kIntoRemoved[] = "未还原：它会指向正被删除的插件文件夹中的文件";
const std::string kNotHandedOn = "另一处的插件安装仍在使用，但无法写入它的卸载记录：";

bool IsText(std::uint32_t type) { return type == kRegSz || type == kRegExpandSz || type == kRegMultiSz; }

// Texts compare without the terminating zeros some writers store (Wine stores one the count left
// out); other data byte for byte.
bool SameValue(const RecordedValue& a, const RecordedValue& b) {
    if (a.type != b.type) return false;
    if (!IsText(a.type)) return a.bytes == b.bytes;
    const auto trimmed = [](std::string s) {
        while (!s.empty() && s.back() == '\0') s.pop_back();
        return s;
    };
    return trimmed(a.bytes) == trimmed(b.bytes);
}

bool SamePath(const std::string& a, const std::string& b) { return !a.empty() && EqualsNoCase(a, b); }

// A profile's trusted-path value (a user's registry, never the machine's).
bool IsTrustedPaths(const JournalEntry& e) {
    return e.root != kHkeyLocalMachine && EqualsNoCase(e.value.name, "TRUSTEDPATHS");
}

std::string TextOf(const RecordedValue& v) {
    std::string text = v.bytes;
    while (!text.empty() && text.back() == '\0') text.pop_back();
    return text;
}

// The keys the machine has one of, whichever install wrote them last: the entry in the list of
// programs and the component that trusts the folder for every user. They go with the entry.
bool IsEntryKey(const JournalEntry& e) {
    return EqualsNoCase(e.path, kUninstallKey) || (e.root == kHkeyLocalMachine && EqualsNoCase(e.path, kActiveSetupKey));
}
// The name a value of those keys is handed on by.
std::string EntryValueName(const JournalEntry& e) { return UpperCp936(e.path + "\\" + e.value.name); }
bool IsLoaderKey(const JournalEntry& e) {
    return e.root == kHkeyLocalMachine && UpperCp936(e.path).find("\\APPLICATIONS\\KORVEL") != std::string::npos;
}
// The module's key of a loader key: "...\Korvel2013DLL" belongs with "...\Korvel2013".
std::string ModuleKey(const std::string& path) {
    const std::string upper = UpperCp936(path);
    return upper.size() > 3 && upper.compare(upper.size() - 3, 3, "DLL") == 0 ? path.substr(0, path.size() - 3) : path;
}

// The LOADER text a deleted key's state held, or none.
std::string LoaderOf(const JournalEntry& e) {
    std::string loader;
    for (const RecordedValue& v : e.values)
        if (EqualsNoCase(v.name, "LOADER") && IsText(v.type)) loader = TextOf(v);
    return loader;
}

// Whether a state's LOADER names a module no install of the plug-in placed: one in no plug-in's
// folder (the machine's own, an older version's elsewhere, another vendor's).
bool MachinesOwnLoader(const JournalEntry& e) {
    const std::string loader = LoaderOf(e);
    const std::size_t cut = LastSeparator(loader);
    return cut != std::string::npos && !IsPlugInFolder(loader.substr(0, cut));
}

// Whether entries[i] is a loader key's state another install's uninstall handed on (see
// HandOnStateBefore): a module key's deletion after a line of a run that made the key, holding the
// machine's own LOADER. A run killed after it deleted the key leaves a state there too, but one an
// install wrote: ours, or another install's. (A library's key's LOADER names the host's library,
// whoever wrote it.) Lines after it may make the key again: a later run of ours, or an uninstall
// handing on a key it made.
bool HandedStateBefore(const std::vector<JournalEntry>& entries, std::size_t i) {
    const JournalEntry& e = entries[i];
    if (e.kind != EntryKind::KeyDeleted || !EqualsNoCase(ModuleKey(e.path), e.path) || !MachinesOwnLoader(e))
        return false;
    return std::any_of(entries.begin(), entries.begin() + i, [&e](const JournalEntry& t) {
        return t.kind == EntryKind::Key && t.root == e.root && EqualsNoCase(t.path, e.path);
    });
}

// Size first: a file of another size has changed, and is not read at all.
bool SameContent(Files& files, const std::string& path, std::uint64_t size, const std::string& hash) {
    std::uint64_t now = 0;
    std::string sha256;
    return files.FileSize(path, now) && now == size && files.HashFile(path, sha256) && sha256 == hash;
}

// One entry per registry value and per file where several runs into the folder wrote them,
// placed where the newest was made: what the newest left, and what was there before the first.
// Backups that records of older versions made of the plug-in's own copies go in `stray`.
std::vector<std::optional<JournalEntry>> Collapse(const std::vector<JournalEntry>& entries,
                                                  std::vector<std::string>& stray) {
    std::vector<std::optional<JournalEntry>> plan(entries.size());
    std::map<std::string, std::size_t> latest;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const JournalEntry& e = entries[i];
        std::string group;
        if (e.kind == EntryKind::Value)
            group = Format("v%u|", static_cast<unsigned>(e.root)) + UpperCp936(e.path) + "|" + UpperCp936(e.value.name);
        else if (IsFileEntry(e.kind))
            group = "f|" + UpperCp936(e.path);
        plan[i] = e;
        if (group.empty()) continue;
        const auto found = latest.find(group);
        if (found != latest.end()) {
            const JournalEntry& first = *plan[found->second];
            JournalEntry& merged = *plan[i];
            if (e.kind == EntryKind::Value) {
                merged.hadOld = first.hadOld;
                merged.old = first.old;
                // A trusted-path value that a later run found in the user's own letters again
                // (an uninstall in between put them back) lends them to what the first found.
                if (first.hadOld && e.hadOld && IsTrustedPaths(e) && first.old.type == kRegSz && e.old.type == kRegSz) {
                    TrustedPathList list(TextOf(first.old));
                    list.RespellAs(TrustedPathList(TextOf(e.old)));
                    merged.old.bytes = list.Text();
                }
                // What the earlier runs wrote is ours too (a run killed before its last write).
                merged.values = first.values;
                merged.values.push_back(first.value);
            } else {
                const bool done = e.kind == EntryKind::File || e.kind == EntryKind::Replaced;
                if (StartsAnew(first, e)) {
                    if (!first.backup.empty()) stray.push_back(first.backup);
                    merged.backup.clear();
                } else if (IsNewFile(first.kind)) {
                    merged.kind = done ? EntryKind::File : EntryKind::PendingFile;
                    if (!e.backup.empty()) stray.push_back(e.backup);
                    merged.backup.clear();
                } else {
                    merged.kind = done ? EntryKind::Replaced : EntryKind::PendingReplaced;
                    if (!e.backup.empty() && !EqualsNoCase(e.backup, first.backup)) stray.push_back(e.backup);
                    merged.backup = first.backup;
                }
            }
            plan[found->second].reset();
        }
        latest[group] = i;
    }
    return plan;
}

class Replay {
public:
    Replay(Registry& registry, Files& files, const std::vector<JournalEntry>& entries, const std::string& folder,
           const std::string& self, const std::vector<OtherInstall>& others)
        : registry_(registry), files_(files), entries_(entries), folder_(folder), self_(self), others_(others) {
        std::string registered;
        if (FindInstalledFolder(registry_, registered)) entryHolder_ = Other(registered);
        entryElsewhere_ = entryHolder_ != nullptr;
        // Where the install the entry named before ours is gone, the entry goes to another
        // install present, as its own record wrote it.
        for (const OtherInstall& other : others_) {
            for (const JournalEntry& e : other.entries)
                if (e.kind == EntryKind::Value && IsEntryKey(e)) donor_[EntryValueName(e)] = e.value;
            if (!donor_.empty()) break;
        }
        // The installs the entry named before one of ours or of another present, gone now.
        const auto gone = [this](const std::vector<JournalEntry>& record) {
            for (const JournalEntry& e : record)
                if (e.kind == EntryKind::Value && IsEntryKey(e) && EqualsNoCase(e.value.name, "InstallLocation") &&
                    e.hadOld && IsText(e.old.type) && !SamePath(TextOf(e.old), folder_) && Other(TextOf(e.old)) == nullptr)
                    gone_.push_back(TextOf(e.old));
        };
        gone(entries_);
        for (const OtherInstall& other : others_) gone(other.entries);
        // What our first run found in the entry: another program's where its InstallLocation
        // named no plug-in folder of ours.
        const JournalEntry* location = nullptr;
        for (const JournalEntry& e : entries_)
            if (location == nullptr && e.kind == EntryKind::Value && EqualsNoCase(e.path, kUninstallKey) &&
                EqualsNoCase(e.value.name, "InstallLocation"))
                location = &e;
        foreignEntry_ = location != nullptr && location->hadOld && IsText(location->old.type) &&
                        !IsPlugInFolder(TextOf(location->old));
    }

    // The install the entry named before ours, when it is present still: then it gets it back, as
    // its own record wrote it. True when it is present. An install there killed before it wrote
    // the entry is not listed, and gets nothing: the entry would name an uninstaller it never
    // finished placing.
    bool SetEarlierEntry(const std::string& folder) {
        const OtherInstall* earlier = Other(folder);
        std::map<std::string, RecordedValue> given;
        if (earlier != nullptr)
            for (const JournalEntry& e : earlier->entries)
                if (e.kind == EntryKind::Value && IsEntryKey(e)) given[EntryValueName(e)] = e.value;
        if (given.empty()) return false;
        earlierEntryPresent_ = true;
        earlier_ = earlier;
        donor_ = std::move(given);
        return true;
    }

    // A library's key of any product left naming a host's library this uninstall removed: no
    // record takes it off any more (the install that wrote it is gone, or was killed before it
    // did), and whoever may write there later would have a library of theirs loaded. It goes,
    // where it holds only what installs write there; else its LOADER goes.
    void LibraryKeysNamingRemoved() {
        if (removedHostFiles_.empty()) return;
        for (const std::string top : {"SOFTWARE\\Autodesk\\AutoCAD", "SOFTWARE\\Wow6432Node\\Autodesk\\AutoCAD"})
            for (const std::string& release : SubKeys(top))
                for (const std::string& product : SubKeys(top + "\\" + release)) {
                    const std::string applications = top + "\\" + release + "\\" + product + "\\Applications";
                    for (const std::string& name : SubKeys(applications))
                        if (UpperCp936(name).rfind("KORVEL", 0) == 0 && ModuleKey(name) != name)
                            TakeOffIfNamingRemoved(applications + "\\" + name);
                }
    }

    std::vector<std::string> SubKeys(const std::string& path) {
        std::vector<std::string> names;
        KeyHandle key(registry_);
        if (registry_.OpenKeyRead(kHkeyLocalMachine, path.c_str(), key.out()) != kErrorSuccess || !key) return names;
        char name[256];
        for (std::uint32_t i = 0;; ++i) {
            std::uint32_t length = sizeof name;
            if (registry_.EnumKey(key.get(), i, name, length) != kErrorSuccess) break;
            name[sizeof name - 1] = '\0';
            if (name[0] != '\0') names.emplace_back(name);
        }
        return names;
    }

    void TakeOffIfNamingRemoved(const std::string& library) {
        KeyHandle key(registry_);
        RecordedValue loader;
        if (registry_.OpenKey(kHkeyLocalMachine, library.c_str(), key.out()) != kErrorSuccess || !key ||
            Read(key.get(), "LOADER", loader) != kErrorSuccess || !IsText(loader.type))
            return;
        const std::string text = TextOf(loader);
        if (!Missing(text) || std::none_of(removedHostFiles_.begin(), removedHostFiles_.end(),
                                           [&](const std::string& removed) { return SamePath(removed, text); }))
            return;
        std::uint32_t subKeys = 1;
        bool installs = registry_.QuerySubKeyCount(key.get(), subKeys) == kErrorSuccess && subKeys == 0;
        std::string name, data;
        std::uint32_t type = 0;
        // Only the end of the list ends it: a value that cannot be listed (too large, say) is
        // someone else's too.
        for (std::uint32_t i = 0; installs; ++i) {
            const long listed = registry_.EnumValue(key.get(), i, name, type, data);
            if (listed == kErrorNoMoreItems) break;
            installs = listed == kErrorSuccess && (EqualsNoCase(name, "LOADER") || EqualsNoCase(name, "MANAGED") ||
                                                   EqualsNoCase(name, "LOADCTRLS"));
        }
        JournalEntry libraryKey;
        libraryKey.root = kHkeyLocalMachine;
        libraryKey.path = library;
        const std::string what = KeyName(libraryKey);
        if (!installs) {
            if (registry_.DeleteValue(key.get(), "LOADER") != kErrorSuccess) Left(what + "\\LOADER", kNotRemoved);
            return;
        }
        key.Close();
        KeyHandle parent(registry_);
        std::string last;
        if (!Parent(libraryKey, parent, last) || registry_.DeleteKey(parent.get(), last.c_str()) != kErrorSuccess)
            Left(what, kNotRemoved);
    }

    // A module's loader key whose values ours wrote over (it could not be deleted): its earlier
    // "LOADER" texts, oldest first, the first of them what was there before any install. The
    // newest that names the module of another install present is the one the key goes back to.
    void SetLoaderChain(const JournalEntry& loader) {
        std::vector<RecordedValue> chain;
        if (loader.hadOld) chain.push_back(loader.old);
        chain.insert(chain.end(), loader.values.begin(), loader.values.end());
        for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
            const std::string text = TextOf(*it);
            const std::size_t cut = LastSeparator(text);
            const OtherInstall* other = IsText(it->type) && cut != std::string::npos ? Other(text.substr(0, cut)) : nullptr;
            if (other != nullptr) {
                loaderDonors_[UpperCp936(ModuleKey(loader.path))] = other;
                return;
            }
        }
    }

    void Entry(const JournalEntry& given) {
        // Another account's profiles are changed where its hive is loaded now.
        JournalEntry moved;
        const bool move = given.root == kHkeyCurrentUser && !otherUser.empty() && otherHiveLoaded_;
        if (move) {
            moved = given;
            moved.root = kHkeyUsers;
            moved.path = otherUser + "\\" + given.path;
        }
        const JournalEntry& e = move ? moved : given;
        switch (e.kind) {
            case EntryKind::Value: Value(e); break;
            case EntryKind::Key: Key(e); break;
            case EntryKind::KeyDeleted: KeyDeleted(e); break;
            case EntryKind::File: File(e); break;
            case EntryKind::Replaced: Replaced(e); break;
            case EntryKind::Folder: Folder(e); break;
            case EntryKind::PendingFile: PendingFile(e); break;
            case EntryKind::PendingReplaced: PendingReplaced(e); break;
            case EntryKind::User: Done(); break;
        }
    }

    // The account whose HKEY_CURRENT_USER the record's entries change, when not this one.
    void SetOtherUser(const std::string& sid) {
        otherUser = sid;
        KeyHandle hive(registry_);
        otherHiveLoaded_ = registry_.OpenKeyRead(kHkeyUsers, sid.c_str(), hive.out()) == kErrorSuccess && hive;
    }
    std::string otherUser;

    // Where the entry about to be replayed stands in the record.
    void At(std::size_t index) { at_ = index; }

    // Whether the key of e was made again from the record.
    bool IsMade(const JournalEntry& e) const {
        for (const std::string& made : restored_)
            if (EqualsNoCase(made, Format("%u|", static_cast<unsigned>(e.root)) + e.path)) return true;
        return false;
    }

    UndoResult result;

    // How the report names the key of e.
    static std::string KeyName(const JournalEntry& e) {
        const char* root = e.root == kHkeyLocalMachine ? "HKEY_LOCAL_MACHINE\\"
                           : e.root == kHkeyUsers      ? "HKEY_USERS\\"
                                                       : "HKEY_CURRENT_USER\\";
        return root + e.path;
    }

private:
    void Left(const std::string& what, const std::string& why) { result.left.push_back({what, why}); }
    // Whether the hive that path (below HKEY_USERS) lies in is loaded.
    bool HiveLoaded(const std::string& path) {
        KeyHandle hive(registry_);
        return registry_.OpenKeyRead(kHkeyUsers, path.substr(0, path.find('\\')).c_str(), hive.out()) == kErrorSuccess &&
               hive;
    }
    void Done() { ++result.undone; }

    const OtherInstall* Other(const std::string& folder) const {
        for (const OtherInstall& other : others_)
            if (SamePath(other.folder, folder) && !SamePath(folder, folder_)) return &other;
        return nullptr;
    }

    // The other install whose record names the key or something in it.
    const OtherInstall* Holder(const JournalEntry& e) const {
        for (const OtherInstall& other : others_)
            for (const JournalEntry& t : other.entries)
                if (t.root == e.root && !IsFileEntry(t.kind) && t.kind != EntryKind::Folder &&
                    (EqualsNoCase(t.path, e.path) || Within(t.path, e.path)))
                    return &other;
        return nullptr;
    }

    const OtherInstall* LoaderDonor(const JournalEntry& e) const {
        const auto found = loaderDonors_.find(UpperCp936(ModuleKey(e.path)));
        return found == loaderDonors_.end() ? nullptr : found->second;
    }


    // Reads a value: kErrorSuccess, kErrorFileNotFound, or a failure.
    long Read(RegKey key, const std::string& name, RecordedValue& value) {
        value.name = name;
        std::uint32_t size = 0;
        long read = registry_.QueryValue(key, name.c_str(), &value.type, nullptr, size);
        if (read != kErrorSuccess) return read;
        // A value larger than any the program reads whole (a user's may be hundreds of megabytes) is
        // not read: the caller takes it as unreadable.
        if (size > kLargestValueRead) return kErrorMoreData;
        std::vector<std::uint8_t> data(size ? size : 1);
        read = registry_.QueryValue(key, name.c_str(), &value.type, data.data(), size);
        if (read == kErrorSuccess) value.bytes.assign(data.begin(), data.begin() + size);
        return read;
    }

    // A loader key that names another install's module now: that install's, and its record's.
    bool LoaderElsewhere(const JournalEntry& e) { return ModuleHolder(e) != nullptr; }

    // The install whose module the key's module key names now, when another's.
    const OtherInstall* ModuleHolder(const JournalEntry& e) {
        if (!IsLoaderKey(e)) return nullptr;
        KeyHandle key(registry_);
        RecordedValue loader;
        if (registry_.OpenKeyRead(e.root, ModuleKey(e.path).c_str(), key.out()) != kErrorSuccess || !key ||
            Read(key.get(), "LOADER", loader) != kErrorSuccess || !IsText(loader.type))
            return nullptr;
        // Another install's module; not a value this uninstall has just put back as it was
        // before (an older version's module, say), which would leave the key's earlier state out.
        const std::string text = TextOf(loader);
        for (const OtherInstall& other : others_)
            if (!SamePath(other.folder, folder_) && Within(text, other.folder)) return &other;
        return nullptr;
    }

    // What a loader key held before our first run deleted it, where the key is another
    // install's now whose record made it, finding none: that install came while the key was gone
    // (our run was killed before it made it again, or before it wrote its values), and knows
    // nothing of what was there. Its record gets the state, which its uninstall puts back instead
    // of any it found (see HandedStateBefore).
    void HandOnStateBefore(const JournalEntry& e) {
        const OtherInstall* holder = ModuleHolder(e);
        const std::size_t at = std::min(at_, entries_.size());
        const auto onKey = [&e](const JournalEntry& t) { return t.root == e.root && EqualsNoCase(t.path, e.path); };
        if (holder == nullptr || !EqualsNoCase(ModuleKey(e.path), e.path) || !MachinesOwnLoader(e) ||
            std::any_of(entries_.begin(), entries_.begin() + at, onKey))
            return;
        // It found none, or what a run of ours had left (the key made again, empty, or with our
        // module); and no state of a third install is in its record, which this would hide.
        bool made = false;
        const std::vector<JournalEntry>& theirs = holder->entries;
        for (std::size_t i = 0; i < theirs.size(); ++i) {
            const JournalEntry& t = theirs[i];
            if (!onKey(t)) continue;
            if ((t.kind == EntryKind::Value && t.hadOld) || HandedStateBefore(theirs, i))
                return;  // values it wrote over, or a state handed on already
            const std::string loader = LoaderOf(t);
            if (t.kind == EntryKind::KeyDeleted && !loader.empty() && !Within(loader, folder_) &&
                (!made || !Within(loader, holder->folder)))
                return;
            made = made || t.kind == EntryKind::Key;
        }
        if (made) handed.push_back({holder, e});
    }

    // A library's key of ours whose module key another install took over, killed before it came
    // to the library's key: that install's record gets what ours wrote there, so that its
    // uninstall takes it off with its module.
    bool HandToModuleHolder(const JournalEntry& e) {
        const OtherInstall* holder = ModuleHolder(e);
        if (holder == nullptr) return false;
        if (Holder(e) == nullptr && !EqualsNoCase(ModuleKey(e.path), e.path)) handed.push_back({holder, e});
        return true;
    }

    // Whether the state a key had when e deleted it was this record's own: the record's last word
    // on the key before e made or wrote it (an earlier install into this folder, or one killed
    // before it wrote a module), and, for a library's key, no other install's module took its
    // module key over since (with administrator rights a later install's record does not hold
    // the earlier installs' states, so that is the only sign of one in between).
    bool OwnState(const JournalEntry& e) {
        std::size_t last = std::min(at_, entries_.size());
        while (last > 0 && (entries_[last - 1].root != e.root || !EqualsNoCase(entries_[last - 1].path, e.path))) --last;
        if (last == 0 || (entries_[last - 1].kind != EntryKind::Key && entries_[last - 1].kind != EntryKind::Value))
            return false;
        const std::string module = ModuleKey(e.path);
        for (std::size_t i = last; i < at_ && i < entries_.size() && module != e.path; ++i) {
            const JournalEntry& t = entries_[i];
            if (t.root != e.root || !EqualsNoCase(t.path, module)) continue;
            std::string named;
            if (t.kind == EntryKind::KeyDeleted) named = LoaderOf(t);
            if (t.kind == EntryKind::Value && EqualsNoCase(t.value.name, "LOADER") && t.hadOld && IsText(t.old.type))
                named = TextOf(t.old);
            if (!named.empty() && !Within(named, folder_)) return false;
        }
        return true;
    }

    // Whether the state a library's key had when e deleted it is an install's: its LOADER names
    // the host's library that installs copy and register (this record copied it, or wrote that
    // LOADER). A state without one (the machine's own, taken over from another record before the
    // key was made, say) is not.
    bool InstallsState(const JournalEntry& e) const {
        const std::string loader = LoaderOf(e);
        const auto installs = [&](const JournalEntry& t) {
            return (IsFileEntry(t.kind) && SamePath(t.path, loader)) ||
                   (t.kind == EntryKind::Value && t.root == e.root && EqualsNoCase(t.path, e.path) &&
                    EqualsNoCase(t.value.name, "LOADER") && IsText(t.value.type) && SamePath(TextOf(t.value), loader));
        };
        return !loader.empty() && std::any_of(entries_.begin(), entries_.end(), installs);
    }

    // Whether a library's key held, when this record's run deleted it, the values of another
    // install that is gone now: the run's module key named that install's module as it was
    // deleted just before. What the key held before that install is in the record ahead of this
    // entry (its record's states, taken over), or was nothing at all; that install's own values
    // name a host's library that is not its any more.
    bool StateOfInstallGone(const JournalEntry& e) {
        if (!InstallsState(e)) return false;
        const std::size_t at = std::min(at_, entries_.size());
        const auto samePath = [&e](const JournalEntry& t, const std::string& path) {
            return t.root == e.root && EqualsNoCase(t.path, path);
        };
        // Only the state this run found: states taken over from another record come before it,
        // each followed by the next.
        for (std::size_t i = at + 1; i < entries_.size(); ++i)
            if (samePath(entries_[i], e.path)) {
                if (entries_[i].kind == EntryKind::KeyDeleted) return false;
                break;
            }
        std::string folder;
        if (!ModuleFolderBefore(e, folder)) return false;
        return IsPlugInFolder(folder) && !SamePath(folder, folder_) && Other(folder) == nullptr;
    }

    // The folder of the module the library's key's module key named as the run that deleted the
    // library's key (e) found it: deleted, or (with a sub-key) its LOADER written over, just
    // before. False when that run did not change it before e, or an earlier run's entry on the
    // library's key comes between.
    bool ModuleFolderBefore(const JournalEntry& e, std::string& folder) {
        const std::size_t at = std::min(at_, entries_.size());
        const auto samePath = [&e](const JournalEntry& t, const std::string& path) {
            return t.root == e.root && EqualsNoCase(t.path, path);
        };
        const std::string module = ModuleKey(e.path);
        for (std::size_t i = at; i > 0; --i) {
            const JournalEntry& t = entries_[i - 1];
            if (t.kind == EntryKind::User) return false;  // the run began: its module key was not deleted
            if (samePath(t, e.path)) {
                if (t.kind == EntryKind::KeyDeleted) continue;  // a state taken over, just ahead
                return false;  // an earlier run's: the module key before it is not this run's
            }
            if (!samePath(t, module)) continue;
            std::string text;
            if (t.kind == EntryKind::KeyDeleted) {
                text = LoaderOf(t);
            } else if (t.kind == EntryKind::Value && EqualsNoCase(t.value.name, "LOADER") && t.hadOld) {
                if (IsText(t.old.type)) text = TextOf(t.old);
            } else {  // made anew after it was deleted
                continue;
            }
            const std::size_t cut = LastSeparator(text);
            if (cut == std::string::npos) return false;
            folder = text.substr(0, cut);
            return true;
        }
        return false;
    }

    // Whether a library's key held, when this record's run deleted it, what it held while its
    // module key named the module of another install present that was killed before it wrote the
    // library's key's values: that install's record writes nothing there (at most it deleted the
    // key, or made it empty), so no uninstall but this one would ever take those values off
    // again, and the key is not made again. (Every install writes the same values there; that
    // install, run again, writes them anew.)
    bool StateBehindKilledInstall(const JournalEntry& e) {
        std::string folder;
        if (!InstallsState(e) || !ModuleFolderBefore(e, folder)) return false;
        const OtherInstall* other = Other(folder);
        return other != nullptr && std::none_of(other->entries.begin(), other->entries.end(), [&e](const JournalEntry& t) {
                   return t.root == e.root && EqualsNoCase(t.path, e.path) && t.kind == EntryKind::Value;
               });
    }

    // A loader key whose module lies in the folder being removed, or is gone (anyone may make its
    // folder again and put a module there), or whose state was this record's own: never made
    // again. One that was there before, even empty, is.
    bool PointsIntoGone(const JournalEntry& e) {
        const bool library = ModuleKey(e.path) != e.path;
        if (library && (OwnState(e) || StateOfInstallGone(e) || StateBehindKilledInstall(e))) return true;
        for (const RecordedValue& v : e.values) {
            if (!EqualsNoCase(v.name, "LOADER") || !IsText(v.type)) continue;
            const std::string text = TextOf(v);
            // A name that is no full path (a variable, a module the host finds on its search
            // path) is the machine's own: it is tried, and the check where it is written decides.
            if (!IsAbsolutePath(text)) return false;
            // A module gone from a plug-in's folder, or a host's library an install placed, is no
            // one's now. The machine's own module gone from elsewhere is tried likewise: where
            // that check refuses it, the key is named as left, not passed over.
            const bool ownModule = !library && !IsPlugInFolder(text.substr(0, LastSeparator(text)));
            return Within(text, folder_) || (Missing(text) && !ownModule) || InGoneInstall(text) ||
                   ModuleOfInstallNotHoldingKey(e, text);
        }
        return OwnState(e);
    }

    // Whether loader names the module of another install present whose record never wrote the
    // key's LOADER: that install (run again without the release, after its uninstall left the key
    // to ours; or killed before it came to the key) would never take the value off, and would
    // remove the module.
    bool ModuleOfInstallNotHoldingKey(const JournalEntry& e, const std::string& loader) const {
        const std::size_t cut = LastSeparator(loader);
        const OtherInstall* other = cut == std::string::npos ? nullptr : Other(loader.substr(0, cut));
        return other != nullptr && std::none_of(other->entries.begin(), other->entries.end(), [&e](const JournalEntry& t) {
                   return t.kind == EntryKind::Value && t.root == e.root && EqualsNoCase(t.path, e.path) &&
                          EqualsNoCase(t.value.name, "LOADER");
               });
    }

    // Whether path lies in the folder of an install gone that the entry named before ours: what
    // is there now (an earlier version's module its uninstall put back, say) is not its module.
    bool InGoneInstall(const std::string& path) const {
        for (const std::string& gone : gone_)
            if (Within(path, gone)) return true;
        return false;
    }

    // An entry of a trusted-path value that names the plug-in folder of an install gone, or
    // of this one.
    bool GoneInstall(const std::string& entry) {
        const std::string folder = TrustedPathList::FolderOf(entry);
        if (!IsPlugInFolder(folder)) return false;
        return SamePath(folder, folder_) || (Other(folder) == nullptr && IsAbsolutePath(folder));
    }

    // value without the entries of installs gone; `onlyGone` when it held nothing else.
    std::string WithoutGone(const std::string& value, bool& onlyGone) {
        TrustedPathList list(value);
        const bool dropped = list.Remove([this](const std::string& entry) { return GoneInstall(entry); });
        const std::string kept = list.Text();
        onlyGone = dropped && kept.empty();
        return dropped ? kept : value;
    }

    // Puts back what the value held before the first install into this folder, without what
    // installs gone since had added: deleted when that leaves nothing of anyone else's.
    void Restore(RegKey key, const JournalEntry& e, const std::string& what) {
        bool remove = !e.hadOld;
        RecordedValue target = e.old;
        if (e.hadOld && IsTrustedPaths(e) && target.type == kRegSz) {
            bool onlyGone = false;
            const std::string text = WithoutGone(TextOf(target), onlyGone);
            if (text != TextOf(target)) target.bytes = text;
            remove = onlyGone;
        }
        // Also where the entry was not there before our first install: another install made since
        // (and then ours again) still needs it.
        if (IsEntryKey(e)) {
            const auto given = donor_.find(EntryValueName(e));
            if (given != donor_.end()) {
                target = given->second;
                remove = false;
                // The install that gets the entry back learns what the entry named before ours,
                // so that its own uninstall hands the entry on past ours.
                const std::vector<const JournalEntry*> chain = EntriesBefore(entries_, folder_);
                const auto named = [&](std::size_t i) {
                    return earlier_ != nullptr && SamePath(TextOf(chain[i]->old), earlier_->folder);
                };
                std::size_t at = chain.size();
                while (at > 0 && !named(at - 1)) --at;
                while (at > 0 && named(at - 1)) --at;
                if (EqualsNoCase(e.value.name, "InstallLocation") && at > 0 && at < chain.size()) {
                    JournalEntry before = e;
                    before.value = given->second;
                    before.hadOld = true;
                    before.old = chain[at - 1]->old;
                    before.values.clear();
                    handed.push_back({earlier_, before});
                }
            } else if (!earlierEntryPresent_) {
                // The entry of an install gone goes; another program's that ours replaced (an
                // older version's, installed elsewhere) comes back as it was, checked where it
                // is written as every value that names a program is.
                remove = !foreignEntry_ || !e.hadOld;
            } else if (e.hadOld && CodeGuard::NamesCode(e.root, e.path, e.value.name) &&
                       !Within(CodeGuard::NamedFile(e.value.name, TextOf(e.old)), earlier_->folder)) {
                remove = true;  // what ours replaced names another install's program, not its
            } else if (e.hadOld) {
                // The install present that gets the entry back did not write this value (killed
                // before it came to it): it gets what ours replaced, and its record learns that it
                // holds it, so that its uninstall takes it off too.
                JournalEntry given = e;
                given.value = e.old;
                given.hadOld = false;
                given.values.clear();
                handed.push_back({earlier_, given});
            }
        }
        // A loader key another install present wrote before ours gets back what that install's
        // record wrote; with none present, what was there before any of them.
        if (const OtherInstall* donor = IsLoaderKey(e) ? LoaderDonor(e) : nullptr) {
            remove = true;
            for (const JournalEntry& t : donor->entries) {
                if (t.kind == EntryKind::Value && t.root == e.root && EqualsNoCase(t.path, e.path) &&
                    EqualsNoCase(t.value.name, e.value.name)) {
                    target = t.value;
                    remove = false;
                }
            }
        }
        if (!remove && IsLoaderKey(e) && EqualsNoCase(e.value.name, "LOADER") && IsText(target.type) &&
            ModuleOfInstallNotHoldingKey(e, TextOf(target)))
            remove = true;
        // The machine's own earlier value that names code in the folder being removed (left
        // dangling by an older version, or a file that was there before ours) would name a folder
        // that is going, or bytes that are not ours once ours are gone: it goes too.
        if (!remove && IsText(target.type) && CodeGuard::NamesCode(e.root, e.path, e.value.name) &&
            Within(CodeGuard::NamedFile(e.value.name, TextOf(target)), folder_)) {
            registry_.DeleteValue(key, e.value.name.c_str());
            return Left(what, kIntoRemoved);
        }
        const long undone = remove ? registry_.DeleteValue(key, e.value.name.c_str())
                                   : registry_.SetValue(key, e.value.name.c_str(), target.type, target.bytes);
        if (undone != kErrorSuccess && !(remove && undone == kErrorFileNotFound)) {
            // A value that names code and may not be put back (its file is gone, or others may
            // change it) does not stay ours either: it would name a folder that is going.
            if (!remove && CodeGuard::NamesCode(e.root, e.path, e.value.name))
                registry_.DeleteValue(key, e.value.name.c_str());
            return Left(what, kNotRestored);
        }
        Done();
    }

    // The entry names a later install, whose record says the entry named ours before it: that
    // record learns what the entry named before ours, so that its uninstall hands the entry on
    // past ours, which is gone by then.
    void HandOnEarlierEntry(const JournalEntry& e) {
        if (!EqualsNoCase(e.value.name, "InstallLocation")) return;
        const std::vector<const JournalEntry*> ours = EntriesBefore(entries_, folder_);
        const std::vector<const JournalEntry*> theirs = EntriesBefore(entryHolder_->entries, entryHolder_->folder);
        if (theirs.empty() || !SamePath(TextOf(theirs.back()->old), folder_)) return;
        // Ours before it, past the times it came before ours.
        std::size_t at = ours.size();
        while (at > 0 && SamePath(TextOf(ours[at - 1]->old), entryHolder_->folder)) --at;
        if (at == 0) return;
        JournalEntry before = *theirs.back();
        before.old = ours[at - 1]->old;
        before.values.clear();
        handed.push_back({entryHolder_, before});
    }

    // A value of the entry or the component while the entry names another install: that
    // install's. One it has not written (it was killed before it got there) still holds ours,
    // naming what goes now: it gets the value that install's record wrote, or none.
    void LeaveToHolder(const JournalEntry& e, const std::string& what) {
        KeyHandle key(registry_);
        RecordedValue now;
        if (registry_.OpenKey(e.root, e.path.c_str(), key.out()) != kErrorSuccess || !key ||
            Read(key.get(), e.value.name, now) != kErrorSuccess)
            return Done();
        bool ours = SameValue(now, e.value);
        for (const RecordedValue& earlier : e.values) ours = ours || SameValue(now, earlier);
        if (!ours) return Done();
        const RecordedValue* theirs = nullptr;
        for (const JournalEntry& t : entryHolder_->entries)
            if (t.kind == EntryKind::Value && IsEntryKey(t) && EntryValueName(t) == EntryValueName(e)) theirs = &t.value;
        if (theirs && SameValue(*theirs, now)) return Done();
        const long changed = theirs ? registry_.SetValue(key.get(), e.value.name.c_str(), theirs->type, theirs->bytes)
                                    : registry_.DeleteValue(key.get(), e.value.name.c_str());
        changed == kErrorSuccess ? Done() : Left(what, kNotRestored);
    }

    // What a record says the entry named before each of its installs, oldest first: the
    // InstallLocation values it replaced, but for its own rewrites.
    static std::vector<const JournalEntry*> EntriesBefore(const std::vector<JournalEntry>& entries,
                                                          const std::string& folder) {
        std::vector<const JournalEntry*> chain;
        for (const JournalEntry& t : entries)
            if (t.kind == EntryKind::Value && t.hadOld && EqualsNoCase(t.value.name, "InstallLocation") && IsEntryKey(t) &&
                !SamePath(TextOf(t.old), folder))
                chain.push_back(&t);
        return chain;
    }

    void Value(const JournalEntry& e) {
        const std::string what = KeyName(e) + "\\" + e.value.name;
        if (e.root == kHkeyCurrentUser && !otherUser.empty()) return Left(what, kOtherUser + otherUser);
        // What the newer install holds now is left to its record.
        if (IsEntryKey(e) && entryElsewhere_) return HandOnEarlierEntry(e), LeaveToHolder(e, what);
        if (HandToModuleHolder(e)) return Done();
        KeyHandle key(registry_);
        const long opened = registry_.OpenKey(e.root, e.path.c_str(), key.out());
        if (opened == kErrorFileNotFound) {
            // A user's registry that is not loaded now is not changed: the uninstall's pass over
            // every user loads it and takes the folder out by the rule, or names that user.
            if (e.root == kHkeyUsers && !HiveLoaded(e.path)) return Done();
            // The key has gone: nothing of ours is left in it; what it held before is not ours
            // to make again.
            if (e.hadOld && !IsEntryKey(e)) Left(what, kChanged); else Done();
            return;
        }
        if (!key) return Left(what, opened == kErrorCantAccessFile ? kLinked : kNotRestored);
        RecordedValue now;
        const long read = Read(key.get(), e.value.name, now);
        if (read != kErrorSuccess && read != kErrorFileNotFound) return Left(what, kUnreadable);
        const bool present = read == kErrorSuccess;
        // As we left it, or as it was before (a run killed before its write, or refused it). A
        // trusted-path value the next run of the rule (the per-user step) only wrote back in upper
        // case is as we left it: the host reads it without regard to case.
        bool ours = SameValue(now, e.value) || (e.hadOld && SameValue(now, e.old));
        for (const RecordedValue& earlier : e.values) ours = ours || SameValue(now, earlier);
        if (IsTrustedPaths(e) && now.type == kRegSz && e.value.type == kRegSz)
            ours = ours || TextOf(now) == UpperCp936(TextOf(e.value));
        if (present && ours) return Restore(key.get(), e, what);
        if (!present && !e.hadOld) return Done();  // already gone
        if (IsTrustedPaths(e) && present) return TrustedPaths(key.get(), e, what, now);
        Left(what, kChanged);
    }

    // Edited since the install. Where a later install only added its folder, what was there
    // before ours comes back with that folder after it; where the user edited it, only the
    // folder's own entry goes, the user's stay as they are. A value that cannot be read whole is
    // left, as the install left such values.
    void TrustedPaths(RegKey key, const JournalEntry& e, const std::string& what, const RecordedValue& now) {
        if (now.type != kRegSz) return Left(what, kUnreadable);
        const std::string text = TextOf(now);
        if (text.find('\0') != std::string::npos) return Left(what, kUnreadable);
        const std::string ours = TextOf(e.value);
        std::string updated;
        if (text.size() > ours.size() && text[ours.size()] == ';' && EqualsNoCase(text.substr(0, ours.size()), ours)) {
            bool onlyGone = false;
            const std::string before = e.hadOld ? WithoutGone(TextOf(e.old), onlyGone) : std::string();
            updated = before.empty() ? text.substr(ours.size() + 1) : before + text.substr(ours.size());
        } else if (!RemoveTrustedFolder(text, folder_, updated)) {
            return Done();  // no entry of ours left
        } else if (e.hadOld) {
            // What was there before, and installs wrote back in upper case, as it was.
            TrustedPathList list(updated);
            list.RespellAs(TrustedPathList(TextOf(e.old)));
            updated = list.Text();
        }
        bool onlyGone = false;
        if (updated.empty() && e.hadOld && (WithoutGone(TextOf(e.old), onlyGone), onlyGone)) {
            // Nothing left but what installs gone had put there: as before them, no value.
            const long deleted = registry_.DeleteValue(key, "TRUSTEDPATHS");
            if (deleted != kErrorSuccess) return Left(what, kNotRestored);
            return Done();
        }
        const long written =
            registry_.SetString(key, "TRUSTEDPATHS", updated.c_str(), static_cast<std::uint32_t>(updated.size()));
        written == kErrorSuccess ? Done() : Left(what, kNotRestored);
    }

    // Opens the parent of e.path; name is the last level.
    bool Parent(const JournalEntry& e, KeyHandle& parent, std::string& name) {
        const std::size_t cut = LastSeparator(e.path);
        name = cut == std::string::npos ? e.path : e.path.substr(cut + 1);
        const std::string above = cut == std::string::npos ? std::string() : e.path.substr(0, cut);
        return registry_.OpenKey(e.root, above.empty() ? nullptr : above.c_str(), parent.out()) == kErrorSuccess &&
               parent;
    }

    void Key(const JournalEntry& e) {
        if (e.root == kHkeyCurrentUser && !otherUser.empty()) return Left(KeyName(e), kOtherUser + otherUser);
        KeyHandle key(registry_);
        const long opened = registry_.OpenKeyRead(e.root, e.path.c_str(), key.out());
        if (opened == kErrorFileNotFound) return Done();
        if (!key) return Left(KeyName(e), opened == kErrorCantAccessFile ? kLinked : kNotRemoved);
        const bool empty = IsEmptyKey(registry_, key.get());
        key.Close();
        if (IsMade(e)) return Done();  // made again from the record: as it was before, even empty
        if (!empty) {
            // Another install's values or keys live in it now: its record removes it, once empty.
            if (const OtherInstall* holder = Holder(e)) {
                handed.push_back({holder, e});
                return Done();
            }
            if (IsLoaderKey(e) && HandToModuleHolder(e)) return Done();
            // Something else lives in it now (the user's values): it stays.
            return Left(KeyName(e), kChanged);
        }
        KeyHandle parent(registry_);
        std::string last;
        if (!Parent(e, parent, last) || registry_.DeleteKey(parent.get(), last.c_str()) != kErrorSuccess)
            return Left(KeyName(e), kNotRemoved);
        Done();
    }

    void KeyDeleted(const JournalEntry& e) {
        // A loader key taken over since, or one that would load from a folder gone or being
        // removed (where anyone may put a file of that name), is not made again.
        if (IsLoaderKey(e) && LoaderElsewhere(e)) {
            HandOnStateBefore(e);
            return Done();
        }
        if (IsLoaderKey(e) && PointsIntoGone(e)) return Done();
        // An older state of a key that a newer entry has made again already.
        if (IsMade(e)) return Done();
        restored_.push_back(Format("%u|", static_cast<unsigned>(e.root)) + e.path);
        KeyHandle key(registry_);
        KeyHandle there(registry_);
        const bool existed = registry_.OpenKeyRead(e.root, e.path.c_str(), there.out()) == kErrorSuccess && there;
        there.Close();
        if (registry_.CreateKey(e.root, e.path.c_str(), key.out()) != kErrorSuccess || !key)
            return Left(KeyName(e), kNotRestored);
        // The loader first: a key whose module may not be named is not made again at all.
        std::vector<RecordedValue> values = e.values;
        std::stable_partition(values.begin(), values.end(),
                              [](const RecordedValue& v) { return EqualsNoCase(v.name, "LOADER"); });
        bool whole = true;
        for (const RecordedValue& v : values) {
            RecordedValue now;
            const long read = Read(key.get(), v.name, now);
            if (read == kErrorSuccess) {
                if (!SameValue(now, v)) {
                    Left(KeyName(e) + "\\" + v.name, kChanged);
                    whole = false;
                }
                continue;
            }
            if (read != kErrorFileNotFound ||
                registry_.SetValue(key.get(), v.name.c_str(), v.type, v.bytes) != kErrorSuccess) {
                Left(KeyName(e) + "\\" + v.name, kNotRestored);
                whole = false;
                // Its other values alone would load nothing: they are not put back either, a key
                // left empty goes, and the state before this one, if the record has one, is tried.
                if (EqualsNoCase(v.name, "LOADER")) {
                    restored_.pop_back();
                    const bool empty = IsEmptyKey(registry_, key.get());
                    key.Close();
                    KeyHandle parent(registry_);
                    std::string last;
                    if ((!existed || empty) && Parent(e, parent, last)) registry_.DeleteKey(parent.get(), last.c_str());
                    return;
                }
            }
        }
        if (whole) Done();
    }

    // The file as the install left it: its size and hash still match. A file of another size
    // has changed, and is not read at all.
    bool Unchanged(const JournalEntry& e) { return SameContent(files_, e.path, e.size, e.hash); }

    bool Missing(const std::string& path) { return files_.ReadAttributes(path) == kInvalidAttributes; }

    // The first and the last entry of path in the record of other, or false when it holds no
    // part of the file. A record whose every line on the file is a copy begun (a kill ended each
    // before it was done), either of a new file or over one whose backup was never made whole,
    // holds none: what we overwrote or made there was never its copy, and is ours to undo.
    bool LinesIn(const OtherInstall& other, const JournalEntry& e, const JournalEntry*& first,
                 const JournalEntry*& last) {
        first = last = nullptr;
        bool begunOnly = true;
        for (const JournalEntry& t : other.entries) {
            if (!IsFileEntry(t.kind) || !EqualsNoCase(t.path, e.path)) continue;
            if (!first || StartsAnew(*first, t)) {
                first = &t;
                last = nullptr;
                begunOnly = true;
            }
            if (t.kind == EntryKind::File || t.kind == EntryKind::Replaced) last = &t;
            begunOnly = begunOnly && (t.kind == EntryKind::PendingFile ||
                                      (t.kind == EntryKind::PendingReplaced &&
                                       !SameContent(files_, t.backup, t.size, t.hash)));
        }
        return first && !begunOnly;
    }

    // The first other install present that holds part of path (see LinesIn), with its first and
    // last entry of it. Only files in the hosts' folders are shared.
    bool Theirs(const JournalEntry& e, const OtherInstall*& other, const JournalEntry*& first,
                const JournalEntry*& last) {
        if (Within(e.path, folder_)) return false;
        for (const OtherInstall& o : others_) {
            if (LinesIn(o, e, first, last)) {
                other = &o;
                return true;
            }
        }
        return false;
    }

    // A file in a host's folder that another install present placed too. Its record undoes it;
    // what we kept of the file is handed on or given up so that the last uninstall puts back what
    // was there before either.
    void Shared(const JournalEntry& e, const OtherInstall& other, const JournalEntry& first,
                const JournalEntry* last) {
        if (IsNewFile(e.kind)) return Done();  // none before us: the other came after, and keeps it
        const std::string kept = std::string(kShared) + "；" + kBackupKept + e.backup;
        const bool pending = e.kind == EntryKind::PendingReplaced;
        if (!pending && !IsNewFile(first.kind) && Within(first.backup, other.recordFolder) &&
            SameContent(files_, first.backup, e.size, e.hash)) {
            // It overwrote our copy: what we overwrote takes the place of that copy in its backup.
            // Where its record's last word on the file is a copy begun (a kill ended it), that
            // record learns the size and hash of what its backup holds now: else a run of it again
            // would take the backup for one the kill left unfinished, and make it anew.
            const JournalEntry* begun = nullptr;
            for (const JournalEntry& t : other.entries)
                if (IsFileEntry(t.kind) && EqualsNoCase(t.path, e.path)) begun = &t;
            JournalEntry told = begun ? *begun : JournalEntry{};
            if (!files_.FileSize(e.backup, told.size) || !files_.HashFile(e.backup, told.hash) ||
                !files_.CopyOver(e.backup, first.backup, false))
                return Left(e.path, kept);
            if (begun && begun->kind == EntryKind::PendingReplaced && EqualsNoCase(begun->backup, first.backup))
                handed.push_back({&other, told});
            Remove(e.backup);
            return Done();
        }
        if (IsNewFile(first.kind) || (last && SameContent(files_, e.backup, last->size, last->hash))) {
            // It came first: what we kept is its copy, which goes back where ours is still.
            if (!pending && Unchanged(e)) return PutBack(e);
            Remove(e.backup);
            return Done();
        }
        Left(e.path, kept);
    }

    // A file we made where none was, which other installs present placed too (they came after,
    // and keep it). Each that kept what our copy left as the file's earlier content (our whole
    // copy; or, ours begun only, what the file still holds, its own copy never made) learns that
    // none was there before ours: what it copied, or began to copy, goes with it. Each of them,
    // not only the first: of several versions placed in turn, the one whose backup holds our copy
    // may be any.
    void HandOnNone(const JournalEntry& e) {
        for (const OtherInstall& other : others_) {
            const JournalEntry *first = nullptr, *last = nullptr;
            if (!LinesIn(other, e, first, last) || IsNewFile(first->kind) || !Within(first->backup, other.recordFolder))
                continue;
            const bool ours = e.kind == EntryKind::File
                                  ? SameContent(files_, first->backup, e.size, e.hash)
                                  : last == nullptr && SameContent(files_, first->backup, first->size, first->hash) &&
                                        SameContent(files_, e.path, first->size, first->hash);
            if (!ours) continue;
            JournalEntry none;
            none.kind = EntryKind::PendingFile;
            none.path = e.path;
            handed.push_back({&other, none});
            if (last) {
                JournalEntry copied = *last;
                copied.kind = EntryKind::File;
                copied.backup.clear();
                handed.push_back({&other, copied});
                // A copy of its own begun after that one (a kill ended it) is its still: whatever
                // it left there goes with it.
                const JournalEntry* final = last;
                for (const JournalEntry& t : other.entries)
                    if (IsFileEntry(t.kind) && EqualsNoCase(t.path, e.path)) final = &t;
                if (final > last) handed.push_back({&other, none});
            }
        }
    }

    void File(const JournalEntry& e) {
        if (SamePath(e.path, self_)) return Defer(e.path);
        if (Missing(e.path)) return Done();
        const OtherInstall* other = nullptr;
        const JournalEntry *first = nullptr, *last = nullptr;
        if (Theirs(e, other, first, last)) {
            HandOnNone(e);
            return Done();
        }
        if (!Unchanged(e)) return Left(e.path, kChanged);
        RemoveInstalled(e.path) ? Done() : Left(e.path, kNotRemoved);
    }

    void PendingFile(const JournalEntry& e) {
        // Killed while it was copied, or the copy failed: whatever is there is ours.
        if (SamePath(e.path, self_)) return Defer(e.path);
        const OtherInstall* other = nullptr;
        const JournalEntry *first = nullptr, *last = nullptr;
        if (Missing(e.path)) return Done();
        if (Theirs(e, other, first, last)) {
            HandOnNone(e);
            return Done();
        }
        RemoveInstalled(e.path) ? Done() : Left(e.path, kNotRemoved);
    }

    void PendingReplaced(const JournalEntry& e) {
        // A backup that is not whole was being made when the run ended: the file was not touched.
        if (!SameContent(files_, e.backup, e.size, e.hash)) {
            if (!Missing(e.backup)) Remove(e.backup);
            return Done();
        }
        if (SamePath(e.path, self_)) return KeepReplacedSelf(e);
        // The file holds what it held before: the copy over it never took place (refused, or
        // killed before it), and only the backup goes.
        if (SameContent(files_, e.path, e.size, e.hash)) {
            if (!Remove(e.backup)) return Left(e.backup, kNotRemoved);
            return Done();
        }
        const OtherInstall* other = nullptr;
        const JournalEntry *first = nullptr, *last = nullptr;
        if (Theirs(e, other, first, last)) return Shared(e, *other, *first, last);
        PutBack(e);
    }

    // The running uninstaller replaced a file of that name (an earlier version's): it cannot be put
    // back over the running program, so it stays in its backup, which the report names; the
    // program's own file goes once it has ended.
    void KeepReplacedSelf(const JournalEntry& e) {
        Left(e.path, std::string(kNotRestored) + "；" + kBackupKept + e.backup);
        Defer(e.path);
    }

    void Replaced(const JournalEntry& e) {
        if (SamePath(e.path, self_)) return KeepReplacedSelf(e);
        if (Missing(e.backup)) return Left(e.path, kNotRestored);
        const OtherInstall* other = nullptr;
        const JournalEntry *first = nullptr, *last = nullptr;
        if (Theirs(e, other, first, last)) return Shared(e, *other, *first, last);
        if (Missing(e.path) || !Unchanged(e)) return Left(e.path, std::string(kChanged) + "；" + kBackupKept + e.backup);
        // What we overwrote was the same file of an install gone since: as before that one, none.
        if (!Within(e.path, folder_) && SameContent(files_, e.backup, e.size, e.hash)) {
            if (!RemoveInstalled(e.path)) return Left(e.path, kNotRemoved);
            Remove(e.backup);
            return Done();
        }
        PutBack(e);
    }

    void PutBack(const JournalEntry& e) {
        const std::uint32_t attributes = files_.ReadAttributes(e.path);
        if (attributes != kInvalidAttributes && (attributes & kAttrReadOnly))
            files_.WriteAttributes(e.path, attributes & ~kAttrReadOnly);
        if (!files_.CopyOver(e.backup, e.path, false)) return Left(e.path, std::string(kNotRestored) + "；" + kBackupKept + e.backup);
        Remove(e.backup);
        Done();
    }

    void Folder(const JournalEntry& e) {
        if (Missing(e.path)) return Done();
        if (files_.RemoveFolder(e.path)) return Done();
        if (Within(self_, e.path) && HoldsOnlyDeferred(e.path)) return Defer(e.path);
        Left(e.path, kNotEmpty);
    }

    // Whether a folder holds nothing but the running program and the folders left with it for
    // after its end; one that holds the user's files too stays, and is reported.
    bool HoldsOnlyDeferred(const std::string& folder) {
        FindScope find(files_);
        FindEntry entry;
        FindStep step = find.First(JoinPath(folder, "*.*"), entry) ? FindStep::Entry : FindStep::End;
        for (; step == FindStep::Entry; step = find.Step(entry)) {
            if (entry.name == "." || entry.name == "..") continue;
            const std::string path = JoinPath(folder, entry.name);
            if (std::none_of(result.deferred.begin(), result.deferred.end(),
                             [&](const std::string& deferred) { return SamePath(deferred, path); }))
                return false;
        }
        return step == FindStep::End;  // a listing that broke off may hide what is not deferred
    }

    // A file an install placed, removed: a library in a host's folder is remembered for the
    // library keys that may name it.
    bool RemoveInstalled(const std::string& path) {
        if (!Remove(path)) return false;
        const std::string upper = UpperCp936(path);
        if (!Within(path, folder_) && upper.size() > 4 && upper.compare(upper.size() - 4, 4, ".DLL") == 0)
            removedHostFiles_.push_back(path);
        return true;
    }

    bool Remove(const std::string& path) {
        if (files_.RemoveFile(path)) return true;
        const std::uint32_t attributes = files_.ReadAttributes(path);
        return attributes != kInvalidAttributes && (attributes & kAttrReadOnly) &&
               files_.WriteAttributes(path, attributes & ~kAttrReadOnly) && files_.RemoveFile(path);
    }

    void Defer(const std::string& path) {
        result.deferred.push_back(path);
        Done();
    }

public:
    // Keys we made that another install's values or keys live in now: for its record to remove
    // once it has emptied them.
    std::vector<std::pair<const OtherInstall*, JournalEntry>> handed;

private:
    Registry& registry_;
    Files& files_;
    const std::vector<JournalEntry>& entries_;
    const std::string folder_;
    const std::string self_;
    const std::vector<OtherInstall>& others_;
    bool entryElsewhere_ = false;
    bool foreignEntry_ = false;  // the entry ours first replaced was no install's of this program
    const OtherInstall* entryHolder_ = nullptr;  // the install the entry names now, when not ours
    bool otherHiveLoaded_ = false;
    bool earlierEntryPresent_ = false;
    const OtherInstall* earlier_ = nullptr;
    std::vector<std::string> restored_;  // keys made again, "root|path"
    std::size_t at_ = 0;
    std::map<std::string, RecordedValue> donor_;  // the entry as another install present wrote it
    std::map<std::string, const OtherInstall*> loaderDonors_;  // module key -> install it goes back to
    std::vector<std::string> gone_;  // plug-in folders of installs the entry named before ours, gone now
    std::vector<std::string> removedHostFiles_;  // libraries installs placed in hosts' folders, removed
};
}  // namespace

UndoResult Undo(Registry& registry, Files& files, const std::vector<JournalEntry>& entries,
                const std::string& folder, const std::string& self, const std::vector<OtherInstall>& others,
                ProgressSink& progress, const HandOn& handOn, const std::string& user,
                const std::string& recordFolder) {
    const std::string& records = recordFolder.empty() ? folder : recordFolder;
    std::vector<std::string> stray;
    const std::vector<std::optional<JournalEntry>> plan = Collapse(entries, stray);
    Replay replay(registry, files, entries, folder, self, others);
    for (const JournalEntry& e : entries)
        if (e.kind == EntryKind::User && !user.empty() && !EqualsNoCase(e.path, user)) replay.SetOtherUser(e.path);
    // The newest install the entry named before one of ours that is present still.
    for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
        if (it->kind == EntryKind::Value && IsEntryKey(*it) && EqualsNoCase(it->value.name, "InstallLocation") &&
            it->hadOld && replay.SetEarlierEntry(TextOf(it->old)))
            break;
    }
    for (const auto& e : plan) {
        if (e && e->kind == EntryKind::Value && IsLoaderKey(*e) && EqualsNoCase(e->value.name, "LOADER") &&
            EqualsNoCase(ModuleKey(e->path), e->path))
            replay.SetLoaderChain(*e);
    }
    // The files in the hosts' folders first, newest first: whether a loader key put back below
    // names a library still there depends on them, whichever order the install wrote them in.
    // Then everything else but keys and folders, newest first; then the keys, which go once empty;
    // then the record and the backups it no longer needs; then the folders, innermost first.
    const auto hostFile = [&folder](const JournalEntry& e) { return IsFileEntry(e.kind) && !Within(e.path, folder); };
    // The files whose content is compared, in the order the undo comes to them: hashed ahead
    // where the seam can, while the undo works through the ones before.
    std::vector<std::pair<std::string, std::uint64_t>> compared;
    for (const bool host : {true, false})
        for (auto it = plan.rbegin(); it != plan.rend(); ++it)
            if (*it && hostFile(**it) == host && ((*it)->kind == EntryKind::File || (*it)->kind == EntryKind::Replaced))
                compared.emplace_back((*it)->path, (*it)->size);
    files.WillHash(compared);
    for (auto it = plan.rbegin(); it != plan.rend(); ++it) {
        if (*it && hostFile(**it)) {
            replay.At(static_cast<std::size_t>(plan.rend() - it) - 1);
            replay.Entry(**it);
        }
    }
    // A key's state handed on by another install's uninstall: what was there before the key was
    // made. It is put back once the values the runs wrote there are off, just before the key
    // would go, instead of the states the runs found there (those were that install's); they are
    // tried only where it is not put back (its module may not be named, say).
    enum Held { kNotHeld, kHandedState, kFoundState };
    std::vector<Held> held(plan.size(), kNotHeld);
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (!HandedStateBefore(entries, i)) continue;
        held[i] = kHandedState;
        for (std::size_t k = 0; k < i; ++k)
            if (held[k] == kNotHeld && entries[k].kind == EntryKind::KeyDeleted && entries[k].root == entries[i].root &&
                EqualsNoCase(entries[k].path, entries[i].path))
                held[k] = kFoundState;
    }
    for (auto it = plan.rbegin(); it != plan.rend(); ++it) {
        if (*it && !hostFile(**it) && (*it)->kind != EntryKind::Folder && (*it)->kind != EntryKind::Key &&
            held[static_cast<std::size_t>(plan.rend() - it) - 1] == kNotHeld) {
            replay.At(static_cast<std::size_t>(plan.rend() - it) - 1);
            replay.Entry(**it);
        }
        progress.StepIt();
    }
    replay.LibraryKeysNamingRemoved();
    // Deepest first: a key handed on by another install's uninstall comes last in the record,
    // but holds the keys this record made.
    std::vector<const JournalEntry*> keys;
    for (auto it = plan.rbegin(); it != plan.rend(); ++it)
        if (*it && (*it)->kind == EntryKind::Key) keys.push_back(&**it);
    const auto depth = [](const JournalEntry* e) { return std::count(e->path.begin(), e->path.end(), '\\'); };
    std::stable_sort(keys.begin(), keys.end(),
                     [&](const JournalEntry* a, const JournalEntry* b) { return depth(a) > depth(b); });
    for (const JournalEntry* key : keys) {
        for (const Held kind : {kHandedState, kFoundState}) {
            for (std::size_t i = plan.size(); i-- > 0;) {
                if (held[i] != kind || plan[i]->root != key->root || !EqualsNoCase(plan[i]->path, key->path)) continue;
                held[i] = kNotHeld;
                if (kind == kFoundState && replay.IsMade(*key)) continue;  // the state handed on is back
                replay.At(i);
                replay.Entry(*plan[i]);
            }
        }
        replay.Entry(*key);
    }
    // What other installs' records take over goes into them while ours is still there.
    std::vector<std::pair<std::string, JournalEntry>> handed;
    for (const auto& given : replay.handed) {
        if (handOn(given.first->folder, given.second)) {
            handed.push_back({given.first->folder, given.second});
            continue;
        }
        const JournalEntry& e = given.second;
        const LeftBehind item{IsFileEntry(e.kind) ? e.path : Replay::KeyName(e), kNotHandedOn + given.first->folder};
        std::vector<LeftBehind>& left = replay.result.left;
        // A file is handed on in two lines, named once.
        if (std::none_of(left.begin(), left.end(), [&item](const LeftBehind& l) { return l.what == item.what && l.why == item.why; }))
            left.push_back(item);
    }
    for (const std::string& backup : stray) files.RemoveFile(backup);
    files.RemoveFile(JoinPath(records, Journal::kStagedUninstaller));
    files.RemoveFile(JoinPath(records, Journal::kKeptUninstaller));
    files.RemoveFile(JoinPath(records, Journal::kRecordName));
    files.RemoveFolder(JoinPath(records, Journal::kBackupFolder));
    if (records != folder) {
        files.RemoveFolder(records);
        const std::size_t cut = LastSeparator(records);
        if (cut != std::string::npos) files.RemoveFolder(records.substr(0, cut));  // once no install has one
    }
    for (auto it = plan.rbegin(); it != plan.rend(); ++it)
        if (*it && (*it)->kind == EntryKind::Folder) replay.Entry(**it);
    UndoResult result = replay.result;
    result.handed = handed;
    return result;
}

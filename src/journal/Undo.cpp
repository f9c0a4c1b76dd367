#include "journal/Undo.h"

#include "text/PathText.h"
#include "text/Text.h"
#include "journal/Sha256.h"
#include "register/TrustedPathValue.h"

namespace {
const char kChanged[] = "安装后已被更改，保留不动";
const char kNotRemoved[] = "无法删除";
const char kNotRestored[] = "无法还原";
const char kUnreadable[] = "无法完整读取，保留不动";
const char kNotEmpty[] = "文件夹中还有其他文件，保留不动";
const char kBackupKept[] = "原文件的备份保留在 ";
const char kShared[] = "另一处的插件安装仍在使用，保留不动";

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

// Whether path lies inside folder (or is it).
bool Within(const std::string& path, const std::string& folder) {
    if (folder.empty() || path.size() < folder.size()) return false;
    if (!EqualsNoCase(path.substr(0, folder.size()), folder)) return false;
    return path.size() == folder.size() || path[folder.size()] == '\\';
}

class Replay {
public:
    Replay(Registry& registry, Files& files, const std::string& folder, const std::string& self, bool otherInstall)
        : registry_(registry), files_(files), folder_(folder), self_(self), otherInstall_(otherInstall) {}

    void Entry(const JournalEntry& e) {
        switch (e.kind) {
            case EntryKind::Value: Value(e); break;
            case EntryKind::Key: Key(e); break;
            case EntryKind::KeyDeleted: KeyDeleted(e); break;
            case EntryKind::File: File(e); break;
            case EntryKind::Replaced: Replaced(e); break;
            case EntryKind::Folder: Folder(e); break;
        }
    }

    UndoResult result;

private:
    static std::string KeyName(const JournalEntry& e) {
        return std::string(e.root == kHkeyLocalMachine ? "HKEY_LOCAL_MACHINE\\" : "HKEY_CURRENT_USER\\") + e.path;
    }
    void Left(const std::string& what, const std::string& why) { result.left.push_back({what, why}); }
    void Done() { ++result.undone; }

    // Reads a value: kErrorSuccess, kErrorFileNotFound, or a failure.
    long Read(RegKey key, const std::string& name, RecordedValue& value) {
        value.name = name;
        std::uint32_t size = 0;
        long read = registry_.QueryValue(key, name.c_str(), &value.type, nullptr, size);
        if (read != kErrorSuccess) return read;
        std::vector<std::uint8_t> data(size ? size : 1);
        read = registry_.QueryValue(key, name.c_str(), &value.type, data.data(), size);
        if (read == kErrorSuccess) value.bytes.assign(data.begin(), data.begin() + size);
        return read;
    }

    void Value(const JournalEntry& e) {
        const std::string what = KeyName(e) + "\\" + e.value.name;
        KeyHandle key(registry_);
        const long opened = registry_.OpenKey(e.root, e.path.c_str(), key.out());
        if (opened == kErrorFileNotFound) {
            // The key has gone: nothing of ours is left in it; what it held before is not ours
            // to make again.
            if (e.hadOld) Left(what, kChanged); else Done();
            return;
        }
        if (!key) return Left(what, kNotRestored);
        RecordedValue now;
        const long read = Read(key.get(), e.value.name, now);
        if (read != kErrorSuccess && read != kErrorFileNotFound) return Left(what, kUnreadable);
        const bool present = read == kErrorSuccess;
        if (present && SameValue(now, e.value)) {
            const long undone = e.hadOld ? registry_.SetValue(key.get(), e.value.name.c_str(), e.old.type, e.old.bytes)
                                         : registry_.DeleteValue(key.get(), e.value.name.c_str());
            return undone == kErrorSuccess ? Done() : Left(what, kNotRestored);
        }
        if (e.root == kHkeyCurrentUser && EqualsNoCase(e.value.name, "TRUSTEDPATHS") && present)
            return TrustedPaths(key.get(), what, now);
        if (!present && !e.hadOld) return Done();  // already gone
        Left(what, kChanged);
    }

    // Edited since the install: only the folder's own entry goes, the user's stay as they are.
    // A value that cannot be read whole is left, as the install left such values.
    void TrustedPaths(RegKey key, const std::string& what, const RecordedValue& now) {
        if (now.type != kRegSz) return Left(what, kUnreadable);
        std::string text = now.bytes;
        while (!text.empty() && text.back() == '\0') text.pop_back();
        if (text.find('\0') != std::string::npos) return Left(what, kUnreadable);
        std::string updated;
        if (!RemoveTrustedFolder(text, folder_, updated)) return Done();  // no entry of ours left
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
        KeyHandle key(registry_);
        const long opened = registry_.OpenKeyRead(e.root, e.path.c_str(), key.out());
        if (opened == kErrorFileNotFound) return Done();
        if (!key) return Left(KeyName(e), kNotRemoved);
        std::uint32_t subKeys = 0;
        std::string name, data;
        std::uint32_t type = 0;
        const bool empty = registry_.QuerySubKeyCount(key.get(), subKeys) == kErrorSuccess && subKeys == 0 &&
                           registry_.EnumValue(key.get(), 0, name, type, data) == kErrorNoMoreItems;
        key.Close();
        // Something else lives in it now (a newer install's values, the user's): it stays.
        if (!empty) return Left(KeyName(e), kChanged);
        KeyHandle parent(registry_);
        std::string last;
        if (!Parent(e, parent, last) || registry_.DeleteKey(parent.get(), last.c_str()) != kErrorSuccess)
            return Left(KeyName(e), kNotRemoved);
        Done();
    }

    void KeyDeleted(const JournalEntry& e) {
        KeyHandle key(registry_);
        if (registry_.CreateKey(e.root, e.path.c_str(), key.out()) != kErrorSuccess || !key)
            return Left(KeyName(e), kNotRestored);
        bool whole = true;
        for (const RecordedValue& v : e.values) {
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
            }
        }
        if (whole) Done();
    }

    // The file as the install left it: its size and hash still match.
    bool Unchanged(const JournalEntry& e) {
        std::string bytes;
        return files_.ReadBytes(e.path, bytes) && bytes.size() == e.size && Sha256Hex(bytes) == e.hash;
    }

    bool Missing(const std::string& path) { return files_.ReadAttributes(path) == kInvalidAttributes; }

    void File(const JournalEntry& e) {
        if (SamePath(e.path, self_)) return Defer(e.path);
        if (Missing(e.path)) return Done();
        if (otherInstall_ && !Within(e.path, folder_)) return Left(e.path, kShared);
        if (!Unchanged(e)) return Left(e.path, kChanged);
        Remove(e.path) ? Done() : Left(e.path, kNotRemoved);
    }

    void Replaced(const JournalEntry& e) {
        if (SamePath(e.path, self_)) {
            files_.RemoveFile(e.backup);
            return Defer(e.path);
        }
        if (Missing(e.backup)) return Left(e.path, kNotRestored);
        if (otherInstall_ && !Within(e.path, folder_)) return Left(e.path, std::string(kShared) + "；" + kBackupKept + e.backup);
        if (Missing(e.path) || !Unchanged(e)) return Left(e.path, std::string(kChanged) + "；" + kBackupKept + e.backup);
        const std::uint32_t attributes = files_.ReadAttributes(e.path);
        if (attributes & kAttrReadOnly) files_.WriteAttributes(e.path, attributes & ~kAttrReadOnly);
        if (!files_.CopyOver(e.backup, e.path, false)) return Left(e.path, std::string(kNotRestored) + "；" + kBackupKept + e.backup);
        files_.RemoveFile(e.backup);
        Done();
    }

    void Folder(const JournalEntry& e) {
        if (Missing(e.path)) return Done();
        if (files_.RemoveFolder(e.path)) return Done();
        if (Within(self_, e.path)) return Defer(e.path);
        Left(e.path, kNotEmpty);
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

    Registry& registry_;
    Files& files_;
    const std::string folder_;
    const std::string self_;
    const bool otherInstall_;
};
}  // namespace

UndoResult Undo(Registry& registry, Files& files, const std::vector<JournalEntry>& entries,
                const std::string& folder, const std::string& self, bool otherInstall,
                ProgressSink& progress, const std::string& recordFolder) {
    const std::string& records = recordFolder.empty() ? folder : recordFolder;
    Replay replay(registry, files, folder, self, otherInstall);
    // Everything but the folders, newest first; then the record and the backups it no longer
    // needs; then the folders, innermost (newest) first.
    for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
        if (it->kind != EntryKind::Folder) replay.Entry(*it);
        progress.StepIt();
    }
    files.RemoveFile(JoinPath(records, Journal::kRecordName));
    files.RemoveFolder(JoinPath(records, Journal::kBackupFolder));
    if (records != folder) {
        files.RemoveFolder(records);
        const std::size_t cut = LastSeparator(records);
        if (cut != std::string::npos) files.RemoveFolder(records.substr(0, cut));  // once no install has one
    }
    for (auto it = entries.rbegin(); it != entries.rend(); ++it)
        if (it->kind == EntryKind::Folder) replay.Entry(*it);
    return replay.result;
}

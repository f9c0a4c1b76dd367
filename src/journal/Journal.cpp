#include "journal/Journal.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string_view>
#include <utility>

#include "deploy/InstallFolder.h"
#include "journal/RecordPlace.h"
#include "journal/Scope.h"
#include "platform/KeyPlaces.h"
#include "text/PathText.h"
#include "text/Text.h"

namespace {
const char kNoProgramData[] = "找不到 ProgramData 文件夹，无法保存卸载记录。安装已停止。";
const char kRecordFolderUnsafe[] =
    "卸载记录所在的文件夹不安全：\n\n%s\n\n%s。安装已停止。";
const char kRecordDamaged[] =
    "已有的卸载记录已损坏：\n\n%s\n\n为避免覆盖它，安装已停止。";
const char kHeader[] = "Korvel-Tarnwick uninstall record\t1";
const char* const kKindNames[] = {"folder", "file", "replaced", "key", "value", "keydeleted", "pendingfile",
                                  "pendingreplaced", "user"};
constexpr int kKinds = 9;

// CRC-32 (the reflected polynomial 0xEDB88320), eight bytes a step from eight tables ("slicing
// by 8"), the same checksum as a byte at a time from the first: every uninstall reads whole
// records, and a repeated install's grow with each run.
struct Crc32Table {
    std::uint32_t entry[8][256];
    Crc32Table() {
        for (std::uint32_t n = 0; n < 256; ++n) {
            std::uint32_t crc = n;
            for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
            entry[0][n] = crc;
        }
        // entry[k][n]: the byte n followed by k zero bytes.
        for (int k = 1; k < 8; ++k)
            for (std::uint32_t n = 0; n < 256; ++n)
                entry[k][n] = (entry[k - 1][n] >> 8) ^ entry[0][entry[k - 1][n] & 0xFFu];
    }
};

std::uint32_t Crc32(std::string_view text) {
    static const Crc32Table table;
    const auto& t = table.entry;
    const auto* at = reinterpret_cast<const unsigned char*>(text.data());
    std::size_t left = text.size();
    std::uint32_t crc = 0xFFFFFFFFu;
    for (; left >= 8; at += 8, left -= 8) {
        const std::uint32_t low = crc ^ (at[0] | at[1] << 8 | at[2] << 16 | static_cast<std::uint32_t>(at[3]) << 24);
        const std::uint32_t high = at[4] | at[5] << 8 | at[6] << 16 | static_cast<std::uint32_t>(at[7]) << 24;
        crc = t[7][low & 0xFFu] ^ t[6][(low >> 8) & 0xFFu] ^ t[5][(low >> 16) & 0xFFu] ^ t[4][low >> 24] ^
              t[3][high & 0xFFu] ^ t[2][(high >> 8) & 0xFFu] ^ t[1][(high >> 16) & 0xFFu] ^ t[0][high >> 24];
    }
    for (; left > 0; ++at, --left) crc = (crc >> 8) ^ t[0][(crc ^ *at) & 0xFFu];
    return ~crc;
}

// The checksum as a line ends in it: eight lower-case hex digits, as "%08x" writes them.
struct Checksum {
    char digits[8];
    explicit Checksum(std::string_view body) {
        static const char kDigits[] = "0123456789abcdef";
        const std::uint32_t crc = Crc32(body);
        for (int i = 0; i < 8; ++i) digits[i] = kDigits[(crc >> (28 - 4 * i)) & 0xFu];
    }
};

std::string Sealed(const std::string& body) {
    const Checksum sum(body);
    std::string line;
    line.reserve(body.size() + 10);
    line.append(body).append("\t#", 2).append(sum.digits, 8);
    return line;
}

// The body of a sealed line (a view into it), or false when its checksum does not match. A
// record is read as views into its bytes: an uninstall reads whole records, and parts of them
// again for every key that another install shares.
bool Unseal(std::string_view line, std::string_view& body) {
    const std::size_t tab = line.rfind('\t');
    if (tab == std::string_view::npos || line.size() - tab != 10 || line[tab + 1] != '#') return false;
    body = line.substr(0, tab);
    return line.compare(tab + 2, 8, std::string_view(Checksum(body).digits, 8)) == 0;
}

// Escapes, hex digits and bytes are written through a pointer into room made for the longest
// result, which is then cut to size: every path in a record has backslashes to escape.
std::string Escape(const std::string& utf8) {
    std::string out(utf8.size() * 2, '\0');  // every byte escaped, at most
    char* const to = &out[0];
    std::size_t size = 0;
    for (char c : utf8) {
        const char escaped = c == '\\' ? '\\' : c == '\t' ? 't' : c == '\n' ? 'n' : c == '\r' ? 'r' : '\0';
        if (escaped != '\0') {
            to[size++] = '\\';
            to[size++] = escaped;
        } else {
            to[size++] = c;
        }
    }
    out.resize(size);
    return out;
}

bool Unescape(std::string_view text, std::string& out) {
    out.clear();
    out.reserve(text.size());
    for (std::size_t at = 0;;) {
        const std::size_t escape = text.find('\\', at);
        if (escape == std::string_view::npos) {
            out.append(text.substr(at));
            return true;
        }
        out.append(text.substr(at, escape - at));
        if (escape + 1 == text.size()) return false;
        switch (text[escape + 1]) {
            case '\\': out += '\\'; break;
            case 't': out += '\t'; break;
            case 'n': out += '\n'; break;
            case 'r': out += '\r'; break;
            default: return false;
        }
        at = escape + 2;
    }
}

std::string Hex(const std::string& bytes) {
    static const char kDigits[] = "0123456789abcdef";
    std::string out(bytes.size() * 2, '\0');
    char* const to = &out[0];
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        to[2 * i] = kDigits[b >> 4];
        to[2 * i + 1] = kDigits[b & 0xF];
    }
    return out;
}

bool FromHex(std::string_view hex, std::string& bytes) {
    if (hex.size() % 2) return false;
    bytes.assign(hex.size() / 2, '\0');
    char* const to = &bytes[0];
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        int value = 0;
        for (int k = 0; k < 2; ++k) {
            const char c = hex[i + k];
            const int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
            if (digit < 0) return false;
            value = value * 16 + digit;
        }
        to[i / 2] = static_cast<char>(value);
    }
    return true;
}

bool Number(std::string_view text, std::uint64_t& value) {
    if (text.empty() || text.size() > 19 || (text[0] == '0' && text.size() > 1)) return false;
    value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
    }
    return true;
}

// The text between the separators, every piece (empty ones too); the text after the last
// separator is the last piece.
std::vector<std::string_view> Pieces(std::string_view text, char separator) {
    std::vector<std::string_view> pieces;
    for (std::size_t start = 0;;) {
        const std::size_t end = text.find(separator, start);
        if (end == std::string_view::npos) {
            pieces.push_back(text.substr(start));
            return pieces;
        }
        pieces.push_back(text.substr(start, end - start));
        start = end + 1;
    }
}

std::vector<std::string_view> Fields(std::string_view body) { return Pieces(body, '\t'); }

// Texts cross as UTF-8; the program works in CP936.
bool Text(TextCodec& codec, const std::string& cp936, std::string& field) {
    std::string utf8;
    if (!codec.Cp936ToUtf8(cp936, utf8)) return false;
    field = Escape(utf8);
    return true;
}

// Only the spelling Text gives: a raw line break was never written by it.
bool FromText(TextCodec& codec, std::string_view field, std::string& cp936) {
    std::string utf8;
    for (char c : field)
        if (c == '\r' || c == '\n') return false;
    return Unescape(field, utf8) &&
           codec.Utf8ToCp936(utf8, cp936);
}

const char* RootName(RegKey root) {
    return root == kHkeyLocalMachine ? "HKLM" : root == kHkeyUsers ? "HKU" : "HKCU";
}

bool Root(std::string_view name, RegKey& root) {
    if (name == "HKLM") root = kHkeyLocalMachine;
    else if (name == "HKCU") root = kHkeyCurrentUser;
    else if (name == "HKU") root = kHkeyUsers;
    else return false;
    return true;
}

std::string Typed(const RecordedValue& v) { return std::to_string(v.type) + ":" + Hex(v.bytes); }

bool FromTyped(std::string_view field, RecordedValue& v) {
    const std::size_t colon = field.find(':');
    std::uint64_t type = 0;
    if (colon == std::string_view::npos || !Number(field.substr(0, colon), type) || type > 0xFFFFFFFFu) return false;
    v.type = static_cast<std::uint32_t>(type);
    return FromHex(field.substr(colon + 1), v.bytes);
}
}  // namespace

bool IsFileEntry(EntryKind kind) {
    return kind == EntryKind::File || kind == EntryKind::Replaced || kind == EntryKind::PendingFile ||
           kind == EntryKind::PendingReplaced;
}

bool IsNewFile(EntryKind kind) { return kind == EntryKind::File || kind == EntryKind::PendingFile; }

bool StartsAnew(const JournalEntry& first, const JournalEntry& line) {
    return line.kind == EntryKind::PendingFile && !IsNewFile(first.kind);
}

bool FormatEntry(const JournalEntry& e, TextCodec& codec, std::string& line) {
    std::vector<std::string> f{kKindNames[static_cast<int>(e.kind)]};
    std::string text;
    switch (e.kind) {
        case EntryKind::Folder:
        case EntryKind::PendingFile:
        case EntryKind::User:
            if (!Text(codec, e.path, text)) return false;
            f.push_back(text);
            break;
        case EntryKind::PendingReplaced:
        case EntryKind::File:
        case EntryKind::Replaced:
            if (!Text(codec, e.path, text)) return false;
            f.push_back(text);
            if (e.kind != EntryKind::File) {
                if (!Text(codec, e.backup, text)) return false;
                f.push_back(text);
            }
            f.push_back(std::to_string(e.size));
            f.push_back(e.hash);
            break;
        case EntryKind::Key:
        case EntryKind::Value:
        case EntryKind::KeyDeleted:
            f.push_back(RootName(e.root));
            if (!Text(codec, e.path, text)) return false;
            f.push_back(text);
            if (e.kind == EntryKind::Value) {
                if (!Text(codec, e.value.name, text)) return false;
                f.push_back(text);
                f.push_back(e.hadOld ? Typed(e.old) : "-");
                f.push_back(Typed(e.value));
            }
            if (e.kind == EntryKind::KeyDeleted) {
                for (const RecordedValue& v : e.values) {
                    if (!Text(codec, v.name, text)) return false;
                    f.push_back(text);
                    f.push_back(Typed(v));
                }
            }
            break;
    }
    std::string body;
    for (std::size_t i = 0; i < f.size(); ++i) {
        if (i) body += '\t';
        body += f[i];
    }
    line = Sealed(body);
    return true;
}

namespace {
bool ParseLine(std::string_view line, TextCodec& codec, JournalEntry& e) {
    std::string_view body;
    if (!Unseal(line, body)) return false;
    const std::vector<std::string_view> f = Fields(body);
    e = JournalEntry{};
    int kind = -1;
    for (int k = 0; k < kKinds && kind < 0; ++k)
        if (f[0] == kKindNames[k]) kind = k;
    if (kind < 0) return false;
    e.kind = static_cast<EntryKind>(kind);
    switch (e.kind) {
        case EntryKind::Folder:
        case EntryKind::PendingFile:
        case EntryKind::User:
            return f.size() == 2 && FromText(codec, f[1], e.path);
        case EntryKind::File:
        case EntryKind::Replaced:
        case EntryKind::PendingReplaced: {
            const std::size_t n = e.kind == EntryKind::File ? 4 : 5;
            if (f.size() != n || !FromText(codec, f[1], e.path)) return false;
            if (e.kind != EntryKind::File && !FromText(codec, f[2], e.backup)) return false;
            e.hash = f[n - 1];
            return Number(f[n - 2], e.size) && e.hash.size() == 64 &&
                   std::all_of(e.hash.begin(), e.hash.end(),
                               [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
        }
        case EntryKind::Key:
            return f.size() == 3 && Root(f[1], e.root) && FromText(codec, f[2], e.path);
        case EntryKind::Value:
            if (f.size() != 6 || !Root(f[1], e.root) || !FromText(codec, f[2], e.path) ||
                !FromText(codec, f[3], e.value.name) || !FromTyped(f[5], e.value))
                return false;
            e.old.name = e.value.name;
            e.hadOld = f[4] != "-";
            return !e.hadOld || FromTyped(f[4], e.old);
        case EntryKind::KeyDeleted:
            if (f.size() < 3 || f.size() % 2 == 0 || !Root(f[1], e.root) || !FromText(codec, f[2], e.path))
                return false;
            for (std::size_t i = 3; i < f.size(); i += 2) {
                RecordedValue v;
                if (!FromText(codec, f[i], v.name) || !FromTyped(f[i + 1], v)) return false;
                e.values.push_back(std::move(v));
            }
            return true;
    }
    return false;
}
}  // namespace

bool ParseEntry(const std::string& line, TextCodec& codec, JournalEntry& e) { return ParseLine(line, codec, e); }

RecordState Journal::Load(Files& files, TextCodec& codec, const std::string& folder,
                          std::vector<JournalEntry>& entries) {
    std::string bytes;
    TrustFault fault;
    return Read(files, codec, std::string(), folder, bytes, entries, fault);
}

RecordState Journal::LoadFor(Files& files, TextCodec& codec, const std::string& folder, bool elevated,
                             std::string& recordFolder, std::vector<JournalEntry>& entries, TrustFault& fault,
                             Parsed* parsed) {
    entries.clear();
    recordFolder = folder;
    std::string root, bytes;
    if (elevated && !FindProtectedRecord(files, folder, root, recordFolder)) {
        // None yet: where the first records folder that no one else controls would keep it.
        std::vector<std::string> roots;
        RecordRoots(files, roots);
        for (const std::string& candidate : roots) {
            if (!UsableRoot(files, candidate)) continue;
            root = candidate;
            recordFolder = ProtectedRecordFolder(root, folder);
            break;
        }
        if (root.empty()) {
            if (roots.empty()) return RecordState::Missing;
            recordFolder = ProtectedRecordFolder(roots.front(), folder);
            fault = {roots.front(), "是其他用户的文件夹"};
            return RecordState::Unsafe;
        }
    }
    return Read(files, codec, root, recordFolder, bytes, entries, fault, parsed);
}

std::string Journal::Spelling(Files& files, TextCodec& codec, const std::string& folder, bool elevated,
                              const std::string& listed) {
    const std::string stored = StoredSpelling(files, folder);
    std::vector<std::string> others;
    for (const std::string* other : {&folder, &listed})
        if (!other->empty() && *other != stored && EqualsNoCase(StoredSpelling(files, *other), stored))
            others.push_back(*other);
    if (others.empty()) return stored;
    std::string root, recordFolder;
    std::vector<JournalEntry> entries;
    TrustFault fault;
    // Without those rights the record lies in the folder, under any spelling: its files say which
    // one it names. With them, the protected record's place follows the spelling.
    const bool loaded = !elevated && LoadFor(files, codec, stored, false, recordFolder, entries, fault) == RecordState::Loaded;
    const auto names = [&](const std::string& spelling) {
        if (elevated) return FindProtectedRecord(files, spelling, root, recordFolder);
        return loaded && std::any_of(entries.begin(), entries.end(), [&spelling](const JournalEntry& entry) {
                   return IsNewFile(entry.kind) && Inside(entry.path, spelling);
               });
    };
    if (names(stored)) return stored;
    for (const std::string& other : others)
        if (names(other)) return other;
    return stored;
}

bool Journal::ProtectedRecordThere() const {
    std::string recordFolder;
    std::vector<JournalEntry> entries;
    TrustFault fault;
    return LoadFor(files_, codec_, folder_, true, recordFolder, entries, fault) == RecordState::Loaded &&
           !entries.empty();
}

RecordState Journal::Read(Files& files, TextCodec& codec, const std::string& root, const std::string& recordFolder,
                          std::string& bytes, std::vector<JournalEntry>& entries, TrustFault& fault, Parsed* parsed) {
    entries.clear();
    bytes.clear();
    const std::string path = JoinPath(recordFolder, kRecordName);
    if (root.empty()) {
        if (files.ReadAttributes(path) == kInvalidAttributes) return RecordState::Missing;
        if (!files.ReadBytes(path, bytes)) return RecordState::Damaged;
    } else {
        switch (ReadProtectedRecord(files, root, path, bytes, fault)) {
            case CheckedRead::Read: break;
            case CheckedRead::Missing: return RecordState::Missing;
            case CheckedRead::Refused: return RecordState::Unsafe;
            case CheckedRead::Failed: return RecordState::Damaged;
        }
    }
    // Killed while the header was written: nothing was changed after it.
    const std::string header0 = Sealed(kHeader) + "\n";
    if (bytes.find('\n') == std::string::npos && header0.compare(0, bytes.size(), bytes) == 0)
        return RecordState::Missing;
    if (parsed && !parsed->bytes.empty() && parsed->bytes == bytes) {
        entries = parsed->entries;
        return RecordState::Loaded;
    }
    std::vector<std::string_view> lines = Pieces(bytes, '\n');
    // The text after the last line break is a line cut short, or nothing.
    lines.pop_back();
    entries.reserve(lines.size());
    std::string_view header;
    if (lines.empty() || !Unseal(lines[0], header) || header != kHeader) return RecordState::Damaged;
    for (std::size_t i = 1; i < lines.size(); ++i) {
        JournalEntry entry;
        // A run that continues a record a killed run cut short closes the cut line and writes
        // the header again: the cut line is passed over, as it was at the end.
        if (lines[i] == lines[0]) continue;
        const bool cut = i + 1 < lines.size() && lines[i + 1] == lines[0];
        if (!ParseLine(lines[i], codec, entry)) {
            if (cut) continue;
            entries.clear();
            return RecordState::Damaged;
        }
        // Earlier records joined a key's names with a doubled backslash, which Windows reads as
        // an empty name: a key is used by the one spelling the registry reads.
        if (entry.kind == EntryKind::Key || entry.kind == EntryKind::Value || entry.kind == EntryKind::KeyDeleted)
            entry.path = NormalKeyPath(entry.path);
        entries.push_back(std::move(entry));
    }
    if (parsed) *parsed = {bytes, entries};
    return RecordState::Loaded;
}

void Journal::Arm(const std::string& folder) {
    folder_ = recordFolder_ = folder;
    armed_ = true;
    live_ = false;
    placed_ = false;
    continued_ = false;
    elevated_ = false;
    firstOfRun_ = 0;
    headerWritten_ = false;
    resumeAfterCut_ = false;
    entries_.clear();
    fileIndex_.clear();
    written_ = 0;
    backups_ = 0;
}

std::string Journal::Place(bool elevated) {
    if (!armed_) return std::string();
    recordFolder_ = folder_;
    elevated_ = elevated;
    std::string root;
    TrustFault fault;
    if (elevated) {
        // An earlier record of this folder is continued where it lies; a new one goes into the
        // first records folder that can be made safe.
        std::vector<std::string> roots;
        if (!RecordRoots(files_, roots)) {
            Abandon();
            return kNoProgramData;
        }
        bool prepared = FindProtectedRecord(files_, folder_, root, recordFolder_) &&
                        PrepareProtectedFolder(files_, root, recordFolder_, fault);
        for (std::size_t i = 0; !prepared && root.empty() && i < roots.size(); ++i) {
            recordFolder_ = ProtectedRecordFolder(roots[i], folder_);
            prepared = UsableRoot(files_, roots[i]) && PrepareProtectedFolder(files_, roots[i], recordFolder_, fault);
            if (prepared) root = roots[i];
        }
        if (!prepared) {
            Abandon();
            if (fault.level.empty()) fault = {roots.front(), "是其他用户的文件夹"};
            return Format(kRecordFolderUnsafe, fault.level.c_str(), fault.why.c_str());
        }
    }
    std::vector<JournalEntry> earlier;
    std::string bytes;
    switch (Read(files_, codec_, root, recordFolder_, bytes, earlier, fault)) {
        case RecordState::Loaded:
            // Kept before what this run has recorded so far (the folders it made).
            entries_.insert(entries_.begin(), earlier.begin(), earlier.end());
            Index(0);
            written_ = firstOfRun_ = earlier.size();
            headerWritten_ = true;
            continued_ = true;
            for (const JournalEntry& e : earlier) backups_ += e.kind == EntryKind::Replaced;
            resumeAfterCut_ = !bytes.empty() && bytes.back() != '\n';
            break;
        case RecordState::Unsafe:
            Abandon();
            return Format(kRecordFolderUnsafe, fault.level.c_str(), fault.why.c_str());
        case RecordState::Damaged:
            // Not ours to guess at, nor to lose, nor to write over: whoever looks at it finds it
            // as it is, and this install does not go on.
            Abandon();
            return Format(kRecordDamaged, JoinPath(recordFolder_, kRecordName).c_str());
        case RecordState::Missing:
            break;
    }
    placed_ = true;
    Flush();
    return std::string();
}

void Journal::Abandon() {
    // The folders this run made for the install, innermost first, while still empty.
    for (std::size_t i = entries_.size(); i-- > firstOfRun_;)
        if (entries_[i].kind == EntryKind::Folder) files_.RemoveFolder(entries_[i].path);
    entries_.clear();
    fileIndex_.clear();
    armed_ = false;
}

void Journal::Withdraw() {
    if (!armed_) return;
    // The copies this run made of what it was about to overwrite; those an earlier run made
    // stay with its lines.
    std::set<std::string> earlier;
    for (std::size_t i = 0; i < firstOfRun_; ++i) earlier.insert(UpperCp936(entries_[i].backup));
    for (std::size_t i = firstOfRun_; i < entries_.size(); ++i)
        if (entries_[i].kind == EntryKind::PendingReplaced && !entries_[i].backup.empty() &&
            earlier.count(UpperCp936(entries_[i].backup)) == 0)
            files_.RemoveFile(entries_[i].backup);
    files_.RemoveFolder(JoinPath(recordFolder_, kBackupFolder));
    if (!continued_ && placed_) {
        files_.RemoveFile(JoinPath(recordFolder_, kRecordName));
        if (recordFolder_ != folder_) {
            files_.RemoveFolder(recordFolder_);
            const std::size_t cut = LastSeparator(recordFolder_);
            if (cut != std::string::npos) files_.RemoveFolder(recordFolder_.substr(0, cut));  // when no install has one
        }
    }
    Abandon();
}

std::vector<std::string> Journal::FoldersOfRun() const {
    std::vector<std::string> folders;
    for (std::size_t i = firstOfRun_; i < entries_.size(); ++i)
        if (entries_[i].kind == EntryKind::Folder) folders.push_back(entries_[i].path);
    return folders;
}

void Journal::Add(const JournalEntry& entry) {
    if (armed_ && entry.kind != EntryKind::Folder) live_ = true;
    entries_.push_back(entry);
    Index(entries_.size() - 1);
}

bool Journal::Flush() {
    if (!armed_ || !placed_ || !live_) return false;
    if (written_ == entries_.size()) return true;
    const std::string path = JoinPath(recordFolder_, kRecordName);
    if (files_.ReadAttributes(recordFolder_) == kInvalidAttributes) return false;  // not yet made
    std::string text;
    if (!headerWritten_) text = Sealed(kHeader) + "\n";
    if (resumeAfterCut_) text = "\n" + Sealed(kHeader) + "\n";
    for (std::size_t i = written_; i < entries_.size(); ++i) {
        std::string line;
        if (!FormatEntry(entries_[i], codec_, line)) continue;  // cannot happen for lossless texts
        text += line;
        text += '\n';
    }
    if (!files_.WriteBytes(path, text, headerWritten_)) return false;
    headerWritten_ = true;
    resumeAfterCut_ = false;
    written_ = entries_.size();
    return true;
}

void Journal::Index(std::size_t from) {
    if (from == 0) fileIndex_.clear();
    for (std::size_t i = from; i < entries_.size(); ++i) {
        const JournalEntry& e = entries_[i];
        if (!IsFileEntry(e.kind)) continue;
        const bool done = e.kind == EntryKind::File || e.kind == EntryKind::Replaced;
        const auto inserted = fileIndex_.emplace(UpperCp936(e.path), FileLines{i, i, done});
        if (inserted.second) continue;
        if (StartsAnew(entries_[inserted.first->second.first], e)) inserted.first->second = FileLines{i, i, false};
        inserted.first->second.last = i;
        inserted.first->second.completed = inserted.first->second.completed || done;
    }
}

const JournalEntry* Journal::LastFileEntry(const std::string& path) const {
    const auto found = fileIndex_.find(UpperCp936(path));
    return found == fileIndex_.end() ? nullptr : &entries_[found->second.last];
}

const JournalEntry* Journal::FirstFileEntry(const std::string& path, bool& completed) const {
    const auto found = fileIndex_.find(UpperCp936(path));
    completed = found != fileIndex_.end() && found->second.completed;
    return found == fileIndex_.end() ? nullptr : &entries_[found->second.first];
}

std::string Journal::NewBackupPath() {
    const std::string folder = JoinPath(recordFolder_, kBackupFolder);
    if (files_.ReadAttributes(folder) == kInvalidAttributes && !files_.CreateFolder(folder)) return std::string();
    for (;;) {
        const std::string path = JoinPath(folder, Format("%d.bak", ++backups_));
        // Nor one a line names whose backup was never made (a kill came first): that line's file
        // would take this one's content for its own.
        if (files_.ReadAttributes(path) == kInvalidAttributes &&
            std::none_of(entries_.begin(), entries_.end(), [&path](const JournalEntry& e) { return EqualsNoCase(e.backup, path); }))
            return path;
    }
}

std::vector<JournalEntry> Journal::EarlierStatesIn(const std::string& otherFolder, EntryKind kind, RegKey root,
                                                   const std::string& path) {
    std::vector<JournalEntry> entries, found;
    if (EqualsNoCase(otherFolder, folder_) || !IsCanonicalPath(otherFolder)) return found;
    std::string recordFolder;
    TrustFault fault;
    if (LoadFor(files_, codec_, otherFolder, elevated_, recordFolder, entries, fault, &others_[UpperCp936(otherFolder)]) !=
        RecordState::Loaded)
        return found;
    for (const JournalEntry& e : entries)
        if (e.kind == kind && e.root == root && EqualsNoCase(e.path, path)) found.push_back(e);
    return found;
}

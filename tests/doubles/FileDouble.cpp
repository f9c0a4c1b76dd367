#include "doubles/FileDouble.h"

#include <cctype>

#include <algorithm>

#include "text/Sha256.h"
#include "text/Text.h"

namespace {
// Separates the folded components of a key; no Windows name holds it and no CP936 trail byte
// takes its value.
constexpr char kKeySeparator = '\x01';

bool IsLead(unsigned char c) { return c >= 0x81 && c <= 0xFE; }
bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// Splits at separators, stepping over both bytes of a double-byte character.
std::vector<std::string> RawParts(const std::string& path) {
    std::vector<std::string> parts(1);
    for (std::size_t i = 0; i < path.size(); ++i) {
        const char c = path[i];
        if (IsLead(static_cast<unsigned char>(c)) && i + 1 < path.size()) {
            parts.back() += c;
            parts.back() += path[++i];
        } else if (IsSeparator(c)) {
            parts.emplace_back();
        } else {
            parts.back() += c;
        }
    }
    return parts;
}

bool EndsWithSeparator(const std::string& path) {
    bool last = false;
    for (std::size_t i = 0; i < path.size(); ++i) {
        if (IsLead(static_cast<unsigned char>(path[i])) && i + 1 < path.size()) {
            ++i;
            last = false;
        } else {
            last = IsSeparator(path[i]);
        }
    }
    return last;
}

bool HasWildcard(const std::string& name) {
    return name.find_first_of("*?") != std::string::npos;
}

// '*' any run, '?' one character; letter case ignored. "*.*" matches every name, as on Windows.
bool Matches(const std::string& pattern, const std::string& name) {
    if (pattern == "*" || pattern == "*.*") return true;
    const std::string p = UpperCp936(pattern), n = UpperCp936(name);
    std::size_t pi = 0, ni = 0, star = std::string::npos, mark = 0;
    while (ni < n.size()) {
        if (pi < p.size() && (p[pi] == '?' || p[pi] == n[ni])) {
            ++pi;
            ++ni;
        } else if (pi < p.size() && p[pi] == '*') {
            star = pi++;
            mark = ni;
        } else if (star != std::string::npos) {
            pi = star + 1;
            ni = ++mark;
        } else {
            return false;
        }
    }
    while (pi < p.size() && p[pi] == '*') ++pi;
    return pi == p.size();
}

// What a drive's root grants every authenticated user: add folders to it; Modify on what they
// make there, which is what everything made below with default security inherits.
constexpr std::uint32_t kRootRights = 0x1200A9 | kRightAppendData;
constexpr std::uint32_t kModify = 0x1301BF;

// Names with their upper-case forms (ua, ub) worked out once for a whole listing.
bool ListedBefore(const std::string& ua, const std::string& a, const std::string& ub, const std::string& b) {
    const auto bytes = [](const std::string& x, const std::string& y) {
        return std::lexicographical_compare(
            x.begin(), x.end(), y.begin(), y.end(),
            [](char l, char r) { return static_cast<unsigned char>(l) < static_cast<unsigned char>(r); });
    };
    if (ua != ub) return bytes(ua, ub);
    return bytes(a, b);
}
}  // namespace

std::vector<std::string> FileDouble::Split(const std::string& whole) const {
    const std::string path = whole.substr(0, whole.find('\0'));
    // A drive's path, as nearly every one is, in one pass.
    if (path.size() >= 2 && path[1] == ':' && !IsLead(static_cast<unsigned char>(path[0])) &&
        (path.size() == 2 || IsSeparator(path[2]))) {
        std::vector<std::string> parts;
        for (std::size_t i = 0, start = 0;; start = ++i) {
            while (i < path.size() && !IsSeparator(path[i]))
                i += IsLead(static_cast<unsigned char>(path[i])) && i + 1 < path.size() ? 2 : 1;
            const std::size_t size = i - start;
            if (size == 2 && path[start] == '.' && path[start + 1] == '.') {
                if (parts.size() > 1) parts.pop_back();
            } else if (size > 1 || (size == 1 && path[start] != '.')) {
                parts.emplace_back(path, start, size);
            }
            if (i >= path.size()) return parts;
        }
    }
    std::vector<std::string> raw = RawParts(path);
    const bool absolute = raw[0].size() == 2 && raw[0][1] == ':';
    if (!absolute) {
        // Relative to the current folder; "\x" to its drive.
        std::vector<std::string> base = RawParts(currentFolder);
        if (raw[0].empty() && raw.size() > 1) base.resize(1);
        raw.insert(raw.begin(), base.begin(), base.end());
    }
    std::vector<std::string> parts;
    for (const std::string& part : raw) {
        if (part.empty() || part == ".") continue;
        if (part == "..") {
            if (parts.size() > 1) parts.pop_back();
            continue;
        }
        parts.push_back(part);
    }
    return parts;
}

std::string FileDouble::KeyOf(const std::vector<std::string>& parts) const {
    std::string key;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (i) key += kKeySeparator;
        key += LowerCp936(parts[i]);
    }
    Unalias(key);
    return key;
}

void FileDouble::Unalias(std::string& key) const {
    for (const auto& [alias, entry] : shortNames_)
        if (key.compare(0, alias.size(), alias) == 0 && (key.size() == alias.size() || key[alias.size()] == kKeySeparator))
            key.replace(0, alias.size(), entry);
}

void FileDouble::AddShortName(const std::string& path, const std::string& alias) {
    const std::string entry = PathKey(path);
    shortNames_[ParentKey(entry) + kKeySeparator + LowerCp936(alias)] = entry;
}

// KeyOf(Split(path)) for a path that starts with a drive and does not climb (".."), in one
// pass straight into key: lookups are most of the double's work in long runs.
bool FileDouble::DriveKey(const std::string& whole, std::string& key) const {
    const std::size_t length = std::min(whole.size(), whole.find('\0'));
    if (length < 2 || whole[1] != ':' || IsLead(static_cast<unsigned char>(whole[0])) ||
        (length > 2 && !IsSeparator(whole[2])))
        return false;
    key.resize(length);  // never longer than the path: written in place, cut to size at the end
    // Written through a pointer held here: a char written through the string could be its own
    // size or buffer as far as the compiler knows, which it would then read again for every byte.
    char* const out = &key[0];
    std::size_t size = 0;  // what key holds so far
    std::size_t part = 0;  // where the current part begins in key (after its separator)
    for (std::size_t i = 0;; ++i) {
        if (i < length && !IsSeparator(whole[i])) {
            const unsigned char c = static_cast<unsigned char>(whole[i]);
            if (IsLead(c) && i + 1 < length) {
                out[size++] = whole[i];
                out[size++] = whole[++i];
            } else {
                // Without a branch on it: letters and other characters alternate in every path.
                const bool upper = static_cast<unsigned char>(c - 'A') < 26;
                out[size++] = static_cast<char>(c + (upper ? 'a' - 'A' : 0));
            }
            continue;
        }
        if (size - part == 2 && out[part] == '.' && out[part + 1] == '.') return false;  // Split climbs
        if (size == part || (size - part == 1 && out[part] == '.')) size = part == 0 ? 0 : part - 1;  // and its separator
        if (i >= length) {
            key.resize(size);
            if (!shortNames_.empty()) Unalias(key);
            return true;
        }
        if (size) out[size++] = kKeySeparator;
        part = size;
    }
}

std::string FileDouble::PathKey(const std::string& path) const {
    std::string key;
    return DriveKey(path, key) ? key : KeyOf(Split(path));
}

std::string FileDouble::ParentKey(const std::string& key) {
    const std::size_t cut = key.rfind(kKeySeparator);
    return cut == std::string::npos ? std::string() : key.substr(0, cut);
}

bool FileDouble::HasChildren(const std::string& folderKey) const {
    const std::string prefix = folderKey + kKeySeparator;
    const auto it = nodes_.lower_bound(prefix);
    return it != nodes_.end() && it->first.compare(0, prefix.size(), prefix) == 0;
}

bool FileDouble::Faulted(const std::set<std::string>& faults, const std::string& path) const {
    return !faults.empty() && faults.count(PathKey(path)) != 0;
}

const FileDouble::Node* FileDouble::Find(const std::string& path) const {
    if (!DriveKey(path, lookup_)) lookup_ = KeyOf(Split(path));
    const auto it = nodes_.find(lookup_);
    if (it == nodes_.end()) return nullptr;
    // "file\" names nothing; "folder\" names the folder.
    if (EndsWithSeparator(path) && !it->second.folder) return nullptr;
    return &it->second;
}

FileDouble::Node* FileDouble::Find(const std::string& path) {
    return const_cast<Node*>(static_cast<const FileDouble*>(this)->Find(path));
}

void FileDouble::Ensure(const std::vector<std::string>& parts, std::size_t count) {
    std::string key;  // KeyOf the first n parts
    for (std::size_t n = 1; n <= count && n <= parts.size(); ++n) {
        const std::size_t parentSize = key.size();
        if (n > 1) key += kKeySeparator;
        key += LowerCp936(parts[n - 1]);
        Node& node = nodes_[key];
        if (node.name.empty()) {
            node.name = parts[n - 1];
            node.folder = true;
            node.attributes = kAttrDirectory;
            if (n == 1) {
                node.othersRights = kRootRights;
                node.inheritable = kModify;
            } else {
                Inherit(node, key.substr(0, parentSize));
            }
        }
    }
}

std::vector<const FileDouble::Node*> FileDouble::ChildNodes(const std::string& folderKey) const {
    std::vector<std::pair<std::string, const Node*>> named;  // with the upper-case name
    const std::string prefix = folderKey + kKeySeparator;
    for (auto it = nodes_.lower_bound(prefix); it != nodes_.end(); ++it) {
        if (it->first.compare(0, prefix.size(), prefix) != 0) break;
        if (it->first.find(kKeySeparator, prefix.size()) == std::string::npos)
            named.emplace_back(UpperCp936(it->second.name), &it->second);
    }
    std::sort(named.begin(), named.end(), [](const auto& a, const auto& b) {
        return ListedBefore(a.first, a.second->name, b.first, b.second->name);
    });
    std::vector<const Node*> children;
    for (const auto& child : named) children.push_back(child.second);
    return children;
}

void FileDouble::Inherit(Node& node, const std::string& parentKey) {
    const auto parent = nodes_.find(parentKey);
    node.othersRights = node.inheritable = parent == nodes_.end() ? 0 : parent->second.inheritable;
}

void FileDouble::AddFolder(const std::string& path, std::uint32_t attributes) {
    const std::vector<std::string> parts = Split(path);
    Ensure(parts, parts.size());
    if (!parts.empty()) nodes_[KeyOf(parts)].attributes = attributes | kAttrDirectory;
}

void FileDouble::AddFile(const std::string& path, const std::string& content,
                         std::uint32_t attributes) {
    const std::vector<std::string> parts = Split(path);
    if (parts.size() < 2) return;
    Ensure(parts, parts.size() - 1);
    const std::string key = KeyOf(parts);
    Node& node = nodes_[key];
    if (node.name.empty()) {
        node.name = parts.back();
        Inherit(node, ParentKey(key));
    }
    node.folder = false;
    node.attributes = attributes & ~kAttrDirectory;
    if (node.attributes == 0) node.attributes = kAttrNormal;
    node.content = content;
}

void FileDouble::Remove(const std::string& path) {
    const std::string key = PathKey(path);
    nodes_.erase(key);
    const std::string prefix = key + kKeySeparator;
    for (auto it = nodes_.lower_bound(prefix);
         it != nodes_.end() && it->first.compare(0, prefix.size(), prefix) == 0;)
        it = nodes_.erase(it);
}

bool FileDouble::IsFile(const std::string& path) const {
    const Node* node = Find(path);
    return node && !node->folder;
}

bool FileDouble::IsFolder(const std::string& path) const {
    const Node* node = Find(path);
    return node && node->folder;
}

std::string FileDouble::Content(const std::string& path) const {
    const Node* node = Find(path);
    return node && !node->folder ? node->content : std::string();
}

std::uint32_t FileDouble::Attributes(const std::string& path) const {
    const Node* node = Find(path);
    return node ? node->attributes : kInvalidAttributes;
}

std::string FileDouble::NameOf(const std::string& path) const {
    const Node* node = Find(path);
    return node ? node->name : std::string();
}

std::vector<std::string> FileDouble::Children(const std::string& folder) const {
    std::vector<std::string> names;
    for (const Node* node : ChildNodes(KeyOf(Split(folder)))) names.push_back(node->name);
    return names;
}

void FileDouble::ForEach(const std::function<void(const std::string& path, std::uint32_t attributes,
                                                  const std::string& content)>& visit) const {
    for (const auto& node : nodes_) {
        std::string path = node.first;
        for (char& c : path)
            if (c == kKeySeparator) c = '\\';
        visit(path, node.second.attributes, node.second.content);
    }
}

std::uint64_t FileDouble::ObjectOf(const std::string& path) const {
    const Node* node = Find(path);
    return node ? node->object : 0;
}

void FileDouble::SetLocked(const std::string& path, bool locked) {
    if (Node* node = Find(path)) node->locked = locked;
}

void FileDouble::SetHeld(const std::string& path, bool held) {
    if (Node* node = Find(path)) node->held = held;
}

void FileDouble::SetOwnedByOthers(const std::string& path, const std::string& owner) {
    if (Node* node = Find(path)) {
        node->ownedByOthers = true;
        node->owner = owner;
    }
}

void FileDouble::SetLinks(const std::string& path, std::uint32_t links) {
    if (Node* node = Find(path)) node->links = links;
}

void FileDouble::SetDriveType(const std::string& drive, std::uint32_t type) {
    driveTypes_[static_cast<char>(std::toupper(static_cast<unsigned char>(drive.at(0))))] = type;
}

std::uint32_t FileDouble::DriveType(const std::string& path) {
    if (Record("DriveType", &path)) return kDriveUnknown;
    if (path.size() < 2 || path[1] != ':') return kDriveNoRoot;
    const auto found = driveTypes_.find(static_cast<char>(std::toupper(static_cast<unsigned char>(path[0]))));
    return found == driveTypes_.end() ? kDriveFixed : found->second;
}

void FileDouble::SetOthersRights(const std::string& path, std::uint32_t rights, std::uint32_t inheritable) {
    if (Node* node = Find(path)) {
        node->othersRights = rights;
        node->inheritable = inheritable;
    }
}

bool FileDouble::HasLockedRights(const std::string& path) const {
    const Node* node = Find(path);
    return node && node->lockedRights;
}

bool FileDouble::HasPrivateRights(const std::string& path) const {
    const Node* node = Find(path);
    return node && node->privateRights;
}

void FileDouble::Note(const char* op, const std::string* argument, const std::string* second) {
    ++callCount;
    if (!keepCalls) return;
    std::string call = op;
    if (argument) call += "(" + *argument + (second ? "," + *second : std::string()) + ")";
    calls.push_back(std::move(call));
}

bool FileDouble::Record(const char* op, const std::string* argument, const std::string* second) {
    Note(op, argument, second);
    const bool fail = failFromCall != 0 && callCount >= failFromCall && callCount < failFromCall + failCallCount;
    failedCalls += fail;
    return fail;
}

void FileDouble::FailCopiesTo(const std::string& destination, int times) {
    copyFaults_[KeyOf(Split(destination))] = times;
}

void FileDouble::FailListing(const std::string& folder) {
    listingFaults_.insert(KeyOf(Split(folder)));
}

void FileDouble::FailWriteAttributes(const std::string& path) {
    attributeFaults_.insert(KeyOf(Split(path)));
}

PathRead FileDouble::ModulePath(std::string& path, std::uint32_t capacity) {
    if (Record("ModulePath")) return PathRead::Failed;
    if (modulePathUnrepresentable) return PathRead::Unrepresentable;
    if (failModulePath || modulePath.size() + 1 > capacity) return PathRead::Failed;
    path = modulePath;
    return PathRead::Read;
}

void FileDouble::ClearListingFaults() {
    listingFaults_.clear();
    listingFailsAt_.clear();
}

void FileDouble::FailListingAt(const std::string& folder, std::size_t index) {
    listingFailsAt_[KeyOf(Split(folder))] = index;
}

bool FileDouble::ExpandVariables(const std::string& text, std::string& expanded) {
    if (Record("ExpandVariables", &text)) return false;
    if (failExpand) return false;
    // %NAME% with a known name (any case) is replaced; anything else stays as written.
    std::string out;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t open = text.find('%', at);
        const std::size_t close = open == std::string::npos ? open : text.find('%', open + 1);
        if (close == std::string::npos) {
            out += text.substr(at);
            break;
        }
        const std::string name = text.substr(open + 1, close - open - 1);
        const auto known = std::find_if(environment.begin(), environment.end(), [&](const auto& v) {
            return UpperCp936(v.first) == UpperCp936(name);
        });
        out += text.substr(at, open - at);
        if (known == environment.end()) {
            out += text.substr(open, close - open);
            at = close;  // this '%' may open the next name
        } else {
            out += known->second;
            at = close + 1;
        }
    }
    expanded = out;
    return true;
}

bool FileDouble::FindFirst(const std::string& pattern, FindHandle& handle, FindEntry& entry) {
    handle = 0;
    if (Record("FindFirst", &pattern)) return false;
    handle = 0;
    if (EndsWithSeparator(pattern)) return false;
    std::vector<std::string> parts = Split(pattern);
    if (parts.size() < 2) return false;
    Listing listing;
    if (HasWildcard(parts.back())) {
        const std::string glob = parts.back();
        parts.pop_back();
        const std::string folderKey = KeyOf(parts);
        const auto folder = nodes_.find(folderKey);
        if (folder == nodes_.end() || !folder->second.folder) return false;
        if (listingFaults_.count(folderKey)) return false;
        const auto failAt = listingFailsAt_.find(folderKey);
        if (failAt != listingFailsAt_.end()) listing.failAt = failAt->second;
        // A drive's root has no "." and "..".
        if (parts.size() > 1)
            for (const char* dots : {".", ".."})
                if (Matches(glob, dots)) listing.entries.push_back({dots, kAttrDirectory});
        for (const Node* child : ChildNodes(folderKey))
            if (Matches(glob, child->name)) listing.entries.push_back({child->name, child->attributes, child->content.size()});
    } else {
        const auto it = nodes_.find(KeyOf(parts));
        if (it == nodes_.end()) return false;
        listing.entries.push_back({it->second.name, it->second.attributes, it->second.content.size()});
    }
    if (listing.entries.empty()) return false;
    entry = listing.entries[0];
    listing.next = 1;
    handle = nextHandle_++;
    listings_[handle] = listing;
    return true;
}

FindStep FileDouble::FindNext(FindHandle handle, FindEntry& entry) {
    if (Record("FindNext")) return FindStep::Failed;
    const auto it = listings_.find(handle);
    if (it == listings_.end()) return FindStep::Failed;
    if (it->second.next == it->second.failAt) return FindStep::Failed;
    if (it->second.next >= it->second.entries.size()) return FindStep::End;
    entry = it->second.entries[it->second.next++];
    return FindStep::Entry;
}

void FileDouble::FindClose(FindHandle handle) {
    Note("FindClose");
    listings_.erase(handle);
}

std::uint32_t FileDouble::ReadAttributes(const std::string& path) {
    if (Record("ReadAttributes", &path)) return kInvalidAttributes;
    return Attributes(path);
}

bool FileDouble::WriteAttributes(const std::string& path, std::uint32_t attributes) {
    if (Record("WriteAttributes", &path)) return false;
    Node* node = Find(path);
    if (!node || Faulted(attributeFaults_, path)) return false;
    std::uint32_t word = attributes & ~(kAttrDirectory | kAttrNormal);
    if (node->folder) word |= kAttrDirectory;
    if (word == 0) word = kAttrNormal;
    node->attributes = word;
    return true;
}

bool FileDouble::CopyOver(const std::string& source, const std::string& destination, bool failIfExists,
                          CopyReport& report) {
    if (Record("CopyOver", &source, &destination)) {
        copies.push_back({source, destination, false});
        return false;
    }
    copies.push_back({source, destination, false});
    const auto fail = [this](std::uint32_t error) {
        lastError_ = error;
        return false;
    };
    const std::string toKey = PathKey(destination);
    const auto fault = copyFaults_.find(toKey);
    if (fault != copyFaults_.end() && fault->second != 0) {
        if (fault->second > 0) --fault->second;
        return fail(5);
    }
    const Node* from = Find(source);
    if (!from || from->folder) return fail(2);
    if (from->locked) return fail(32);
    const std::string parentKey = ParentKey(toKey);
    if (parentKey.empty()) return fail(3);  // a drive's root, or nothing
    const auto folder = nodes_.find(parentKey);
    if (folder == nodes_.end() || !folder->second.folder) return fail(3);
    const auto existing = nodes_.find(toKey);
    if (existing != nodes_.end()) {
        const Node& old = existing->second;
        if (old.locked || old.held) return fail(32);
        if (&old == from || old.folder || failIfExists) return fail(5);
        if (old.attributes & kAttrReadOnly) return fail(5);
        if ((old.attributes & kAttrHidden) && !(from->attributes & kAttrHidden)) return fail(5);
        if ((old.attributes & kAttrSystem) && !(from->attributes & kAttrSystem)) return fail(5);
    }
    if (brokenCopies_.erase(toKey)) return fail(112);
    // Made as a new file, which then takes the name: the earlier file (its rights, its other
    // names, what held it) is not the copy.
    const Node copy = *from;
    Node& target = nodes_[toKey];
    const std::string name = target.name.empty() ? Split(destination).back() : target.name;
    target = Node{};
    Inherit(target, parentKey);
    target.name = name;
    target.folder = false;
    target.content = copy.content;
    target.attributes = copy.attributes;
    target.locked = false;
    copies.back().succeeded = true;
    if (report.watcher != nullptr)
        for (std::size_t at = 0; at < copy.content.size(); at += kBlockSize)
            report.watcher->Copied(std::min(kBlockSize, copy.content.size() - at));
    report.size = copy.content.size();
    if (report.hash) report.sha256 = Sha256Hex(copy.content);
    if (copied) copied(destination);
    return true;
}

void FileDouble::BreakCopyTo(const std::string& destination) { brokenCopies_.insert(KeyOf(Split(destination))); }

bool FileDouble::MakeOne(const std::string& path) {
    const std::string key = PathKey(path), parentKey = ParentKey(key);
    if (parentKey.empty() || nodes_.count(key)) return false;
    const auto folder = nodes_.find(parentKey);
    if (folder == nodes_.end() || !folder->second.folder) return false;
    Node& node = nodes_[key];
    node.name = Split(path).back();
    node.folder = true;
    node.attributes = kAttrDirectory;
    Inherit(node, parentKey);
    return true;
}

int FileDouble::MakeDir(const std::string& path) {
    if (Record("MakeDir", &path)) return -1;
    return MakeOne(path) ? 0 : -1;
}

bool FileDouble::CreateFolder(const std::string& path) {
    if (Record("CreateFolder", &path)) return false;
    return MakeOne(path);
}

bool FileDouble::CreateLockedFolder(const std::string& path) {
    if (Record("CreateLockedFolder", &path)) return false;
    if (!MakeOne(path)) return false;
    Node* node = Find(path);
    node->lockedRights = true;
    node->othersRights = node->inheritable = 0;
    return true;
}

bool FileDouble::CreatePrivateFolder(const std::string& path) {
    if (Record("CreatePrivateFolder", &path)) return false;
    if (!MakeOne(path)) return false;
    Node* node = Find(path);
    node->lockedRights = node->privateRights = true;
    node->othersRights = node->inheritable = 0;
    return true;
}

bool FileDouble::OwnedByAdministrators(const std::string& path) {
    if (Record("OwnedByAdministrators", &path)) return false;
    const Node* node = Find(path);
    return node && !node->ownedByOthers;
}

Protection FileDouble::ProtectionOf(const Node& node) {
    Protection protection;
    protection.administrativeOwner = !node.ownedByOthers;
    protection.othersRights = node.othersRights;
    protection.links = node.links;
    protection.owner = node.ownedByOthers ? node.owner : std::string();
    return protection;
}

bool FileDouble::ReadProtection(const std::string& path, Protection& protection) {
    if (Record("ReadProtection", &path)) return false;
    const Node* node = Find(path);
    if (!node) return false;
    protection = ProtectionOf(*node);
    return true;
}

bool FileDouble::Relock(const std::string& path) {
    if (Record("Relock", &path)) return false;
    Node* node = Find(path);
    // Opened without following a link: a link's target is never reached.
    if (!node || (node->attributes & kAttrReparsePoint) || node->links > 1) return false;
    node->ownedByOthers = false;
    node->lockedRights = node->folder;
    node->othersRights = node->inheritable = 0;
    return true;
}

bool FileDouble::MakePrivate(const std::string& path) {
    if (!Relock(path)) return false;
    Find(path)->privateRights = true;
    return true;
}

bool FileDouble::Exists(const std::string& path) {
    if (Record("Exists", &path)) return false;
    return Find(path) != nullptr;
}

PathRead FileDouble::CurrentFolder(std::string& path, std::uint32_t capacity) {
    if (Record("CurrentFolder")) return PathRead::Failed;
    if (failCurrentFolder || currentFolder.size() + 1 > capacity) return PathRead::Failed;
    path = currentFolder;
    return PathRead::Read;
}

bool FileDouble::FileSize(const std::string& path, std::uint64_t& size) {
    Note("FileSize", &path);
    const Node* node = Find(path);
    if (!node || node->folder || Faulted(readFaults_, path)) return false;
    size = node->content.size();
    return true;
}

bool FileDouble::HashFile(const std::string& path, std::string& sha256) {
    Note("HashFile", &path);
    const Node* node = Find(path);
    if (!node || node->folder || node->locked || Faulted(readFaults_, path)) return false;
    sha256 = Sha256Hex(node->content);
    return true;
}

bool FileDouble::ReadBytes(const std::string& path, std::string& bytes) {
    Note("ReadBytes", &path);
    const Node* node = Find(path);
    if (!node || node->folder || node->locked || Faulted(readFaults_, path)) return false;
    bytes = node->content;
    return true;
}

CheckedRead FileDouble::ReadCheckedBytes(const std::string& path, const FileCheck& check, std::string& bytes) {
    if (Record("ReadCheckedBytes", &path)) return CheckedRead::Failed;
    const Node* node = Find(path);
    if (!node) return CheckedRead::Missing;
    if (!check(node->attributes, ProtectionOf(*node))) return CheckedRead::Refused;
    if (node->folder || node->locked || Faulted(readFaults_, path)) return CheckedRead::Failed;
    bytes = node->content;
    return CheckedRead::Read;
}

bool FileDouble::WriteBytes(const std::string& path, const std::string& bytes, bool append) {
    Note(append ? "AppendBytes" : "WriteBytes", &path);
    const std::string key = PathKey(path), parentKey = ParentKey(key);
    if (parentKey.empty()) return false;  // a drive's root, or nothing
    if (writeFaults_.count(key)) return false;
    const auto folder = nodes_.find(parentKey);
    if (folder == nodes_.end() || !folder->second.folder) return false;
    const auto existing = nodes_.find(key);
    if (existing != nodes_.end()) {
        Node& node = existing->second;
        if (node.folder || node.locked || (node.attributes & kAttrReadOnly)) return false;
        if (append)
            node.content += bytes;
        else
            node.content = bytes;
        return true;
    }
    AddFile(path, bytes);
    return true;
}

bool FileDouble::RemoveFile(const std::string& path) {
    Note("RemoveFile", &path);
    const Node* node = Find(path);
    // As DeleteFile: not a folder, not read-only, not in use.
    if (!node || node->folder || node->locked || node->held || (node->attributes & kAttrReadOnly)) return false;
    if (Faulted(writeFaults_, path)) return false;
    Remove(path);
    return true;
}

bool FileDouble::MoveEntry(const std::string& from, const std::string& to) {
    if (Record("MoveEntry", &from, &to)) return false;
    const std::vector<std::string> source = Split(from), target = Split(to);
    const std::string key = KeyOf(source), moved = KeyOf(target), prefix = key + kKeySeparator;
    const auto entry = nodes_.find(key);
    const std::vector<std::string> parent(target.begin(), target.end() - (target.empty() ? 0 : 1));
    const auto folder = nodes_.find(KeyOf(parent));
    lastError_ = 5;
    if (entry == nodes_.end() || source.size() < 2 || target.size() < 2 || folder == nodes_.end() ||
        !folder->second.folder || Faulted(writeFaults_, from))
        return false;
    if (nodes_.count(moved)) return lastError_ = 183, false;            // ERROR_ALREADY_EXISTS
    if (source[0] != target[0]) return lastError_ = 17, false;          // ERROR_NOT_SAME_DEVICE
    if (moved.compare(0, prefix.size(), prefix) == 0) return false;     // into itself
    // As Windows: neither an entry in use nor a folder with anything in it in use is moved.
    std::vector<std::pair<std::string, Node>> subtree;
    for (auto it = nodes_.lower_bound(key); it != nodes_.end(); ++it) {
        if (it->first != key && it->first.compare(0, prefix.size(), prefix) != 0) break;
        if (it->second.locked || it->second.held) return lastError_ = 32, false;
        subtree.emplace_back(moved + it->first.substr(key.size()), it->second);
    }
    Remove(from);
    subtree.front().second.name = target.back();
    for (auto& node : subtree) nodes_.emplace(std::move(node.first), std::move(node.second));
    lastError_ = 0;
    return true;
}

bool FileDouble::RemoveFolder(const std::string& path) {
    Note("RemoveFolder", &path);
    const Node* node = Find(path);
    const std::string key = PathKey(path);
    if (!node || !node->folder || ParentKey(key).empty()) return false;
    if (HasChildren(key) || Faulted(writeFaults_, path)) return false;
    Remove(path);
    return true;
}

void FileDouble::FailReads(const std::string& path) { readFaults_.insert(KeyOf(Split(path))); }
void FileDouble::FailWrites(const std::string& path) { writeFaults_.insert(KeyOf(Split(path))); }

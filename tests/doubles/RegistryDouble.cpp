#include "doubles/RegistryDouble.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "doubles/Cp936Codec.h"

namespace {

constexpr std::size_t kMaxKeyName = 255;

// The name of size bytes at name, folded into `folded` (whose storage a walk over many levels
// keeps).
void FoldInto(const char* name, std::size_t size, std::u16string& folded) {
    // ASCII, as nearly every name is, needs no code page.
    bool ascii = true;
    for (std::size_t i = 0; i < size; ++i) ascii = ascii && static_cast<unsigned char>(name[i]) < 0x80;
    if (ascii) {
        folded.resize(size);
        for (std::size_t i = 0; i < size; ++i)
            folded[i] = static_cast<char16_t>(name[i] >= 'a' && name[i] <= 'z' ? name[i] - 0x20 : name[i]);
        return;
    }
    folded = DecodeCp936(std::string(name, size));
    for (char16_t& c : folded) c = UpcaseForRegistry(c);
}

// Whether a name is ASCII and folds to `folded`: compared as FoldInto folds it, with no folded copy.
bool AsciiFoldsTo(const std::string& name, const std::u16string& folded) {
    if (name.size() != folded.size()) return false;
    for (std::size_t i = 0; i < name.size(); ++i) {
        const char c = name[i];
        if (static_cast<unsigned char>(c) >= 0x80 || folded[i] != static_cast<char16_t>(c >= 'a' && c <= 'z' ? c - 0x20 : c))
            return false;
    }
    return true;
}

bool IsAscii(const std::string& name) {
    for (char c : name)
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    return true;
}

std::u16string Fold(const std::string& name) {
    std::u16string folded;
    FoldInto(name.data(), name.size(), folded);
    return folded;
}

// Splits a key path at its backslashes. Empty levels (a trailing or doubled backslash) are
// skipped, as the registry skips them; a leading backslash is the caller's error.
std::vector<std::string> Levels(const std::string& path) {
    std::vector<std::string> levels;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find('\\', start);
        if (end == std::string::npos) end = path.size();
        if (end > start) levels.push_back(path.substr(start, end - start));
        start = end + 1;
    }
    return levels;
}

std::string Hex(const std::string& bytes) {
    std::string out;
    char piece[4];
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        std::snprintf(piece, sizeof piece, i ? ",%02x" : "%02x", static_cast<unsigned char>(bytes[i]));
        out += piece;
    }
    return out;
}

std::string Quoted(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '\\' || c == '"') out += '\\';
        out += c;
    }
    return out + "\"";
}

}  // namespace

struct RegistryDouble::Node {
    std::string name;
    std::u16string folded;
    Node* parent = nullptr;
    bool deleted = false;
    std::vector<std::shared_ptr<Node>> children;  // sorted by folded name
    std::vector<Value> values;                    // in creation order

    std::vector<std::shared_ptr<Node>>::iterator LowerBound(const std::u16string& key) {
        return std::lower_bound(children.begin(), children.end(), key,
                                [](const std::shared_ptr<Node>& n, const std::u16string& k) {
                                    return n->folded < k;
                                });
    }
    std::shared_ptr<Node> Child(const std::string& childName) {
        const std::u16string key = Fold(childName);
        const std::shared_ptr<Node>* child = Child(key);
        return child ? *child : nullptr;
    }
    const std::shared_ptr<Node>* Child(const std::u16string& key) {
        auto it = LowerBound(key);
        return it != children.end() && (*it)->folded == key ? &*it : nullptr;
    }
    Value* FindValue(const std::string& valueName) {
        // An ASCII name, as nearly every one is, is compared as it folds.
        if (IsAscii(valueName)) {
            for (Value& v : values)
                if (AsciiFoldsTo(valueName, v.folded)) return &v;
            return nullptr;
        }
        const std::u16string key = Fold(valueName);
        for (Value& v : values)
            if (v.folded == key) return &v;
        return nullptr;
    }
    std::u16string FoldedPath() const {
        return parent ? parent->FoldedPath() + u"\\" + folded : folded;
    }
};

RegistryDouble::RegistryDouble()
    : localMachine_(std::make_shared<Node>()), currentUser_(std::make_shared<Node>()), users_(std::make_shared<Node>()) {
    localMachine_->name = "HKEY_LOCAL_MACHINE";
    localMachine_->folded = Fold(localMachine_->name);
    currentUser_->name = "HKEY_CURRENT_USER";
    currentUser_->folded = Fold(currentUser_->name);
    users_->name = "HKEY_USERS";
    users_->folded = Fold(users_->name);
}

RegistryDouble::~RegistryDouble() {
    Detach(localMachine_);
    Detach(currentUser_);
    Detach(users_);
    for (auto& entry : hives_) Detach(entry.second.root);
}

// --- Plumbing ---

long RegistryDouble::Begin(RegOp op) {
    ++calls_[static_cast<int>(op)];
    ++calls_[static_cast<int>(RegOp::Any)];
    if (beforeCall) beforeCall(op);
    for (const Fault& f : faults_) {
        const int n = calls_[static_cast<int>(f.op)];
        // A close that fails would leave the handle open whatever the caller does, so only a
        // fault aimed at CloseKey itself fails it.
        const bool applies = f.op == op || (f.op == RegOp::Any && op != RegOp::CloseKey);
        if (applies && n >= f.first && n <= f.last) return f.error;
    }
    return kErrorSuccess;
}

std::shared_ptr<RegistryDouble::Node> RegistryDouble::Root(RegKey root) const {
    if (root == kHkeyLocalMachine) return localMachine_;
    if (root == kHkeyCurrentUser) return currentUser_;
    if (root == kHkeyUsers) return users_;
    return nullptr;
}

std::shared_ptr<RegistryDouble::Node> RegistryDouble::Resolve(RegKey key, long& error) {
    if (auto root = Root(key)) return root;
    auto it = handles_.find(key);
    if (it == handles_.end()) {
        ++badHandleCalls;
        error = kErrorInvalidHandle;
        return nullptr;
    }
    if (it->second->deleted) {
        error = kErrorKeyDeleted;
        return nullptr;
    }
    return it->second;
}

std::shared_ptr<RegistryDouble::Node> RegistryDouble::Find(const std::shared_ptr<Node>& from,
                                                           const std::string& path) const {
    // Level by level as Levels splits them, without making them (lookups are most of the
    // double's work in long runs).
    const std::shared_ptr<Node>* node = &from;
    std::u16string key;
    for (std::size_t start = 0; start <= path.size();) {
        std::size_t end = path.find('\\', start);
        if (end == std::string::npos) end = path.size();
        if (end > start) {
            FoldInto(path.data() + start, end - start, key);
            node = (*node)->Child(key);
            if (!node) return nullptr;
        }
        start = end + 1;
    }
    return *node;
}

std::shared_ptr<RegistryDouble::Node> RegistryDouble::Make(const std::shared_ptr<Node>& from,
                                                           const std::string& path) {
    std::shared_ptr<Node> node = from;
    for (const std::string& level : Levels(path)) {
        std::shared_ptr<Node> child = node->Child(level);
        if (!child) {
            child = std::make_shared<Node>();
            child->name = level;
            child->folded = Fold(level);
            child->parent = node.get();
            node->children.insert(node->LowerBound(child->folded), child);
        }
        node = child;
    }
    return node;
}

RegKey RegistryDouble::NewHandle(const std::shared_ptr<Node>& node) {
    const RegKey handle = nextHandle_;
    nextHandle_ += 4;  // never reused, so a stale handle is always caught
    handles_[handle] = node;
    return handle;
}

long RegistryDouble::KeyFaultFor(const std::shared_ptr<Node>& node) const {
    if (keyFaults_.empty()) return kErrorSuccess;
    const std::u16string path = node->FoldedPath();
    for (const KeyFault& f : keyFaults_)
        if (f.path == path) return f.error;
    return kErrorSuccess;
}

long RegistryDouble::WriteFaultFor(const std::shared_ptr<Node>& node, const char* valueName) const {
    return ValueFaultFor(writeFaults_, node, valueName);
}

long RegistryDouble::ValueFaultFor(const std::vector<WriteFault>& faults,
                                   const std::shared_ptr<Node>& node, const char* valueName) const {
    if (faults.empty()) return kErrorSuccess;
    const std::u16string path = node->FoldedPath();
    const std::u16string name = Fold(valueName ? valueName : "");
    for (const WriteFault& f : faults)
        if (f.path == path && (f.valueName.empty() || f.valueName == name)) return f.error;
    return kErrorSuccess;
}

std::u16string RegistryDouble::FoldedPath(RegKey root, const std::string& path) const {
    std::shared_ptr<Node> node = Root(root);
    std::u16string folded = node ? node->folded : u"?";
    for (const std::string& level : Levels(path)) folded += u"\\" + Fold(level);
    return folded;
}

void RegistryDouble::Detach(const std::shared_ptr<Node>& node) {
    node->deleted = true;
    for (auto& child : node->children) {
        Detach(child);
        child->parent = nullptr;
    }
    node->children.clear();
}

// --- The seam ---

long RegistryDouble::FindExisting(RegKey parent, const char* subKey, std::shared_ptr<Node>& node) {
    long error = kErrorSuccess;
    std::shared_ptr<Node> from = Resolve(parent, error);
    if (!from) return error;
    const std::string path = subKey ? subKey : "";
    if (!path.empty() && path[0] == '\\') return kErrorBadPathname;
    node = Find(from, path);
    return node ? kErrorSuccess : kErrorFileNotFound;
}

long RegistryDouble::OpenPath(RegKey parent, const char* subKey, RegKey& out) {
    std::shared_ptr<Node> node;
    if (long e = FindExisting(parent, subKey, node)) return e;
    if (long e = KeyFaultFor(node)) return e;
    out = NewHandle(node);
    return kErrorSuccess;
}

long RegistryDouble::OpenKey(RegKey parent, const char* subKey, RegKey& out) {
    if (long e = Begin(RegOp::OpenKey)) return e;
    if (subKey == nullptr || *subKey == '\0') {
        long error = kErrorSuccess;
        if (!Resolve(parent, error)) return error;
        out = parent;  // RegOpenKeyA hands back the very handle it was given
        return kErrorSuccess;
    }
    return OpenPath(parent, subKey, out);
}

long RegistryDouble::OpenKeyRead(RegKey parent, const char* subKey, RegKey& out) {
    if (long e = Begin(RegOp::OpenKeyRead)) return e;
    return OpenPath(parent, subKey, out);
}

long RegistryDouble::QuerySubKeyCount(RegKey key, std::uint32_t& count) {
    if (long e = Begin(RegOp::QuerySubKeyCount)) return e;
    long error = kErrorSuccess;
    std::shared_ptr<Node> node = Resolve(key, error);
    if (!node) return error;
    count = static_cast<std::uint32_t>(node->children.size());
    return kErrorSuccess;
}

long RegistryDouble::EnumKey(RegKey key, std::uint32_t index, char* name, std::uint32_t& length) {
    if (long e = Begin(RegOp::EnumKey)) return e;
    long error = kErrorSuccess;
    std::shared_ptr<Node> node = Resolve(key, error);
    if (!node) return error;
    if (!enumFaults_.empty()) {
        const std::u16string path = node->FoldedPath();
        for (const EnumFault& f : enumFaults_)
            if (f.path == path && f.index == index) return f.error;
    }
    if (index >= node->children.size()) return kErrorNoMoreItems;
    const std::string& childName = node->children[index]->name;
    if (name == nullptr || childName.size() + 1 > length) return kErrorMoreData;
    std::memcpy(name, childName.c_str(), childName.size() + 1);
    length = static_cast<std::uint32_t>(childName.size());
    return kErrorSuccess;
}

long RegistryDouble::QueryValue(RegKey key, const char* valueName, std::uint32_t* type,
                                std::uint8_t* data, std::uint32_t& size) {
    if (long e = Begin(RegOp::QueryValue)) return e;
    long error = kErrorSuccess;
    std::shared_ptr<Node> node = Resolve(key, error);
    if (!node) return error;
    const Value* value = node->FindValue(valueName ? valueName : "");
    if (!value) return kErrorFileNotFound;
    if (long e = ValueFaultFor(readFaults_, node, valueName)) return e;
    if (type) *type = value->type;
    const auto needed = static_cast<std::uint32_t>(value->bytes.size());
    if (data == nullptr) {
        size = needed;
        return kErrorSuccess;
    }
    if (needed > size) {
        size = needed;
        return kErrorMoreData;
    }
    if (needed) std::memcpy(data, value->bytes.data(), needed);
    size = needed;
    return kErrorSuccess;
}

long RegistryDouble::CreateKey(RegKey parent, const char* path, RegKey& out) {
    if (long e = Begin(RegOp::CreateKey)) return e;
    long error = kErrorSuccess;
    std::shared_ptr<Node> node = Resolve(parent, error);
    if (!node) return error;
    const std::string text = path ? path : "";
    if (!text.empty() && text[0] == '\\') return kErrorBadPathname;
    const std::vector<std::string> levels = Levels(text);
    for (const std::string& level : levels)
        if (DecodeCp936(level).size() > kMaxKeyName) return kErrorInvalidParameter;
    if (levels.empty()) {  // a new handle to the parent itself
        out = NewHandle(node);
        return kErrorSuccess;
    }
    for (const std::string& level : levels) {
        std::shared_ptr<Node> child = node->Child(level);
        if (!child) {
            if (!keyFaults_.empty()) {
                const std::u16string path16 = node->FoldedPath() + u"\\" + Fold(level);
                for (const KeyFault& f : keyFaults_)
                    if (path16.compare(0, f.path.size(), f.path) == 0 &&
                        (path16.size() == f.path.size() || path16[f.path.size()] == u'\\'))
                        return f.error;
            }
            child = Make(node, level);
        } else if (long e = KeyFaultFor(child)) {
            return e;
        }
        node = child;
    }
    out = NewHandle(node);
    return kErrorSuccess;
}

long RegistryDouble::Write(RegKey key, const char* valueName, std::uint32_t type,
                           const std::string& bytes, RegOp op) {
    if (long e = Begin(op)) return e;
    long error = kErrorSuccess;
    std::shared_ptr<Node> node = Resolve(key, error);
    if (!node) return error;
    if (long e = WriteFaultFor(node, valueName)) return e;
    const std::string name = valueName ? valueName : "";
    if (Value* existing = node->FindValue(name)) {
        existing->type = type;
        existing->bytes = bytes;
    } else {
        node->values.push_back({name, Fold(name), type, bytes});
    }
    return kErrorSuccess;
}

long RegistryDouble::SetDword(RegKey key, const char* valueName, std::uint32_t value) {
    std::string bytes(4, '\0');
    for (int i = 0; i < 4; ++i) bytes[i] = static_cast<char>((value >> (8 * i)) & 0xFF);
    return Write(key, valueName, kRegDword, bytes, RegOp::SetDword);
}

long RegistryDouble::SetString(RegKey key, const char* valueName, const char* text,
                               std::uint32_t byteCount) {
    // Exactly the bytes given: Windows stores no terminator that the count leaves out.
    std::string bytes = text ? std::string(text, byteCount) : std::string();
    return Write(key, valueName, kRegSz, bytes, RegOp::SetString);
}

long RegistryDouble::SetValue(RegKey key, const char* valueName, std::uint32_t type,
                              const std::string& bytes) {
    return Write(key, valueName, type, bytes, RegOp::SetValue);
}

long RegistryDouble::EnumValue(RegKey key, std::uint32_t index, std::string& name,
                               std::uint32_t& type, std::string& data) {
    if (long e = Begin(RegOp::EnumValue)) return e;
    long error = kErrorSuccess;
    std::shared_ptr<Node> node = Resolve(key, error);
    if (!node) return error;
    if (index >= node->values.size()) return kErrorNoMoreItems;
    const Value& value = node->values[index];
    if (long e = ValueFaultFor(readFaults_, node, value.name.c_str())) return e;
    if (value.bytes.size() > kLargestValueRead) return kErrorMoreData;  // as the seam lists, unread
    name = value.name;
    type = value.type;
    data = value.bytes;
    return kErrorSuccess;
}

long RegistryDouble::DeleteValue(RegKey key, const char* valueName) {
    if (long e = Begin(RegOp::DeleteValue)) return e;
    long error = kErrorSuccess;
    std::shared_ptr<Node> node = Resolve(key, error);
    if (!node) return error;
    if (long e = WriteFaultFor(node, valueName)) return e;
    const std::u16string folded = Fold(valueName ? valueName : "");
    for (auto it = node->values.begin(); it != node->values.end(); ++it) {
        if (it->folded == folded) {
            node->values.erase(it);
            return kErrorSuccess;
        }
    }
    return kErrorFileNotFound;
}

long RegistryDouble::DeleteKey(RegKey parent, const char* subKey) {
    if (long e = Begin(RegOp::DeleteKey)) return e;
    std::shared_ptr<Node> node;
    if (long e = FindExisting(parent, subKey, node)) return e;
    if (!node->parent) return kErrorAccessDenied;  // a predefined root
    if (long e = KeyFaultFor(node)) return e;
    if (!node->children.empty()) return kErrorAccessDenied;
    Node* owner = node->parent;
    owner->children.erase(owner->LowerBound(node->folded));
    Detach(node);
    node->parent = nullptr;
    return kErrorSuccess;
}

long RegistryDouble::CloseKey(RegKey key) {
    if (long e = Begin(RegOp::CloseKey)) return e;
    if (Root(key)) return kErrorSuccess;
    auto it = handles_.find(key);
    if (it == handles_.end()) {
        ++badHandleCalls;
        return kErrorInvalidHandle;
    }
    handles_.erase(it);
    return kErrorSuccess;
}

long RegistryDouble::LoadHive(const char* name, const char* file) {
    if (long e = Begin(RegOp::LoadHive)) return e;
    return Mount(name ? name : "", file ? file : "");
}

long RegistryDouble::UnloadHive(const char* name) {
    if (long e = Begin(RegOp::UnloadHive)) return e;
    return Unmount(name ? name : "");
}

long RegistryDouble::Mount(const std::string& name, const std::string& file) {
    if (name.empty() || name.find('\\') != std::string::npos || DecodeCp936(name).size() > kMaxKeyName)
        return kErrorInvalidParameter;
    auto it = hives_.find(Fold(file));
    if (it == hives_.end()) return kErrorFileNotFound;
    Hive& hive = it->second;
    if (hive.loaded || hive.state == HiveFile::InUse) return kErrorSharingViolation;
    if (hive.state == HiveFile::Damaged) return kErrorBadDb;
    if (users_->Child(name)) return kErrorAlreadyExists;
    hive.root->name = name;
    hive.root->folded = Fold(name);
    hive.root->parent = users_.get();
    users_->children.insert(users_->LowerBound(hive.root->folded), hive.root);
    hive.loaded = true;
    return kErrorSuccess;
}

long RegistryDouble::Unmount(const std::string& name) {
    std::shared_ptr<Node> node = name.empty() ? nullptr : users_->Child(name);
    if (!node) return kErrorFileNotFound;
    Hive* hive = nullptr;
    for (auto& entry : hives_)
        if (entry.second.loaded && entry.second.root == node) hive = &entry.second;
    if (!hive) return kErrorInvalidParameter;
    for (const auto& handle : handles_)
        for (const Node* n = handle.second.get(); n != nullptr; n = n->parent)
            if (n == node.get()) return kErrorAccessDenied;
    users_->children.erase(users_->LowerBound(node->folded));
    node->parent = nullptr;
    hive->loaded = false;
    return kErrorSuccess;
}

// --- Direct access ---

void RegistryDouble::CreateKeyPath(RegKey root, const std::string& path) {
    if (auto node = Root(root)) Make(node, path);
}

void RegistryDouble::PutValue(RegKey root, const std::string& path, const std::string& name,
                              std::uint32_t type, const std::string& bytes) {
    std::shared_ptr<Node> top = Root(root);
    if (!top) return;
    std::shared_ptr<Node> node = Make(top, path);
    if (Value* existing = node->FindValue(name)) {
        existing->type = type;
        existing->bytes = bytes;
    } else {
        node->values.push_back({name, Fold(name), type, bytes});
    }
}

void RegistryDouble::PutString(RegKey root, const std::string& path, const std::string& name,
                               const std::string& text, bool withTerminator) {
    PutValue(root, path, name, kRegSz, withTerminator ? text + '\0' : text);
}

void RegistryDouble::PutDword(RegKey root, const std::string& path, const std::string& name,
                              std::uint32_t value) {
    std::string bytes(4, '\0');
    for (int i = 0; i < 4; ++i) bytes[i] = static_cast<char>((value >> (8 * i)) & 0xFF);
    PutValue(root, path, name, kRegDword, bytes);
}

bool RegistryDouble::KeyExists(RegKey root, const std::string& path) const {
    std::shared_ptr<Node> top = Root(root);
    return top && Find(top, path) != nullptr;
}

bool RegistryDouble::GetValue(RegKey root, const std::string& path, const std::string& name,
                              std::uint32_t& type, std::string& bytes) const {
    std::shared_ptr<Node> top = Root(root);
    std::shared_ptr<Node> node = top ? Find(top, path) : nullptr;
    const Value* value = node ? node->FindValue(name) : nullptr;
    if (!value) return false;
    type = value->type;
    bytes = value->bytes;
    return true;
}

std::string RegistryDouble::GetText(RegKey root, const std::string& path,
                                    const std::string& name) const {
    std::uint32_t type = 0;
    std::string bytes;
    if (!GetValue(root, path, name, type, bytes)) return std::string();
    return bytes.substr(0, bytes.find('\0'));
}

bool RegistryDouble::DeleteValue(RegKey root, const std::string& path, const std::string& name) {
    std::shared_ptr<Node> top = Root(root);
    std::shared_ptr<Node> node = top ? Find(top, path) : nullptr;
    if (!node) return false;
    const std::u16string key = Fold(name);
    auto it = std::find_if(node->values.begin(), node->values.end(),
                           [&](const Value& v) { return v.folded == key; });
    if (it == node->values.end()) return false;
    node->values.erase(it);
    return true;
}

bool RegistryDouble::DeleteTree(RegKey root, const std::string& path) {
    std::shared_ptr<Node> top = Root(root);
    std::shared_ptr<Node> node = top ? Find(top, path) : nullptr;
    if (!node || !node->parent) return false;
    Node* owner = node->parent;
    owner->children.erase(owner->LowerBound(node->folded));
    Detach(node);
    node->parent = nullptr;
    return true;
}

std::vector<std::string> RegistryDouble::SubKeyNames(RegKey root, const std::string& path) const {
    std::vector<std::string> names;
    std::shared_ptr<Node> top = Root(root);
    std::shared_ptr<Node> node = top ? Find(top, path) : nullptr;
    if (node)
        for (const auto& child : node->children) names.push_back(child->name);
    return names;
}

std::string RegistryDouble::ValueText(std::uint32_t type, const std::string& bytes) {
    char word[16];
    if (type == kRegSz || type == kRegExpandSz) {
        std::string text = bytes;
        while (!text.empty() && text.back() == '\0') text.pop_back();
        return (type == kRegSz ? "sz:" : "expand_sz:") + Quoted(text);
    }
    if (type == kRegDword && bytes.size() == 4) {
        std::uint32_t value = 0;
        for (int i = 3; i >= 0; --i) value = value << 8 | static_cast<unsigned char>(bytes[i]);
        std::snprintf(word, sizeof word, "dword:%08x", static_cast<unsigned>(value));
        return word;
    }
    std::snprintf(word, sizeof word, "hex(%x):", static_cast<unsigned>(type));
    return word + Hex(bytes);
}

void RegistryDouble::DumpNode(const Node& node, const std::string& relative, std::string& out) {
    out += "[" + relative + "]\n";
    std::vector<const Value*> values;
    for (const Value& v : node.values) values.push_back(&v);
    std::sort(values.begin(), values.end(),
              [](const Value* a, const Value* b) { return a->folded < b->folded; });
    for (const Value* v : values) out += (v->name.empty() ? std::string("@") : Quoted(v->name)) + "=" + ValueText(v->type, v->bytes) + "\n";
    for (const auto& child : node.children)
        DumpNode(*child, relative.empty() ? child->name : relative + "\\" + child->name, out);
}

void RegistryDouble::ForEach(RegKey root, const std::string& path, const Visit& visit) const {
    std::shared_ptr<Node> top = Root(root);
    std::shared_ptr<Node> node = top ? Find(top, path) : nullptr;
    if (!node) return;
    std::string relative;
    Walk(*node, relative, visit);
}

void RegistryDouble::Walk(const Node& node, std::string& relative, const Visit& visit) {
    static const std::string none;
    visit(relative, nullptr, 0, none);
    for (const Value& v : node.values) visit(relative, &v.name, v.type, v.bytes);
    for (const auto& child : node.children) {
        const std::size_t size = relative.size();
        if (size) relative += '\\';
        relative += child->name;
        Walk(*child, relative, visit);
        relative.resize(size);
    }
}

std::string RegistryDouble::Dump(RegKey root, const std::string& path) const {
    std::shared_ptr<Node> top = Root(root);
    std::shared_ptr<Node> node = top ? Find(top, path) : nullptr;
    std::string out;
    if (node) DumpNode(*node, "", out);
    return out;
}

void RegistryDouble::SaveHive(RegKey root, const std::string& path, const std::string& file) {
    std::shared_ptr<Node> top = Root(root);
    std::shared_ptr<Node> node = top ? Find(top, path) : nullptr;
    if (!node || !node->parent) return;
    Node* owner = node->parent;
    owner->children.erase(owner->LowerBound(node->folded));
    node->parent = nullptr;
    hives_[Fold(file)] = Hive{node, HiveFile::Sound, false};
}

void RegistryDouble::SetHiveFile(const std::string& file, HiveFile state) {
    auto it = hives_.find(Fold(file));
    if (it != hives_.end()) it->second.state = state;
}

bool RegistryDouble::GetHiveValue(const std::string& file, const std::string& path, const std::string& name,
                                  std::uint32_t& type, std::string& bytes) const {
    auto it = hives_.find(Fold(file));
    std::shared_ptr<Node> node = it == hives_.end() ? nullptr : Find(it->second.root, path);
    const Value* value = node ? node->FindValue(name) : nullptr;
    if (!value) return false;
    type = value->type;
    bytes = value->bytes;
    return true;
}

bool RegistryDouble::HiveKeyExists(const std::string& file, const std::string& path) const {
    auto it = hives_.find(Fold(file));
    return it != hives_.end() && Find(it->second.root, path) != nullptr;
}

bool RegistryDouble::MountHive(const std::string& name, const std::string& file) {
    return Mount(name, file) == kErrorSuccess;
}

bool RegistryDouble::UnmountHive(const std::string& name) { return Unmount(name) == kErrorSuccess; }

// --- Counts and faults ---

void RegistryDouble::ResetCallCounts() {
    for (int& c : calls_) c = 0;
}

void RegistryDouble::FailCall(RegOp op, int nth, long error, int count) {
    faults_.push_back({op, nth, nth + (count > 0 ? count : 1) - 1, error});
}

void RegistryDouble::FailKey(RegKey root, const std::string& path, long error) {
    keyFaults_.push_back({FoldedPath(root, path), error});
}

void RegistryDouble::FailEnumAt(RegKey root, const std::string& path, std::uint32_t index,
                                long error) {
    enumFaults_.push_back({FoldedPath(root, path), index, error});
}

void RegistryDouble::RefuseValueWrite(RegKey root, const std::string& path,
                                      const std::string& valueName, long error) {
    writeFaults_.push_back({FoldedPath(root, path), Fold(valueName), error});
}

void RegistryDouble::FailValueRead(RegKey root, const std::string& path,
                                   const std::string& valueName, long error) {
    readFaults_.push_back({FoldedPath(root, path), Fold(valueName), error});
}

void RegistryDouble::ClearFaults() {
    readFaults_.clear();
    faults_.clear();
    keyFaults_.clear();
    enumFaults_.clear();
    writeFaults_.clear();
}

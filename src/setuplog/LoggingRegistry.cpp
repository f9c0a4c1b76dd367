#include "setuplog/LoggingRegistry.h"

#include "text/Text.h"

std::string LoggingRegistry::PathOf(RegKey key) const {
    if (key == kHkeyLocalMachine) return "HKLM";
    if (key == kHkeyCurrentUser) return "HKCU";
    if (key == kHkeyUsers) return "HKU";
    const auto found = paths_.find(key);
    return found != paths_.end() ? found->second : Format("(key %#llx)", static_cast<unsigned long long>(key));
}

std::string LoggingRegistry::PathOf(RegKey parent, const char* subKey) const {
    std::string path = PathOf(parent);
    if (subKey != nullptr && subKey[0] != '\0') {
        path += '\\';
        path += subKey;
    }
    // Discovery keeps key paths with a trailing backslash; the log names keys without one.
    while (path.size() > 1 && path.back() == '\\') path.pop_back();
    return path;
}

void LoggingRegistry::Remember(long result, RegKey out, RegKey parent, const char* subKey) {
    if (result == kErrorSuccess && out != 0) paths_[out] = PathOf(parent, subKey);
}

long LoggingRegistry::OpenKey(RegKey parent, const char* subKey, RegKey& out) {
    const long result = inner_.OpenKey(parent, subKey, out);
    Remember(result, out, parent, subKey);
    return result;
}

long LoggingRegistry::OpenKeyRead(RegKey parent, const char* subKey, RegKey& out) {
    const long result = inner_.OpenKeyRead(parent, subKey, out);
    Remember(result, out, parent, subKey);
    return result;
}

long LoggingRegistry::CreateKey(RegKey parent, const char* path, RegKey& out) {
    // Whether it is there already: opening it is no change, and is said so.
    bool existed = false;
    {
        RegKey there = 0;
        if (inner_.OpenKeyRead(parent, path, there) == kErrorSuccess && there != 0) {
            existed = true;
            inner_.CloseKey(there);
        }
    }
    const long result = inner_.CreateKey(parent, path, out);
    Remember(result, out, parent, path);
    if (result != kErrorSuccess)
        log_.Line(Format("registry key failed (error %ld) %s", result, PathOf(parent, path).c_str()));
    else
        log_.Line((existed ? "registry key exists " : "registry key created ") + PathOf(parent, path));
    return result;
}

void LoggingRegistry::Set(long result, const std::string& where, const std::string& value) {
    if (result == kErrorSuccess)
        log_.Line((undo_ ? "put back: " : "registry value set ") + where + " = " + value);
    else
        log_.Line(Format("registry value failed (error %ld) %s", result, where.c_str()));
}

long LoggingRegistry::SetDword(RegKey key, const char* valueName, std::uint32_t value) {
    const long result = inner_.SetDword(key, valueName, value);
    Set(result, PathOf(key) + " " + (valueName != nullptr ? valueName : "(default)"),
        Format("dword:%u", static_cast<unsigned>(value)));
    return result;
}

long LoggingRegistry::SetString(RegKey key, const char* valueName, const char* text,
                                std::uint32_t byteCount) {
    const long result = inner_.SetString(key, valueName, text, byteCount);
    Set(result, PathOf(key) + " " + (valueName != nullptr ? valueName : "(default)"),
        "\"" + (text != nullptr ? std::string(text, byteCount) : std::string()) + "\"");
    return result;
}

long LoggingRegistry::SetValue(RegKey key, const char* valueName, std::uint32_t type,
                               const std::string& bytes) {
    const long result = inner_.SetValue(key, valueName, type, bytes);
    // A text as the text (up to its terminator), anything else by its type and size.
    const std::string value = type == kRegSz || type == kRegExpandSz
                                  ? "\"" + bytes.substr(0, bytes.find('\0')) + "\""
                                  : Format("(type %u, %u bytes)", static_cast<unsigned>(type),
                                           static_cast<unsigned>(bytes.size()));
    Set(result, PathOf(key) + " " + (valueName != nullptr ? valueName : "(default)"), value);
    return result;
}

long LoggingRegistry::DeleteValue(RegKey key, const char* valueName) {
    const long result = inner_.DeleteValue(key, valueName);
    const std::string where = PathOf(key) + " " + (valueName != nullptr ? valueName : "(default)");
    if (result == kErrorSuccess)
        log_.Line((undo_ ? "removed: registry value " : "registry value deleted ") + where);
    else if (result != kErrorFileNotFound)
        log_.Line(Format("registry value not deleted (error %ld) %s", result, where.c_str()));
    return result;
}

long LoggingRegistry::DeleteKey(RegKey parent, const char* subKey) {
    const long result = inner_.DeleteKey(parent, subKey);
    // A key that was not there needed no deleting.
    if (result == kErrorSuccess)
        log_.Line((undo_ ? "removed: registry key " : "registry key deleted ") + PathOf(parent, subKey));
    else if (result != kErrorFileNotFound)
        log_.Line(Format("registry key not deleted (error %ld) %s", result, PathOf(parent, subKey).c_str()));
    return result;
}

long LoggingRegistry::CloseKey(RegKey key) {
    paths_.erase(key);
    return inner_.CloseKey(key);
}

long LoggingRegistry::LoadHive(const char* name, const char* file) {
    const long result = inner_.LoadHive(name, file);
    const std::string what = PathOf(kHkeyUsers, name) + " from " + (file != nullptr ? file : "");
    if (result == kErrorSuccess)
        log_.Line("registry hive loaded " + what);
    else
        log_.Line(Format("registry hive not loaded (error %ld) %s", result, what.c_str()));
    return result;
}

long LoggingRegistry::UnloadHive(const char* name) {
    const long result = inner_.UnloadHive(name);
    if (result == kErrorSuccess)
        log_.Line("registry hive unloaded " + PathOf(kHkeyUsers, name));
    else
        log_.Line(Format("registry hive not unloaded (error %ld) %s", result, PathOf(kHkeyUsers, name).c_str()));
    return result;
}

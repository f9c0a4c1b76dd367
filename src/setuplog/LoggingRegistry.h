#pragma once
// The registry seam with every write written to the setup log: each key created (or found there
// already) or deleted, each value set, and each hive loaded or unloaded, with the key's full path,
// or the failure with its Windows error code. Reads pass through unlogged; the wrapper only
// remembers which path each open handle names. For an uninstall (undo) the lines say what was put
// back and what removed.
#include <map>

#include "platform/Forwarding.h"
#include "platform/SetupLog.h"

class LoggingRegistry : public ForwardingRegistry {
public:
    LoggingRegistry(Registry& inner, SetupLog& log, bool undo = false)
        : ForwardingRegistry(inner), log_(log), undo_(undo) {}

    long OpenKey(RegKey parent, const char* subKey, RegKey& out) override;
    long OpenKeyRead(RegKey parent, const char* subKey, RegKey& out) override;
    long CreateKey(RegKey parent, const char* path, RegKey& out) override;
    long SetDword(RegKey key, const char* valueName, std::uint32_t value) override;
    long SetString(RegKey key, const char* valueName, const char* text,
                   std::uint32_t byteCount) override;
    long SetValue(RegKey key, const char* valueName, std::uint32_t type,
                  const std::string& bytes) override;
    long DeleteValue(RegKey key, const char* valueName) override;
    long DeleteKey(RegKey parent, const char* subKey) override;
    long CloseKey(RegKey key) override;
    long LoadHive(const char* name, const char* file) override;
    long UnloadHive(const char* name) override;

    // "HKLM\..." for a root or a handle this wrapper saw opened.
    std::string PathOf(RegKey key) const;

private:
    std::string PathOf(RegKey parent, const char* subKey) const;
    void Remember(long result, RegKey out, RegKey parent, const char* subKey);
    void Set(long result, const std::string& where, const std::string& value);

    SetupLog& log_;
    bool undo_;
    std::map<RegKey, std::string> paths_;
};

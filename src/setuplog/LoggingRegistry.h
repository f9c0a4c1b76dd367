#pragma once
// The registry seam with every write written to the setup log: each key created or deleted and
// each value set, with the key's full path, or the failure with its Windows error code. Reads
// pass through unlogged; the wrapper only remembers which path each open handle names.
#include <map>

#include "platform/Registry.h"
#include "platform/SetupLog.h"

class LoggingRegistry : public Registry {
public:
    LoggingRegistry(Registry& inner, SetupLog& log) : inner_(inner), log_(log) {}

    long OpenKey(RegKey parent, const char* subKey, RegKey& out) override;
    long OpenKeyRead(RegKey parent, const char* subKey, RegKey& out) override;
    long QuerySubKeyCount(RegKey key, std::uint32_t& count) override {
        return inner_.QuerySubKeyCount(key, count);
    }
    long EnumKey(RegKey key, std::uint32_t index, char* name, std::uint32_t& length) override {
        return inner_.EnumKey(key, index, name, length);
    }
    long QueryValue(RegKey key, const char* valueName, std::uint32_t* type, std::uint8_t* data,
                    std::uint32_t& size) override {
        return inner_.QueryValue(key, valueName, type, data, size);
    }
    long CreateKey(RegKey parent, const char* path, RegKey& out) override;
    long SetDword(RegKey key, const char* valueName, std::uint32_t value) override;
    long SetString(RegKey key, const char* valueName, const char* text,
                   std::uint32_t byteCount) override;
    long SetValue(RegKey key, const char* valueName, std::uint32_t type,
                  const std::string& bytes) override;
    long EnumValue(RegKey key, std::uint32_t index, std::string& name, std::uint32_t& type,
                   std::string& data) override {
        return inner_.EnumValue(key, index, name, type, data);
    }
    long DeleteValue(RegKey key, const char* valueName) override;
    long DeleteKey(RegKey parent, const char* subKey) override;
    long CloseKey(RegKey key) override;

    // "HKLM\..." for a root or a handle this wrapper saw opened.
    std::string PathOf(RegKey key) const;

private:
    std::string PathOf(RegKey parent, const char* subKey) const;
    void Remember(long result, RegKey out, RegKey parent, const char* subKey);

    Registry& inner_;
    SetupLog& log_;
    std::map<RegKey, std::string> paths_;
};

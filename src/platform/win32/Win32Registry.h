#pragma once
// The registry seam over the wide ADVAPI32 functions. Texts cross the boundary in code page 936
// whatever the system's ANSI code page, and buffer limits apply to the CP936 bytes, as the narrow
// functions would count them.
#include <set>

#include "platform/Registry.h"

class Win32Registry : public Registry {
public:
    long OpenKey(RegKey parent, const char* subKey, RegKey& out) override;
    long OpenKeyRead(RegKey parent, const char* subKey, RegKey& out) override;
    long QuerySubKeyCount(RegKey key, std::uint32_t& count) override;
    long EnumKey(RegKey key, std::uint32_t index, char* name, std::uint32_t& length) override;
    long QueryValue(RegKey key, const char* valueName, std::uint32_t* type, std::uint8_t* data,
                    std::uint32_t& size) override;
    long CreateKey(RegKey parent, const char* path, RegKey& out) override;
    long SetDword(RegKey key, const char* valueName, std::uint32_t value) override;
    long SetString(RegKey key, const char* valueName, const char* text,
                   std::uint32_t byteCount) override;
    long SetValue(RegKey key, const char* valueName, std::uint32_t type,
                  const std::string& bytes) override;
    long EnumValue(RegKey key, std::uint32_t index, std::string& name, std::uint32_t& type,
                   std::string& data) override;
    long DeleteValue(RegKey key, const char* valueName) override;
    long DeleteKey(RegKey parent, const char* subKey) override;
    long CloseKey(RegKey key) override;
    long LoadHive(const char* name, const char* file) override;
    long UnloadHive(const char* name) override;

private:
    // The handles this registry opened in a user's registry (below HKEY_CURRENT_USER or
    // HKEY_USERS), where a key may be a link its user made: see Win32Registry.cpp.
    std::set<RegKey> userKeys_;
    bool InUserHive(RegKey key) const;
};

// Arbitrary bytes into the .reg loader: it must reject or load them without a fault, and what
// it loads must stay a sound tree (every sub-key enumerable and openable, every dump finite).
#include <cstddef>
#include <cstdint>
#include <string>

#include "doubles/RegFile.h"
#include "doubles/RegistryDouble.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    RegistryDouble registry;
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    if (!LoadRegText(registry, bytes).empty()) return 0;
    for (RegKey root : {kHkeyLocalMachine, kHkeyCurrentUser}) {
        registry.Dump(root, "");
        for (const std::string& name : registry.SubKeyNames(root, "")) {
            RegKey key = 0;
            if (registry.OpenKeyRead(root, name.c_str(), key) != kErrorSuccess) __builtin_trap();
            registry.CloseKey(key);
        }
    }
    return 0;
}

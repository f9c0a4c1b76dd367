// Any bytes as one folder name: the answer is 0 or 1, and an accepted name has none of the
// refused bytes and no blank, tab or dot at either end.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "pathdialog/FolderValidation.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string name(reinterpret_cast<const char*>(data), size);
    const int result = CheckFolderName(name.c_str());  // stops at an embedded zero, as Win32 would
    if (result != 0 && result != 1) std::abort();
    if (result == 1) {
        const std::size_t length = std::strlen(name.c_str());
        if (length == 0) std::abort();
        for (char edge : {name[0], name[length - 1]})
            if (edge == ' ' || edge == '\t' || edge == '.') std::abort();
        for (std::size_t i = 0; i < length; ++i)
            if (std::strchr("\"*/:<>?\\|", name[i]) != nullptr && name[i] != '\0') std::abort();
    }
    return 0;
}

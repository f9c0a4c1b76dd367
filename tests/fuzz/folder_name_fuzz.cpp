// Any bytes as one folder name: the answer is 0 or 1, and an accepted name is whole CP936
// characters, none of them a refused single-byte character (a trail byte such as the 0x7C of a
// double-byte character is part of it), with no blank, tab or dot at either end.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "text/PathText.h"
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
        const std::string text(name.c_str());
        for (std::size_t at = 0; at < text.size();) {
            const std::size_t step = CharLength(text, at);
            if (step == 0) std::abort();
            if (step == 1 && std::strchr("\"*/:;<>?\\|", text[at]) != nullptr) std::abort();
            if (step == 1 && static_cast<unsigned char>(text[at]) < 0x20) std::abort();
            at += step;
        }
    }
    return 0;
}

// The folder browser's rules over any text and any buffer size: a store never writes past its
// buffer (an exactly sized heap block, so ASan sees one byte too many), always terminates, keeps
// a prefix of the text cut only between whole characters and no shorter than it must be; a
// selection is usable only as a drive-letter path that fits, and shows that path or it without
// one trailing backslash.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "FuzzInput.h"
#include "text/PathText.h"
#include "text/Text.h"
#include "pathdialog/BrowseRules.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput in(data, size);
    const std::size_t capacity = in.Below(300);
    const bool converted = in.Byte() & 1;
    const std::string text = in.Bytes(600);

    std::unique_ptr<char[]> buffer(capacity ? new char[capacity] : nullptr);
    if (capacity) std::memset(buffer.get(), 0x7F, capacity);
    const bool okEnabled = FollowEditText(text, buffer.get(), capacity);
    if (okEnabled != !text.empty()) std::abort();
    if (capacity > 0) {
        const void* end = std::memchr(buffer.get(), '\0', capacity);
        if (end == nullptr) std::abort();
        // The bytes before the terminator may hold zeros of the text: compare by the cut length.
        std::size_t cut = 0;
        for (std::size_t at = 0; at < text.size();) {
            const std::size_t step =
                IsLeadByte(static_cast<unsigned char>(text[at])) && at + 1 < text.size() ? 2 : 1;
            if (at + step > capacity - 1) break;
            at += step;
            cut = at;
        }
        if (std::memcmp(buffer.get(), text.data(), cut) != 0 || buffer[cut] != '\0') std::abort();
        if (cut < text.size() && cut + 2 < capacity) std::abort();  // cut shorter than needed
    }

    const SelectionView view = ViewOfSelection(converted, text);
    if (view.usable) {
        if (!converted || view.editText.empty() || !FitsBuffer(view.editText)) std::abort();
        const char c = view.editText[0];
        if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) || view.editText.size() < 2 ||
            view.editText[1] != ':')
            std::abort();
        if (view.editText != text && view.editText + "\\" != text) std::abort();
    } else if (!view.editText.empty()) {
        std::abort();
    }
    return 0;
}

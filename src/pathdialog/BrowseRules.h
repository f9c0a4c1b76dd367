#pragma once
// Rules of the folder browser that do not depend on its windows. Texts are CP936 bytes.
#include <cstddef>
#include <string>

// What a tree selection shows: only a drive-letter path ("C:\...") that fits the path buffer is
// usable; network shares, virtual folders and failed conversions leave the edit box empty and
// OK disabled. A trailing backslash is cut from any but a drive root, as a folder check would
// refuse it.
struct SelectionView {
    bool usable;
    std::string editText;
};
SelectionView ViewOfSelection(bool converted, const std::string& path);

// The edit box's text after a change: it is copied into the path buffer (capacity bytes, cut so
// that it fits with its terminator) and OK is enabled exactly when the text is not empty, even
// when the tree cannot show it. Returns whether OK is enabled.
bool FollowEditText(const std::string& text, char* pathBuffer, std::size_t capacity);

// Copies text into a fixed buffer, cut to capacity - 1 bytes and terminated. A cut never splits
// a double-byte character, so the buffer never ends in a stray lead byte.
void StoreInBuffer(const std::string& text, char* buffer, std::size_t capacity);

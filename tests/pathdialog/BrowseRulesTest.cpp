#include "pathdialog/BrowseRules.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "text/Text.h"

namespace {

TEST(BrowseSelection, DriveLetterPathsFillTheEditBox) {
    for (const std::string path : {"C:\\", "c:\\Korvel", "D:\\安装\\子目录"}) {
        const SelectionView view = ViewOfSelection(true, path);
        EXPECT_TRUE(view.usable) << path;
        EXPECT_EQ(path, view.editText);
    }
}

TEST(BrowseSelection, TrailingBackslashIsCutExceptFromADriveRoot) {
    EXPECT_EQ("C:\\users\\root\\Documents", ViewOfSelection(true, "C:\\users\\root\\Documents\\").editText);
    EXPECT_EQ("D:\\", ViewOfSelection(true, "D:\\").editText);
    // A double-byte character whose trail byte is 0x5C is not a backslash.
    const std::string trail = "C:\\ab\x81\x5c";
    EXPECT_EQ(trail, ViewOfSelection(true, trail).editText);
    EXPECT_EQ(trail, ViewOfSelection(true, trail + "\\").editText);
}

TEST(BrowseSelection, OtherSelectionsEmptyTheEditBoxAndDisableOk) {
    // A share, a shell namespace name, text without a drive, a failed conversion.
    for (const std::string path : {"\\\\server\\share", "::{20D04FE0-3AEA-1069-A2D8-08002B30309D}",
                                   "C", "", "1:\\x", "Korvel:\\x"}) {
        const SelectionView view = ViewOfSelection(true, path);
        EXPECT_FALSE(view.usable) << path;
        EXPECT_TRUE(view.editText.empty()) << path;
    }
    const SelectionView failed = ViewOfSelection(false, "C:\\stale");
    EXPECT_FALSE(failed.usable);
    EXPECT_TRUE(failed.editText.empty());
}

TEST(BrowseSelection, PathTooLongForThePathBufferIsUnusable) {
    const std::string fits = "C:\\" + std::string(kPathBuffer - 4, 'a');  // 259 bytes
    EXPECT_TRUE(ViewOfSelection(true, fits).usable);
    // Wide paths of MAX_PATH characters can be longer in CP936 bytes.
    EXPECT_FALSE(ViewOfSelection(true, fits + "a").usable);
    EXPECT_TRUE(ViewOfSelection(true, fits + "a").editText.empty());
}

// The buffer lives alone on the heap so that the sanitizer sees any byte written past it.
struct PathBuffer {
    std::unique_ptr<char[]> bytes{new char[kPathBuffer]};
    PathBuffer() { std::memset(bytes.get(), 'X', kPathBuffer); }
    std::string Text() const { return std::string(bytes.get()); }
};

TEST(BrowseEditText, OkFollowsWhetherTheBoxHoldsAnyText) {
    PathBuffer buffer;
    EXPECT_TRUE(FollowEditText("C:\\Korvel", buffer.bytes.get(), kPathBuffer));
    EXPECT_EQ("C:\\Korvel", buffer.Text());
    // Text the tree cannot show still enables OK: the typed folder is judged on OK.
    EXPECT_TRUE(FollowEditText("x?y", buffer.bytes.get(), kPathBuffer));
    EXPECT_EQ("x?y", buffer.Text());
    EXPECT_TRUE(FollowEditText(" ", buffer.bytes.get(), kPathBuffer));
    EXPECT_FALSE(FollowEditText("", buffer.bytes.get(), kPathBuffer));
    EXPECT_EQ("", buffer.Text());
}

TEST(BrowseEditText, LongTextIsCutToThePathBuffer) {
    PathBuffer buffer;
    const std::string text = "C:\\" + std::string(400, 'k');
    EXPECT_TRUE(FollowEditText(text, buffer.bytes.get(), kPathBuffer));
    EXPECT_EQ(text.substr(0, kPathBuffer - 1), buffer.Text());
}

TEST(BrowseEditText, CutNeverSplitsADoubleByteCharacter) {
    PathBuffer buffer;
    // 258 ASCII bytes, then a double-byte character that would end at byte 260.
    const std::string text = std::string(kPathBuffer - 2, 'a') + "目";
    ASSERT_EQ(kPathBuffer, text.size());
    StoreInBuffer(text, buffer.bytes.get(), kPathBuffer);
    EXPECT_EQ(std::string(kPathBuffer - 2, 'a'), buffer.Text());
    // One byte less and it fits whole.
    StoreInBuffer(text.substr(1), buffer.bytes.get(), kPathBuffer);
    EXPECT_EQ(text.substr(1), buffer.Text());
    // A trail byte that looks like a lead byte does not shift the boundary: "目目..." pairs.
    std::string doubles;
    while (doubles.size() < 300) doubles += "目";
    StoreInBuffer(doubles, buffer.bytes.get(), kPathBuffer);
    EXPECT_EQ(doubles.substr(0, kPathBuffer - 2), buffer.Text());
}

}  // namespace

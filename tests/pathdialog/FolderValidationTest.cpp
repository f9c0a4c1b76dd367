#include <gtest/gtest.h>

#include <string>

#include "doubles/FileDouble.h"
#include "doubles/PromptDouble.h"
#include "pathdialog/FolderValidation.h"

namespace {
const std::string kDbc5C = "\x95\x5C";  // a CP936 character whose trail byte is a backslash
const std::string kDbc7C = "\x95\x7C";  // and one whose trail byte is a vertical bar

std::string Question(const std::string& path) {
    return "The folder:\n\n" + path +
           "\n\ndoes not exist. Do you want the folder to be created?";
}
std::string Invalid(const std::string& path) {
    return "The folder:\n\n" + path + "\n\nis invalid. Please reenter.";
}
std::string NotMade(const std::string& path) {
    return "The folder:\n\n" + path + "\n\ncan not be created. Please double check.";
}

class FolderValidation : public testing::Test {
protected:
    void SetUp() override { files.AddFolder("C:\\"); }
    int Test(const std::string& path) { return WalkFolderPath(files, path.c_str(), 1); }
    int Make(const std::string& path) { return WalkFolderPath(files, path.c_str(), 0); }
    int Confirm(const std::string& path) { return ConfirmFolder(files, prompt, path); }

    FileDouble files;
    PromptDouble prompt;
};
}  // namespace

TEST(CheckFolderName, RefusesEdgesReservedCharactersAndBrokenText) {
    EXPECT_EQ(CheckFolderName(nullptr), 0);
    EXPECT_EQ(CheckFolderName(""), 0);
    for (const char* name : {".", "..", " a", "a ", "\ta", "a\t", ".a", "a."})
        EXPECT_EQ(CheckFolderName(name), 0) << name;
    // ';' would split a list of paths; control characters no file system takes.
    for (char reserved : std::string("\"*/:<>?\\|;\x01\x1F\x7F"))
        EXPECT_EQ(CheckFolderName(("a" + std::string(1, reserved) + "b").c_str()), 0) << reserved;
    for (const char* name : {"a", "a b", "a.b", "Korvel-Tarnwick", "\xC8\xED\xBC\xFE", "#%&'()+,=@[]^`{}~"})
        EXPECT_EQ(CheckFolderName(name), 1) << name;
    // By character: trail bytes 0x7C and 0x5C belong to their characters.
    EXPECT_EQ(CheckFolderName(("a" + kDbc7C).c_str()), 1);
    EXPECT_EQ(CheckFolderName(("a" + kDbc5C + "b").c_str()), 1);
    // Bytes that are no CP936 text name no folder.
    for (const char* name : {"a\x81", "\x81\x30", "a\xFF"}) EXPECT_EQ(CheckFolderName(name), 0) << name;
}

TEST_F(FolderValidation, TestOnlyChecksTheFormWithoutTouchingTheDisk) {
    for (const char* path : {"", "C", "C:", "C:x", "1:\\x", "\\\\server\\share", "C:/x", "C:\\a\\",
                             "C:\\\\a", "C:\\a\\\\b", "C:\\a\\.\\b", "C:\\a\\..", "C:\\a \\b",
                             "C:\\a?b", "\xC3:\\a"})
        EXPECT_EQ(Test(path), kFolderInvalid) << path;
    for (const char* path : {"C:\\", "c:\\korvel", "Q:\\a", "C:\\a b\\c.d\\\xC8\xED\xBC\xFE"})
        EXPECT_EQ(Test(path), kFolderAcceptable) << path;
    EXPECT_EQ(WalkFolderPath(files, nullptr, 1), kFolderInvalid);
    EXPECT_TRUE(files.calls.empty());
}

TEST_F(FolderValidation, TrailByteBackslashIsPartOfItsCharacter) {
    EXPECT_EQ(Test("C:\\" + kDbc5C), kFolderAcceptable);
    EXPECT_EQ(Test("C:\\a" + kDbc7C), kFolderAcceptable);
    EXPECT_EQ(Test("C:\\" + kDbc5C + "\\"), kFolderInvalid);  // a real trailing backslash
    EXPECT_EQ(Make("C:\\audit\\" + kDbc5C + "dir"), kFolderAcceptable);
    EXPECT_EQ(files.calls.front(), "CreateFolder(C:\\audit)");
    EXPECT_TRUE(files.IsFolder("C:\\audit\\" + kDbc5C + "dir"));
    EXPECT_EQ(files.Children("C:\\audit"), std::vector<std::string>{kDbc5C + "dir"});
}

TEST_F(FolderValidation, LengthLimitIsTheWorkingBuffer) {
    std::string longest = "C:\\";
    while (longest.size() < 259) longest += longest.size() % 100 == 99 ? '\\' : 'a';
    ASSERT_EQ(longest.size(), 259u);
    EXPECT_EQ(Test(longest), kFolderAcceptable);
    EXPECT_EQ(Test(longest + "a"), kFolderInvalid);
    EXPECT_EQ(Test(longest + std::string(5000, 'a')), kFolderInvalid);
    EXPECT_EQ(Make(longest + "a"), kFolderInvalid);
    EXPECT_TRUE(files.calls.empty());  // refused, not cut to some other folder
}

TEST_F(FolderValidation, CreatingMakesEachLevelOutermostFirst) {
    EXPECT_EQ(Make("C:\\Korvel\\sub\\deep"), kFolderAcceptable);
    EXPECT_TRUE(files.IsFolder("C:\\Korvel\\sub\\deep"));
    EXPECT_EQ(files.calls, (std::vector<std::string>{
                               "CreateFolder(C:\\Korvel)", "Exists(C:\\Korvel)",
                               "CreateFolder(C:\\Korvel\\sub)", "Exists(C:\\Korvel\\sub)",
                               "CreateFolder(C:\\Korvel\\sub\\deep)",
                               "Exists(C:\\Korvel\\sub\\deep)"}));
    // Existing levels are no error; a bad name anywhere is found before anything is made.
    EXPECT_EQ(Make("C:\\Korvel\\new\\bad|name\\x"), kFolderInvalid);
    EXPECT_FALSE(files.Exists("C:\\Korvel\\new"));
    EXPECT_EQ(Make("Q:\\a"), kFolderNotMade);
    EXPECT_EQ(Make("Q:\\"), kFolderNotMade);
    EXPECT_EQ(Make("c:\\"), kFolderAcceptable);
}

TEST_F(FolderValidation, ConfirmAcceptsAnExistingFolderSilently) {
    files.AddFolder("C:\\Korvel");
    EXPECT_EQ(Confirm("C:\\Korvel"), kFolderAcceptable);
    EXPECT_EQ(Confirm("c:\\korvel"), kFolderAcceptable);
    EXPECT_EQ(Confirm("C:\\"), kFolderAcceptable);
    EXPECT_TRUE(prompt.shown.empty());
}

TEST_F(FolderValidation, ConfirmAsksBeforeCreating) {
    prompt.answers = {kIdNo, kIdYes};
    EXPECT_EQ(Confirm("C:\\Korvel\\sub"), kFolderDeclined);
    EXPECT_FALSE(files.Exists("C:\\Korvel"));
    EXPECT_EQ(Confirm("C:\\Korvel\\sub"), kFolderAcceptable);
    EXPECT_TRUE(files.IsFolder("C:\\Korvel\\sub"));
    ASSERT_EQ(prompt.shown.size(), 2u);
    for (const PromptDouble::Shown& shown : prompt.shown) {
        EXPECT_EQ(shown.text, Question("C:\\Korvel\\sub"));
        EXPECT_EQ(shown.caption, "SetUp");
        EXPECT_EQ(shown.type, 0x24u);
    }
}

TEST_F(FolderValidation, ConfirmReportsInvalidAndUncreatableFolders) {
    const std::string tooLong = "C:\\" + std::string(300, 'a');
    for (const std::string& path : {std::string("C:\\Korvel\\"), std::string("C:/x"), tooLong,
                                    std::string("C:\\a\0b", 6)}) {
        prompt.shown.clear();
        EXPECT_EQ(Confirm(path), kFolderInvalid);
        ASSERT_EQ(prompt.shown.size(), 1u);
        EXPECT_EQ(prompt.shown[0].text, Invalid(path.c_str()));
        EXPECT_EQ(prompt.shown[0].type, 0x30u);
    }
    EXPECT_FALSE(files.Exists("C:\\a"));

    // A drive that does not exist passes the test, then cannot be made.
    for (const std::string path : {"D:\\", "Q:\\a"}) {
        prompt.shown.clear();
        prompt.answers = {kIdYes};
        EXPECT_EQ(Confirm(path), kFolderNotMade);
        ASSERT_EQ(prompt.shown.size(), 2u);
        EXPECT_EQ(prompt.shown[0].text, Question(path));
        EXPECT_EQ(prompt.shown[1].text, NotMade(path));
        EXPECT_EQ(prompt.shown[1].type, 0x30u);
    }
    EXPECT_EQ(ConfirmFolder(files, prompt, "C:\\", "Other"), kFolderAcceptable);
    EXPECT_EQ(ConfirmFolder(files, prompt, "C:\\x\\", "Other"), kFolderInvalid);
    EXPECT_EQ(prompt.shown.back().caption, "Other");
}

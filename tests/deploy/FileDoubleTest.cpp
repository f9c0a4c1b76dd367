// The double must refuse what Windows refuses, or the deploy tests would pass on a kinder system.
#include <gtest/gtest.h>

#include "doubles/FileDouble.h"

TEST(FileDouble, NamesIgnoreCaseAndKeepTheirFirstSpelling) {
    FileDouble files;
    files.AddFile("C:\\Pkg\\Korvel.ARX", "a");
    EXPECT_TRUE(files.IsFile("c:\\PKG\\korvel.arx"));
    EXPECT_TRUE(files.Exists("C:/pkg/./sub/../Korvel.arx"));
    EXPECT_TRUE(files.CopyOver("C:\\Pkg\\korvel.arx", "C:\\PKG\\KORVEL.arx", false) == false);
    files.AddFile("C:\\Pkg\\b", "b");
    EXPECT_TRUE(files.CopyOver("C:\\Pkg\\b", "c:\\pkg\\KORVEL.ARX", false));
    EXPECT_EQ(files.NameOf("C:\\Pkg\\korvel.arx"), "Korvel.ARX");
    // A trail byte 0x5C is part of its character, not a separator.
    files.AddFile("C:\\Pkg\\禱\\x");
    EXPECT_EQ(files.Children("C:\\Pkg"), (std::vector<std::string>{"b", "Korvel.ARX", "禱"}));
    EXPECT_TRUE(files.IsFile("C:\\Pkg\\禱\\x"));
}

TEST(FileDouble, CopyIsRefusedWhereWindowsRefusesIt) {
    FileDouble files;
    files.AddFile("C:\\s\\plain", "new");
    files.AddFile("C:\\s\\hidden", "new", kAttrHidden);
    files.AddFolder("C:\\s\\dir");
    files.AddFile("C:\\d\\ro", "old", kAttrReadOnly);
    files.AddFile("C:\\d\\hidden", "old", kAttrHidden);
    files.AddFile("C:\\d\\system", "old", kAttrSystem);
    files.AddFile("C:\\d\\locked", "old");
    files.SetLocked("C:\\d\\locked");
    files.AddFolder("C:\\d\\folder");
    files.AddFile("C:\\d\\plain", "old");

    for (const char* refused : {"C:\\d\\ro", "C:\\d\\hidden", "C:\\d\\system", "C:\\d\\locked",
                                "C:\\d\\folder", "C:\\missing\\x", "C:\\s\\plain"})
        EXPECT_FALSE(files.CopyOver("C:\\s\\plain", refused, false)) << refused;
    EXPECT_FALSE(files.CopyOver("C:\\s\\plain", "C:\\d\\plain", true));
    EXPECT_FALSE(files.CopyOver("C:\\s\\dir", "C:\\d\\new", false));
    EXPECT_FALSE(files.CopyOver("C:\\s\\none", "C:\\d\\new", false));
    EXPECT_EQ(files.Content("C:\\d\\ro"), "old");
    EXPECT_TRUE(files.IsFolder("C:\\d\\folder"));

    // A hidden source may replace a hidden file; the copy takes the source's attribute word.
    EXPECT_TRUE(files.CopyOver("C:\\s\\hidden", "C:\\d\\hidden", false));
    files.AddFile("C:\\s\\ro", "ro", kAttrReadOnly | kAttrArchive);
    EXPECT_TRUE(files.CopyOver("C:\\s\\ro", "C:\\d\\new", false));
    EXPECT_EQ(files.Attributes("C:\\d\\new"), kAttrReadOnly | kAttrArchive);
}

TEST(FileDouble, AttributeWordsListingsAndFolders) {
    FileDouble files;
    files.AddFile("C:\\a\\f", "", kAttrReadOnly);
    files.AddFolder("C:\\a\\Sub");
    EXPECT_TRUE(files.WriteAttributes("C:\\a\\f", 0));
    EXPECT_EQ(files.ReadAttributes("C:\\a\\f"), kAttrNormal);
    EXPECT_TRUE(files.WriteAttributes("C:\\a\\sub", kAttrHidden));
    EXPECT_EQ(files.ReadAttributes("C:\\a\\sub"), kAttrHidden | kAttrDirectory);
    EXPECT_EQ(files.ReadAttributes("C:\\a\\f\\"), kInvalidAttributes);

    FindHandle handle = 0;
    FindEntry entry;
    EXPECT_FALSE(files.FindFirst("C:\\a\\Sub\\", handle, entry));
    ASSERT_TRUE(files.FindFirst("C:\\a\\*.*", handle, entry));
    std::vector<std::string> names{entry.name};
    while (files.FindNext(handle, entry) == FindStep::Entry) names.push_back(entry.name);
    EXPECT_EQ(files.FindNext(handle, entry), FindStep::End);
    files.FindClose(handle);
    EXPECT_EQ(names, (std::vector<std::string>{".", "..", "f", "Sub"}));
    ASSERT_TRUE(files.FindFirst("C:\\*", handle, entry));  // a drive's root has no dot entries
    EXPECT_EQ(entry.name, "a");
    files.FindClose(handle);
    EXPECT_EQ(files.OpenListings(), 0);

    EXPECT_EQ(files.MakeDir("C:\\a\\new"), 0);
    EXPECT_EQ(files.MakeDir("C:\\a\\NEW"), -1);
    EXPECT_EQ(files.MakeDir("C:\\a\\x\\y"), -1);
    EXPECT_FALSE(files.CreateFolder("C:\\a\\f"));
}

TEST(FileDouble, InjectedFaults) {
    FileDouble files;
    files.AddFile("C:\\a\\f", "f");
    files.FailCopiesTo("C:\\b\\F", 2);
    files.AddFolder("C:\\b");
    EXPECT_FALSE(files.CopyOver("C:\\a\\f", "C:\\b\\f", false));
    EXPECT_FALSE(files.CopyOver("C:\\a\\f", "C:\\b\\f", false));
    EXPECT_TRUE(files.CopyOver("C:\\a\\f", "C:\\b\\f", false));
    files.FailListing("C:\\a");
    FindHandle handle = 0;
    FindEntry entry;
    EXPECT_FALSE(files.FindFirst("C:\\a\\*.*", handle, entry));
    EXPECT_TRUE(files.FindFirst("C:\\a\\f", handle, entry));  // a single path still resolves
    files.FindClose(handle);
    files.FailWriteAttributes("C:\\a\\f");
    EXPECT_FALSE(files.WriteAttributes("C:\\a\\f", kAttrReadOnly));
    // A listing that breaks off before its end says so, and keeps saying so.
    files.FailListingAt("C:\\b", 1);
    ASSERT_TRUE(files.FindFirst("C:\\b\\*.*", handle, entry));
    EXPECT_EQ(files.FindNext(handle, entry), FindStep::Failed);
    EXPECT_EQ(files.FindNext(handle, entry), FindStep::Failed);
    files.FindClose(handle);
    files.modulePath = std::string(260, 'p');
    std::string path;
    EXPECT_EQ(files.ModulePath(path, 260), PathRead::Failed);
    EXPECT_EQ(files.ModulePath(path, 261), PathRead::Read);
    files.modulePathUnrepresentable = true;
    EXPECT_EQ(files.ModulePath(path, 261), PathRead::Unrepresentable);
    // Variables expand by name without regard to case; unknown ones stay as written.
    files.environment["ProgramFiles"] = "C:\\Program Files";
    std::string expanded;
    EXPECT_TRUE(files.ExpandVariables("%PROGRAMFILES%\\AutoCAD %X%%programfiles%", expanded));
    EXPECT_EQ(expanded, "C:\\Program Files\\AutoCAD %X%C:\\Program Files");
}

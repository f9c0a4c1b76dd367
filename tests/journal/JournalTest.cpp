// The undo record's text form: every kind of entry reads back as written, and a record that has
// been tampered with or damaged is refused rather than half-used.
#include <gtest/gtest.h>

#include "doubles/FileDouble.h"
#include "doubles/TextCodecDouble.h"
#include "journal/Journal.h"
#include "journal/RecordPlace.h"
#include "text/Sha256.h"

namespace {

JournalEntry Value() {
    JournalEntry e;
    e.kind = EntryKind::Value;
    e.root = kHkeyCurrentUser;
    e.path = "Software\\Autodesk\\AutoCAD\\R19.0\\ACAD-B001:804\\Profiles\\我的\t配置\\Variables";
    e.value = {"TRUSTEDPATHS", kRegSz, "D:\\TOOLS;C:\\KORVEL\\KORVEL-TARNWICK"};
    e.hadOld = true;
    e.old = {"TRUSTEDPATHS", kRegSz, std::string("d:\\tools\0", 9)};
    return e;
}

bool Same(const JournalEntry& a, const JournalEntry& b) {
    std::string x, y;
    TextCodecDouble codec;
    return FormatEntry(a, codec, x) && FormatEntry(b, codec, y) && x == y;
}

TEST(Journal, EveryKindReadsBackAsWritten) {
    TextCodecDouble codec;
    std::vector<JournalEntry> entries(9);
    entries[0].kind = EntryKind::Folder;
    entries[0].path = "C:\\禱\\Korvel-Tarnwick";
    entries[1].kind = EntryKind::File;
    entries[1].path = "C:\\Program Files\\AutoCAD 2013\\Fonts\\Korvel_EN.shx";
    entries[1].size = 12345;
    entries[1].hash = Sha256Hex("font");
    entries[2].kind = EntryKind::Replaced;
    entries[2].path = "C:\\AutoCAD 2008\\Drv\\pdfplot9.hdi";
    entries[2].backup = "C:\\Korvel\\Korvel-Tarnwick\\uninstall-backup\\1.bak";
    entries[2].size = 4;
    entries[2].hash = Sha256Hex("new\n");
    entries[3].kind = EntryKind::Key;
    entries[3].root = kHkeyLocalMachine;
    entries[3].path = "SOFTWARE\\Autodesk\\AutoCAD\\R19.0\\ACAD-B001:804\\Applications\\Korvel2013";
    entries[4] = Value();
    entries[5].kind = EntryKind::KeyDeleted;
    entries[5].root = kHkeyLocalMachine;
    entries[5].path = entries[3].path;
    entries[5].values = {{"LOADER", kRegSz, "C:\\Old\\Korvel2013.ARX"}, {"LOADCTRLS", kRegDword, std::string("\2\0\0\0", 4)}};
    entries[6].kind = EntryKind::PendingFile;
    entries[6].path = entries[1].path;
    entries[7] = entries[2];
    entries[7].kind = EntryKind::PendingReplaced;
    entries[8].kind = EntryKind::User;
    entries[8].path = "S-1-5-21-1004336348-1177238915-682003330-1001";
    for (const JournalEntry& e : entries) {
        std::string line;
        ASSERT_TRUE(FormatEntry(e, codec, line));
        EXPECT_EQ(line.find('\n'), std::string::npos);
        JournalEntry back;
        ASSERT_TRUE(ParseEntry(line, codec, back)) << line;
        EXPECT_TRUE(Same(e, back)) << line;
    }
    // Readable: texts are UTF-8, the tab in a name escaped.
    std::string line;
    FormatEntry(entries[4], codec, line);
    EXPECT_NE(line.find("\xE6\x88\x91\xE7\x9A\x84\\t"), std::string::npos) << line;  // "我的\t"
}

TEST(Journal, DamageIsRefusedAndATornLastLineIsPassedOver) {
    TextCodecDouble codec;
    FileDouble files;
    files.AddFolder("C:\\K");
    Journal journal(files, codec);
    journal.Arm("C:\\K");
    ASSERT_EQ(journal.Place(false), "");
    journal.Add(Value());
    JournalEntry folder;
    folder.path = "C:\\K";
    journal.Add(folder);
    ASSERT_TRUE(journal.Flush());
    const std::string record = "C:\\K\\uninstall.dat";
    const std::string whole = files.Content(record);

    std::vector<JournalEntry> entries;
    ASSERT_EQ(Journal::Load(files, codec, "C:\\K", entries), RecordState::Loaded);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_TRUE(Same(entries[0], Value()));

    // A run that ended while writing its last line: the whole lines stand.
    files.AddFile(record, whole + "folder\tC:\\\\x");
    EXPECT_EQ(Journal::Load(files, codec, "C:\\K", entries), RecordState::Loaded);
    EXPECT_EQ(entries.size(), 2u);

    // One changed byte anywhere, a lost line, or another header: not used at all.
    std::string edited = whole;
    ASSERT_NE(edited.find("643a5c"), std::string::npos);
    edited[edited.find("643a5c")] = '7';  // "d:\" became "t:\"
    files.AddFile(record, edited);
    EXPECT_EQ(Journal::Load(files, codec, "C:\\K", entries), RecordState::Damaged);
    EXPECT_TRUE(entries.empty());
    files.AddFile(record, whole.substr(whole.find('\n') + 1));
    EXPECT_EQ(Journal::Load(files, codec, "C:\\K", entries), RecordState::Damaged);
    files.Remove(record);
    EXPECT_EQ(Journal::Load(files, codec, "C:\\K", entries), RecordState::Missing);

    // An install over a damaged record stops, and neither copies, deletes nor writes it.
    files.AddFile(record, edited);
    files.calls.clear();
    journal.Arm("C:\\K");
    journal.Add(folder);
    EXPECT_NE(journal.Place(false).find("C:\\K\\uninstall.dat"), std::string::npos);
    journal.Add(folder);
    EXPECT_FALSE(journal.Flush());
    EXPECT_EQ(files.Content(record), edited);
    EXPECT_EQ(files.Children("C:\\K"), std::vector<std::string>{"uninstall.dat"});
    for (const std::string& call : files.calls) {
        if (call.find("uninstall.dat") != std::string::npos) {
            EXPECT_EQ(call.rfind("Read", 0), 0u) << call;
        }
    }
}

// Nothing is written before the run's first change beyond its folders; that change finds the
// record whole on disk, and the folders with it. A run killed while writing a line is continued
// by the next one, and the record reads whole.
TEST(Journal, TheRecordBeginsAtTheFirstChangeAndSurvivesACutLine) {
    TextCodecDouble codec;
    FileDouble files;
    files.AddFolder("C:\\");
    Journal journal(files, codec);
    journal.Arm("C:\\K\\Korvel-Tarnwick");
    ASSERT_EQ(journal.Place(false), "");
    JournalEntry made;
    made.path = "C:\\K";
    journal.Add(made);
    files.AddFolder("C:\\K\\Korvel-Tarnwick");
    made.path = "C:\\K\\Korvel-Tarnwick";
    journal.Add(made);
    const std::string record = "C:\\K\\Korvel-Tarnwick\\uninstall.dat";
    EXPECT_FALSE(files.IsFile(record));
    EXPECT_FALSE(journal.Flush());
    journal.Add(Value());
    EXPECT_TRUE(journal.live());
    EXPECT_FALSE(files.IsFile(record));  // kept until the change it comes before is made
    ASSERT_TRUE(journal.Flush());
    std::vector<JournalEntry> entries;
    ASSERT_EQ(Journal::Load(files, codec, "C:\\K\\Korvel-Tarnwick", entries), RecordState::Loaded);
    EXPECT_EQ(entries.size(), 3u);

    // Killed inside a line, then continued: the cut line is passed over, the rest reads.
    const std::string whole = files.Content(record);
    files.AddFile(record, whole + "value\tHKLM\tSOFT");
    journal.Arm("C:\\K\\Korvel-Tarnwick");
    ASSERT_EQ(journal.Place(false), "");
    journal.Add(Value());
    ASSERT_TRUE(journal.Flush());
    ASSERT_EQ(Journal::Load(files, codec, "C:\\K\\Korvel-Tarnwick", entries), RecordState::Loaded);
    EXPECT_EQ(entries.size(), 4u);
    // Killed inside the header: nothing was changed after it.
    files.AddFile(record, whole.substr(0, 10));
    EXPECT_EQ(Journal::Load(files, codec, "C:\\K\\Korvel-Tarnwick", entries), RecordState::Missing);
}

// What another install's record kept of a key is what the record holds when it is asked: read
// again after it grew, after it was damaged, and after it was put back.
TEST(Journal, AnotherInstallsEarlierStatesFollowItsRecord) {
    TextCodecDouble codec;
    FileDouble files;
    files.AddFolder("C:\\A\\Korvel-Tarnwick");
    files.AddFolder("C:\\B\\Korvel-Tarnwick");
    JournalEntry deleted;
    deleted.kind = EntryKind::KeyDeleted;
    deleted.root = kHkeyLocalMachine;
    deleted.path = "SOFTWARE\\Autodesk\\AutoCAD\\R19.0\\ACAD-B001:804\\Applications\\Korvel2013";
    deleted.values = {{"LOADER", kRegSz, "C:\\Old\\Korvel2013.ARX"}};
    Journal other(files, codec);
    other.Arm("C:\\B\\Korvel-Tarnwick");
    ASSERT_EQ(other.Place(false), "");
    other.Add(deleted);
    ASSERT_TRUE(other.Flush());

    Journal journal(files, codec);
    journal.Arm("C:\\A\\Korvel-Tarnwick");
    ASSERT_EQ(journal.Place(false), "");
    const auto earlier = [&] {
        return journal.EarlierStatesIn("C:\\B\\Korvel-Tarnwick", EntryKind::KeyDeleted, kHkeyLocalMachine, deleted.path).size();
    };
    EXPECT_EQ(earlier(), 1u);
    EXPECT_EQ(earlier(), 1u);
    other.Add(deleted);
    ASSERT_TRUE(other.Flush());
    EXPECT_EQ(earlier(), 2u);
    const std::string record = "C:\\B\\Korvel-Tarnwick\\uninstall.dat", whole = files.Content(record);
    files.AddFile(record, whole + "damage\n");
    EXPECT_EQ(earlier(), 0u);
    files.AddFile(record, whole);
    EXPECT_EQ(earlier(), 2u);
}

// Nothing is read or written before the folder is proven (Place); with administrator rights the
// record goes into a locked folder of its own under ProgramData.
TEST(Journal, EntriesWaitUntilTheRecordIsPlaced) {
    TextCodecDouble codec;
    FileDouble files;
    files.AddFolder("C:\\ProgramData");
    files.SetOthersRights("C:\\ProgramData", 0x1200A9 | kRightWriteData | kRightAppendData, 0x1200A9);
    files.environment["ProgramData"] = "C:\\ProgramData";
    for (bool elevated : {false, true}) {
        Journal journal(files, codec);
        journal.Arm("C:\\K\\Korvel-Tarnwick");
        JournalEntry made;
        made.path = "C:\\K";
        journal.Add(made);
        files.AddFolder("C:\\K\\Korvel-Tarnwick");
        made.path = "C:\\K\\Korvel-Tarnwick";
        files.calls.clear();
        journal.Add(made);
        EXPECT_TRUE(files.calls.empty());
        ASSERT_EQ(journal.Place(elevated), "");
        const std::string records =
            elevated ? ProtectedRecordFolder("C:\\ProgramData\\Korvel-Tarnwick", "c:\\k\\korvel-tarnwick") : "C:\\K\\Korvel-Tarnwick";
        EXPECT_EQ(journal.recordFolder(), records);
        EXPECT_EQ(files.HasLockedRights(records), elevated);
        journal.Add(Value());  // the first change: the record is written from here on
        ASSERT_TRUE(journal.Flush());
        std::vector<JournalEntry> entries;
        ASSERT_EQ(Journal::Load(files, codec, records, entries), RecordState::Loaded);
        EXPECT_EQ(entries.size(), 3u);
        EXPECT_EQ(journal.NewBackupPath(), records + "\\uninstall-backup\\1.bak");
        files.Remove("C:\\K");
    }
}

TEST(Sha256, KnownDigests) {
    EXPECT_EQ(Sha256Hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(Sha256Hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(Sha256Hex(std::string(1000000, 'a')),
              "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
    EXPECT_EQ(Sha256Hex(std::string(55, 'x')).size(), 64u);  // the padding edges
    EXPECT_NE(Sha256Hex(std::string(56, 'x')), Sha256Hex(std::string(57, 'x')));
}

}  // namespace

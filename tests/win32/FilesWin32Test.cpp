// The file seam over the real Win32 API, and the double held against it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <utility>

#include "DeployWin32Tree.h"
#include "text/Text.h"
#include "doubles/FileDouble.h"
#include "platform/win32/Cp936.h"
#include "platform/win32/Win32Files.h"
#include "platform/win32/Win32Sha256.h"
#include "text/Sha256.h"

namespace {
std::vector<std::string> Listing(Files& files, const std::string& pattern) {
    std::vector<std::string> names;
    FindScope search(files);
    FindEntry entry;
    for (bool more = search.First(pattern, entry); more; more = search.Next(entry))
        names.push_back(entry.name + ((entry.attributes & kAttrDirectory) ? "/" : ""));
    return names;
}
}  // namespace

TEST(Win32Files, ListingOrderAndFolderBitsMatchTheDouble) {
    ScratchTree tree("list");
    FileDouble model;
    for (const char* name : {"b", "A", "a1", "B2", "_x", "Z_", "ZA", "[q", "a.b", "ab", "~t"}) {
        tree.File(name, "x");
        model.AddFile(std::string("C:\\t\\") + name, "x");
    }
    tree.Folder("Sub");
    model.AddFolder("C:\\t\\Sub");
    Win32Files files;
    const std::vector<std::string> real = Listing(files, tree.root + "\\*.*");
    ASSERT_GE(real.size(), 2u);
    EXPECT_EQ(real[0], "./");
    EXPECT_EQ(real[1], "../");
    EXPECT_EQ(real, Listing(model, "C:\\t\\*.*"));
    // A path that ends with a backslash finds nothing, in both.
    EXPECT_TRUE(Listing(files, tree.Path("Sub\\")).empty());
    EXPECT_TRUE(Listing(model, "C:\\t\\Sub\\").empty());
    EXPECT_EQ(Listing(files, tree.Path("SUB")), std::vector<std::string>{"Sub/"});
}

TEST(Win32Files, AttributesCopiesAndFolders) {
    ScratchTree tree("attr");
    tree.File("a.txt", "new");
    tree.File("b.txt", "old");
    tree.Folder("dir");
    Win32Files files;

    EXPECT_EQ(files.ReadAttributes(tree.Path("a.txt")) & kAttrDirectory, 0u);
    EXPECT_NE(files.ReadAttributes(tree.Path("dir")) & kAttrDirectory, 0u);
    EXPECT_EQ(files.ReadAttributes(tree.Path("none")), kInvalidAttributes);
    EXPECT_TRUE(files.WriteAttributes(tree.Path("a.txt"), kAttrReadOnly | kAttrArchive));
    EXPECT_NE(files.ReadAttributes(tree.Path("a.txt")) & kAttrReadOnly, 0u);
    EXPECT_TRUE(files.WriteAttributes(tree.Path("a.txt"), kAttrArchive));
    EXPECT_EQ(files.ReadAttributes(tree.Path("a.txt")) & kAttrReadOnly, 0u);
    EXPECT_FALSE(files.WriteAttributes(tree.Path("none"), kAttrArchive));

    EXPECT_FALSE(files.CopyOver(tree.Path("a.txt"), tree.Path("b.txt"), true));
    EXPECT_EQ(tree.Read("b.txt"), "old");
    EXPECT_TRUE(files.CopyOver(tree.Path("a.txt"), tree.Path("B.TXT"), false));
    EXPECT_EQ(tree.Read("b.txt"), "new");
    EXPECT_FALSE(files.CopyOver(tree.Path("a.txt"), tree.Path("dir"), false));  // a folder
    EXPECT_FALSE(files.CopyOver(tree.Path("none"), tree.Path("c.txt"), false));
    EXPECT_FALSE(files.CopyOver(tree.Path("a.txt"), tree.Path("no\\c.txt"), false));

    EXPECT_EQ(files.MakeDir(tree.Path("made")), 0);
    EXPECT_EQ(files.MakeDir(tree.Path("made")), -1);
    EXPECT_EQ(files.MakeDir(tree.Path("x\\y")), -1);  // one level only
    EXPECT_TRUE(files.CreateFolder(tree.Path("created")));
    EXPECT_FALSE(files.CreateFolder(tree.Path("created")));
    EXPECT_TRUE(files.Exists(tree.Path("made")));
    EXPECT_TRUE(files.Exists(tree.Path("A.TXT")));
    EXPECT_FALSE(files.Exists(tree.Path("none")));

    // A move takes the new name with all below it, and never replaces what is there.
    tree.File("dir\\in.txt", "inside");
    EXPECT_TRUE(files.MoveEntry(tree.Path("dir"), tree.Path("moved")));
    EXPECT_EQ(tree.Read("moved\\in.txt"), "inside");
    EXPECT_EQ(files.ReadAttributes(tree.Path("dir")), kInvalidAttributes);
    EXPECT_FALSE(files.MoveEntry(tree.Path("a.txt"), tree.Path("B.txt")));
    EXPECT_EQ(tree.Read("b.txt"), "new");
    EXPECT_FALSE(files.MoveEntry(tree.Path("moved"), tree.Path("moved\\in")));
    EXPECT_TRUE(files.MoveEntry(tree.Path("moved\\in.txt"), tree.Path("in.txt")));
    EXPECT_EQ(tree.Read("in.txt"), "inside");
}

TEST(Win32Files, ALockedFileCannotBeCopiedEitherWayLikeInTheDouble) {
    ScratchTree tree("lock");
    tree.File("a.txt", "a");
    tree.File("locked.txt", "locked");
    Handle lock(CreateFileW(WidenCp936(tree.Path("locked.txt")).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                            OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(lock);
    Win32Files files;
    EXPECT_FALSE(files.CopyOver(tree.Path("a.txt"), tree.Path("locked.txt"), false));
    EXPECT_FALSE(files.CopyOver(tree.Path("locked.txt"), tree.Path("b.txt"), false));
    lock.Close();
    EXPECT_EQ(tree.Read("locked.txt"), "locked");

    FileDouble model;
    model.AddFile("C:\\t\\a.txt", "a");
    model.AddFile("C:\\t\\locked.txt", "locked");
    model.SetLocked("C:\\t\\locked.txt");
    EXPECT_FALSE(model.CopyOver("C:\\t\\a.txt", "C:\\t\\locked.txt", false));
    EXPECT_FALSE(model.CopyOver("C:\\t\\locked.txt", "C:\\t\\b.txt", false));
}

TEST(Win32Files, ProgramAndCurrentFolderRespectTheCallersCapacity) {
    Win32Files files;
    std::string program;
    ASSERT_EQ(files.ModulePath(program, 261), PathRead::Read);
    EXPECT_TRUE(EqualsNoCase(program.substr(program.rfind('\\') + 1), "win_tests.exe")) << program;
    std::string exact;
    EXPECT_EQ(files.ModulePath(exact, static_cast<std::uint32_t>(program.size() + 1)), PathRead::Read);
    EXPECT_EQ(exact, program);
    std::string none = "unchanged";
    EXPECT_EQ(files.ModulePath(none, static_cast<std::uint32_t>(program.size())), PathRead::Failed);
    EXPECT_EQ(none, "unchanged");

    std::string current;
    ASSERT_EQ(files.CurrentFolder(current, 261), PathRead::Read);
    EXPECT_TRUE(files.Exists(current));
    EXPECT_EQ(files.CurrentFolder(current, static_cast<std::uint32_t>(current.size())), PathRead::Failed);
}

// Windows refuses to overwrite a read-only or hidden file; Wine run as root replaces both (the
// double follows Windows). Either way the destination is whole: old or new, never cut short.
TEST(Win32Files, ProtectedDestinationIsReplacedWholeOrNotAtAll) {
    ScratchTree tree("protected");
    tree.File("src", "new content");
    Win32Files files;
    for (const auto& [name, attribute] : {std::pair<const char*, std::uint32_t>{"ro", kAttrReadOnly},
                                          std::pair<const char*, std::uint32_t>{"hidden", kAttrHidden}}) {
        tree.File(name, "old");
        ASSERT_TRUE(files.WriteAttributes(tree.Path(name), attribute));
        const bool copied = files.CopyOver(tree.Path("src"), tree.Path(name), false);
        std::printf("CopyFileW onto a %s destination: %s\n", name, copied ? "replaced" : "refused");
        EXPECT_EQ(tree.Read(name), copied ? "new content" : "old") << name;
        files.WriteAttributes(tree.Path(name), kAttrArchive);
    }
}

// Names beyond code page 936 are never turned into look-alikes: the folder a path names is the
// folder it reaches, or the call fails.
TEST(Win32Files, NamesBeyondTheCodePageAreToldApartAndNeverReachAnotherFile) {
    ScratchTree tree("lossy");
    const std::wstring root = WidenCp936(tree.Path(""));
    ASSERT_TRUE(CreateDirectoryW((root + L"J\u00F6rg").c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW((root + L"Jorg").c_str(), nullptr));  // the best-fit look-alike
    Win32Files files;

    // The current folder is handed out only when CP936 can spell it.
    wchar_t saved[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, saved);
    ASSERT_TRUE(SetCurrentDirectoryW((root + L"J\u00F6rg").c_str()));
    std::string current = "unchanged";
    EXPECT_EQ(files.CurrentFolder(current, 261), PathRead::Unrepresentable);
    EXPECT_EQ(current, "unchanged");
    SetCurrentDirectoryW(saved);

    // Listed with '?' in its place, which names nothing (not the look-alike).
    FindScope search(files);
    FindEntry entry;
    std::vector<std::string> names;
    for (bool more = search.First(tree.Path("*"), entry); more; more = search.Next(entry))
        names.push_back(entry.name);
    EXPECT_NE(std::find(names.begin(), names.end(), "J?rg"), names.end());
    EXPECT_NE(std::find(names.begin(), names.end(), "Jorg"), names.end());
    EXPECT_FALSE(files.Exists(tree.Path("J?rg")));
    EXPECT_FALSE(files.CreateFolder(tree.Path("J?rg") + "\\x"));

    // Bytes that are no CP936 text reach nothing.
    EXPECT_FALSE(files.CreateFolder(tree.Path("bad\x81")));
    EXPECT_EQ(files.ReadAttributes(tree.Path("bad\x81")), kInvalidAttributes);
    EXPECT_EQ(files.MakeDir(tree.Path("bad\x81")), -1);

    // Expansion: known variables expand, and one whose value CP936 cannot hold is refused.
    std::string expanded;
    ASSERT_TRUE(files.ExpandVariables("%SystemRoot%\\Fonts", expanded));
    EXPECT_TRUE(EqualsNoCase(expanded, "C:\\windows\\Fonts")) << expanded;
    ASSERT_TRUE(SetEnvironmentVariableW(L"KORVEL_LOSSY", L"D:\\\uD55C\uAE00"));
    expanded = "unchanged";
    EXPECT_FALSE(files.ExpandVariables("%KORVEL_LOSSY%\\AutoCAD", expanded));
    EXPECT_EQ(expanded, "unchanged");
    SetEnvironmentVariableW(L"KORVEL_LOSSY", nullptr);
}

// The hashing copy leaves what CopyFileW leaves (content, attribute word, time of last change)
// and reports what it wrote; every SHA-256 engine of the seam agrees with the portable one, on
// the standard vectors and on a file of several blocks.
TEST(Win32Files, HashingCopyLeavesWhatCopyFileLeavesAndEveryEngineAgrees) {
    const std::pair<std::string, const char*> vectors[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"}};
    for (Sha256Engine engine : {Sha256Engine::Cng, Sha256Engine::CryptoApi, Sha256Engine::Portable}) {
        for (const auto& [text, expected] : vectors) {
            Win32Sha256 hash(engine);
            hash.Update(text.data(), text.size() / 2);  // in two parts, one not block-aligned
            hash.Update(text.data() + text.size() / 2, text.size() - text.size() / 2);
            EXPECT_EQ(hash.HexDigest(), expected) << static_cast<int>(engine) << " " << text.size();
        }
        std::printf("SHA-256 engine asked %d, got %d\n", static_cast<int>(engine), static_cast<int>(Win32Sha256(engine).engine()));
    }
    EXPECT_EQ(Win32Sha256(Sha256Engine::Cng).engine(), Sha256Engine::Cng);  // as every Windows since Vista, Wine has it

    ScratchTree tree("hashing");
    std::string content(3 * Win32Files::kBlockSize + 12345, '\0');
    for (std::size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>((i * 131) >> 5);
    tree.File("src", content);
    Win32Files files;
    ASSERT_TRUE(files.WriteAttributes(tree.Path("src"), kAttrHidden | kAttrArchive));
    struct Blocks : CopyWatcher {
        std::vector<std::uint64_t> sizes;
        void Copied(std::uint64_t bytes) override { sizes.push_back(bytes); }
    } blocks;
    CopyReport report;
    report.hash = true;
    report.watcher = &blocks;
    ASSERT_TRUE(files.CopyOver(tree.Path("src"), tree.Path("dst"), false, report));
    EXPECT_EQ(tree.Read("dst"), content);
    EXPECT_EQ(report.size, content.size());
    EXPECT_EQ(report.sha256, Sha256Hex(content));
    EXPECT_EQ(blocks.sizes, (std::vector<std::uint64_t>{Win32Files::kBlockSize, Win32Files::kBlockSize,
                                                       Win32Files::kBlockSize, 12345}));
    EXPECT_EQ(files.ReadAttributes(tree.Path("dst")), files.ReadAttributes(tree.Path("src")));
    WIN32_FILE_ATTRIBUTE_DATA from{}, to{};
    GetFileAttributesExW(WidenCp936(tree.Path("src")).c_str(), GetFileExInfoStandard, &from);
    GetFileAttributesExW(WidenCp936(tree.Path("dst")).c_str(), GetFileExInfoStandard, &to);
    EXPECT_EQ(CompareFileTime(&from.ftLastWriteTime, &to.ftLastWriteTime), 0);

    std::string hash;
    std::uint64_t size = 0;
    EXPECT_TRUE(files.HashFile(tree.Path("dst"), hash) && hash == report.sha256);
    EXPECT_TRUE(files.FileSize(tree.Path("dst"), size) && size == content.size());
    EXPECT_FALSE(files.HashFile(tree.Path("none"), hash));

    // Hashed ahead on a thread, as an uninstall asks: the same answers, whether the thread got
    // there first or not, and a file changed after it was told of is read as it is now.
    files.WillHash({{tree.Path("dst"), content.size()}, {tree.Path("src"), content.size()}, {tree.Path("none"), 1}});
    for (int tries = 0; tries < 1000 && tree.Read("src") != content + "more"; ++tries) {
        tree.File("src", content + "more");  // refused while the thread reads it
        Sleep(1);
    }
    EXPECT_TRUE(files.HashFile(tree.Path("dst"), hash) && hash == report.sha256);
    EXPECT_TRUE(files.HashFile(tree.Path("src"), hash) && hash == Sha256Hex(content + "more"));
    EXPECT_FALSE(files.HashFile(tree.Path("none"), hash));
    tree.File("src", content);
    EXPECT_FALSE(files.FileSize(tree.Path(""), size));  // a folder

    // Several files of several blocks, copied one after the other (the hashing thread takes each
    // in turn), then hashed ahead by as many threads as there are processors: each answer is its
    // own file's, asked in the order told or not, and none is read as another's.
    std::vector<std::pair<std::string, std::uint64_t>> told;
    std::vector<std::string> contents;
    for (int i = 0; i < 6; ++i) {
        contents.push_back(content.substr(0, content.size() - 1000 * i) + std::to_string(i));
        tree.File("many" + std::to_string(i), contents.back());
        CopyReport copied;
        copied.hash = true;
        ASSERT_TRUE(files.CopyOver(tree.Path("many" + std::to_string(i)), tree.Path("copy" + std::to_string(i)), false,
                                   copied));
        EXPECT_EQ(copied.sha256, Sha256Hex(contents.back())) << i;
        told.emplace_back(tree.Path("copy" + std::to_string(i)), contents.back().size());
    }
    files.WillHash(told);
    for (int i : {0, 1, 5, 2, 4, 3})
        EXPECT_TRUE(files.HashFile(tree.Path("copy" + std::to_string(i)), hash) && hash == Sha256Hex(contents[i])) << i;
    // Written over, or removed, while a thread reads them ahead (as an undo puts a backup back
    // over a file it has not compared yet): the change waits for the reader to let go, and is
    // made at the first try; the file's hash is then that of what it holds now.
    const std::uint64_t bigSize = 48u << 20;
    tree.File("big", std::string(bigSize, 'b'));
    files.WillHash({{tree.Path("big"), bigSize}, {tree.Path("copy1"), contents[1].size()}});
    Sleep(20);  // time for the readers to begin
    CopyReport over;
    EXPECT_TRUE(files.CopyOver(tree.Path("many0"), tree.Path("big"), false, over));
    EXPECT_TRUE(files.RemoveFile(tree.Path("copy1")));
    EXPECT_TRUE(files.HashFile(tree.Path("big"), hash) && hash == Sha256Hex(contents[0]));

    // As CopyFileW: refused onto an existing file when asked, and onto itself; the file stays whole.
    CopyReport again;
    again.hash = true;
    EXPECT_FALSE(files.CopyOver(tree.Path("src"), tree.Path("dst"), true, again));
    EXPECT_FALSE(files.CopyOver(tree.Path("dst"), tree.Path("dst"), false, again));
    EXPECT_EQ(tree.Read("dst"), content);
    // Over a file that is there (a new one is made as new): refused, as CopyFileW refuses it, over
    // a hidden file that the copy would not keep hidden; else replaced whole.
    tree.File("short", "short");
    EXPECT_FALSE(files.CopyOver(tree.Path("short"), tree.Path("dst"), false, again));
    EXPECT_EQ(tree.Read("dst"), content);
    ASSERT_TRUE(files.WriteAttributes(tree.Path("short"), kAttrHidden));
    EXPECT_TRUE(files.CopyOver(tree.Path("short"), tree.Path("dst"), false, again));
    EXPECT_EQ(tree.Read("dst"), "short");
    EXPECT_EQ(again.sha256, Sha256Hex("short"));

    // A file with a second name (a hard link) is told as such and never relocked. A copy over it,
    // as over any file that is there, is a new file that takes the name: the other name keeps the
    // earlier bytes, wherever it lies.
    for (const char* name : {"dst", "short"}) ASSERT_TRUE(files.WriteAttributes(tree.Path(name), kAttrArchive));
    ASSERT_TRUE(CreateHardLinkW(WidenCp936(tree.Path("other name")).c_str(), WidenCp936(tree.Path("dst")).c_str(),
                                nullptr));
    Protection protection;
    ASSERT_TRUE(files.ReadProtection(tree.Path("dst"), protection));
    EXPECT_EQ(protection.links, 2u);
    EXPECT_FALSE(files.Relock(tree.Path("dst")));
    tree.File("plain", "plain");
    EXPECT_TRUE(files.CopyOver(tree.Path("plain"), tree.Path("dst"), false));
    EXPECT_EQ(tree.Read("dst"), "plain");
    EXPECT_EQ(tree.Read("other name"), "short");
    ASSERT_TRUE(files.ReadProtection(tree.Path("dst"), protection));
    EXPECT_EQ(protection.links, 1u);
    // A handle another program holds to the file, sharing everything: the file it holds is never
    // the copy. Either the name cannot be taken from it (as Windows and Wine refuse to replace an
    // open file) and it stays as it was, or the copy takes the name and the handle keeps the
    // earlier file.
    HANDLE kept = CreateFileW(WidenCp936(tree.Path("dst")).c_str(), GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(kept, INVALID_HANDLE_VALUE);
    const bool replaced = files.CopyOver(tree.Path("short"), tree.Path("dst"), false);
    EXPECT_EQ(tree.Read("dst"), replaced ? "short" : "plain");
    DWORD written = 0;
    EXPECT_TRUE(WriteFile(kept, "user", 4, &written, nullptr));
    CloseHandle(kept);
    EXPECT_EQ(tree.Read("dst"), replaced ? "short" : "usern");
    EXPECT_TRUE(Listing(files, tree.Path("*.new*")).empty());  // nothing is left beside it
    // Names beside it that are taken (left by a run cut short, or put there) are never written
    // through, and never keep the copy from being made.
    std::vector<std::string> taken;
    for (const char* suffix : {".new", ".new2", ".new3", ".new4", ".new5", ".new6", ".new7", ".new8", ".new9"}) {
        tree.File(std::string("dst") + suffix, "left");
        taken.push_back(std::string("dst") + suffix);
    }
    EXPECT_TRUE(files.CopyOver(tree.Path("short"), tree.Path("dst"), false));
    EXPECT_EQ(tree.Read("dst"), "short");
    for (const std::string& name : taken) EXPECT_EQ(tree.Read(name), "left") << name;
    EXPECT_EQ(Listing(files, tree.Path("dst.*")).size(), taken.size() + 1);  // and dst itself
}

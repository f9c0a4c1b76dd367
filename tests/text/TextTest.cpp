#include <algorithm>
#include <cstdio>
#include <gtest/gtest.h>

#include "catalogue/ReleaseTable.h"
#include "text/PathText.h"
#include "text/Sha256.h"
#include "text/Text.h"

TEST(Text, CaseMappingLeavesDoubleByteCharactersAlone) {
    // "软" is C8 ED in CP936; "件" is BC FE. A trail byte in the letter range must not change:
    // 0xB0 0x61 is a double-byte character whose trail byte is 'a'.
    const std::string mixed = std::string("c:\\") + "\xB0\x61" + "x\\Korvel";
    EXPECT_EQ(UpperCp936(mixed), std::string("C:\\") + "\xB0\x61" + "X\\KORVEL");
    EXPECT_EQ(LowerCp936("ACAD.EXE\xB0\x41"), std::string("acad.exe\xB0\x41"));
    EXPECT_EQ(std::string("软件"), std::string("\xC8\xED\xBC\xFE"));
}

TEST(Text, EqualsNoCaseIsExactApartFromAsciiCase) {
    EXPECT_TRUE(EqualsNoCase("setup.exe", "SetUp.EXE"));
    EXPECT_FALSE(EqualsNoCase("SetUp.EXE.bak", "SetUp.EXE"));
    EXPECT_FALSE(EqualsNoCase("a\xB0", "A\x90"));
    // Two characters whose trail bytes differ as 'a' and 'A' do: "\xB0\x61" is not "\xB0\x41".
    EXPECT_FALSE(EqualsNoCase("C:\\\xB0\x61", "C:\\\xB0\x41"));
}

// The letters of the code page that the file system takes as one name in either case: "Ωmega"
// and "ωmega" name one folder, and so do "ａ" and "Ａ", "я" and "Я", "ⅹ" and "Ⅹ".
TEST(Text, DoubleByteLettersFoldAsTheFileSystemFoldsThem) {
    const std::string lower = "\xA6\xD8\xA7\xF1\xA7\xD7\xA3\xE1\xA2\xAAx", upper = "\xA6\xB8\xA7\xC1\xA7\xA7\xA3\xC1\xA2\xFAX";
    EXPECT_EQ(UpperCp936(lower), upper);
    EXPECT_EQ(LowerCp936(upper), lower);
    EXPECT_TRUE(EqualsNoCase(lower, upper));
    // A value naming a file below one spelling lies in the folder named by the other.
    EXPECT_TRUE(Within("C:\\" + lower + "\\Korvel-Tarnwick\\Korvel2018.ARX", "C:\\" + upper));
    EXPECT_EQ(UpperAsciiLetters(lower), lower.substr(0, lower.size() - 1) + "X");
    // Neighbours that are no letters of the other case stay: "Ⅺ" (A2 FB), "ǎ" (A8 A3).
    EXPECT_EQ(LowerCp936("\xA2\xFB\xA8\xA3"), "\xA2\xFB\xA8\xA3");
}

// Run natively and, under Wine, against the system's own printf that the Windows builds use.
TEST(Text, FormatGivesEveryConversionTheProgramUsesInFull) {
    EXPECT_EQ(Format("%08x", 0x1A2Bu), "00001a2b");
    EXPECT_EQ(Format("\t#%08x", 0xDEADBEEFu), "\t#deadbeef");
    EXPECT_EQ(Format("%u:", 4000000000u), "4000000000:");
    EXPECT_EQ(Format("%d.0%d", -3, 7), "-3.07");
    // Double-byte text in the format and in the arguments passes byte for byte, even a trail
    // byte 0x5C ("\").
    EXPECT_EQ(Format("\n……另有 %d 项", 12), "\n……另有 12 项");
    const std::string trail5c = "\xB1\x5C";
    EXPECT_EQ(Format("%s\\%s", trail5c.c_str(), "Korvel"), trail5c + "\\Korvel");
    // Longer than any buffer a formatter might start with; and nothing at all.
    const std::string longText(5000, 'x');
    EXPECT_EQ(Format("%s;%s", longText.c_str(), longText.c_str()), longText + ";" + longText);
    EXPECT_EQ(Format("%s", ""), "");
}

TEST(ReleaseTable, MapsByTableNotByIndex) {
    EXPECT_EQ(FindRelease(2010)->controlId, 1027);
    EXPECT_EQ(FindRelease(2011)->controlId, 1026);
    EXPECT_EQ(FindRelease(2007)->arxYear, 2008);
    EXPECT_EQ(FindRelease(2025)->dllYear, 2013);
    EXPECT_EQ(FindRelease(2006), nullptr);
    EXPECT_EQ(FindRelease(2026), nullptr);
    for (const ReleaseRow& row : ReleaseTable) EXPECT_EQ(row.withPlotDriver, row.year == 2008);
}

// The plain code and the processor's SHA instructions (where this machine has them) give the
// standard digests, whole or fed in pieces that straddle the 64-byte blocks.
TEST(Sha256, BothPathsGiveTheStandardDigestsInAnyPieces) {
    const std::pair<std::string, const char*> vectors[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"}};
    for (bool processor : {false, true}) {
        for (const auto& [text, expected] : vectors) {
            for (std::size_t piece : {std::size_t(1), std::size_t(63), std::size_t(64), std::size_t(1000), text.size() + 1}) {
                Sha256 hash(processor);
                for (std::size_t at = 0; at < text.size(); at += piece)
                    hash.Update(text.data() + at, std::min(piece, text.size() - at));
                EXPECT_EQ(hash.HexDigest(), expected) << processor << " " << text.size() << " " << piece;
                if (text.size() > 100000 && piece < 64) break;  // a million single bytes is enough once
            }
        }
    }
    std::printf("SHA instructions on this processor: %s\n", Sha256::ProcessorHasSha() ? "yes" : "no");
}

// Discovery against the registry double: which products are filed, under which release, in
// which order, and that no fault of the registry crashes it or leaks a handle.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>

#include "catalogue/HostCatalogue.h"
#include "doubles/FileDouble.h"
#include "doubles/PromptDouble.h"
#include "doubles/RegFile.h"
#include "doubles/RegistryDouble.h"

namespace {

const std::string kMain = "SOFTWARE\\Autodesk\\AutoCAD\\";
const std::string kWow = "SOFTWARE\\Wow6432Node\\Autodesk\\AutoCAD\\";

struct Discovery : testing::Test {
    RegistryDouble registry;
    FileDouble files;
    PromptDouble prompt;
    HostCatalogue catalogue{registry, files, prompt};

    // location "x" is the folder C:\x.
    void Product(const std::string& path, const std::string& location, const std::string& name) {
        registry.PutString(kHkeyLocalMachine, path, "AcadLocation", At(location));
        registry.PutString(kHkeyLocalMachine, path, "ProductName", name);
    }
    static std::string At(const std::string& location) { return "C:\\" + location; }
    int Entries() const {
        int total = 0;
        for (int k = 0; k < kReleaseCount; ++k) total += static_cast<int>(catalogue.hostKeys[k].size());
        return total;
    }
};

TEST_F(Discovery, FixtureFilesEveryProductUnderItsRelease) {
    ASSERT_EQ(LoadRegFile(registry, KORVEL_FIXTURES "/catalogue-hosts.reg"), "");
    catalogue.ScanInstalledReleases();

    // 2008 under both roots, the 32-bit path first.
    EXPECT_EQ(catalogue.hostKeys[1], (StringList{kWow + "R17.1\\ACAD-6001:804\\",
                                                 kMain + "R17.1\\ACAD-6001:804\\"}));
    EXPECT_EQ(catalogue.hostFolders[1], (StringList(2, "C:\\Program Files\\AutoCAD 2008 中文版")));
    // A release key that is the product key itself; the 32-bit path's 2010 is not filed.
    EXPECT_EQ(catalogue.hostKeys[3], StringList{kMain + "R18.0\\"});
    EXPECT_EQ(catalogue.hostFolders[3], StringList{"D:\\AutoCAD 2010"});
    // Three products of one release key, in enumeration order; "2013 after 2012" is a 2012.
    EXPECT_EQ(catalogue.hostKeys[5], (StringList{kMain + "R18.2\\ACAD-A001:804\\",
                                                 kMain + "R18.2\\ACAD-A002:409\\",
                                                 kMain + "R18.2\\ACAD-A003:804\\"}));
    EXPECT_EQ(catalogue.hostFolders[5][2], "C:\\Dual");
    // ProductName above AcadLocation, a name beginning with its year, a name without a year:
    // none filed. A value below a found one is never seen.
    EXPECT_TRUE(catalogue.hostKeys[6].empty());
    EXPECT_TRUE(catalogue.hostKeys[8].empty());
    EXPECT_EQ(catalogue.hostKeys[10], StringList{kMain + "R21.0\\ACAD-0001:804\\"});
    EXPECT_TRUE(catalogue.hostKeys[11].empty());
    // 256 bytes of binary data are read, but name no folder; 257 count as absent and the walk
    // goes deeper.
    EXPECT_TRUE(catalogue.hostFolders[12].empty());
    EXPECT_EQ(catalogue.hostKeys[13], StringList{kMain + "R23.1\\ACAD-3001:804\\Inner\\"});
    EXPECT_EQ(catalogue.hostFolders[13], StringList{"C:\\Inner"});
    EXPECT_EQ(Entries(), 8);
    EXPECT_EQ(registry.OpenHandleCount(), 0);
    EXPECT_EQ(registry.badHandleCalls, 0);
    // Read only.
    EXPECT_EQ(registry.CallCount(RegOp::CreateKey) + registry.CallCount(RegOp::SetString) +
                  registry.CallCount(RegOp::SetDword) + registry.CallCount(RegOp::DeleteKey), 0);
}

TEST_F(Discovery, YearsAreTriedInOrderAndNeverAtTheStart) {
    Product(kMain + "R1\\A", "a", "2010");               // only at position 0
    Product(kMain + "R1\\B", "b", "2010 AutoCAD 2011");  // 2010 at 0 does not count, 2011 does
    Product(kMain + "R1\\C", "c", "x2025 2007");         // the earlier year wins
    Product(kMain + "R1\\D", "d", "AutoCAD 2026");
    Product(kWow + "R1\\E", "e", "AutoCAD 2009");        // the 32-bit path files only 2007/2008
    Product(kWow + "R1\\F", "f", "AutoCAD 2008 2007");
    catalogue.ScanInstalledReleases();
    EXPECT_EQ(catalogue.hostFolders[0], (StringList{At("f"), At("c")}));
    EXPECT_EQ(catalogue.hostFolders[4], StringList{At("b")});
    EXPECT_EQ(Entries(), 3);
}

TEST_F(Discovery, ValuesAreTextUpToTheirFirstZeroAndNeverPastWhatWasRead) {
    const std::string key = kMain + "R1\\P";
    registry.PutValue(kHkeyLocalMachine, key, "AcadLocation", kRegSz, "C:\\Short");  // no zero
    registry.PutValue(kHkeyLocalMachine, key, "ProductName", kRegBinary,
                      std::string("AutoCAD 2014\0 2007", 18));
    // 256 bytes without a zero fill the buffer and are taken whole.
    const std::string full = "C:\\" + std::string(253, 'A');
    registry.PutValue(kHkeyLocalMachine, kMain + "R2\\P", "AcadLocation", kRegSz, full);
    registry.PutString(kHkeyLocalMachine, kMain + "R2\\P", "ProductName", "AutoCAD 2015");
    catalogue.ScanInstalledReleases();
    EXPECT_EQ(catalogue.hostFolders[7], StringList{"C:\\Short"});
    EXPECT_EQ(catalogue.hostFolders[8], StringList{full});
    EXPECT_EQ(Entries(), 2);
}

// A location that names no whole, absolute folder is no host: its fonts and libraries would
// land at the root of whatever drive is current. REG_EXPAND_SZ is expanded first.
TEST_F(Discovery, OnlyWholeAbsoluteFoldersAreHosts) {
    files.environment["ProgramFiles"] = "D:\\Apps";
    const auto location = [&](const char* product, std::uint32_t type, const std::string& bytes) {
        registry.PutValue(kHkeyLocalMachine, kMain + "R1\\" + product, "AcadLocation", type, bytes);
        registry.PutString(kHkeyLocalMachine, kMain + "R1\\" + product, "ProductName", "AutoCAD 2016");
    };
    location("A", kRegSz, std::string("\0", 1));                 // empty
    location("B", kRegSz, "AutoCAD 2016");                          // relative
    location("C", kRegSz, "\\AutoCAD 2016");                       // rooted, no drive
    location("D", kRegSz, "C:AutoCAD");                             // drive-relative
    location("E", kRegDword, std::string("C:\\A", 4));             // not text
    location("F", kRegExpandSz, "%ProgramFiles%\\AutoCAD 2016");   // expanded
    location("G", kRegSz, "\\\\server\\cad\\AutoCAD 2016");       // a share
    location("H", kRegSz, "E:\\AutoCAD 2016\\");                   // as newer releases store it
    location("I", kRegSz, "E:\\\x81");                              // half a character
    location("J", kRegExpandSz, "%Missing%\\AutoCAD");              // stays relative
    location("K", kRegSz, "C:\\Lossy");  // spelt in characters this code page cannot hold
    registry.FailValueRead(kHkeyLocalMachine, kMain + "R1\\K", "AcadLocation");
    // Below a key whose value cannot be read whole, nothing is looked for.
    registry.PutString(kHkeyLocalMachine, kMain + "R1\\K\\Deeper", "AcadLocation", "C:\\Deeper");
    registry.PutString(kHkeyLocalMachine, kMain + "R1\\K\\Deeper", "ProductName", "AutoCAD 2016");
    catalogue.ScanInstalledReleases();
    EXPECT_EQ(catalogue.hostFolders[9],
              (StringList{"D:\\Apps\\AutoCAD 2016", "\\\\server\\cad\\AutoCAD 2016",
                          "E:\\AutoCAD 2016\\"}));
    EXPECT_EQ(catalogue.hostKeys[9].size(), catalogue.hostFolders[9].size());
    EXPECT_EQ(Entries(), 3);
}

TEST_F(Discovery, NoRootsNoEntries) {
    catalogue.ScanInstalledReleases();
    EXPECT_EQ(Entries(), 0);
    EXPECT_EQ(registry.OpenHandleCount(), 0);
}

TEST_F(Discovery, UnreadableKeysHideOnlyWhatLiesBelowThem) {
    Product(kMain + "R1\\A", "a", "AutoCAD 2010");
    Product(kMain + "R1\\B", "b", "AutoCAD 2010");
    Product(kMain + "R2\\C", "c", "AutoCAD 2010");
    registry.FailKey(kHkeyLocalMachine, kMain + "R1\\A");
    registry.FailEnumAt(kHkeyLocalMachine, kMain + "R1", 1);
    registry.FailKey(kHkeyLocalMachine, kWow);  // no 32-bit path to read
    catalogue.ScanInstalledReleases();
    EXPECT_EQ(catalogue.hostFolders[3], StringList{At("c")});
    EXPECT_EQ(registry.OpenHandleCount(), 0);
}

// A product key removed while the scan runs: its index is skipped, the release key is never
// walked a second time through an empty name, and nothing is recorded twice.
TEST_F(Discovery, KeysVanishingMidScanAreSkipped) {
    Product(kMain + "R1\\A", "a", "AutoCAD 2010");
    Product(kMain + "R1\\B", "b", "AutoCAD 2010");
    Product(kMain + "R2", "r2", "AutoCAD 2011");
    Product(kMain + "R3", "r3", "AutoCAD 2012");
    bool armed = true;
    registry.beforeCall = [&](RegOp op) {
        if (armed && op == RegOp::EnumKey && registry.CallCount(RegOp::EnumKey) == 3) {
            armed = false;
            registry.DeleteTree(kHkeyLocalMachine, kMain + "R1\\B");  // under the walk's feet
            registry.DeleteTree(kHkeyLocalMachine, kMain + "R2");     // and the root's
        }
    };
    catalogue.ScanInstalledReleases();
    for (int k = 0; k < kReleaseCount; ++k) {
        StringList sorted = catalogue.hostKeys[k];
        std::sort(sorted.begin(), sorted.end());
        EXPECT_EQ(std::adjacent_find(sorted.begin(), sorted.end()), sorted.end());
        for (const std::string& path : catalogue.hostKeys[k]) EXPECT_EQ(path.back(), '\\');
    }
    EXPECT_EQ(catalogue.hostFolders[3], StringList{At("a")});
    EXPECT_EQ(registry.OpenHandleCount(), 0);
    EXPECT_EQ(registry.badHandleCalls, 0);
}

// Every registry call that discovery makes, failed in turn with each kind of error.
TEST(DiscoveryFaults, EveryCallFailingKeepsInvariantsAndClosesEveryHandle) {
    FileDouble files;
    PromptDouble prompt;
    std::ifstream in(KORVEL_FIXTURES "/catalogue-hosts.reg", std::ios::binary);
    const std::string fixture((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    int calls = 0;
    {
        RegistryDouble registry;
        ASSERT_EQ(LoadRegText(registry, fixture), "");
        HostCatalogue catalogue(registry, files, prompt);
        catalogue.ScanInstalledReleases();
        calls = registry.CallCount(RegOp::Any);
    }
    ASSERT_GT(calls, 100);
    for (long error : {kErrorAccessDenied, kErrorMoreData}) {
        for (int nth = 1; nth <= calls; ++nth) {
            RegistryDouble registry;
            LoadRegText(registry, fixture);
            registry.FailCall(RegOp::Any, nth, error);
            HostCatalogue catalogue(registry, files, prompt);
            catalogue.ScanInstalledReleases();
            for (int k = 0; k < kReleaseCount; ++k) {
                ASSERT_EQ(catalogue.hostKeys[k].size(), catalogue.hostFolders[k].size()) << nth;
                for (const std::string& path : catalogue.hostKeys[k])
                    ASSERT_EQ(path.back(), '\\') << nth;
            }
            ASSERT_EQ(catalogue.walkKeys.size(), catalogue.walkValues.size()) << nth;
            ASSERT_EQ(registry.OpenHandleCount(), 0) << nth;
            ASSERT_EQ(registry.badHandleCalls, 0) << nth;
        }
    }
}

TEST(ListSubKeys, AppendsOnlyOpenableSubKeysInEnumerationOrder) {
    RegistryDouble registry;
    for (const char* name : {"Profile B", "<<Unnamed Profile>>", "Locked", "profile a"})
        registry.CreateKeyPath(kHkeyCurrentUser, std::string("P\\") + name);
    registry.CreateKeyPath(kHkeyCurrentUser, "Empty");
    registry.FailKey(kHkeyCurrentUser, "P\\Locked");
    KeyHandle key(registry);
    ASSERT_EQ(registry.OpenKeyRead(kHkeyCurrentUser, "P", key.out()), kErrorSuccess);
    StringList list{"kept"};
    ListSubKeys(registry, key.get(), list);
    EXPECT_EQ(list, (StringList{"kept", "<<Unnamed Profile>>", "profile a", "Profile B"}));
    EXPECT_EQ(registry.OpenHandleCount(), 1);  // the key it was given stays open

    KeyHandle empty(registry);
    ASSERT_EQ(registry.OpenKeyRead(kHkeyCurrentUser, "Empty", empty.out()), kErrorSuccess);
    ListSubKeys(registry, empty.get(), list);
    EXPECT_EQ(list.size(), 4u);

    // A sub-key gone between the count and the read of its name leaves no empty entry.
    registry.beforeCall = [&](RegOp op) {
        if (op == RegOp::EnumKey) registry.DeleteTree(kHkeyCurrentUser, "P\\Profile B");
    };
    StringList again;
    ListSubKeys(registry, key.get(), again);
    EXPECT_EQ(again, (StringList{"<<Unnamed Profile>>", "profile a"}));
}

}  // namespace

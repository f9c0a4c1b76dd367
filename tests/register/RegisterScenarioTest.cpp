// A whole registration over the shared fixture: several releases, product keys and profiles,
// values at the length limit, and a fault at every registry call.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <memory>
#include <set>
#include <sstream>

#include "doubles/FileDouble.h"
#include "doubles/PromptDouble.h"
#include "doubles/RegFile.h"
#include "doubles/RegistryDouble.h"
#include "register/RegisterScenario.h"

namespace {

namespace rs = register_scenario;

const std::string kFolderUpper = "C:\\KORVEL\\KORVEL-TARNWICK";
const std::string kCu = "SOFTWARE\\Autodesk\\AutoCAD\\";

struct Install {
    Install() {
        const std::string error =
            LoadRegFile(registry, std::string(KORVEL_FIXTURES) + "/" + rs::kFixture);
        EXPECT_EQ(error, "");
        rs::AddLongValues(registry);
        registry.ResetCallCounts();
        rs::DescribeHosts(catalogue);
    }
    void Run() { catalogue.RegisterReleases(rs::Ticked()); }
    std::string Text(const std::string& variables) {
        return registry.GetText(kHkeyCurrentUser, kCu + variables + "\\Variables", "TRUSTEDPATHS");
    }
    std::string Machine() { return registry.Dump(kHkeyLocalMachine, "SOFTWARE"); }
    std::string User() { return registry.Dump(kHkeyCurrentUser, "SOFTWARE"); }

    RegistryDouble registry;
    FileDouble files;
    PromptDouble prompt;
    HostCatalogue catalogue{registry, files, prompt};
};

TEST(RegisterScenarioTest, EveryProfileOfEveryProductTrustsTheFolder) {
    Install install;
    install.Run();
    const std::string p0 = "R17.0\\ACAD-5001:804\\Profiles\\";
    const std::string p1 = "R17.1\\ACAD-6001:409\\Profiles\\";
    EXPECT_EQ(install.Text(p0 + "<<未命名配置>>"), "D:\\TOOLS;E:\\LIB;" + kFolderUpper);
    EXPECT_EQ(install.Text(p0 + "制图"), rs::kInstallFolder);
    EXPECT_EQ(install.Text(p0 + "NoVariables"), rs::kInstallFolder);
    EXPECT_EQ(install.Text(p0 + "NoValue"), rs::kInstallFolder);
    EXPECT_EQ(install.Text(p1 + "Semicolon"), "C:\\A;;" + kFolderUpper);
    // Another folder that only begins like ours does not trust ours.
    EXPECT_EQ(install.Text(p1 + "Present"), "X:\\Y;" + kFolderUpper + "2;" + kFolderUpper);
    EXPECT_EQ(install.Text(p1 + "Chinese"), "D:\\乤A\\工具;" + kFolderUpper);
    EXPECT_EQ(install.Text(p1 + "Semi"), rs::kInstallFolder);
    EXPECT_EQ(install.Text("R24.0\\ACAD-7101:409\\Profiles\\Old"), "E:\\OLD;" + kFolderUpper);
    EXPECT_EQ(std::string("乤").substr(1), "a");  // the fixture's trail byte that must survive

    // Not plain text: left with its type and bytes.
    std::uint32_t type = 0;
    std::string bytes;
    ASSERT_TRUE(install.registry.GetValue(kHkeyCurrentUser, kCu + p1 + "Expand\\Variables",
                                          "TRUSTEDPATHS", type, bytes));
    EXPECT_EQ(type, kRegExpandSz);
    EXPECT_EQ(install.Text(p1 + "Dword"), "\x01");

    // Stored as REG_SZ without a terminating zero; the profile's other values stay.
    ASSERT_TRUE(install.registry.GetValue(kHkeyCurrentUser, kCu + p0 + "NoValue\\Variables",
                                          "TRUSTEDPATHS", type, bytes));
    EXPECT_EQ(type, kRegSz);
    EXPECT_EQ(bytes, rs::kInstallFolder);
    EXPECT_EQ(install.registry.GetText(kHkeyCurrentUser, kCu + p0 + "NoValue\\Variables", "OTHER"),
              "x");
    // Profiles are only ever found, never made.
    EXPECT_FALSE(install.registry.KeyExists(kHkeyCurrentUser, kCu + "R24.0\\ACAD-7102:409\\Profiles"));
    EXPECT_FALSE(install.registry.KeyExists(kHkeyCurrentUser, kCu + "R18.0\\Profiles"));
    EXPECT_EQ(install.registry.OpenHandleCount(), 0);
    EXPECT_EQ(install.registry.badHandleCalls, 0);
}

TEST(RegisterScenarioTest, ValuesThatWouldNotFitAreLeftByteForByte) {
    Install install;
    const std::string profiles = std::string(rs::kLongProfiles).substr(kCu.size());
    const std::string longBefore = install.Text(profiles + "Long");
    const std::string fullBefore = install.Text(profiles + "Full");
    const std::string fits = install.Text(profiles + "Fits");
    ASSERT_EQ(longBefore.size(), 13000u);
    install.Run();
    EXPECT_EQ(install.Text(profiles + "Long"), longBefore);
    EXPECT_EQ(install.Text(profiles + "Full"), fullBefore);
    EXPECT_EQ(install.Text(profiles + "Fits"), "E:\\" + std::string(fits.size() - 3, 'P') + ";" + kFolderUpper);
    EXPECT_EQ(install.Text(profiles + "Fits").size(), 12999u);
}

TEST(RegisterScenarioTest, LoaderKeysOfTheTickedHostsOnly) {
    Install install;
    install.Run();
    const std::string lm = "SOFTWARE\\Autodesk\\AutoCAD\\";
    auto apps = [&](const std::string& product) {
        return install.registry.Dump(kHkeyLocalMachine, lm + product + "\\Applications");
    };
    // The earlier install elsewhere leaves nothing; another vendor's key stays.
    EXPECT_EQ(apps("R17.0\\ACAD-5001:804"),
              "[]\n"
              "[Korvel2007]\n"
              "\"LOADCTRLS\"=dword:00000002\n"
              "\"LOADER\"=sz:\"C:\\\\Korvel\\\\Korvel-Tarnwick\\\\Korvel2008.ARX\"\n"
              "[Korvel2007DLL]\n"
              "\"LOADCTRLS\"=dword:00000002\n"
              "\"LOADER\"=sz:\"C:\\\\Program Files\\\\AutoCAD 2007\\\\ACAD2007.dll\"\n"
              "\"MANAGED\"=dword:00000001\n"
              "[Other]\n"
              "\"LOADER\"=sz:\"C:\\\\Other\\\\other.arx\"\n");
    // Each product key of a release names its own host folder; a key with a sub-key survives
    // the delete, and its values are overwritten.
    auto text = [&](const std::string& key, const char* name) {
        return install.registry.GetText(kHkeyLocalMachine, lm + key, name);
    };
    EXPECT_EQ(text("R17.1\\ACAD-6001:409\\Applications\\Korvel2008DLL", "LOADER"),
              "C:\\Program Files\\AutoCAD 2008\\ACAD2007.dll");
    EXPECT_EQ(text("R17.1\\ACAD-6001:804\\Applications\\Korvel2008DLL", "LOADER"),
              "D:\\CAD\\AutoCAD 2008 中文\\ACAD2007.dll");
    EXPECT_EQ(text("R17.1\\ACAD-6001:804\\Applications\\Korvel2008", "LOADER"),
              "C:\\Korvel\\Korvel-Tarnwick\\Korvel2008.ARX");
    EXPECT_EQ(text("R25.0\\ACAD-8101:804\\Applications\\Korvel2025", "LOADER"),
              "C:\\Korvel\\Korvel-Tarnwick\\Korvel2025.ARX");
    EXPECT_EQ(text("R25.0\\ACAD-8101:804\\Applications\\Korvel2025DLL", "LOADER"),
              "C:\\Program Files\\Autodesk\\AutoCAD 2025\\ACAD2013.dll");

    // Texts without their terminating zero, numbers as 4 bytes.
    std::uint32_t type = 0;
    std::string bytes;
    const std::string dll = lm + "R25.0\\ACAD-8101:804\\Applications\\Korvel2025DLL";
    ASSERT_TRUE(install.registry.GetValue(kHkeyLocalMachine, dll, "LOADER", type, bytes));
    EXPECT_EQ(type, kRegSz);
    EXPECT_EQ(bytes, "C:\\Program Files\\Autodesk\\AutoCAD 2025\\ACAD2013.dll");
    ASSERT_TRUE(install.registry.GetValue(kHkeyLocalMachine, dll, "MANAGED", type, bytes));
    EXPECT_EQ(type, kRegDword);
    EXPECT_EQ(bytes, std::string("\x01\0\0\0", 4));

    EXPECT_EQ(apps("R24.1\\ACAD-5101:409"), "");  // 2022 not ticked
    EXPECT_FALSE(install.registry.KeyExists(kHkeyLocalMachine, lm + "R18.0"));
    for (bool failed : install.catalogue.registrationFailed) EXPECT_FALSE(failed);
}

// The folder is found by the second time; values only take the upper case.
TEST(RegisterScenarioTest, ASecondInstallAddsNothingMore) {
    Install install;
    install.Run();
    const std::string machine = install.Machine();
    const std::string user = install.User();
    install.Run();
    EXPECT_EQ(install.Machine(), machine);
    EXPECT_EQ(UpperCp936(install.User()), UpperCp936(user));
}

// --- A fault at every call ---

// Key lines and value lines of a dump, each value named by its key and its own name.
struct Tree {
    std::set<std::string> keys;
    std::map<std::string, std::string> values;
};

Tree Parse(RegistryDouble& registry) {
    Tree tree;
    std::istringstream in("HKLM\n" + registry.Dump(kHkeyLocalMachine, "SOFTWARE") + "HKCU\n" +
                          registry.Dump(kHkeyCurrentUser, "SOFTWARE"));
    std::string line, root, key;
    while (std::getline(in, line)) {
        if (line == "HKLM" || line == "HKCU") {
            root = line;
        } else if (line[0] == '[') {
            key = root + line;
            tree.keys.insert(key);
        } else {
            const std::size_t split = line[0] == '@' ? 1 : line.find("\"=") + 1;
            tree.values[key + line.substr(0, split)] = line.substr(split);
        }
    }
    return tree;
}

bool Ours(const std::string& key) { return key.find("\\Applications\\Korvel") != std::string::npos; }

// After a failed run each key and value is as before or as a clean run leaves it; the only things
// that may be missing are the plug-in's own application keys.
void ExpectNothingLost(const Tree& before, const Tree& clean, const Tree& after,
                       const std::string& where) {
    for (const std::string& key : before.keys) {
        EXPECT_TRUE(Ours(key) || after.keys.count(key)) << where << " lost " << key;
    }
    for (const std::string& key : after.keys)
        EXPECT_TRUE(before.keys.count(key) || clean.keys.count(key)) << where << " made " << key;
    for (const auto& [name, data] : after.values) {
        auto b = before.values.find(name);
        auto c = clean.values.find(name);
        EXPECT_TRUE((b != before.values.end() && b->second == data) ||
                    (c != clean.values.end() && c->second == data))
            << where << " wrote " << name << data.substr(0, 80);
    }
    for (const auto& [name, data] : before.values) {
        EXPECT_TRUE(Ours(name) || after.values.count(name)) << where << " lost " << name;
    }
}

// The values of one key, by their names.
std::map<std::string, std::string> ValuesOf(const Tree& tree, const std::string& key) {
    std::map<std::string, std::string> values;
    for (auto it = tree.values.lower_bound(key + "\""); it != tree.values.end(); ++it) {
        if (it->first.compare(0, key.size() + 1, key + "\"") != 0) break;
        values.insert(*it);
    }
    return values;
}

// A key this run changed and the host would load at start-up (it has LOADCTRLS) holds every
// value a clean run gives it.
void ExpectNoHalfRegisteredKey(const Tree& before, const Tree& clean, const Tree& after,
                               const std::string& where) {
    for (const std::string& key : after.keys) {
        if (!Ours(key) || !after.values.count(key + "\"LOADCTRLS\"")) continue;
        if (before.keys.count(key) && ValuesOf(before, key) == ValuesOf(after, key)) continue;
        for (const auto& [name, data] : clean.values) {
            if (name.compare(0, key.size() + 1, key + "\"") != 0) continue;
            auto found = after.values.find(name);
            EXPECT_TRUE(found != after.values.end() && found->second == data)
                << where << " left " << key << " loadable without " << name.substr(key.size());
        }
    }
}

TEST(RegisterScenarioTest, AFaultAtAnyCallLosesNothingAndLeaksNoHandle) {
    std::vector<RegOp> calls;
    Tree before, clean;
    {
        Install install;
        before = Parse(install.registry);
        install.registry.beforeCall = [&calls](RegOp op) { calls.push_back(op); };
        install.Run();
        clean = Parse(install.registry);
    }
    ASSERT_GT(calls.size(), 100u);
    std::printf("registration: %zu registry calls, each failed alone and from then on\n", calls.size());
    for (std::size_t n = 1; n <= calls.size(); ++n) {
        for (int rest : {0, 1}) {  // this call only, or this and every later one
            Install install;
            install.registry.FailCall(RegOp::Any, static_cast<int>(n), kErrorAccessDenied,
                                      rest ? 1 << 20 : 1);
            install.Run();
            const std::string where = "fault at call " + std::to_string(n) + (rest ? "+" : "");
            const Tree after = Parse(install.registry);
            ExpectNothingLost(before, clean, after, where);
            ExpectNoHalfRegisteredKey(before, clean, after, where);
            EXPECT_EQ(install.registry.badHandleCalls, 0) << where;
            if (!rest && calls[n - 1] != RegOp::CloseKey) {
                EXPECT_EQ(install.registry.OpenHandleCount(), 0) << where;
            }
            if (HasFailure()) return;
        }
    }
}

}  // namespace

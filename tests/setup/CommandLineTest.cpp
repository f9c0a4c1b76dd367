// The command line: split as CommandLineToArgvW splits it, then read into the run's record.
#include <gtest/gtest.h>

#include <fstream>
#include <set>

#include <string>
#include <vector>

#include "setup/CommandLine.h"
#include "setup/Usage.h"

namespace {
std::vector<std::u16string> Split(const std::u16string& line) {
    std::vector<std::u16string> texts;
    for (const CommandArgument& argument : SplitArguments(line)) texts.push_back(argument.text);
    return texts;
}

std::string Ascii(const std::u16string& text) { return std::string(text.begin(), text.end()); }
}  // namespace

TEST(CommandLine, SplitsArgumentsByTheRulesOfCommandLineToArgvW) {
    struct Case {
        std::u16string line;
        std::vector<std::u16string> arguments;
    };
    const Case cases[] = {
        {u"SetUp.exe", {}},
        {u"SetUp.exe   ", {}},
        {u"SetUp.exe \"abc\" d e", {u"abc", u"d", u"e"}},
        {u"SetUp.exe a\\\\b d\"e f\"g h", {u"a\\\\b", u"de fg", u"h"}},
        {u"SetUp.exe a\\\\\\\"b c d", {u"a\\\"b", u"c", u"d"}},
        {u"SetUp.exe a\\\\\\\\\"b c\" d e", {u"a\\\\b c", u"d", u"e"}},
        {u"SetUp.exe a\"b\"\" c d", {u"ab\"", u"c", u"d"}},
        {u"SetUp.exe \"a\"\"b\" \"\"\"\" c", {u"a\"b \"", u"c"}},
        {u"SetUp.exe \t/S\t-s ", {u"/S", u"-s"}},
        {u"SetUp.exe \"\" x", {u"", u"x"}},
        // The program's name: quoted, with blanks, and its backslashes left alone.
        {u"\"C:\\Program Files\\pkg\\SetUp.exe\" /S", {u"/S"}},
        {u"\"C:\\pkg\\\"SetUp.exe /S", {u"SetUp.exe", u"/S"}},
        {u"C:\\pkg\\SetUp.exe\\\" /S", {u"/S"}},
        {u"\"C:\\never closed /S", {}},
        {u"", {}},
    };
    for (const Case& c : cases) EXPECT_EQ(Split(c.line), c.arguments) << Ascii(c.line);
}

TEST(CommandLine, ReadsEveryOptionInAnyCaseWithEitherPrefix) {
    const SetupCommand none = ParseCommandLine(u"\"C:\\pkg\\SetUp.exe\"");
    EXPECT_EQ(none.mode, RunMode::Install);
    EXPECT_FALSE(none.silent);
    EXPECT_TRUE(none.folder.empty() && none.releases.empty() && none.logPath.empty());

    const SetupCommand all =
        ParseCommandLine(u"SetUp.exe -s /releases=2018,2022,2008 /Log=\"C:\\my logs\\安装.log\" /d=C:\\Korvel");
    EXPECT_EQ(all.mode, RunMode::Install);
    EXPECT_TRUE(all.silent);
    EXPECT_EQ(all.releases, (std::vector<int>{2018, 2022, 2008}));
    EXPECT_EQ(all.logPath, u"C:\\my logs\\安装.log");
    EXPECT_EQ(all.folder, u"C:\\Korvel");

    EXPECT_EQ(ParseCommandLine(u"SetUp.exe /?").mode, RunMode::Usage);
    EXPECT_EQ(ParseCommandLine(u"SetUp.exe /S -?").mode, RunMode::Usage);
    const SetupCommand uninstall = ParseCommandLine(u"SetUp.exe /Uninstall /S /LOG=u.log");
    EXPECT_EQ(uninstall.mode, RunMode::Uninstall);
    EXPECT_TRUE(uninstall.silent);
    EXPECT_EQ(uninstall.logPath, u"u.log");

    // The uninstaller in the plug-in's folder uninstalls when started as it is (from Explorer),
    // and never installs: its own folder is no package.
    EXPECT_EQ(ParseCommandLine(u"uninstall.exe", true).mode, RunMode::Uninstall);
    EXPECT_TRUE(ParseCommandLine(u"uninstall.exe /S", true).silent);
    EXPECT_EQ(ParseCommandLine(u"uninstall.exe /S /D=C:\\Korvel", true).mode, RunMode::Invalid);
    EXPECT_EQ(ParseCommandLine(u"uninstall.exe /ELEVATED", true).mode, RunMode::Invalid);
    EXPECT_EQ(ParseCommandLine(u"uninstall.exe /usersetup", true).mode, RunMode::UserSetup);

    // The per-user step never shows a window; the relaunch keeps the folder and releases.
    const SetupCommand step = ParseCommandLine(u"\"C:\\Korvel\\Korvel-Tarnwick\\uninstall.exe\" /usersetup");
    EXPECT_EQ(step.mode, RunMode::UserSetup);
    EXPECT_TRUE(step.silent);
    const SetupCommand elevated =
        ParseCommandLine(u"SetUp.exe /ELEVATED /LOG=\"C:\\t\\a-elevated.log\" /RELEASES=2018 /D=C:\\My Folder");
    EXPECT_EQ(elevated.mode, RunMode::Install);
    EXPECT_TRUE(elevated.elevated && !elevated.silent);
    EXPECT_EQ(elevated.folder, u"C:\\My Folder");
    EXPECT_EQ(elevated.releases, (std::vector<int>{2018}));
    EXPECT_FALSE(elevated.hostRefused);
    EXPECT_TRUE(ParseCommandLine(u"SetUp.exe /ELEVATED /HOSTREFUSED /D=C:\\K").hostRefused);

    // Releases where present, beside the strict list or alone.
    const SetupCommand present = ParseCommandLine(u"SetUp.exe /S /releases-if-present=2018,2024 -RELEASES=2010");
    EXPECT_EQ(present.releasesIfPresent, (std::vector<int>{2018, 2024}));
    EXPECT_EQ(present.releases, (std::vector<int>{2010}));
}

TEST(CommandLine, TakesTheFolderFromTheRestOfTheLineAsTyped) {
    struct Case {
        std::u16string line;
        std::u16string folder;
    };
    const Case cases[] = {
        // Spaces, Chinese and characters beyond code page 936 reach the edge unchanged.
        {u"SetUp.exe /S /D=C:\\Program Files\\软件 安装", u"C:\\Program Files\\软件 安装"},
        {u"SetUp.exe /S /D=C:\\Jörg 한글\t  ", u"C:\\Jörg 한글"},
        {u"SetUp.exe /D=C:\\a  /S", u"C:\\a  /S"},  // nothing after /D= is an option
        {u"SetUp.exe /S /D=\"C:\\quoted dir\"", u"C:\\quoted dir"},
        {u"SetUp.exe /S \"/D=C:\\quoted whole\"", u"C:\\quoted whole"},
        {u"SetUp.exe /S /D=C:\\a\\\"b", u"C:\\a\\\"b"},  // as typed: a quote that no folder holds
    };
    for (const Case& c : cases) {
        const SetupCommand command = ParseCommandLine(c.line);
        EXPECT_EQ(command.mode, RunMode::Install) << Ascii(c.line);
        EXPECT_EQ(command.folder, c.folder) << Ascii(c.line);
        // Quiet only where /S comes before /D=: the dialog opens with "C:\a  /S".
        EXPECT_EQ(command.silent, c.line.find(u"/S") < c.line.find(u"/D=")) << Ascii(c.line);
    }
}

TEST(CommandLine, RefusesWhatItDoesNotUnderstandAndNamesIt) {
    struct Case {
        std::u16string line;
        std::u16string offending;
    };
    const Case cases[] = {
        {u"SetUp.exe /X", u"/X"},
        {u"SetUp.exe /S /Silent", u"/Silent"},
        {u"SetUp.exe /S=1", u"/S=1"},
        {u"SetUp.exe S", u"S"},
        {u"SetUp.exe \"\"", u""},
        {u"SetUp.exe /", u"/"},
        {u"SetUp.exe /D=", u"/D="},
        {u"SetUp.exe /D=   ", u"/D="},
        {u"SetUp.exe \"/D=C:\\a\" /S", u"/D=C:\\a"},
        {u"SetUp.exe /LOG=", u"/LOG="},
        {u"SetUp.exe /LOG=a /LOG=b", u"/LOG=b"},
        // A quote would split the line a relaunch with administrator rights is given.
        {u"SetUp.exe \"/LOG=x\\\" /D=C:\\Evil\"", u"/LOG=x\" /D=C:\\Evil"},
        {u"SetUp.exe /LOG=a|b", u"/LOG=a|b"},
        {u"SetUp.exe /RELEASES=2018 /RELEASES=2022", u"/RELEASES=2022"},
        {u"SetUp.exe /UNINSTALL /UNINSTALL", u"/UNINSTALL"},
        {u"SetUp.exe /UNINSTALL /D=C:\\x", u"/UNINSTALL"},
        {u"SetUp.exe /UNINSTALL /RELEASES=2018", u"/UNINSTALL"},
        {u"SetUp.exe /UNINSTALL /RELEASES-IF-PRESENT=2018", u"/UNINSTALL"},
        {u"SetUp.exe /RELEASES-IF-PRESENT=2018 /RELEASES-IF-PRESENT=2022", u"/RELEASES-IF-PRESENT=2022"},
        {u"SetUp.exe /RELEASES-IF-PRESENT=2026", u"/RELEASES-IF-PRESENT=2026"},
        {u"SetUp.exe /RELEASES-IF-PRESENT", u"/RELEASES-IF-PRESENT"},
        {u"SetUp.exe /USERSETUP /RELEASES-IF-PRESENT=2018", u"/USERSETUP"},
        {u"SetUp.exe /USERSETUP /D=C:\\x", u"/USERSETUP"},
        {u"SetUp.exe /USERSETUP /UNINSTALL", u"/USERSETUP"},
        {u"SetUp.exe /ELEVATED /UNINSTALL", u"/ELEVATED"},
        {u"SetUp.exe /ELEVATED /USERSETUP", u"/ELEVATED"},
        {u"SetUp.exe /HOSTREFUSED /S", u"/HOSTREFUSED"},
    };
    for (const Case& c : cases) {
        const SetupCommand command = ParseCommandLine(c.line);
        EXPECT_EQ(command.mode, RunMode::Invalid) << Ascii(c.line);
        EXPECT_EQ(command.offending, c.offending) << Ascii(c.line);
        EXPECT_FALSE(command.error.empty()) << Ascii(c.line);
    }
    // A bad line with /S on it still shows no box.
    EXPECT_TRUE(ParseCommandLine(u"SetUp.exe /Q /S").silent);
    EXPECT_FALSE(ParseCommandLine(u"SetUp.exe /Q").silent);

    for (const char16_t* releases : {u"", u"2006", u"2026", u"18", u"20180", u"2018,", u",2018", u"2018,,2022",
                                     u"2018;2022", u"2018 ", u"abcd", u"２０１８", u"-2018", u"99999999999"}) {
        const SetupCommand command = ParseCommandLine(u"SetUp.exe /S \"/RELEASES=" + std::u16string(releases) + u"\"");
        EXPECT_EQ(command.mode, RunMode::Invalid) << Ascii(releases);
    }
}

namespace {
// The first cells of the README's table whose header row starts with "| header |": the option
// without its value ("/D=<folder>" gives "/D="), or the exit code.
std::set<std::string> ReadmeColumn(const std::string& header) {
    std::ifstream readme(std::string(KORVEL_FIXTURES) + "/../../README.md");
    std::set<std::string> cells;
    bool inTable = false;
    for (std::string line; std::getline(readme, line);) {
        if (line.rfind("| " + header + " |", 0) == 0) {
            inTable = true;
            continue;
        }
        if (!inTable) continue;
        if (line.empty() || line[0] != '|') break;
        std::string cell = line.substr(1, line.find('|', 1) - 1);
        cell.erase(0, cell.find_first_not_of(" `"));
        cell.erase(cell.find_last_not_of(" `") + 1);
        const std::size_t value = cell.find('=');
        if (value != std::string::npos) cell.resize(value + 1);
        if (!cell.empty() && cell.find_first_not_of("-") != std::string::npos) cells.insert(cell);
    }
    return cells;
}
}  // namespace

// /? and the README's tables come from one table: every option and exit code the README lists is
// in the usage, and the usage lists nothing else.
TEST(Usage, ListsEveryOptionAndExitCodeTheReadmeLists) {
    std::set<std::string> switches, codes;
    const std::string usage = UsageText();
    for (std::size_t i = 0; i < kSwitchUsageCount; ++i) {
        switches.insert(kSwitchUsage[i].name);
        EXPECT_NE(usage.find(std::string("\n") + kSwitchUsage[i].name + "\t"), std::string::npos) << kSwitchUsage[i].name;
    }
    for (std::size_t i = 0; i < kExitCodeUsageCount; ++i) {
        codes.insert(std::to_string(kExitCodeUsage[i].code));
        EXPECT_NE(usage.find("\n" + std::to_string(kExitCodeUsage[i].code) + "\t"), std::string::npos);
        EXPECT_EQ(kExitCodeUsage[i].code, static_cast<int>(i));  // every code, none left out
    }
    EXPECT_EQ(ReadmeColumn("option"), switches);
    EXPECT_EQ(ReadmeColumn("code"), codes);
}

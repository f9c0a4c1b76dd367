#include "setup/CommandLine.h"

#include "catalogue/ReleaseTable.h"

namespace {

bool IsBlank(char16_t ch) { return ch == u' ' || ch == u'\t'; }

char16_t UpperAscii(char16_t ch) { return ch >= u'a' && ch <= u'z' ? ch - u'a' + u'A' : ch; }

// Whether text, after its '/' or '-', starts with name (ASCII upper case) regardless of case.
bool HasSwitch(const std::u16string& text, const char* name) {
    if (text.empty() || (text[0] != u'/' && text[0] != u'-')) return false;
    std::size_t i = 1;
    for (; *name != '\0'; ++name, ++i) {
        if (i >= text.size() || UpperAscii(text[i]) != static_cast<char16_t>(*name)) return false;
    }
    return true;
}

// The program's name ends at its closing quote (what follows it at once starts the next
// argument), or at the first blank when it is not quoted.
std::size_t SkipProgramName(const std::u16string& line) {
    if (!line.empty() && line[0] == u'"') {
        const std::size_t close = line.find(u'"', 1);
        return close == std::u16string::npos ? line.size() : close + 1;
    }
    std::size_t i = 0;
    while (i < line.size() && !IsBlank(line[i])) ++i;
    return i;
}

// "2018,2022": years of the release table, comma-separated, none empty.
bool ParseReleases(const std::u16string& value, std::vector<int>& years) {
    std::size_t i = 0;
    for (;;) {
        int year = 0, digits = 0;
        for (; i < value.size() && value[i] >= u'0' && value[i] <= u'9' && digits < 5; ++i, ++digits)
            year = year * 10 + (value[i] - u'0');
        if (digits != 4 || FindRelease(year) == nullptr) return false;
        years.push_back(year);
        if (i == value.size()) return true;
        if (value[i] != u',') return false;
        ++i;
    }
}

// An option with no value must be exactly its name.
bool IsExactly(const std::u16string& text, const char* name) {
    return HasSwitch(text, name) && text.size() == 1 + std::char_traits<char>::length(name);
}

}  // namespace

std::vector<CommandArgument> SplitArguments(const std::u16string& line) {
    std::vector<CommandArgument> arguments;
    std::size_t i = SkipProgramName(line);
    for (;;) {
        while (i < line.size() && IsBlank(line[i])) ++i;
        if (i >= line.size()) break;
        CommandArgument argument;
        argument.start = i;
        bool quoted = false;
        while (i < line.size() && (quoted || !IsBlank(line[i]))) {
            if (line[i] == u'\\') {
                std::size_t slashes = 0;
                while (i < line.size() && line[i] == u'\\') ++slashes, ++i;
                if (i < line.size() && line[i] == u'"') {
                    // 2n backslashes and a quote: n backslashes, and the quote toggles quoting;
                    // 2n + 1: n backslashes and a literal quote.
                    argument.text.append(slashes / 2, u'\\');
                    if (slashes % 2 == 1) {
                        argument.text += u'"';
                        ++i;
                    }
                } else {
                    argument.text.append(slashes, u'\\');
                }
                continue;
            }
            if (line[i] == u'"') {
                // Inside quotes, a doubled quote is a literal one, and quoting ends there (the
                // shell's rule; newer C runtimes keep quoting on).
                if (quoted && i + 1 < line.size() && line[i + 1] == u'"') {
                    argument.text += u'"';
                    quoted = false;
                    i += 2;
                    continue;
                }
                quoted = !quoted;
                ++i;
                continue;
            }
            argument.text += line[i++];
        }
        arguments.push_back(std::move(argument));
    }
    return arguments;
}

SetupCommand ParseCommandLine(const std::u16string& line, bool uninstaller) {
    SetupCommand command;
    const std::vector<CommandArgument> arguments = SplitArguments(line);
    bool folderGiven = false, releasesGiven = false, presentGiven = false, logGiven = false, usage = false,
         uninstall = false;
    const auto invalid = [&command](const char* error, const std::u16string& argument) {
        command.mode = RunMode::Invalid;
        command.error = error;
        command.offending = argument;
        return command;
    };

    // /S is looked for first, so that a line that is wrong elsewhere still shows no box; only
    // before /D=, which takes the rest of the line ("/D=C:\X /S" is the folder "C:\X /S").
    for (const CommandArgument& argument : arguments) {
        if (HasSwitch(argument.text, "D=")) break;
        if (IsExactly(argument.text, "S") || IsExactly(argument.text, "USERSETUP")) command.silent = true;
    }
    bool userSetup = false;

    for (std::size_t n = 0; n < arguments.size(); ++n) {
        const std::u16string& text = arguments[n].text;
        if (IsExactly(text, "S")) continue;
        if (IsExactly(text, "?")) {
            usage = true;
        } else if (IsExactly(text, "UNINSTALL")) {
            if (uninstall) return invalid("option given twice", text);
            uninstall = true;
        } else if (IsExactly(text, "USERSETUP")) {
            if (userSetup) return invalid("option given twice", text);
            userSetup = true;
        } else if (IsExactly(text, "ELEVATED")) {
            if (command.elevated) return invalid("option given twice", text);
            command.elevated = true;
        } else if (IsExactly(text, "HOSTREFUSED")) {
            if (command.hostRefused) return invalid("option given twice", text);
            command.hostRefused = true;
        } else if (HasSwitch(text, "D=")) {
            // As NSIS has it: the rest of the line, spaces included. Written unquoted it is taken
            // from the line as typed; a quoted "/D=..." must be the last argument.
            const std::size_t start = arguments[n].start;
            if (line[start] == u'/' || line[start] == u'-') {
                std::u16string value = line.substr(start + 3);
                while (!value.empty() && IsBlank(value.back())) value.pop_back();
                if (value.size() >= 2 && value.front() == u'"' && value.back() == u'"')
                    value = value.substr(1, value.size() - 2);
                command.folder = value;
                n = arguments.size();  // nothing follows
            } else {
                if (n + 1 != arguments.size()) return invalid("/D= must come last", text);
                command.folder = text.substr(3);
            }
            if (command.folder.empty()) return invalid("/D= needs a folder", text);
            folderGiven = true;
        } else if (HasSwitch(text, "RELEASES=") || HasSwitch(text, "RELEASES-IF-PRESENT=")) {
            const bool present = text[9] == u'-';
            bool& given = present ? presentGiven : releasesGiven;
            if (given) return invalid("option given twice", text);
            if (!ParseReleases(text.substr(present ? 21 : 10), present ? command.releasesIfPresent : command.releases))
                return invalid("the releases are years 2007 to 2025, separated by commas",
                               text);
            given = true;
        } else if (HasSwitch(text, "LOG=")) {
            if (logGiven) return invalid("option given twice", text);
            command.logPath = text.substr(5);
            if (command.logPath.empty()) return invalid("/LOG= needs a file", text);
            // No Windows file is named so; a quote would also split the line the run is started
            // again with administrator rights.
            if (command.logPath.find_first_of(u"\"<>|*?") != std::u16string::npos)
                return invalid("/LOG= names no file Windows can make", text);
            logGiven = true;
        } else {
            return invalid("unknown option", text);
        }
    }

    if (command.elevated && (usage || uninstall || uninstaller || userSetup))
        return invalid("/ELEVATED is for an install only", std::u16string(u"/ELEVATED"));
    if (command.hostRefused && !command.elevated)
        return invalid("/HOSTREFUSED goes with /ELEVATED only", std::u16string(u"/HOSTREFUSED"));
    releasesGiven = releasesGiven || presentGiven;
    if (userSetup && (uninstall || folderGiven || releasesGiven))
        return invalid("/USERSETUP takes only /LOG=", std::u16string(u"/USERSETUP"));
    if (usage) {
        command.mode = RunMode::Usage;
    } else if (userSetup) {
        command.mode = RunMode::UserSetup;
    } else if (uninstall || uninstaller) {
        if (folderGiven || releasesGiven)
            return invalid("/UNINSTALL takes only /S and /LOG=", std::u16string(u"/UNINSTALL"));
        command.mode = RunMode::Uninstall;
    }
    return command;
}

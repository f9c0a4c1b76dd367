#include "setuplog/RunFacts.h"

#include <cstdlib>

#include "text/Text.h"

namespace {
const char* ProblemWord(ProfileProblem problem) {
    switch (problem) {
        case ProfileProblem::TooLong: return "the value would be too long";
        case ProfileProblem::Unreadable: return "the value could not be read";
        case ProfileProblem::NotPlainText: return "the value is not plain text";
        case ProfileProblem::Unrepresentable: return "a character this code page cannot hold";
        case ProfileProblem::NotWritten: return "the new value was refused";
    }
    return "the value could not be read";
}

// A product's key below "Autodesk": the same under SOFTWARE and SOFTWARE\Wow6432Node.
std::string Tail(const std::string& key) {
    const std::size_t at = key.find("\\Autodesk\\");
    return at == std::string::npos ? key : key.substr(at);
}
}  // namespace

std::string ReleaseNames(const ReleaseFlags& flags) {
    const std::string names = ReleaseList(flags, ", ", "AutoCAD");
    return names.empty() ? "none" : names;
}

void LogHostsFound(SetupLog& log, const HostCatalogue& catalogue) {
    int found = 0;
    for (const ReleaseRow& row : ReleaseTable) {
        const StringList& keys = catalogue.hostKeys[row.index];
        const StringList& folders = catalogue.hostFolders[row.index];
        for (std::size_t i = 0; i < keys.size() || i < folders.size(); ++i) {
            // One product in one folder, met under both names of its key (a 32-bit program reads
            // "SOFTWARE\Wow6432Node" and "SOFTWARE" as one), is one host.
            bool seen = false;
            for (std::size_t j = 0; j < i && i < keys.size() && i < folders.size(); ++j)
                seen = seen || (EqualsNoCase(folders[j], folders[i]) && EqualsNoCase(Tail(keys[j]), Tail(keys[i])));
            if (seen) continue;
            std::string key = i < keys.size() ? "HKLM\\" + keys[i] : "(no key)";
            if (key.size() > 1 && key.back() == '\\') key.pop_back();
            log.Line(Format("host found: AutoCAD%d key %s folder %s", row.year, key.c_str(),
                            i < folders.size() ? folders[i].c_str() : "(none)"));
            ++found;
        }
    }
    if (found == 0) log.Line("host found: none");
}

void LogSupportFilesAbsent(SetupLog& log, const HostCatalogue& catalogue) {
    const StringList& absent = catalogue.supportFilesAbsent;
    if (absent.empty()) return;
    // Library years in runs: "ACAD2008.dll to ACAD2012.dll".
    std::string text;
    for (std::size_t i = 0, last; i < absent.size(); i = last + 1) {
        const int year = absent[i].compare(0, 4, "ACAD") == 0 ? std::atoi(absent[i].c_str() + 4) : 0;
        for (last = i; year != 0 && last + 1 < absent.size() && absent[last + 1].size() > 4 &&
                       std::atoi(absent[last + 1].c_str() + 4) == year + static_cast<int>(last + 1 - i);)
            ++last;
        text += (text.empty() ? "" : ", ") + absent[i] + (last > i ? " to " + absent[last] : "");
    }
    log.Line(Format("not in the package, not placed in the hosts (%d files): %s", static_cast<int>(absent.size()),
                    text.c_str()));
}

void LogChoice(SetupLog& log, const ReleaseFlags& flags, const std::string& folder) {
    log.Line("releases chosen: " + ReleaseNames(flags));
    log.Line("install folder: " + folder);
}

void LogRegistrationOutcome(SetupLog& log, const HostCatalogue& catalogue, const ReleaseFlags& flags) {
    for (const ReleaseRow& row : ReleaseTable) {
        if (flags[row.index] == 0) continue;
        if (catalogue.registrationFailed[row.index])
            log.Line(Format("not registered: AutoCAD%d (a loader key could not be written)", row.year));
        if (catalogue.loaderTooLong[row.index])
            log.Line(Format("not registered: AutoCAD%d (a loader path would be too long)", row.year));
    }
    for (const UntouchedProfile& profile : catalogue.untouchedProfiles)
        log.Line("trusted paths left alone: " + profile.profile + " (" + ProblemWord(profile.problem) + ")");
}

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
}  // namespace

std::string ReleaseNames(const ReleaseFlags& flags) {
    std::string names;
    for (const ReleaseRow& row : ReleaseTable) {
        if (flags[row.index] == 0) continue;
        if (!names.empty()) names += ", ";
        names += Format("AutoCAD%d", row.year);
    }
    return names.empty() ? "none" : names;
}

namespace {
// A key's path without "Wow6432Node\": where a 32-bit program reads the 32-bit view, both paths
// name one key.
std::string WithoutWow(const std::string& key) {
    const std::string wow = "WOW6432NODE\\";
    const std::size_t at = UpperCp936(key).find(wow);
    return at == std::string::npos ? key : key.substr(0, at) + key.substr(at + wow.size());
}
}  // namespace

void LogHostsFound(SetupLog& log, const HostCatalogue& catalogue) {
    int found = 0;
    for (const ReleaseRow& row : ReleaseTable) {
        const StringList& keys = catalogue.hostKeys[row.index];
        const StringList& folders = catalogue.hostFolders[row.index];
        for (std::size_t i = 0; i < keys.size() || i < folders.size(); ++i) {
            // One product met under both names of its key (the 32-bit view) is one host.
            bool seen = false;
            for (std::size_t j = 0; j < i && i < keys.size() && i < folders.size(); ++j)
                seen = seen || (EqualsNoCase(WithoutWow(keys[j]), WithoutWow(keys[i])) && EqualsNoCase(folders[j], folders[i]));
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
    // The year of "ACAD<year>.dll", or 0.
    const auto year = [](const std::string& name) {
        return name.size() == 12 && EqualsNoCase(name.substr(0, 4), "ACAD") && EqualsNoCase(name.substr(8), ".dll")
                   ? std::atoi(name.substr(4, 4).c_str())
                   : 0;
    };
    std::string text;
    for (std::size_t i = 0; i < absent.size(); ++i) {
        std::size_t last = i;
        while (year(absent[i]) != 0 && last + 1 < absent.size() && year(absent[last + 1]) == year(absent[last]) + 1) ++last;
        text += (text.empty() ? "" : ", ") + absent[i] + (last > i ? " to " + absent[last] : "");
        i = last;
    }
    log.Line(Format("not in the package, so not placed in the hosts (%d files): ", static_cast<int>(absent.size())) + text);
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

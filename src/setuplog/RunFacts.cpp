#include "setuplog/RunFacts.h"

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
    const std::string names = ReleaseList(flags, ", ", "AutoCAD");
    return names.empty() ? "none" : names;
}

void LogHostsFound(SetupLog& log, const HostCatalogue& catalogue) {
    int found = 0;
    for (const ReleaseRow& row : ReleaseTable) {
        const StringList& keys = catalogue.hostKeys[row.index];
        const StringList& folders = catalogue.hostFolders[row.index];
        for (std::size_t i = 0; i < keys.size() || i < folders.size(); ++i) {
            std::string key = i < keys.size() ? "HKLM\\" + keys[i] : "(no key)";
            if (key.size() > 1 && key.back() == '\\') key.pop_back();
            log.Line(Format("host found: AutoCAD%d key %s folder %s", row.year, key.c_str(),
                            i < folders.size() ? folders[i].c_str() : "(none)"));
            ++found;
        }
    }
    if (found == 0) log.Line("host found: none");
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

#include "setup/UninstallCommand.h"

#include "catalogue/HostCatalogue.h"
#include "journal/Journal.h"
#include "journal/RecordPlace.h"
#include "journal/Scope.h"
#include "journal/UninstallEntry.h"
#include "setup/ExitCodes.h"
#include "setup/UninstallRun.h"
#include "setuplog/LoggedPrompt.h"
#include "text/PathText.h"
#include "text/Text.h"

namespace {
const char kNotInstalled[] = "未找到已安装的 Korvel-Tarnwick 插件，没有做任何更改。";

bool Holds(const std::vector<std::string>& folders, const std::string& folder) {
    for (const std::string& f : folders)
        if (EqualsNoCase(f, folder)) return true;
    return false;
}
}  // namespace

std::vector<std::string> UninstallCommand::Targets(const std::string& self, bool elevated) {
    std::string folder;
    const std::size_t cut = LastSeparator(self);
    if (cut != std::string::npos && IsUninstallerName(self.substr(cut + 1)))
        return {self.substr(0, cut)};
    if (!FindInstalledFolder(registry_, folder, elevated)) return {};
    // Each record names the install whose entry it replaced (the entry's InstallLocation before
    // it); one whose record is gone was uninstalled already.
    std::vector<std::string> chain{folder}, present{folder};
    for (std::size_t i = 0; i < chain.size(); ++i) {
        std::string recordFolder;
        TrustFault fault;
        std::vector<JournalEntry> entries;
        if (Journal::LoadFor(files_, codec_, chain[i], elevated, recordFolder, entries, fault) != RecordState::Loaded)
            continue;
        if (i > 0) present.push_back(chain[i]);
        for (const JournalEntry& e : entries) {
            if (e.kind != EntryKind::Value || !e.hadOld || !EqualsNoCase(e.path, kUninstallKey) ||
                !EqualsNoCase(e.value.name, "InstallLocation"))
                continue;
            const std::string earlier = e.old.bytes.substr(0, e.old.bytes.find('\0'));
            if (!Holds(chain, earlier) && IsCanonicalPath(earlier)) chain.push_back(earlier);
        }
    }
    return present;
}

int UninstallCommand::Run(const std::string& self, bool quiet) {
    deferred.clear();
    const bool elevated = processes_.RunsElevated();
    const std::vector<std::string> targets = Targets(self, elevated);
    const int count = static_cast<int>(targets.size());
    if (count == 0) {
        log_.Line("not installed: no install of the plug-in is listed on this PC");
        quiet ? LogUnattendedMessage(log_, kNotInstalled) : LogMessageShown(log_, kNotInstalled);
        if (!quiet) prompt_.Show(kNotInstalled, kSetupCaption, kMbOk | kMbIconExclamation);
        return kExitNotInstalled;
    }
    UninstallRun run(registry_, files_, codec_, processes_, prompt_, progress_);
    run.stepAside = stepAside;
    int removed = 0, stopped = kExitNoRecord;
    std::vector<std::string> remaining;
    for (int i = 0; i < count; ++i) {
        log_.Line(Format("uninstall of %s%s (%d of %d, newest first)", targets[i].c_str(), quiet ? ", quiet" : "", i + 1,
                         count));
        const int code = run.Run(targets[i], self, quiet);
        // What it said was shown (or, quiet, seen by nobody); what it did is in the lines before.
        for (const std::string& message : run.messages)
            quiet ? LogUnattendedMessage(log_, message) : LogMessageShown(log_, message);
        run.messages.clear();
        log_.Line(Format("undone: %d", run.result.undone));
        for (const LeftBehind& left : run.result.left)
            log_.Line(Format("left: %s (%s)", left.what.c_str(), left.why.c_str()));
        for (const auto& handed : run.result.handed)
            log_.Line(IsFileEntry(handed.second.kind)
                          ? Format("left to the install in %s, whose record undoes it: %s", handed.first.c_str(),
                                   handed.second.path.c_str())
                          : Format("left to the install in %s, whose record removes it: %s\\%s", handed.first.c_str(),
                                   handed.second.root == kHkeyLocalMachine ? "HKLM" : "HKCU",
                                   handed.second.path.c_str()));
        for (const std::string& user : run.reachedUsers)
            log_.Line("not logged on, profiles put back through their loaded registry: " + user);
        for (const std::string& user : run.unreachedUsers)
            log_.Line("not logged on, registry not reached (their trusted paths may keep the folder): " + user);
        for (const std::string& path : run.result.deferred) {
            log_.Line("removed once the uninstaller has ended: " + path);
            deferred.push_back(path);
        }
        // Declined, or stopped before its first change (AutoCAD running): the rest stays too.
        if (code != kExitFinished && code != kExitUninstallIncomplete && code != kExitNoRecord) {
            stopped = code;
            for (int j = i; j < count; ++j) remaining.push_back(targets[j]);
            break;
        }
        removed += code != kExitNoRecord;
        if (code != kExitFinished) remaining.push_back(targets[i]);
        run.confirmed = true;  // asked once, for all of them
    }
    // Nothing removed: nothing changed, and the code says why.
    if (removed == 0) return stopped;
    // The entry may name another install still (uninstall.exe removes only its own): only one of
    // ours listed still remains.
    // Each install's own report (and line above) names what it left.
    std::string listed;
    if (FindInstalledFolder(registry_, listed, elevated) && Holds(targets, listed) && !Holds(remaining, listed))
        remaining.push_back(listed);
    for (const std::string& folder : remaining) log_.Line("remains: " + folder);
    return remaining.empty() ? kExitFinished : kExitUninstallIncomplete;
}

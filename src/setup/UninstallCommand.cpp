#include "setup/UninstallCommand.h"

#include <algorithm>

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
const char kRemains[] = "以下安装未能完全卸载：";

std::string KeyName(const JournalEntry& e) {
    return std::string(e.root == kHkeyLocalMachine ? "HKLM\\" : e.root == kHkeyUsers ? "HKU\\" : "HKCU\\") + e.path;
}
}  // namespace

std::vector<std::string> UninstallCommand::Targets(const std::string& self, bool elevated) {
    std::string folder;
    const std::size_t cut = LastSeparator(self);
    if (cut != std::string::npos && EqualsNoCase(self.substr(cut + 1), kUninstallProgram))
        return {self.substr(0, cut)};
    if (!FindInstalledFolder(registry_, folder, elevated)) return {};
    // Each record names the install whose entry it replaced (the entry's InstallLocation before
    // it); one whose record is gone was uninstalled already.
    std::vector<std::string> chain{folder};
    std::string programData;
    if (elevated && !ProgramDataFolder(files_, programData)) return chain;
    std::vector<std::string> present{folder};
    for (std::size_t i = 0; i < chain.size(); ++i) {
        const std::string recordFolder = elevated ? ProtectedRecordFolder(programData, chain[i]) : chain[i];
        TrustFault fault;
        if (elevated && !ProtectedPath(files_, programData, JoinPath(recordFolder, Journal::kRecordName), fault)) continue;
        std::vector<JournalEntry> entries;
        if (Journal::Load(files_, codec_, recordFolder, entries) != RecordState::Loaded) continue;
        if (i > 0) present.push_back(chain[i]);
        for (const JournalEntry& e : entries) {
            if (e.kind != EntryKind::Value || !e.hadOld || !EqualsNoCase(e.path, kUninstallKey) ||
                !EqualsNoCase(e.value.name, "InstallLocation"))
                continue;
            const std::string earlier = e.old.bytes.substr(0, e.old.bytes.find('\0'));
            const bool known = std::any_of(chain.begin(), chain.end(),
                                           [&](const std::string& c) { return EqualsNoCase(c, earlier); });
            if (!known && IsCanonicalPath(earlier)) chain.push_back(earlier);
        }
    }
    return present;
}

int UninstallCommand::Run(const std::string& self, bool quiet) {
    deferred.clear();
    const bool elevated = processes_.RunsElevated();
    const std::vector<std::string> targets = Targets(self, elevated);
    if (targets.empty()) {
        log_.Line("not installed: no install of the plug-in is listed on this PC");
        if (quiet) {
            LogUnattendedMessage(log_, kNotInstalled);
        } else {
            LogMessageShown(log_, kNotInstalled);
            prompt_.Show(kNotInstalled, kSetupCaption, kMbOk | kMbIconExclamation);
        }
        return kExitNotInstalled;
    }
    if (targets.size() > 1) {
        std::string names;
        for (const std::string& folder : targets) names += (names.empty() ? "" : "; ") + folder;
        log_.Line(Format("installs listed on this PC: %d, removed newest first, from the one the entry names: ",
                         static_cast<int>(targets.size())) + names);
    }
    UninstallRun run(registry_, files_, codec_, processes_, prompt_, progress_);
    int removed = 0, noRecord = 0;
    bool incomplete = false;
    std::vector<std::string> remaining;
    for (std::size_t i = 0; i < targets.size(); ++i) {
        const std::string& folder = targets[i];
        log_.Line("uninstall of " + folder + (quiet ? ", quiet" : "") +
                  (targets.size() > 1 ? Format(" (%d of %d)", static_cast<int>(i + 1), static_cast<int>(targets.size()))
                                      : std::string()));
        const int code = run.Run(folder, self, quiet);
        for (const std::string& message : run.messages)
            quiet ? LogUnattendedMessage(log_, message) : LogMessageShown(log_, message);
        run.messages.clear();
        log_.Line(Format("undone: %d", run.result.undone));
        for (const LeftBehind& left : run.result.left) log_.Line("left: " + left.what + " (" + left.why + ")");
        for (const auto& handed : run.result.handed)
            log_.Line("left to the install in " + handed.first + ", whose record removes it: " + KeyName(handed.second));
        for (const std::string& user : run.unreachedUsers)
            log_.Line("not reached, not logged on (their trusted paths keep the folder): " + user);
        for (const std::string& path : run.result.deferred) log_.Line("removed once the uninstaller has ended: " + path);
        deferred.insert(deferred.end(), run.result.deferred.begin(), run.result.deferred.end());
        if (code == kExitFinished || code == kExitUninstallIncomplete) {
            ++removed;
            if (code != kExitFinished) remaining.push_back(folder);
            incomplete = incomplete || code != kExitFinished;
        } else if (code == kExitNoRecord) {
            ++noRecord;
            remaining.push_back(folder);
        } else {
            // Declined, or stopped before its first change (AutoCAD running): the rest stays too.
            if (removed == 0 && noRecord == 0) return code;
            for (std::size_t j = i; j < targets.size(); ++j) remaining.push_back(targets[j]);
            incomplete = true;
            break;
        }
        run.confirmed = true;  // asked once, for all of them
    }
    if (removed == 0 && noRecord > 0 && !incomplete) return kExitNoRecord;
    // The entry may name another install still (uninstall.exe removes only its own): only one of
    // ours listed still remains.
    std::string listed;
    const auto ours = [&targets](const std::string& folder) {
        return std::any_of(targets.begin(), targets.end(), [&](const std::string& t) { return EqualsNoCase(t, folder); });
    };
    if (FindInstalledFolder(registry_, listed, elevated) && ours(listed)) {
        log_.Line("still listed: " + listed);
        if (std::none_of(remaining.begin(), remaining.end(), [&](const std::string& r) { return EqualsNoCase(r, listed); }))
            remaining.push_back(listed);
    }
    if (remaining.empty()) return kExitFinished;
    std::string names, lines;
    for (const std::string& folder : remaining) {
        names += (names.empty() ? "" : "; ") + folder;
        lines += "\n" + folder;
    }
    log_.Line("not every install was removed whole (what each left is named above): " + names);
    // One install's own report names what it left; several need the list of them as well.
    if (targets.size() > 1) {
        if (quiet)
            LogUnattendedMessage(log_, kRemains + lines);
        else
            LogMessageShown(log_, kRemains + lines), prompt_.Show(kRemains + lines, kSetupCaption, kMbOk | kMbIconExclamation);
    }
    return kExitUninstallIncomplete;
}

#include "journal/UndoRecorder.h"

#include <cstdlib>
#include <map>

#include "text/PathText.h"
#include "text/Text.h"
#include "catalogue/ReleaseTable.h"
#include "register/UserHives.h"

namespace {
const char kUninstallerNotMade[] =
    "无法在安装文件夹中放置卸载程序：\n\n%s\n\n没有它，安装将无法卸载。安装已停止，没有做任何更改。";
const char kEntryRefused[] =
    "无法在“程序和功能”中登记卸载程序：\n\n%s\n\n%s。安装已停止，没有做任何更改。";
const char kNotOwnBytes[] = "该文件的内容不是本安装程序自身的内容";
}  // namespace

std::string UndoRecorder::PlaceUninstaller(const std::string& program) {
    const std::string& folder = journal_.folder();
    uninstaller_ = JoinPath(folder, kUninstallProgram);
    madeUninstaller_ = files_.ReadAttributes(uninstaller_) == kInvalidAttributes;
    if (image_.sha256.empty()) return files_.CopyOver(program, uninstaller_, false) ? std::string() : "copy";
    // Staged beside the record (with administrator rights a folder no user may open at all, so
    // none can hold the staged copy either) and proven to be the running program's bytes there:
    // the uninstaller an earlier install placed, which its entry and component name, is written
    // over only by the proven copy.
    Files& raw = files_.Unrecorded();
    const std::string staged = JoinPath(journal_.recordFolder(), Journal::kStagedUninstaller);
    raw.RemoveFile(staged);  // a name left there (a link, say) is never written through
    CopyReport report;
    report.hash = true;
    if (!raw.CopyOver(program, staged, true, report)) return "copy";
    const bool own = report.size == image_.size && report.sha256 == image_.sha256;
    if (!own) {
        raw.RemoveFile(staged);
        return kNotOwnBytes;
    }
    // The first of the uninstaller's names that can take the copy: an earlier install's
    // uninstaller that cannot be written over (a user holds it open or maps it, or runs it) stays
    // as it is; a file no record accounts for (an earlier version's, or a user's from when the
    // folder let users add to it, held by a handle that outlived the relock) is never written over,
    // and is kept and named as any such file in the folder is. The entry and the component name
    // the copy. Anyone may hold a file they can read, but only one that is there, and no one but
    // administrators adds one to this folder: each run adds at most one name. A copy that fails
    // under a name that was free stops the install.
    bool placed = false;
    std::uint32_t error = 0;
    std::string passed;  // why the first name was passed over
    for (int n = 1; n <= kUninstallerNames && !placed; ++n) {
        const std::string target = JoinPath(folder, UninstallerName(n));
        const bool there = raw.ReadAttributes(target) != kInvalidAttributes;
        const bool earlier = journal_.LastFileEntry(target) != nullptr;
        if (there && !earlier) {
            if (n == 1) passed = "not placed by an install of the plug-in";
            continue;
        }
        // Written as every copy is, as a new file that then takes the name: one that fails
        // leaves the earlier uninstaller there as it was.
        placed = files_.CopyOver(staged, target, false);
        if (!placed) error = files_.LastError();
        if (placed) {
            if (n > 1) Log(Format("uninstaller %s kept (%s): placed as %s instead", uninstaller_.c_str(), passed.c_str(),
                                  target.c_str()));
            uninstaller_ = target;
            madeUninstaller_ = !there;
        } else if (!there) {
            break;
        } else if (n == 1) {
            passed = Format("in use, error %u", static_cast<unsigned>(error));
        }
    }
    raw.RemoveFile(staged);
    return placed ? std::string() : "copy";
}

UndoRecorder::UndoRecorder(Journal& journal, CodeGuard& registry, RecordingFiles& files, UninstallEntryText text)
    : journal_(journal), registry_(registry), files_(files), text_(std::move(text)) {}

std::string UndoRecorder::Prepare(bool elevated) {
    elevated_ = elevated;
    registry_.SetElevated(elevated);
    // What this install wrote is what the record holds: the last copy of each file, finished or
    // only begun; anything else in the plug-in's folder was put there by someone else. The
    // uninstaller is the running program's own bytes, whatever its copy was read from.
    registry_.SetKnown({[this](const std::string& path, CodeGuard::Written& written) {
                            const JournalEntry* last = journal_.LastFileEntry(path);
                            const std::size_t stamp = last ? last - journal_.entries().data() + 1 : 0;
                            if (!image_.sha256.empty() && EqualsNoCase(path, uninstaller_)) {
                                written = image_;
                                written.stamp = stamp;
                                return true;
                            }
                            if (last == nullptr) return false;
                            const bool done = last->kind == EntryKind::File || last->kind == EntryKind::Replaced;
                            written = {last->size, done ? last->hash : std::string(), stamp};
                            return true;
                        },
                        {journal_.folder()}});
    const std::string refused = journal_.Place(elevated);
    Log(Format(refused.empty() ? "undo record: %s\\%s (%s)" : "undo record refused: %s\\%s%.0s",
               journal_.recordFolder().c_str(), Journal::kRecordName,
               journal_.continued() ? "continued" : "new"));
    return refused;
}

std::string UndoRecorder::Start() {
    if (!journal_.armed() || !journal_.placed()) return std::string();
    if (!user_.empty()) {
        JournalEntry user;
        user.kind = EntryKind::User;
        user.path = user_;
        journal_.Add(user);
    }
    // The uninstaller is this very program, copied in first: the entry and the component name
    // it, and are written only once it is there. Started from the folder it is there already.
    const std::string& folder = journal_.folder();
    std::string program;
    uninstaller_ = JoinPath(folder, kUninstallProgram);
    const bool self = files_.ModulePath(program, 32768) == PathRead::Read;
    const std::size_t cut = LastSeparator(program);
    const bool inPlace = self && cut != std::string::npos && EqualsNoCase(program.substr(0, cut), folder) &&
                         IsUninstallerName(program.substr(cut + 1));
    if (inPlace) {
        uninstaller_ = program;
        madeUninstaller_ = false;
    }
    const std::string fault = !self ? std::string("copy") : inPlace ? std::string() : PlaceUninstaller(program);
    if (fault == kNotOwnBytes) {
        Log(Format("uninstaller refused: the copy of %s is not the running program's bytes; the install stops, "
                   "nothing changed",
                   program.c_str()));
        journal_.Withdraw();
        return Format(kEntryRefused, uninstaller_.c_str(), kNotOwnBytes);
    }
    if (!fault.empty()) {
        Log(Format("uninstaller not placed (error %u): %s; the install stops",
                   static_cast<unsigned>(files_.LastError()), uninstaller_.c_str()));
        journal_.Withdraw();
        return Format(kUninstallerNotMade, uninstaller_.c_str());
    }
    Log("uninstaller in place: " + uninstaller_);
    // Proven before the entry's first value is written: a refused uninstaller leaves no entry.
    if (!registry_.Admits(uninstaller_, std::string("HKLM\\") + kUninstallKey) || !WriteEntry("written")) {
        const CodeGuard::Refusal* refused = registry_.refusals().empty() ? nullptr : &registry_.refusals().back();
        std::string why = refused ? refused->file + "：" + refused->why : std::string("无法写入注册表");
        Log(Format("Programs and Features entry refused: %s; the install stops, nothing changed", why.c_str()));
        // Nothing of this run stays: the record it began goes with what it names. An uninstaller
        // an earlier install placed stays, for the entry that names it.
        if (madeUninstaller_) files_.RemoveFile(uninstaller_);
        journal_.Withdraw();
        return Format(kEntryRefused, uninstaller_.c_str(), why.c_str());
    }
    return std::string();
}

void UndoRecorder::SetReleases(const ReleaseFlags& registered) {
    // With those an earlier install into this folder registered (its record holds the value it
    // wrote): the plug-in stays registered with them.
    ReleaseFlags years = registered;
    const char* earlier = "";
    for (const JournalEntry& e : journal_.entries())
        if (e.kind == EntryKind::Value && EqualsNoCase(e.path, kUninstallKey) && EqualsNoCase(e.value.name, "Releases"))
            earlier = e.value.bytes.c_str();
    for (const char* at = earlier; *at != '\0'; ++at) {
        const int year = std::atoi(at);
        if (year >= kFirstReleaseYear && year < kFirstReleaseYear + kReleaseCount) years[year - kFirstReleaseYear] = 1;
        while (at[1] != '\0' && *at != ',') ++at;
    }
    text_.releases.clear();
    for (int k = 0; k < kReleaseCount; ++k)
        if (years[k]) text_.releases += Format(text_.releases.empty() ? "%d" : ",%d", kFirstReleaseYear + k);
}

bool UndoRecorder::WriteEntry(const char* what) {
    const std::string& folder = journal_.folder();
    // What the plug-in takes on disk: the files it placed in its own folder, each as last written.
    std::map<std::string, std::uint64_t> sizes;
    for (const JournalEntry& e : journal_.entries()) {
        const bool ours = e.path.size() > folder.size() && EqualsNoCase(e.path.substr(0, folder.size()), folder);
        if ((e.kind == EntryKind::File || e.kind == EntryKind::Replaced) && ours) sizes[UpperCp936(e.path)] = e.size;
    }
    std::uint64_t bytes = 0;
    for (const auto& file : sizes) bytes += file.second;
    const std::uint32_t sizeKb = static_cast<std::uint32_t>((bytes + 1023) / 1024);
    RegKey root = 0;
    const bool whole = WriteUninstallEntry(registry_, folder, uninstaller_, sizeKb, text_, &root);
    if (root != 0)
        Log(Format("Programs and Features entry %s%s: %s\\%s (InstallLocation %s, DisplayVersion %s, EstimatedSize %u KB%s%s)",
                   what, whole ? "" : " in part", root == kHkeyLocalMachine ? "HKLM" : "HKCU", kUninstallKey,
                   folder.c_str(), text_.version.c_str(), static_cast<unsigned>(sizeKb),
                   text_.releases.empty() ? "" : ", Releases ", text_.releases.c_str()));
    return whole;
}

void UndoRecorder::Finish(bool finished) {
    if (!journal_.armed()) return;
    // A run that changed nothing but its folders is not listed, and leaves none of them.
    if (!journal_.placed() || !journal_.live()) {
        const std::vector<std::string> made = journal_.FoldersOfRun();
        journal_.Withdraw();
        for (auto it = made.rbegin(); it != made.rend(); ++it)
            Log(Format(files_.ReadAttributes(*it) == kInvalidAttributes ? "folder removed: %s" : "folder kept, not empty: %s",
                       it->c_str()));
        return;
    }
    WriteEntry("updated");
    // Every other user gets the folder trusted at their next logon, once the install is whole: a
    // stopped run reaches no one but the account that ran it. Without administrator rights the
    // component cannot be written, and nothing of it is recorded.
    const char* component = "Active Setup component not registered: the install stopped";
    const char* stub = uninstaller_.c_str();
    if (finished && RegisterActiveSetup(registry_, uninstaller_, text_.displayName, text_.version))
        component = "Active Setup component registered: HKLM\\%s (StubPath \"%s\" /usersetup)";
    else if (finished)
        component = elevated_ ? "Active Setup component not written whole: HKLM\\%s"
                              : "Active Setup component not registered: no administrator rights";
    Log(Format(component, kActiveSetupKey, stub));
    journal_.Flush();
}

std::vector<std::string> UndoRecorder::Unaccounted() {
    std::vector<std::string> found;
    if (!elevated_ || !journal_.armed()) return found;
    // Every file and folder in the plug-in's folder that no entry of the record names.
    std::vector<std::string> folders{journal_.folder()};
    while (!folders.empty()) {
        const std::string folder = folders.back();
        folders.pop_back();
        FindScope listing(files_);
        FindEntry entry;
        FindStep step = listing.First(JoinPath(folder, "*.*"), entry) ? FindStep::Entry : FindStep::End;
        for (; step == FindStep::Entry; step = listing.Step(entry)) {
            if (entry.name == "." || entry.name == "..") continue;
            const std::string path = JoinPath(folder, entry.name);
            if (entry.attributes & kAttrDirectory) {
                found.push_back(path + "\\");
                if (!(entry.attributes & kAttrReparsePoint)) folders.push_back(path);
            } else if (journal_.LastFileEntry(path) == nullptr) {
                found.push_back(path);
            }
        }
        // A listing that broke off has not shown the rest: the folder itself is named.
        if (step == FindStep::Failed) found.push_back(folder + "\\");
    }
    return found;
}

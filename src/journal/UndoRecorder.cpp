#include "journal/UndoRecorder.h"

#include <map>

#include "text/PathText.h"
#include "text/Text.h"
#include "register/UserHives.h"

namespace {
const char kUninstallerNotMade[] =
    "无法在安装文件夹中放置卸载程序：\n\n%s\n\n没有它，安装将无法卸载。安装已停止，没有做任何更改。";
const char kEntryRefused[] =
    "无法在“程序和功能”中登记卸载程序：\n\n%s\n\n%s。安装已停止，没有做任何更改。";
}  // namespace

UndoRecorder::UndoRecorder(Journal& journal, CodeGuard& registry, RecordingFiles& files, UninstallEntryText text)
    : journal_(journal), registry_(registry), files_(files), text_(std::move(text)) {}

std::string UndoRecorder::Prepare(bool elevated) {
    elevated_ = elevated;
    registry_.SetElevated(elevated);
    // What this install wrote is what the record holds: the last copy of each file, finished or
    // only begun; anything else in the plug-in's folder was put there by someone else.
    registry_.SetKnown({[this](const std::string& path, CodeGuard::Written& written) {
                            const JournalEntry* last = journal_.LastFileEntry(path);
                            if (last == nullptr) return false;
                            const bool done = last->kind == EntryKind::File || last->kind == EntryKind::Replaced;
                            written = {last->size, done ? last->hash : std::string()};
                            return true;
                        },
                        {journal_.folder()}});
    return journal_.Place(elevated);
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
    const std::string uninstaller = JoinPath(folder, kUninstallProgram);
    const bool self = files_.ModulePath(program, 32768) == PathRead::Read;
    if (!self || (!EqualsNoCase(program, uninstaller) && !files_.CopyOver(program, uninstaller, false))) {
        journal_.Withdraw();
        return Format(kUninstallerNotMade, uninstaller.c_str());
    }
    if (!WriteEntry()) {
        const CodeGuard::Refusal* refused = registry_.refusals().empty() ? nullptr : &registry_.refusals().back();
        std::string why = refused ? refused->file + "：" + refused->why : std::string("无法写入注册表");
        // Nothing of this run stays: the record it began goes with what it names.
        if (!EqualsNoCase(program, uninstaller)) files_.RemoveFile(uninstaller);
        journal_.Withdraw();
        return Format(kEntryRefused, uninstaller.c_str(), why.c_str());
    }
    return std::string();
}

bool UndoRecorder::WriteEntry() {
    const std::string& folder = journal_.folder();
    // What the plug-in takes on disk: the files it placed in its own folder, each as last written.
    std::map<std::string, std::uint64_t> sizes;
    for (const JournalEntry& e : journal_.entries()) {
        const bool ours = e.path.size() > folder.size() && EqualsNoCase(e.path.substr(0, folder.size()), folder);
        if ((e.kind == EntryKind::File || e.kind == EntryKind::Replaced) && ours) sizes[UpperCp936(e.path)] = e.size;
    }
    std::uint64_t bytes = 0;
    for (const auto& file : sizes) bytes += file.second;
    return WriteUninstallEntry(registry_, folder, static_cast<std::uint32_t>((bytes + 1023) / 1024), text_);
}

void UndoRecorder::Finish(bool finished) {
    // A run that changed nothing but its folders is not listed.
    if (!journal_.armed() || !journal_.placed() || !journal_.live()) return;
    WriteEntry();
    // Every other user gets the folder trusted at their next logon, once the install is whole: a
    // stopped run reaches no one but the account that ran it. Without administrator rights the
    // component cannot be written, and nothing of it is recorded.
    if (finished) RegisterActiveSetup(registry_, journal_.folder(), text_.displayName, text_.version);
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
        for (bool more = listing.First(JoinPath(folder, "*.*"), entry); more; more = listing.Next(entry)) {
            if (entry.name == "." || entry.name == "..") continue;
            const std::string path = JoinPath(folder, entry.name);
            if (entry.attributes & kAttrDirectory) {
                found.push_back(path + "\\");
                if (!(entry.attributes & kAttrReparsePoint)) folders.push_back(path);
            } else if (journal_.LastFileEntry(path) == nullptr) {
                found.push_back(path);
            }
        }
    }
    return found;
}

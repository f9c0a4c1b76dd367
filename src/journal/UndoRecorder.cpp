#include "journal/UndoRecorder.h"

#include <map>

#include "text/PathText.h"
#include "text/Text.h"
#include "register/UserHives.h"

void UndoRecorder::Register() {
    if (!user_.empty()) {
        JournalEntry user;
        user.kind = EntryKind::User;
        user.path = user_;
        journal_.Add(user);
    }
    // The entry first: a run killed before the uninstaller is in place is still found by the
    // setup program's uninstall.
    WriteEntry();
    const std::string& folder = journal_.folder();
    // The uninstaller is this very program; started from the folder it is already there.
    std::string program;
    const std::string uninstaller = JoinPath(folder, kUninstallProgram);
    if (files_.ModulePath(program, 32768) == PathRead::Read && !EqualsNoCase(program, uninstaller))
        files_.CopyOver(program, uninstaller, false);
}

void UndoRecorder::WriteEntry() {
    const std::string& folder = journal_.folder();
    // What the plug-in takes on disk: the files it placed in its own folder, each as last written.
    std::map<std::string, std::uint64_t> sizes;
    for (const JournalEntry& e : journal_.entries()) {
        const bool ours = e.path.size() > folder.size() && EqualsNoCase(e.path.substr(0, folder.size()), folder);
        if ((e.kind == EntryKind::File || e.kind == EntryKind::Replaced) && ours) sizes[UpperCp936(e.path)] = e.size;
    }
    std::uint64_t bytes = 0;
    for (const auto& file : sizes) bytes += file.second;
    WriteUninstallEntry(registry_, folder, static_cast<std::uint32_t>((bytes + 1023) / 1024), text_);
}

void UndoRecorder::Finish() {
    // A run that changed nothing but its folders is not listed.
    if (!journal_.armed() || !journal_.placed() || !journal_.live()) return;
    WriteEntry();
    // Every other user gets the folder trusted at their next logon; without administrator
    // rights the component cannot be written, and nothing of it is recorded.
    RegisterActiveSetup(registry_, journal_.folder(), text_.displayName, text_.version);
    journal_.Flush();
}

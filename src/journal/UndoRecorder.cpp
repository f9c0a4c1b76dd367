#include "journal/UndoRecorder.h"

#include <map>

#include "text/PathText.h"
#include "text/Text.h"

void UndoRecorder::Finish() {
    if (!journal_.armed() || !journal_.placed()) return;
    const std::string& folder = journal_.folder();
    // The uninstaller is this very program; started from the folder it is already there.
    std::string program;
    const std::string uninstaller = JoinPath(folder, kUninstallProgram);
    if (files_.ModulePath(program, 32768) == PathRead::Read && !EqualsNoCase(program, uninstaller))
        files_.CopyOver(program, uninstaller, false);

    // What the plug-in takes on disk: the files it placed in its own folder, each as last written.
    std::map<std::string, std::uint64_t> sizes;
    for (const JournalEntry& e : journal_.entries()) {
        const bool ours = e.path.size() > folder.size() && EqualsNoCase(e.path.substr(0, folder.size()), folder);
        if ((e.kind == EntryKind::File || e.kind == EntryKind::Replaced) && ours) sizes[UpperCp936(e.path)] = e.size;
    }
    std::uint64_t bytes = 0;
    for (const auto& file : sizes) bytes += file.second;
    WriteUninstallEntry(registry_, folder, static_cast<std::uint32_t>((bytes + 1023) / 1024), text_);
    journal_.Flush();
}

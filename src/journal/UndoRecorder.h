#pragma once
// The install run's undo record, over the recording seams: armed when the run begins, and at its
// end the program copied in as the uninstaller and the entry in the list of installed programs
// written, both through the recording seams so that undo removes them too.
#include "journal/Journal.h"
#include "journal/Recording.h"
#include "journal/UninstallEntry.h"
#include "journal/InstallJournal.h"

class UndoRecorder : public InstallJournal {
public:
    UndoRecorder(Journal& journal, RecordingRegistry& registry, RecordingFiles& files, UninstallEntryText text)
        : journal_(journal), registry_(registry), files_(files), text_(std::move(text)) {}

    void Begin(const std::string& folder) override { journal_.Arm(folder); }
    std::string Prepare(bool elevated) override { return journal_.Place(elevated); }
    void Finish() override;

private:
    Journal& journal_;
    RecordingRegistry& registry_;
    RecordingFiles& files_;
    UninstallEntryText text_;
};

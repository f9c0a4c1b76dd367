#pragma once
// The install run's undo record, over the recording seams: armed when the run begins. At the
// run's first change beyond its folders, before that change, the program is copied in as the
// uninstaller and the entry in the list of installed programs is written, both through the
// recording seams so that undo removes them too: a run killed at any point after is listed and
// can be undone, and a run that changed nothing else leaves neither. At its end the entry gets
// the size the plug-in takes.
#include "journal/Journal.h"
#include "journal/Recording.h"
#include "journal/UninstallEntry.h"
#include "journal/InstallJournal.h"

class UndoRecorder : public InstallJournal {
public:
    UndoRecorder(Journal& journal, RecordingRegistry& registry, RecordingFiles& files, UninstallEntryText text)
        : journal_(journal), registry_(registry), files_(files), text_(std::move(text)) {
        journal_.OnFirstChange([this] { Register(); });
    }

    void Begin(const std::string& folder) override { journal_.Arm(folder); }
    // The account whose HKEY_CURRENT_USER the run changes (its SID), kept in the record so that
    // an uninstall as another account knows whose profiles they are.
    void SetUser(const std::string& sid) { user_ = sid; }
    std::string Prepare(bool elevated) override { return journal_.Place(elevated); }
    void Finish() override;
    std::vector<std::string> UnkeptFiles() const override { return files_.unkept(); }

private:
    // The uninstaller and the entry, as the plug-in's files stand now.
    void Register();
    void WriteEntry();

    Journal& journal_;
    RecordingRegistry& registry_;
    RecordingFiles& files_;
    UninstallEntryText text_;
    std::string user_;
};

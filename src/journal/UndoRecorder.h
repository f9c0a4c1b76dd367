#pragma once
// The install run's undo record, over the recording seams: armed when the run begins. Before the
// run's first change beyond its folders, the program is copied in as the uninstaller and the entry
// in the list of installed programs is written, both through the recording seams so that undo
// removes them too: a run killed at any point after is listed and can be undone, and a run that
// changed nothing else leaves neither. At its end the entry gets the size the plug-in takes and
// the releases registered, and a finished install registers the step that trusts its folder for
// every user. Each of these, the record's place and each refusal is one line of the log.
#include "journal/CodeGuard.h"
#include "journal/InstallJournal.h"
#include "journal/Journal.h"
#include "journal/Recording.h"
#include "journal/UninstallEntry.h"
#include "platform/SetupLog.h"

class UndoRecorder : public InstallJournal {
public:
    // registry: the check of values that name code, over the recording registry; every write of
    // the run goes through it.
    UndoRecorder(Journal& journal, CodeGuard& registry, RecordingFiles& files, UninstallEntryText text);

    void Begin(const std::string& folder) override { journal_.Arm(folder); }
    // The account whose HKEY_CURRENT_USER the run changes (its SID), kept in the record so that
    // an uninstall as another account knows whose profiles they are.
    void SetUser(const std::string& sid) { user_ = sid; }
    // Where the lines go (none by default).
    void SetLog(SetupLog& log) { log_ = &log; }
    // The running program's size and hash, read from its own file as it started: the uninstaller
    // copied in must hold exactly these bytes, wherever its source path has led since.
    void SetProgramImage(CodeGuard::Written image) { image_ = std::move(image); }
    bool ProtectedRecordThere() override { return journal_.ProtectedRecordThere(); }
    std::string Spelling(const std::string& folder, bool elevated) override {
        std::string listed;
        if (!FindInstalledFolder(registry_, listed, elevated)) listed.clear();
        return Journal::Spelling(files_, journal_.codec(), folder, elevated, listed);
    }
    std::string Prepare(bool elevated) override;
    std::string Start() override;
    void SetReleases(const ReleaseFlags& registered) override;
    void Finish(bool finished) override;
    std::vector<std::string> UnkeptFiles() const override { return files_.unkept(); }
    std::vector<CodeRefusal> Refused() const override { return registry_.refusals(); }
    std::vector<std::string> Unaccounted() override;

private:
    // Copies the running program in as the uninstaller (uninstaller_): empty when placed, else why
    // not ("copy", or that the bytes are not the program's own).
    std::string PlaceUninstaller(const std::string& program);
    bool WriteEntry(const char* what);
    void Log(const std::string& line) {
        if (log_ != nullptr) log_->Line(line);
    }

    Journal& journal_;
    CodeGuard& registry_;
    RecordingFiles& files_;
    UninstallEntryText text_;
    std::string user_;
    bool elevated_ = false;
    SetupLog* log_ = nullptr;
    CodeGuard::Written image_;
    // The uninstaller the entry and the component name, and whether this run made that file.
    std::string uninstaller_;
    bool madeUninstaller_ = false;
};

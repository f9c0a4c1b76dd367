#pragma once
// What the install run asks of the undo record: to start recording once the folder is chosen,
// to put the uninstaller and the entry in the list of installed programs in place before the
// first change, and to finish once the run is over. The run works the same without one.
#include <string>
#include <vector>

#include "catalogue/ReleaseTable.h"

// A value that names code, refused where it was to be written.
struct CodeRefusal {
    std::string value;  // "HKEY_LOCAL_MACHINE\<key>\<name>"
    std::string file;   // the file it would have named
    std::string why;    // CP936, for the message and the log (kRefusedMissing: the file is not there)
};
inline constexpr char kRefusedMissing[] = "该文件不存在";

class InstallJournal {
public:
    virtual ~InstallJournal() = default;
    // folder: the plug-in's own folder ("<chosen>\Korvel-Tarnwick"), where the record goes.
    virtual void Begin(const std::string& folder) = 0;
    // With administrator rights, before the folders are made: whether the record of an earlier
    // install into the folder is there, kept where only administrators write. That install took
    // the plug-in's folder with the locked rights (made it, made it anew or, in an older build,
    // relocked it).
    virtual bool ProtectedRecordThere() { return false; }
    // The spelling of folder (the plug-in's own) that the install's records and values use.
    virtual std::string Spelling(const std::string& folder, bool elevated) {
        (void)elevated;
        return folder;
    }
    // Once the folder has been proven and made: where the record goes, and whether it can be kept
    // there. Returns why the install must stop (shown to the user), or empty.
    virtual std::string Prepare(bool elevated) {
        (void)elevated;
        return std::string();
    }
    // Before the run's first change beyond its folders: the uninstaller copied in, then the entry
    // that names it. Returns why the install must stop before any change (shown to the user; the
    // run is then not listed), or empty.
    virtual std::string Start() { return std::string(); }
    // The releases the run registered the plug-in with, once it has registered them.
    virtual void SetReleases(const ReleaseFlags& registered) { (void)registered; }
    // After the run, however it ended, once it has begun. finished: the whole install ran, and
    // what it does for every user may be registered. A run that changed nothing but the folders
    // it made removes them (while empty), and only those.
    virtual void Finish(bool finished) = 0;
    // Files left as they were because their content could not be kept for the undo first.
    virtual std::vector<std::string> UnkeptFiles() const { return {}; }
    // The values that name code and were refused.
    virtual std::vector<CodeRefusal> Refused() const { return {}; }
    // With administrator rights: what the plug-in's folder holds that no record accounts for.
    virtual std::vector<std::string> Unaccounted() { return {}; }
};

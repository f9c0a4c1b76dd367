#pragma once
// What the install run asks of the undo record: to start recording once the folder is chosen,
// and to finish once the run is over (a copy of the program to uninstall with, and the entry in
// the system's list of installed programs). The run works the same without one.
#include <string>
#include <vector>

class InstallJournal {
public:
    virtual ~InstallJournal() = default;
    // folder: the plug-in's own folder ("<chosen>\Korvel-Tarnwick"), where the record goes.
    virtual void Begin(const std::string& folder) = 0;
    // Once the folder has been proven and made: where the record goes, and whether it can be kept
    // there. Returns why the install must stop (shown to the user), or empty.
    virtual std::string Prepare(bool elevated) {
        (void)elevated;
        return std::string();
    }
    // After the run, however it ended, once it has begun.
    virtual void Finish() = 0;
    // Files left as they were because their content could not be kept for the undo first.
    virtual std::vector<std::string> UnkeptFiles() const { return {}; }
};

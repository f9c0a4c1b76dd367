#pragma once
// Copies every file that lies directly in the package folder into the install folder, asking
// the user to abort, retry or ignore when a file cannot be copied.
#include <string>
#include <vector>

#include "platform/Files.h"
#include "platform/ProgressSink.h"
#include "platform/Prompt.h"

class PackageCopy : private CopyWatcher {
public:
    // `folder` loses one trailing backslash.
    PackageCopy(Files& files, Prompt& prompt, const std::string& folder, ProgressSink& progress);

    // True when the whole listing was worked through (ignored files included, and counted in
    // skippedFiles). False when the package is missing, a path is too long (the user is told;
    // nothing is written), the listing cannot be read to its end (the user is told), or the user
    // chose Abort (files copied before stay). The whole listing is read before the first copy,
    // so a listing that breaks off copies nothing. While copying, the bar moves from 0 to barEnd
    // with the bytes copied, never backwards, and is set after every block (its window answers
    // its messages there); it is not touched when the listing cannot be read.
    bool Run();

    std::string targetFolder;
    int skippedFiles = 0;  // files the user chose to ignore after a failed copy
    std::vector<std::string> skippedPaths;  // their destinations, in the order ignored
    ProgressSink& progress;
    int barEnd = 100;  // where the bar stands once every file is copied

private:
    enum class Outcome { Done, Aborted };
    // destinationAttributes: as the install folder's listing gave them, kInvalidAttributes when
    // it holds no such file.
    Outcome CopyEntry(const std::string& packageFolder, const FindEntry& file, std::uint32_t destinationAttributes);
    void Copied(std::uint64_t bytes) override;
    void ShowBytes(std::uint64_t done);

    std::uint64_t totalBytes_ = 0;     // the listed size of every file to copy
    std::uint64_t bytesBefore_ = 0;    // those of the files worked through
    std::uint64_t bytesThisTry_ = 0;   // copied so far of the file under way
    int shown_ = 0;                    // the bar's position
    Files& files_;
    Prompt& prompt_;
};

// The package's files that are not installed into the install folder (letter case ignored): the
// setup program, the fonts, and any of the uninstaller's names.
bool IsSkippedPackageFile(const std::string& name);

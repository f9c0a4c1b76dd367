#include "deploy/InstallFolder.h"

#include "text/PathText.h"

namespace {

bool IsReparsePoint(std::uint32_t attributes) {
    return attributes != kInvalidAttributes && (attributes & kAttrReparsePoint) != 0;
}

// Makes one level, or finds what is there already and checks it. Making comes first, so that
// nothing can be put in the folder's place between a check and the making.
FolderOutcome MakeLevel(Files& files, const std::string& path, bool elevated) {
    const bool made = elevated ? files.CreateLockedFolder(path) : files.MakeDir(path) == 0;
    if (made) return FolderOutcome::Ready;
    const std::uint32_t attributes = files.ReadAttributes(path);
    if (attributes == kInvalidAttributes) {
        // Elevated, the payload copy would make it with inherited rights: refuse here instead.
        return elevated ? FolderOutcome::NotMade : FolderOutcome::Ready;
    }
    if (IsReparsePoint(attributes)) return FolderOutcome::Redirected;
    if (elevated && !files.OwnedByAdministrators(path)) return FolderOutcome::ForeignOwner;
    return FolderOutcome::Ready;
}

}  // namespace

PreparedFolders PrepareInstallFolders(Files& files, const std::string& folder,
                                      const std::string& subFolder, bool elevated) {
    // The levels between the drive root and the folder: made by someone else, they may still
    // redirect everything below them. Those missing are made as the folder itself is, each with
    // the same checks, outermost first (the record then removes them, innermost first, when empty).
    if (folder.size() > 3) {
        for (std::size_t end = NextSeparator(folder, 3); end != std::string::npos;
             end = NextSeparator(folder, end + 1)) {
            const std::string level = folder.substr(0, end);
            const std::uint32_t attributes = files.ReadAttributes(level);
            if (IsReparsePoint(attributes)) return {FolderOutcome::Redirected, level};
            if (attributes != kInvalidAttributes) continue;
            const FolderOutcome outcome = MakeLevel(files, level, elevated);
            if (outcome != FolderOutcome::Ready) return {outcome, level};
        }
    }
    const bool driveRoot = folder.size() == 2;
    for (const std::string& level : {folder, folder + subFolder}) {
        if (driveRoot && level == folder) continue;  // "X:" is the drive's current folder
        const FolderOutcome outcome = MakeLevel(files, level, elevated);
        if (outcome != FolderOutcome::Ready) return {outcome, level};
    }
    return {};
}

#include "deploy/InstallFolder.h"

#include <algorithm>

#include "deploy/FolderTrust.h"
#include "pathdialog/FolderValidation.h"
#include "text/PathText.h"
#include "text/Text.h"

namespace {

bool IsReparsePoint(std::uint32_t attributes) {
    return attributes != kInvalidAttributes && (attributes & kAttrReparsePoint) != 0;
}

// A name that a path through Win32 reaches as another entry ("sub." and "sub " as "sub", "..." as
// the folder itself, "NUL" or "com1.txt" as a device): only a \\?\ name could have made it.
bool AliasName(const std::string& name) {
    if (!name.empty() && (name.back() == '.' || name.back() == ' ')) return true;
    std::string base = name.substr(0, name.find_first_of(".:"));
    while (!base.empty() && base.back() == ' ') base.pop_back();
    for (const char* device : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"})
        if (EqualsNoCase(base, device)) return true;
    return base.size() == 4 && (EqualsNoCase(base.substr(0, 3), "COM") || EqualsNoCase(base.substr(0, 3), "LPT")) &&
           base[3] >= '1' && base[3] <= '9';
}

// Makes one level, or finds what is there already and checks it. Making comes first, so that
// nothing can be put in the folder's place between a check and the making. made: set when this
// call made it (and it holds nothing of anyone else's).
FolderOutcome MakeLevel(Files& files, const std::string& path, bool elevated, bool* made = nullptr) {
    const bool madeNow = elevated ? files.CreateLockedFolder(path) : files.MakeDir(path) == 0;
    if (made) *made = madeNow;
    if (madeNow) return FolderOutcome::Ready;
    const std::uint32_t attributes = files.ReadAttributes(path);
    if (attributes == kInvalidAttributes) {
        // Elevated, the payload copy would make it with inherited rights: refuse here instead.
        return elevated ? FolderOutcome::NotMade : FolderOutcome::Ready;
    }
    if (IsReparsePoint(attributes)) return FolderOutcome::Redirected;
    return FolderOutcome::Ready;
}

// A level another account owns, named with that account.
bool ForeignOwned(Files& files, const std::string& level, PreparedFolders& refused) {
    Protection protection;
    if (!files.ReadProtection(level, protection) || protection.administrativeOwner) return false;
    refused = {FolderOutcome::ForeignOwner, level, protection.owner};
    return true;
}

// The owner and rights of every existing level of folder, from its drive's root down.
bool Trusted(Files& files, const std::string& folder, PreparedFolders& refused) {
    TrustFault fault;
    if (CheckTrustedLevels(files, folder, std::string(), fault)) return true;
    refused = {FolderOutcome::Unprotected, fault.level, fault.why};
    if (IsReparsePoint(files.ReadAttributes(fault.level)))
        refused = {FolderOutcome::Redirected, fault.level, ""};
    else if (fault.level.size() > 3)
        ForeignOwned(files, fault.level, refused);
    return false;
}

const char kNotRelocked[] = "无法重设其所有者和权限";
const char kUnreadable[] = "无法读取其所有者和权限";
const char kAliasName[] = "的名称以点或空格结尾或是设备名，Windows 会把它读作另一个名称";
const char kOthersControlled[] = "其他用户可以更改其权限或所有者，其打开的句柄在重设后仍然有效";
const char kHardLinked[] = "是一个有多个名称的文件（硬链接），其另一个名称可能位于任何位置";
const char kInUse[] = "正被其他程序使用（例如在其中打开的命令提示符或文件），无法换成新的文件夹，请关闭后重试";
const char kNotRenewed[] = "无法换成新的文件夹";

// Why an entry could not be relocked: a second name, or its rights could not be set.
PreparedFolders NotRelocked(Files& files, const std::string& path) {
    Protection protection;
    if (files.ReadProtection(path, protection) && protection.links > 1)
        return {FolderOutcome::Unprotected, path, kHardLinked};
    return {FolderOutcome::Unprotected, path, kNotRelocked};
}

// A folder of the plug-in's folder that is not taken back: one that another account owns, or
// whose rights or owner others may change, as a handle opened to it before the relock keeps the
// right to change them back, and with them to add what every user then loads. reclaimed: set
// when it let others add entries until now.
PreparedFolders Refused(Files& files, const std::string& folder, bool& reclaimed) {
    Protection before;
    if (!files.ReadProtection(folder, before)) return {FolderOutcome::Unprotected, folder, kUnreadable};
    if (!before.administrativeOwner) return {FolderOutcome::ForeignOwner, folder, before.owner};
    if (before.othersRights & (kRightWriteDac | kRightWriteOwner))
        return {FolderOutcome::Unprotected, folder, kOthersControlled};
    if (before.othersRights & (kRightWriteData | kRightAppendData)) reclaimed = true;
    return {};
}

// Each entry of folder but "." and "..", listed whole before any is looked at (what is done with
// one may change the folder listed). False when the listing cannot be read or breaks off part-way:
// it has not shown all there is.
bool ListEntries(Files& files, const std::string& folder, std::vector<FindEntry>& entries) {
    FindScope find(files);
    FindEntry entry;
    FindStep step = find.First(JoinPath(folder, "*.*"), entry) ? FindStep::Entry : FindStep::Failed;
    for (; step == FindStep::Entry; step = find.Step(entry))
        if (entry.name != "." && entry.name != "..") entries.push_back(entry);
    return step != FindStep::Failed;
}

// Each entry of folder, handed to visit(path, entry) until one is refused. A name Win32 reads as
// another entry, and a link, are refused here; so is a listing that is not whole, with why for
// the folder.
template <typename Visit>
PreparedFolders EachEntry(Files& files, const std::string& folder, const char* why, Visit visit) {
    std::vector<FindEntry> entries;
    if (!ListEntries(files, folder, entries)) return {FolderOutcome::Unprotected, folder, why};
    for (const FindEntry& entry : entries) {
        const std::string path = JoinPath(folder, entry.name);
        if (AliasName(entry.name)) return {FolderOutcome::Unprotected, path, kAliasName};
        if (IsReparsePoint(entry.attributes)) return {FolderOutcome::Redirected, path, ""};
        const PreparedFolders refused = visit(path, entry);
        if (refused.outcome != FolderOutcome::Ready) return refused;
    }
    return {};
}

// Every folder in the plug-in's folder, the folder first, as the relock will find it: looked at
// whole before anything is relocked, so that a folder refused is left as it was.
PreparedFolders Inspect(Files& files, const std::string& folder, bool& reclaimed) {
    const PreparedFolders refused = Refused(files, folder, reclaimed);
    if (refused.outcome != FolderOutcome::Ready) return refused;
    return EachEntry(files, folder, kUnreadable, [&](const std::string& path, const FindEntry& entry) {
        return (entry.attributes & kAttrDirectory) ? Inspect(files, path, reclaimed) : PreparedFolders{};
    });
}

// The plug-in's folder as an earlier install (or anyone since) left it: the folder first, so
// that nothing more can be put in it, then everything in it. A link inside is not followed.
// reclaimed: set when a folder of it let others add entries until now; unlinked: the files whose
// name here was taken away, as they had another.
PreparedFolders Relock(Files& files, const std::string& folder, bool& reclaimed, std::vector<std::string>& unlinked) {
    // Looked at again as it is relocked: a folder added since the look is found here.
    const PreparedFolders refused = Refused(files, folder, reclaimed);
    if (refused.outcome != FolderOutcome::Ready) return refused;
    if (!files.Relock(folder)) return NotRelocked(files, folder);
    return EachEntry(files, folder, kNotRelocked, [&](const std::string& path, const FindEntry& entry) {
        if (entry.attributes & kAttrDirectory) return Relock(files, path, reclaimed, unlinked);
        if (files.Relock(path)) return PreparedFolders{};
        // A second name a user gave a file they may read (in a folder of theirs) gives them
        // nothing of it, but the file is never relocked nor written through: this name goes,
        // and the install makes the file anew where the package or the run has one.
        Protection protection;
        if (!files.ReadProtection(path, protection) || protection.links < 2 || !files.RemoveFile(path))
            return NotRelocked(files, path);
        unlinked.push_back(path);
        return PreparedFolders{};
    });
}

// The names the plug-in's folder is moved aside under while it is made anew, beside it. Only
// administrators may add to the folder that holds it, so a folder of such a name found there is
// one a run left when it was ended part-way (a kill), holding what it had not carried over yet.
constexpr int kAsideNames = 4;
std::string AsideName(const std::string& own, int k) {
    return own + "~setaside" + (k ? std::string(1, static_cast<char>('1' + k)) : std::string());
}

// A free name of those, or empty when none is.
std::string FreeAsideName(Files& files, const std::string& own) {
    for (int k = 0; k < kAsideNames; ++k)
        if (files.ReadAttributes(AsideName(own, k)) == kInvalidAttributes) return AsideName(own, k);
    return std::string();
}

// Whether the administrators own the file at path, and it has no other name: no other account
// made it, nor holds it through a name elsewhere.
bool Administrators(Files& files, const std::string& path) {
    Protection protection;
    return files.ReadProtection(path, protection) && protection.administrativeOwner && protection.links == 1;
}

// A plain folder at path: the one there, or one made anew in the place of from where nothing was.
enum class Found { None, There, Made };
Found FolderAt(Files& files, const std::string& path, const std::string& from) {
    const std::uint32_t there = files.ReadAttributes(path);
    if (there == kInvalidAttributes) return files.MakeFolderAnew(path, from) ? Found::Made : Found::None;
    return (there & kAttrDirectory) && !IsReparsePoint(there) ? Found::There : Found::None;
}

// Moves what the folder `from` holds into the new folder `to`: each folder as one made anew
// there (and the emptied one removed), each file under its name, then relocked there. What
// cannot be moved (a link, a name Win32 reads as another, a file with a second name, another
// account's file, an entry held open or whose name is taken already) stays where it is, named in
// left; the install makes anew what the package or the run has of it. refused: the first file
// that could not be relocked. False when from was not listed whole (then it is named in left).
bool CarryOver(Files& files, const std::string& from, const std::string& to, PreparedFolders& result) {
    std::vector<FindEntry> entries;
    const bool whole = ListEntries(files, from, entries);
    if (!whole) result.left.push_back(from);
    for (const FindEntry& entry : entries) {
        const std::string source = JoinPath(from, entry.name), target = JoinPath(to, entry.name);
        if (AliasName(entry.name) || IsReparsePoint(entry.attributes)) {
            result.left.push_back(source);
        } else if (entry.attributes & kAttrDirectory) {
            if (FolderAt(files, target, source) == Found::None) {
                result.left.push_back(source);
                continue;
            }
            if (CarryOver(files, source, target, result) && !files.RemoveFolder(source)) result.left.push_back(source);
        } else {
            Protection protection;
            if (files.ReadProtection(source, protection) && protection.links > 1) {
                // Its other name may be a user's: this one stays where it is (the file may be no
                // package's, and nothing else would keep it), named.
                result.left.push_back(source);
            } else if (!files.MoveEntry(source, target)) {
                result.left.push_back(source);
            } else if (!Administrators(files, target)) {
                // Another account's file, put in the listed one's place since the listing (by
                // whoever could still change the folder set aside): a handle its maker holds goes
                // with it, so it goes back, and is named.
                if (files.MoveEntry(target, source)) {
                    result.left.push_back(source);
                } else if (result.outcome == FolderOutcome::Ready) {
                    result.outcome = FolderOutcome::Unprotected;
                    result.refused = target;
                    result.why = kNotRelocked;
                }
            } else if (!files.Relock(target) && result.outcome == FolderOutcome::Ready) {
                const PreparedFolders why = NotRelocked(files, target);
                result.outcome = why.outcome;
                result.refused = why.refused;
                result.why = why.why;
            }
        }
    }
    return whole;
}

// The plug-in's folder made anew, as a new folder object that holds what the one found there
// held: a handle anyone opened to that one (while its rights let them, before its owner took
// them back) keeps reaching it, never the folder every user's host loads from. That one is moved
// aside first, and removed once emptied. Only where no other user may add to the folder that
// holds it: elsewhere (a drive's root) the name, free for a moment, could be taken.
PreparedFolders Renew(Files& files, const std::string& own) {
    const std::string aside = FreeAsideName(files, own);
    if (aside.empty()) return {FolderOutcome::Unprotected, own, kNotRenewed};
    // Windows moves no folder with anything in it held open: nothing has changed yet.
    if (!files.MoveEntry(own, aside)) return {FolderOutcome::Unprotected, own, kInUse};
    if (!files.MakeFolderAnew(own, aside)) {
        // What it held is where it was, or, when it cannot go back, named where it is.
        if (files.MoveEntry(aside, own)) return {FolderOutcome::Unprotected, own, kNotRenewed};
        return {FolderOutcome::Unprotected, aside, kNotRenewed};
    }
    // Who could add to it before is not known: what it held is named as what a user may have left.
    PreparedFolders renewed;
    renewed.reclaimed = true;
    if (CarryOver(files, aside, own, renewed) && !files.RemoveFolder(aside)) renewed.left.push_back(aside);
    return renewed;
}

// The plug-in's own folder, found there rather than made by this run: what another account made
// is theirs, with all it holds, and never taken over. One of the administrators' is made anew
// with everything in it, as who may once have held a right to change its rights cannot be
// known; or, inPlace, relocked with everything in it: one an earlier install with their rights
// made or made anew (with the locked rights, so that no other user has held such a right
// since), or one whose name others could take while it is moved aside.
PreparedFolders TakeExisting(Files& files, const std::string& own, bool inPlace) {
    bool reclaimed = false;
    const PreparedFolders refused = Inspect(files, own, reclaimed);
    if (refused.outcome != FolderOutcome::Ready) return refused;
    PreparedFolders taken;
    if (inPlace) {
        reclaimed = false;
        std::vector<std::string> unlinked;
        taken = Relock(files, own, reclaimed, unlinked);
        taken.unlinked = std::move(unlinked);
    } else {
        taken = Renew(files, own);
    }
    taken.reclaimed = taken.reclaimed || reclaimed;
    return taken;
}

// What a run ended part-way through Renew left in a folder set aside goes into the plug-in's
// folder, made anew first when the run ended before it made it. The folder set aside never takes
// the plug-in's folder's name again: a handle kept to it is what making it anew is for, and what
// is carried over from it may be that handle's holder's (reclaimed). refused: as CarryOver's.
void TakeBack(Files& files, const std::string& own, PreparedFolders& result) {
    for (int k = 0; k < kAsideNames; ++k) {
        const std::string aside = AsideName(own, k);
        const std::uint32_t attributes = files.ReadAttributes(aside);
        if (attributes == kInvalidAttributes || !(attributes & kAttrDirectory) || IsReparsePoint(attributes))
            continue;
        // Only the administrators' own, that no one else may change, and only into a folder that
        // would be taken back itself and to which no one else may add (a folder they made in it
        // meanwhile would be taken for one of its own): anything else stays where it is, named.
        bool ignored = false, open = false;
        Found found = Found::None;
        if (Refused(files, aside, ignored).outcome == FolderOutcome::Ready) found = FolderAt(files, own, aside);
        if (found == Found::There && (Inspect(files, own, open).outcome != FolderOutcome::Ready || open))
            found = Found::None;
        if (found == Found::None) {
            result.left.push_back(aside);
            continue;
        }
        result.reclaimed = true;
        if (CarryOver(files, aside, own, result) && !files.RemoveFolder(aside)) result.left.push_back(aside);
    }
}

// Whether no account but the administrators' may add to the folder that holds path.
bool ClosedAbove(Files& files, const std::string& path) {
    const std::size_t cut = LastSeparator(path);
    Protection protection;
    // A drive's root lets users add folders (and "X:" alone would name the drive's current folder).
    return cut != std::string::npos && cut > 2 && files.ReadProtection(path.substr(0, cut), protection) &&
           !(protection.othersRights & (kRightWriteData | kRightAppendData));
}

const char* DriveKind(std::uint32_t type) {
    switch (type) {
        case kDriveRemote: return "网络驱动器";
        case kDriveRemovable: return "可移动驱动器";
        case kDriveCdRom: return "光盘驱动器";
        default: return "无法识别的驱动器";
    }
}

}  // namespace

PreparedFolders PrepareInstallFolders(Files& files, const std::string& folder, const std::string& subFolder,
                                      bool elevated, bool recorded) {
    // The levels between the drive root and the folder: made by someone else, they may still
    // redirect everything below them. Those missing are made as the folder itself is, once every
    // existing one has passed, outermost first (the record then removes them, innermost first,
    // when empty).
    if (folder.size() > 3) {
        for (std::size_t end = NextSeparator(folder, 3); end != std::string::npos;
             end = NextSeparator(folder, end + 1)) {
            const std::string level = folder.substr(0, end);
            if (IsReparsePoint(files.ReadAttributes(level))) return {FolderOutcome::Redirected, level, ""};
        }
    }
    PreparedFolders refused;
    if (elevated) {
        // A share's or a removable disk's rules are not this PC's to prove.
        const std::uint32_t drive = files.DriveType(folder);
        if (drive != kDriveFixed && drive != kDriveRamDisk)
            return {FolderOutcome::ForeignDrive, folder.substr(0, 2), DriveKind(drive)};
        // Nothing is made below a level that others control.
        if (!Trusted(files, folder, refused)) return refused;
    }
    if (folder.size() > 3) {
        for (std::size_t end = NextSeparator(folder, 3); end != std::string::npos;
             end = NextSeparator(folder, end + 1)) {
            const std::string level = folder.substr(0, end);
            if (files.ReadAttributes(level) != kInvalidAttributes) continue;
            const FolderOutcome outcome = MakeLevel(files, level, elevated);
            if (outcome != FolderOutcome::Ready) return {outcome, level, ""};
        }
    }
    const bool driveRoot = folder.size() == 2;
    if (!driveRoot) {
        const FolderOutcome outcome = MakeLevel(files, folder, elevated);
        if (outcome != FolderOutcome::Ready) return {outcome, folder, ""};
        // Someone may have made it between the check and the making.
        if (elevated && !Trusted(files, folder, refused)) return refused;
    }
    const std::string own = folder + subFolder;
    // Made anew only where no other user can take its name, or one set aside, meanwhile; and only
    // before a protected record is there, which says an install with administrator rights took it.
    const bool renew = elevated && !recorded && ClosedAbove(files, own);
    PreparedFolders takenBack;
    if (renew) TakeBack(files, own, takenBack);
    if (takenBack.outcome != FolderOutcome::Ready) return takenBack;
    if (elevated && files.ReadAttributes(own) != kInvalidAttributes && !IsReparsePoint(files.ReadAttributes(own))) {
        PreparedFolders taken = TakeExisting(files, own, !renew);
        taken.left.insert(taken.left.begin(), takenBack.left.begin(), takenBack.left.end());
        taken.reclaimed = taken.reclaimed || takenBack.reclaimed;
        return taken;
    }
    bool made = false;
    const FolderOutcome outcome = MakeLevel(files, own, elevated, &made);
    if (outcome != FolderOutcome::Ready) return {outcome, own, ""};
    // Someone may have made it between the look and the making: then it is one found there.
    if (elevated && !made) return TakeExisting(files, own, !renew);
    return takenBack;
}

std::string StoredSpelling(Files& files, const std::string& path, bool* odd) {
    if (!IsDrivePath(path) || !IsWholeCp936(path)) return path;
    std::string out = path.substr(0, 3);
    for (std::size_t start = 3; start < path.size();) {
        const std::size_t end = std::min(NextSeparator(path, start), path.size());
        const std::string given = path.substr(start, end - start);
        FindHandle handle = 0;
        FindEntry entry;
        // A pattern matches names; one that a typed folder may hold has none of its wildcards,
        // so matches only the entry of that name (or short name). The name it holds is taken
        // only where a typed one could be it: never one that reads as another (a trailing blank
        // or dot) or splits a list of paths (';').
        if (!CheckFolderName(given.c_str()) || !files.FindFirst(out + given, handle, entry))
            return out + path.substr(start);
        files.FindClose(handle);
        const bool holdable = CheckFolderName(entry.name.c_str());
        if (!holdable && odd) *odd = true;
        out += holdable ? entry.name : given;
        if (end < path.size()) out += '\\';
        start = end + 1;
    }
    return out;
}

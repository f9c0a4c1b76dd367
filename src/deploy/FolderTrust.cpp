#include "deploy/FolderTrust.h"

#include "text/PathText.h"

namespace {
const char kIsLink[] = "是一个链接（目录联接或符号链接）";
const char kUnreadable[] = "无法读取其所有者和权限";
const char kForeignOwner[] = "不属于管理员";
const char kOthersMayChange[] = "其他用户可以更改、删除或替换其中的内容";

constexpr std::uint32_t kTakeOver = kRightWriteDac | kRightWriteOwner;
constexpr std::uint32_t kRootRule = kRightDeleteChild | kTakeOver;
constexpr std::uint32_t kAboveRule = kRightDelete | kRightDeleteChild | kTakeOver;
constexpr std::uint32_t kEntryRule = kAboveRule | kRightWriteData | kRightAppendData;

// What is wrong with one level, or nullptr.
const char* Fault(Files& files, const std::string& level, bool root, bool strict) {
    const std::uint32_t attributes = files.ReadAttributes(level);
    if (attributes & kAttrReparsePoint) return kIsLink;
    Protection protection;
    if (!files.ReadProtection(level, protection)) return kUnreadable;
    return LevelFault(attributes, protection, root, strict);
}
}  // namespace

const char* LevelFault(std::uint32_t attributes, const Protection& protection, bool root, bool strict) {
    if (attributes & kAttrReparsePoint) return kIsLink;
    if (root) return (protection.othersRights & kRootRule) || (protection.othersRights & kRightsAll) == kRightsAll
                         ? kOthersMayChange
                         : nullptr;
    if (!protection.administrativeOwner) return kForeignOwner;
    return protection.othersRights & (strict ? kEntryRule : kAboveRule) ? kOthersMayChange : nullptr;
}

bool CheckTrustedLevels(Files& files, const std::string& path, const std::string& strictFrom, TrustFault& fault) {
    if (!IsDrivePath(path.size() == 2 ? path + "\\" : path)) {
        fault = {path, kUnreadable};
        return false;
    }
    std::size_t end = 2;  // "X:" first, as its root "X:\"
    for (;;) {
        const bool root = end == 2;
        const std::string level = root ? path.substr(0, 2) + "\\" : path.substr(0, end);
        const bool isStrict = !root && level.size() >= strictFrom.size();
        if (files.ReadAttributes(level) != kInvalidAttributes) {
            if (const char* why = Fault(files, level, root, isStrict)) {
                fault = {level, why};
                return false;
            }
        }
        if (end >= path.size()) return true;
        const std::size_t next = NextSeparator(path, end + 1);
        end = next == std::string::npos ? path.size() : next;
    }
}

#include "setup/RegistrationWarning.h"

namespace {
// A message box grows with its text; past this many profiles the rest are counted.
constexpr std::size_t kProfilesListed = 8;

std::string ReleaseList(const std::array<bool, kReleaseCount>& marked, const ReleaseFlags& flags) {
    std::string releases;
    for (const ReleaseRow& row : ReleaseTable) {
        if (flags[row.index] == 0 || !marked[row.index]) continue;
        if (!releases.empty()) releases += "、";
        releases += Format("AutoCAD%d", row.year);
    }
    return releases;
}

const char* Reason(ProfileProblem problem) {
    switch (problem) {
        case ProfileProblem::TooLong: return "原有内容太长";
        case ProfileProblem::Unreadable: return "无法读取";
        case ProfileProblem::NotPlainText: return "不是普通文本";
        case ProfileProblem::Unrepresentable: return "含有本机代码页无法表示的字符";
        case ProfileProblem::NotWritten: return "无法写入";
    }
    return "无法读取";
}
}  // namespace

std::string RegistrationWarning(const HostCatalogue& catalogue, const ReleaseFlags& flags) {
    std::string text;
    const auto paragraph = [&text](const std::string& part) {
        if (!text.empty()) text += "\n\n";
        text += part;
    };

    const std::string refused = ReleaseList(catalogue.registrationFailed, flags);
    if (!refused.empty()) {
        paragraph("以下版本未能注册，插件不会随AutoCAD加载：\n" + refused +
                  "\n请右键单击安装程序，选择“以管理员身份运行”，然后重新安装 !");
    }
    const std::string tooLong = ReleaseList(catalogue.loaderTooLong, flags);
    if (!tooLong.empty()) {
        paragraph("以下版本的插件路径太长，未能注册：\n" + tooLong +
                  "\n请选择路径较短的安装文件夹后重新安装 !");
    }
    const std::vector<UntouchedProfile>& profiles = catalogue.untouchedProfiles;
    if (!profiles.empty()) {
        std::string part = "以下AutoCAD配置的受信任位置未作修改：";
        for (std::size_t i = 0; i < profiles.size() && i < kProfilesListed; ++i)
            part += Format("\n%s（%s）", profiles[i].profile.c_str(), Reason(profiles[i].problem));
        if (profiles.size() > kProfilesListed)
            part += Format("\n……另有 %d 个配置", static_cast<int>(profiles.size() - kProfilesListed));
        part += "\n请在AutoCAD的“选项 > 文件 > 受信任的位置”中手动添加：\n" + catalogue.installFolder;
        paragraph(part);
    }
    return text;
}

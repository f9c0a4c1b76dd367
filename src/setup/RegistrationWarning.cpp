#include "setup/RegistrationWarning.h"

std::string RegistrationWarning(const HostCatalogue& catalogue, const ReleaseFlags& flags) {
    std::string releases;
    for (const ReleaseRow& row : ReleaseTable) {
        if (flags[row.index] == 0 || !catalogue.registrationFailed[row.index]) continue;
        if (!releases.empty()) releases += "、";
        releases += Format("AutoCAD%d", row.year);
    }
    if (releases.empty()) return releases;
    return "以下版本未能注册，插件不会随AutoCAD加载：\n" + releases +
           "\n\n请右键单击安装程序，选择“以管理员身份运行”，然后重新安装 !";
}

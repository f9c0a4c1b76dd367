#include "setup/Elevation.h"

const char* const kElevationQuestion =
    "安装需要管理员权限（写入AutoCAD的加载项注册表和程序文件夹）。\n\n是否以管理员身份重新运行安装程序？\n\n"
    "选择“否”将继续以当前权限安装，所选AutoCAD版本可能无法加载插件。";

bool NeedsAdministrator(const HostCatalogue& catalogue, const ReleaseFlags& chosen,
                        bool (*writable)(const std::string& machineKey)) {
    for (const ReleaseRow& row : ReleaseTable) {
        if (chosen[row.index] == 0) continue;
        for (const std::string& key : catalogue.hostKeys[row.index])
            if (!writable(key)) return true;
    }
    return false;
}

std::string ReleaseYears(const ReleaseFlags& chosen) { return ReleaseList(chosen, ","); }

#include "setup/Usage.h"

#include "setup/ExitCodes.h"
#include "text/Text.h"

const SwitchUsage kSwitchUsage[] = {
    {"/S", "静默安装（或卸载），不显示任何窗口和消息"},
    {"/D=", "安装路径（默认为 C:\\Korvel），必须放在最后，可含空格，不加引号"},
    {"/RELEASES=", "只为列出的已安装AutoCAD版本安装，以逗号分隔，例如 /RELEASES=2018,2022"},
    {"/RELEASES-IF-PRESENT=", "为列出的版本中本机已安装的那些安装，其余跳过，例如 /RELEASES-IF-PRESENT=2018,2022,2024"},
    {"/LOG=", "日志的位置（默认为 %TEMP%\\Korvel-Tarnwick-setup.log，以管理员身份运行时为 "
              "%ProgramData%\\Korvel-Tarnwick\\Korvel-Tarnwick-setup.log）"},
    {"/UNINSTALL", "卸载插件，可与 /S 和 /LOG= 同用"},
    {"/?", "显示本说明"},
};
const std::size_t kSwitchUsageCount = sizeof kSwitchUsage / sizeof kSwitchUsage[0];

const ExitCodeUsage kExitCodeUsage[] = {
    {kExitFinished, "已完成（或已显示本说明）", "done, every change made"},
    {kExitBadCommandLine, "命令行有误，没有安装", "bad command line, nothing installed"},
    {kExitCancelled, "已取消", "cancelled"},
    {kExitHostRunning, "AutoCAD正在运行（仅 /S），没有做任何更改", "AutoCAD was running, nothing changed"},
    {kExitFilesSkipped, "已安装，但有文件被跳过", "installed, but some files were skipped"},
    {kExitStopped, "安装已停止", "the install stopped"},
    {kExitIncomplete, "已安装，但部分版本、配置或文件未作修改",
     "installed, but some release, profile or host file was left as it was"},
    {kExitNoRecord, "卸载记录缺失或损坏，没有做任何更改", "the undo record is missing or damaged, nothing changed"},
    {kExitUninstallIncomplete, "已卸载，但有内容未能删除或还原", "uninstalled, but something was left"},
    {kExitNothingToInstall, "未找到本版本可安装的AutoCAD（仅 /S），没有安装",
     "no AutoCAD release of this edition was found, nothing installed"},
    {kExitAlreadyRunning, "另一个安装或卸载程序正在运行，没有做任何更改",
     "another setup or uninstall was running, nothing changed"},
    {kExitNeedsAdmin, "所选版本需要管理员权限（仅 /S），没有安装",
     "the chosen releases need administrator rights, nothing installed"},
    {kExitNotInstalled, "卸载：本机没有安装插件，没有做任何更改", "not installed, nothing changed"},
};
const std::size_t kExitCodeUsageCount = sizeof kExitCodeUsage / sizeof kExitCodeUsage[0];

std::string UsageText() {
    std::string text =
        "用法：SetUp.exe [/S] [/RELEASES=2018,2022] [/RELEASES-IF-PRESENT=2024] [/LOG=日志文件] [/D=安装路径]\n"
        "　　　SetUp.exe /UNINSTALL [/S] [/LOG=日志文件]\n\n";
    for (const SwitchUsage& row : kSwitchUsage)
        text += Format("%s\t%s%s\n", row.name, std::string(row.name).size() < 8 ? "\t" : "", row.meaning);
    text += "\n退出代码：\n";
    for (const ExitCodeUsage& row : kExitCodeUsage) text += Format("%d\t%s\n", row.code, row.meaning);
    text.pop_back();
    return text;
}

std::string ExitOutcome(int code) {
    for (const ExitCodeUsage& row : kExitCodeUsage)
        if (row.code == code) return row.outcome;
    return "unknown";
}

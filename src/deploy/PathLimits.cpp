#include "deploy/PathLimits.h"

const char* const kProgramPathTooLong =
    "安装文件所在文件夹的路径太长 !\n\n请将安装文件移到路径较短的文件夹中，再执行SetUp.exe !";
const char* const kTargetPathTooLong =
    "安装文件夹的路径太长 !\n\n请选择路径较短的安装文件夹后再安装 !";
const char* const kProgramPathUnrepresentable =
    "安装文件所在文件夹的名称含有本机无法表示的字符，无法从这里安装 !\n\n"
    "请将安装文件移到名称只含中文、英文字母和数字的文件夹中（例如 C:\\KorvelSetup），"
    "再执行SetUp.exe !";

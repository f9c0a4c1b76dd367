#pragma once
// Control IDs of the setup dialog that the install run shows, hides or measures. The release
// check boxes are in ReleaseTable.
constexpr int kControlOk = 1;                 // "安装完成", shown only in the finished view
constexpr int kControlCancel = 2;
constexpr int kControlFolderEdit = 1000;
constexpr int kControlProgress = 1014;
constexpr int kControlBrowse = 1015;
constexpr int kControlComponentsPrompt = 1016;
constexpr int kControlFolderPrompt = 1017;
constexpr int kControlInstall = 1022;
constexpr int kControlFinishedText = 1023;
constexpr int kControlMenusPicture = 1024;

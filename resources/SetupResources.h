// Resource and control IDs of the setup program.
#pragma once

#define IDD_SETUP 141
#define IDB_LOGO 147
#define IDB_LOGO_2X 148   // the same at twice the size, for high display scaling
#define IDB_MENUS 152
#define IDB_MENUS_2X 153
#define IDI_APP 1
#define IDI_SMALL 128

#define IDC_FOLDER_EDIT 1000
#define IDC_TITLE 1013
#define IDC_PROGRESS 1014
#define IDC_BROWSE 1015
#define IDC_COMPONENTS_PROMPT 1016
#define IDC_FOLDER_PROMPT 1017
#define IDC_EDITION 1021
#define IDC_INSTALL 1022
#define IDC_FINISHED_TEXT 1023
#define IDC_MENUS_PICTURE 1024
#define IDC_LOGO 1025

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif

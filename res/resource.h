#pragma once

// Resource and control ids. The numbers are part of the program's interface: menus,
// dialogs and tests refer to them.

// Dialog templates
inline constexpr int IDD_ABOUTBOX = 100;
inline constexpr int IDD_DIRQUILL_DIALOG = 102;
inline constexpr int IDD_WORKDIR = 129;
inline constexpr int IDD_RENAME = 131;
inline constexpr int IDD_AGREEMENT = 134;

// Icon, menu and strings
inline constexpr int IDR_MAINFRAME = 128;
inline constexpr int IDR_MENU_COLUMNS = 130;
inline constexpr int IDS_ABOUTBOX = 101;

// Standard button ids and dialog results
inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;
inline constexpr int IDC_STATIC = -1;

// Controls
inline constexpr int IDC_LIST0 = 1000;
inline constexpr int IDC_LIST1 = 1001;
inline constexpr int IDC_LIST2 = 1002;
inline constexpr int IDC_EDIT_WORKDIR = 1003;
inline constexpr int IDC_EDIT_NAME = 1004;
inline constexpr int IDC_LIST3 = 1005;
inline constexpr int IDC_LIST4 = 1006;
inline constexpr int IDC_AGREEMENT_DOC = 1008;
inline constexpr int IDC_HELP_DOC = 1009;

// System-menu command of the About box
inline constexpr int IDM_ABOUTBOX = 0x0010;

// Window-menu commands
inline constexpr int SC_MINIMIZE = 0xF020;
inline constexpr int SC_MAXIMIZE = 0xF030;
inline constexpr int SC_CLOSE = 0xF060;
inline constexpr int SC_RESTORE = 0xF120;

// Menu commands
inline constexpr int ID_ADD_WORKDIR = 32771;
inline constexpr int ID_DELETE_WORKDIR = 32772;
inline constexpr int ID_NEWFOLDER1 = 32773;
inline constexpr int ID_DELETE1 = 32774;
inline constexpr int ID_RENAME1 = 32775;
inline constexpr int ID_NEWFOLDER2 = 32776;
inline constexpr int ID_RENAME2 = 32777;
inline constexpr int ID_DELETE2 = 32778;
inline constexpr int ID_NEWFOLDER3 = 32779;
inline constexpr int ID_NEWFOLDER4 = 32780;
inline constexpr int ID_DELETE3 = 32781;
inline constexpr int ID_DELETE4 = 32782;
inline constexpr int ID_RENAME3 = 32783;
inline constexpr int ID_RENAME4 = 32784;

// Identifiers of the resources of velmora.exe: dialog templates, controls, commands, strings,
// the icon and the menu. Shared by velmora.rc, the dialogs and the window tests.
#pragma once

// Dialog templates.
#define IDD_ABOUTBOX 100
#define IDD_MAIN 102
#define IDD_LOG 130

// Icon and menu.
#define IDI_MAIN 128
#define IDR_MAIN_MENU 131

// Strings.
#define IDS_ABOUTBOX 101
#define IDS_SETTINGS_FILTER 102
// The drop-down lists' entries, in list order (GNU windres has no DLGINIT).
#define IDS_REPLACE_FORMAT_HTML 200
#define IDS_REPLACE_FORMAT_TEXT 201
#define IDS_FIELD_SEPARATOR_CSV 202
#define IDS_FIELD_SEPARATOR_TSV 203
#define IDS_FIELD_BREAK_0A 204
#define IDS_FIELD_BREAK_0B 205
// Texts of the path pickers.
#define IDS_ALL_FILES_FILTER 206
#define IDS_BROWSE_FOLDER_TITLE 207
// Error boxes of the settings import and export: %1 the file, %2 the system's reason.
#define IDS_SETTINGS_LOAD_FAILED 208
#define IDS_SETTINGS_SAVE_FAILED 209
// The reason of the import's error box for a file without settings.
#define IDS_SETTINGS_NO_SECTION 210
// The box at the start for a settings file that could not be read: %1 the file, %2 the reason.
#define IDS_SETTINGS_START_FAILED 211
// The question before a run about its files: one line per finding (%1 the file, %2 the code page
// the window reads), then whether to run all the same.
#define IDS_RUN_FILE_UTF8 212
#define IDS_RUN_INPUT_LF_ONLY 213
#define IDS_RUN_ANYWAY 214
// The offer of the log after a run in which files could not be written: %1 how many.
#define IDS_RUN_FILES_FAILED 215

// Controls of the main window.
#define IDC_TEMPLATE 1000
#define IDC_INPUT 1001
#define IDC_OUTPUT 1002
#define IDC_REPLACE_LEAD 1003
#define IDC_REPLACE_FORMAT 1005
#define IDC_RULE_LEAD 1006
#define IDC_FIELD_SEPARATOR 1012
#define IDC_FIELD_BREAK 1013
#define IDC_RULE_TAIL 1014
#define IDC_RULE_FIELD 1015
#define IDC_RULE_RECORD 1016
#define IDC_RULE_NUMBER 1017
#define IDC_REPLACE_TAIL 1019
#define IDC_BROWSE_TEMPLATE 1020
#define IDC_BROWSE_INPUT 1021
#define IDC_BROWSE_OUTPUT 1022
#define IDC_RULE_NUMBER_SPIN 1025
#define IDC_RUN 1027
#define IDC_REPLACE_DEFAULT 1030
#define IDC_STATUS 1031

// Control of the log window.
#define IDC_LOG_TEXT 1033

// Commands.
#define IDM_ABOUTBOX 0x0010
#define ID_SETTINGS_LOAD 32771
#define ID_SETTINGS_SAVE 32772
#define ID_HELP_README 32773
#define ID_VIEW_LOG 32774

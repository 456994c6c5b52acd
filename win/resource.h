// Resource and command identifiers of the Windows program: dialog
// templates, controls, icons, the toolbar and its commands, strings.
#pragma once

#define IDD_ABOUT 100
#define IDS_ABOUT_MENU 101
#define IDD_MAIN 102
#define IDI_APP_ICON 128
#define IDR_TOOLBAR 129
#define IDI_TB_OPEN 131
#define IDI_TB_SAVE 132
#define IDI_TB_PRINT 133
#define IDI_TB_UPLOAD 134
#define IDI_TB_ABOUT 137
#define IDI_TB_EXIT 138
#define IDD_UPLOAD 140

// Main window.
#define IDC_PATH 1000
#define IDC_OPEN 1001
#define IDC_DIVIDER 1002
#define IDC_PIN_LIST 1003

// Upload Data dialog.
#define IDC_REFRESH_DEV 1001
#define IDC_DEVICE_TEXT 1002
#define IDC_UPLOAD_PROGRESS 1004
#define IDC_UPLOAD_DATA 1005
#define IDC_UPLOAD_CANCEL 1006

// Toolbar commands; the file commands' prompt strings share their ids.
#define ID_TB_OPEN 32771
#define ID_TB_SAVE 32772
#define ID_TB_PRINT 32773
#define ID_TB_UPLOAD 32774
#define ID_TB_ABOUT 32777
#define ID_TB_EXIT 32778

// The About entry appended to the main window's system menu.
#define ID_SYS_ABOUT 0x0010

// Ids of the control bars.
#define IDW_TOOLBAR 0xE800
#define IDW_STATUS_BAR 0xE801

// The toolbar resource type.
#define RT_TOOLBAR_RESOURCE 241

// Resource ids shared by the resource scripts and the code.
#pragma once

#define IDM_ABOUTBOX 0x0010
#define IDD_ABOUTBOX 100
#define IDS_ABOUTBOX 101
#define IDD_PATCH_VELTRIS5V13_DIALOG 102
#define IDR_MAINFRAME 128
#define IDB_CHECKBOXES 180
#define IDC_PROGRESS1 1000
#define IDC_LIST1 1008
#define IDC_WELCOME 1009

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif

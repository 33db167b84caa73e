#pragma once
// Ids of Shuttle's resources and dialog controls, shared by shuttle.rc and the C++ code.
// Plain macros, because the resource compiler reads this file too.

// Dialogs
#define IDD_OLD_MAIN_DIALOG 101  // older layout, kept but never loaded
#define IDD_MAIN_DIALOG 102

// Menus and their commands
#define IDR_TRAY_MENU 135
#define IDM_TRAY_EXIT 32776
#define IDM_TRAY_OPEN 32777
#define IDM_TRAY_START_WITH_WINDOWS 32778

// Icons
#define IDI_COPY_READY 136   // clipboard with a blue sheet; also the window's icon
#define IDI_IDLE 138         // the same clipboard in grey
#define IDI_COPY_FAILED 150  // red square with a cross
#define IDI_COPY_DONE 155    // blue square with a tick
#define IDI_PASTE_READY 160  // clipboard with a yellow sheet

// Controls of the main dialog
#define IDC_LINK_SELECTOR 1010
#define IDC_LINK_BUTTON 1011
#define IDC_SIZE_SELECTOR 1012
#define IDC_SHOW_NOTIFICATIONS 1013
#define IDC_PLAY_SOUND 1014
#define IDC_LOGO 1015
#define IDC_START_IN_TRAY 1016
#define IDC_OK 1017
#define IDC_VERSION_TEXT 1019
#define IDC_WEB_LINK 1030
#define IDC_STATUS_TEXT 1032
#define IDC_ENABLE_LOGGING 1033  // older layout only
#define IDC_MODE_COM 1034
#define IDC_MODE_USB 1035
#define IDC_SIZE_FRAME 1036
#define IDC_COM_OPTIONS_FRAME 1037
#define IDC_USB_OPTIONS_FRAME 1040

#pragma once
// Ids of the program's resources, shared by norvane.rc and the program's code.

#ifndef IDC_STATIC
#define IDC_STATIC (-1) // a control the code never looks up
#endif

// Strings
#define IDS_APP_TITLE 102 // "Norvane": the main window's title

// Dialog templates of the main window's pages
#define IDD_FIRST_PAGE 103 // page 0: the folder to scan
#define IDD_PAGE02 104     // page 1: scanning
#define IDD_PAGE03 105     // page 3: protected folders
#define IDD_PAGE_LOG 142   // page 2: the log

// Icons and bitmaps
#define IDR_MAINFRAME 128   // the program's icon
#define IDB_HEADER 129      // the wizard header picture, 50 x 50
#define IDI_TRAY_IDLE 144   // notification area: folders protected, nothing to do
#define IDI_TRAY_INWORK 145 // notification area: a photo is being secured
#define IDI_TRAY_START 146  // notification area: the program is starting
#define IDR_SCANNING_GIF 148 // the scanning page's animation, resource type "GIF"

// The notification area's menu (its first submenu) and its commands, which
// the main window takes
#define IDR_TRAY_MENU 131
#define ID_STOP_MONITOR_AND_EXIT 32783  // ask, then stop protecting and end
#define ID_OPEN_FOLDER_PAGE 32784       // the main window on the folder page
#define ID_OPEN_PROTECTED_FOLDERS 32785 // the main window on the protected folders
#define ID_OPEN_LOG 32790               // the main window on the log
#define ID_CHECK_FOR_NEW_VERSION 32791  // ask the update server

// Controls of the folder page (IDD_FIRST_PAGE)
#define IDC_BROWSE 1000 // "Browse ..."
#define IDC_FOLDER 1004 // the folder to scan
#define IDC_FULL_SCAN 1012 // check every photo, also those known to need nothing

// Controls of the scanning page (IDD_PAGE02)
#define IDC_PROGRESS 1002  // hidden; receives the scan's range and position
#define IDC_COUNTERS 1009  // four numbers, one a line
#define IDC_ANIMATION 1011 // the animated picture

// Controls of the protected folders page (IDD_PAGE03)
#define IDC_PROTECT_FOLDER 1000   // "Protect this folder"
#define IDC_PROTECTED_LIST 1005   // the protected folders
#define IDC_STOP_PROTECTING 1006  // "Stop protecting selected folder"
#define IDC_FOLDER_FOR_SCAN 1010  // the folder last chosen for scanning

// Controls of the log page (IDD_PAGE_LOG)
#define IDC_LOG_FRAME 1016 // hidden; marks where the log view goes

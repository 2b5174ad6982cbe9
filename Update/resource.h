// Resource and control ids of the launcher, shared by the code and Update.rc.
#ifndef UPDATE_RESOURCE_H
#define UPDATE_RESOURCE_H

#define IDD_MAIN 102        // the launcher window
#define IDI_MAIN 128        // window icon, also drawn while minimized
#define IDD_HTMLHELP 138    // the readme dialog
#define IDB_BACKGROUND 140  // background picture, 180 by 324, 24 bits

// Controls of the launcher window (2 is IDCANCEL: Exit / Cancel).
#define IDC_MESSAGE 1005  // "Please insert" text of the insert-CD layout
#define IDC_INSTALL 1001  // "Install &Game"
#define IDC_PATCH 4       // "Run &Patch"
#define IDC_README 3      // "&Readme" / "&Retry"

// Controls of the readme dialog.
#define IDC_BROWSER 1006  // the WebBrowser control

#endif

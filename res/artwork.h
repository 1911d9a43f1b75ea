#pragma once
// Bitmap resources of the window and its widgets (drawn by scripts/make-artwork).
// Button captions are part of the pictures.

// Main window.
#define IDB_CLOSE 130           // close cross, title band
#define IDB_CANCEL 131          // cancel
#define IDB_PAUSE_RUNNING 132   // pause button while the download runs
#define IDB_LAUNCH_WAITING 133  // launch button before the package is ready
#define IDB_LAUNCH_READY 134    // launch button once the package is ready
#define IDB_PAUSE_PAUSED 135    // pause button while paused
#define IDB_MAIN_BACKGROUND 148

// Message dialog.
#define IDB_DIALOG_BACKGROUND 137
#define IDB_DIALOG_CLOSE 138
#define IDB_BUTTON_NO 139
#define IDB_BUTTON_YES 142
#define IDB_BUTTON_OK 146

// Progress bar.
#define IDB_PROGRESS_FILL 144
#define IDB_PROGRESS_TRACK 145

#pragma once
// Resource numbers of the program, shared by halvora.rc and the code. The
// program refers to every resource by number; the configuration
// resources are custom types named by text.

// Configuration, written into each copy by halvora-stamp.
#define IDR_APPID 143        // type "APPID": the application id, raw ASCII
#define IDR_SERVER_INFO 147  // type "SERVER_INFO": host[:port], raw ASCII
#define IDR_PUBLISHER 149    // type "PUBLISHER": pinned publishers, raw ASCII (stamped only)

#define IDI_HALVORA 128      // program icon
#define IDC_HAND_CURSOR 129  // picture buttons' hand cursor

// Dialog templates.
#define IDD_HALVORA_DIALOG 102   // main window
#define IDD_MESSAGE_DIALOG 103   // notice and question
#define IDD_MASK_DIALOG 104      // dimming layer under the question
#define IDD_PROGRESS_DIALOG 105  // progress bar

#define IDC_SPEED_LABEL 1001  // speed text on the main window

// The applet's one process-wide record and its identifiers.
#ifndef MIVO_APP_STATE_H
#define MIVO_APP_STATE_H

#include "platform/platform_ops.h"
#include "resources/resource.h"

// Menu commands. WM_COMMAND compares wParam & 0xFFF0 with these, so each
// answers to sixteen identifiers.
#define IDM_OPEN 0xEFB0
#define IDM_QUICKHELP 0xEFC0
#define IDM_CLOSE 0xEFD0
#define IDM_ABOUT 0xEFE0
#define IDM_PERMANENT 0xEFF0
#define IDM_COMMAND_MASK 0xFFF0

// The notification icon's callback message. Its identifier comes from the
// text logic (MakeIconId).
#define WM_ICONNOTIFY (WM_USER + 1)

// IDI_PROGRAM, the program's own icon, comes with the resource identifiers.

// The record sizes a 32-bit build passes: the original notification-icon
// record and the message-box record.
#define NOTIFYICONDATA_SIZE_32 88
#define MSGBOXPARAMS_SIZE_32 40

// Exit codes. 0 is the orderly end through Close.
#define EXIT_CLOSED 0
#define EXIT_TAIL_TOO_LONG 2 // tail longer than MAX_PATH - 1: refused
#define EXIT_NO_WINDOW 3     // class or hidden window could not be made
#define EXIT_LOOP_FAILED 4   // GetMessageA reported an error

typedef struct tagAPPSTATE {
    HINSTANCE hInstance;          // the module, as WinMain received it
    HWND hWnd;                    // the hidden window
    HICON hExtractedIcon;         // as ExtractIconExA gave it; destroyed at once
    HICON hIcon;                  // the icon in the tray; ours to destroy
    NOTIFYICONDATAA nid;          // the tray record, kept for the deletion
    HMENU hMenu;                  // the pop-up menu
    char szTarget[MAX_PATH];      // the target, alone at the start of the tail
    LPCSTR pszArguments;          // the target's arguments, in szTarget; "" without
    char szCommandTail[MAX_PATH]; // the tail, verbatim, for the Run value
    char szIconSource[MAX_PATH];  // the file the icon is taken from
    char szValueName[MAX_PATH];   // "Mivo " + display name
    BOOL bPermanent;              // Run value there and not turned off, when last looked at
    UINT uTaskbarCreated;         // the shell's "TaskbarCreated" message, 0 if unknown
    BOOL bComTried;               // COM set up (or found missing) for the shell
    BOOL bMenuShown;              // the menu is open: no second one over it
} APPSTATE;

extern APPSTATE AppState;

#endif // MIVO_APP_STATE_H

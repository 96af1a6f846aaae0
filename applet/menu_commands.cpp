// The pop-up menu and its commands.
#include "applet/applet.h"
#include "autostart/autostart.h"

// Lines are joined by a line feed and a carriage return, in that order.
const char szQuickHelpText[] =
    "*Mivo quick help*\n\r"
    "\n\r"
    "Syntax: Mivo <filename>[,<iconfile>[#no]]\n\r"
    "-where:\n\r"
    "    <filename> means the file you want on the Win95 mivo,\n\r"
    "    including the path, ex. 'C:\\EXCEL5\\EXCEL.EXE'\n\r"
    "\n\r"
    "    Optinally, <iconfile> is the file containing the\n\r"
    "    icon you want to use for the program (if not included, Mivo will\n\r"
    "    use the program's icon, if any, or it's own). You can also\n\r"
    "    specify what icon to use.\n\r"
    "\n\r"
    "Please see the file Mivo help.txt for more details...";
const char szQuickHelpCaption[] = "Mivo quick help";

const char szAboutText[] = "Mivo 2.0\n\r"
                           "\n\r"
                           "Keeps one program or document in the taskbar's notification area.\n\r"
                           "Press the icon with the left button, or choose Open, to open it;\n\r"
                           "press it with the right button for this menu.\n\r"
                           "\n\r"
                           "Made by The Mivo developers.\n\r"
                           "Contact: the Mivo project's issue tracker.";
const char szAboutCaption[] = "Mivo 2.0";

void CreateContextMenu(void)
{
    AppState.hMenu = CreatePopupMenu();
}

void AppendMenuItems(void)
{
    // Open comes first and in bold: the keyboard's way to the target.
    AppendMenuA(AppState.hMenu, MF_STRING, IDM_OPEN, "&Open");
    AppendMenuA(AppState.hMenu, MF_STRING, IDM_ABOUT, "&About...");
    AppendMenuA(AppState.hMenu, MF_STRING, IDM_QUICKHELP, "&Quick help...");
    AppendMenuA(AppState.hMenu, MF_SEPARATOR, 0, "");
    AppendMenuA(AppState.hMenu, MF_STRING, IDM_PERMANENT, "Permanent");
    AppendMenuA(AppState.hMenu, MF_STRING, IDM_CLOSE, "&Close");
    SetMenuDefaultItem(AppState.hMenu, IDM_OPEN, FALSE);
}

void ShowContextMenu(void)
{
    POINT pt = {0, 0};

    // Some shells send Enter's press twice, the second while the menu is
    // open: one menu is enough.
    if (AppState.bMenuShown)
        return;
    AppState.bMenuShown = TRUE;
    // Unless our window is in the foreground, the menu does not close when
    // the user clicks elsewhere.
    SetForegroundWindow(AppState.hWnd);
    GetCursorPos(&pt);
    TrackPopupMenu(AppState.hMenu, TPM_LEFTALIGN | TPM_RIGHTBUTTON, pt.x, pt.y, 0, AppState.hWnd,
                   NULL);
    AppState.bMenuShown = FALSE;
    // A message after the menu, so that the next one opens properly too.
    PostMessageA(AppState.hWnd, WM_USER, 0, 0);
}

static void ShowQuickHelp(void)
{
    MessageBoxA(NULL, szQuickHelpText, szQuickHelpCaption,
                MB_OK | MB_ICONQUESTION | MB_SYSTEMMODAL);
}

static void ShowAbout(void)
{
    MSGBOXPARAMSA mbp;
    mbp.cbSize = MSGBOXPARAMS_SIZE_32;
    mbp.hwndOwner = NULL;
    mbp.hInstance = AppState.hInstance;
    mbp.lpszText = szAboutText;
    mbp.lpszCaption = szAboutCaption;
    mbp.dwStyle = MB_OK | MB_USERICON;
    mbp.lpszIcon = MAKEINTRESOURCEA(IDI_PROGRAM);
    mbp.dwContextHelpId = 0;
    mbp.lpfnMsgBoxCallback = NULL;
    mbp.dwLanguageId = MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT);
    MessageBoxIndirectA(&mbp);
}

// The one teardown: Close, a request to close the window, the end of the
// session, and the message loop's error exit.
void CloseApplet(void)
{
    // DestroyWindow takes the window's timers, a retry's among them.
    RemoveNotifyIcon();
    DestroyMenu(AppState.hMenu);
    DestroyWindow(AppState.hWnd);
}

// The orderly end: the teardown, and exit code 0.
void EndApplet(void)
{
    CloseApplet();
    PostQuitMessage(EXIT_CLOSED);
}

LRESULT OnCommand(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (wParam & IDM_COMMAND_MASK) {
    case IDM_OPEN:
        LaunchTarget(hwnd);
        break;
    case IDM_QUICKHELP:
        ShowQuickHelp();
        break;
    case IDM_CLOSE:
        EndApplet();
        break;
    case IDM_ABOUT:
        ShowAbout();
        break;
    case IDM_PERMANENT:
        ToggleAutostart();
        return 0;
    }
    // After Close, hwnd is already destroyed; the default procedure takes
    // that.
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

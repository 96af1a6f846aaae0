// The hidden window: its class, its creation and its procedure.
#include "applet/applet.h"
#include "autostart/autostart.h"

void CreateMainWindow(HINSTANCE hInstance)
{
    WNDCLASSA wc;
    wc.style = 0;
    wc.lpfnWndProc = MainWindowProc;
    wc.cbClsExtra = 0;
    wc.cbWndExtra = 0;
    wc.hInstance = hInstance;
    wc.hIcon = NULL;
    wc.hCursor = LoadCursorA(NULL, IDC_ARROW);
    wc.hbrBackground = (HBRUSH)GetStockObject(LTGRAY_BRUSH);
    wc.lpszMenuName = NULL;
    wc.lpszClassName = MAIN_CLASS_NAME;
    RegisterClassA(&wc);

    // Never shown: it only receives the icon's messages and the menu's
    // commands.
    AppState.hWnd = CreateWindowExA(0, MAIN_CLASS_NAME, MAIN_WINDOW_TITLE, WS_OVERLAPPED,
                                    CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                                    NULL, NULL, AppState.hInstance, NULL);
}

static void OnCreate(HWND hwnd)
{
    AppState.hWnd = hwnd;
    CreateContextMenu();
    InstallNotifyIcon();
    AppendMenuItems();
}

static void OnIconNotify(HWND hwnd, LPARAM lParam)
{
    // Only presses act; releases, moves and double clicks do nothing.
    if (lParam == WM_LBUTTONDOWN)
        LaunchTarget(hwnd);
    else if (lParam == WM_RBUTTONDOWN)
        ShowContextMenu();
}

static LRESULT OnInitMenuPopup(HMENU hMenu)
{
    if (hMenu != AppState.hMenu)
        return -1;
    RefreshPermanentCheck();
    return 0;
}

LRESULT CALLBACK MainWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE:
        OnCreate(hwnd);
        return 0;
    case WM_ICONNOTIFY:
        OnIconNotify(hwnd, lParam);
        return 0;
    case WM_INITMENUPOPUP:
        return OnInitMenuPopup((HMENU)wParam);
    case WM_COMMAND:
        return OnCommand(hwnd, message, wParam, lParam);
    case WM_CLOSE:
        // What taskkill, installers and shutdown helpers send: end as Close
        // does, not as a process with no window and a dead icon.
        EndApplet();
        return 0;
    case WM_ENDSESSION:
        // Installers that restart programs end the session of each one;
        // TRUE means it really ends.
        if (wParam)
            EndApplet();
        return 0;
    }
    if (message == WM_TIMER && wParam == IDT_ICON_RETRY) {
        RetryNotifyIcon();
        return 0;
    }
    if (message == AppState.uTaskbarCreated && AppState.uTaskbarCreated != 0) {
        AddNotifyIcon();
        return 0;
    }
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

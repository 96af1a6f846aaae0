// The notification icon and the launch of the target.
#include "applet/applet.h"
#include "logic/target_description.h"
#include "logic/text_ops.h"

void InstallNotifyIcon(void)
{
    char szWork[MAX_PATH];
    char* pszDisplayName = DeriveDisplayName(AppState.szTarget, AppState.pszArguments, szWork);

    AppState.nid.cbSize = NOTIFYICONDATA_SIZE_32;
    AppState.nid.hWnd = AppState.hWnd;
    AppState.nid.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    AppState.nid.uCallbackMessage = WM_ICONNOTIFY;
    AppState.nid.hIcon = AppState.hIcon;
    MakeTipText(pszDisplayName, AppState.nid.szTip);
    AddNotifyIcon();

    MakeAutostartValueName(pszDisplayName, AppState.szValueName);
}

// At logon the taskbar is often not ready yet, and a refusal then is "not
// yet", not "never": without its icon Mivo could be neither used nor
// closed. So the icon is offered again on a timer until the shell takes it.
// A new taskbar also comes here: it has none of the old icons.
void AddNotifyIcon(void)
{
    if (!Shell_NotifyIconA(NIM_ADD, &AppState.nid))
        SetTimer(AppState.hWnd, IDT_ICON_RETRY, ICON_RETRY_MS, NULL);
}

// A shell that timed out may have added the icon all the same: change it
// if it is there, add it if not. Once it is there, no timer costs time.
void RetryNotifyIcon(void)
{
    if (Shell_NotifyIconA(NIM_MODIFY, &AppState.nid) || Shell_NotifyIconA(NIM_ADD, &AppState.nid))
        KillTimer(AppState.hWnd, IDT_ICON_RETRY);
}

void RemoveNotifyIcon(void)
{
    Shell_NotifyIconA(NIM_DELETE, &AppState.nid);
}

void LaunchTarget(HWND hwnd)
{
    char szDirectory[MAX_PATH];
    UINT cchDirectory = GetWindowsDirectoryA(szDirectory, MAX_PATH);

    PrepareCom();
    // Windows may live in C:\WINNT or on another drive, and nothing starts
    // in a folder that does not exist.
    if (cchDirectory == 0 || cchDirectory >= MAX_PATH)
        TextCopy(szDirectory, LAUNCH_DIRECTORY_FALLBACK, MAX_PATH);
    ShellExecuteA(hwnd, NULL, AppState.szTarget, *AppState.pszArguments ? AppState.pszArguments : NULL,
                  szDirectory, SW_SHOWNORMAL);
    // Swallows the presses of an impatient user while the target starts.
    Sleep(LAUNCH_PAUSE_MS);
}

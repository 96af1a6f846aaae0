// The notification icon and the launch of the target.
#include "applet/applet.h"
#include "logic/target_description.h"
#include "logic/text_ops.h"

void InstallNotifyIcon(void)
{
    char szWork[MAX_PATH];
    char* pszDisplayName = DeriveDisplayName(AppState.szTarget, szWork);

    AppState.nid.cbSize = NOTIFYICONDATA_SIZE_32;
    AppState.nid.hWnd = AppState.hWnd;
    AppState.nid.uID = ICON_UID;
    AppState.nid.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    AppState.nid.uCallbackMessage = WM_ICONNOTIFY;
    AppState.nid.hIcon = AppState.hIcon;
    MakeTipText(pszDisplayName, AppState.nid.szTip);
    Shell_NotifyIconA(NIM_ADD, &AppState.nid);

    MakeAutostartValueName(pszDisplayName, AppState.szValueName);
}

// A new taskbar has none of the old icons: add ours again, as it was.
void ReinstallNotifyIcon(void)
{
    Shell_NotifyIconA(NIM_ADD, &AppState.nid);
}

void RemoveNotifyIcon(void)
{
    Shell_NotifyIconA(NIM_DELETE, &AppState.nid);
}

void LaunchTarget(HWND hwnd)
{
    char szDirectory[MAX_PATH];
    UINT cchDirectory = GetWindowsDirectoryA(szDirectory, MAX_PATH);

    // Windows may live in C:\WINNT or on another drive, and nothing starts
    // in a folder that does not exist.
    if (cchDirectory == 0 || cchDirectory >= MAX_PATH)
        TextCopy(szDirectory, LAUNCH_DIRECTORY_FALLBACK, MAX_PATH);
    ShellExecuteA(hwnd, NULL, AppState.szTarget, NULL, szDirectory, SW_SHOWNORMAL);
    // Swallows the presses of an impatient user while the target starts.
    Sleep(LAUNCH_PAUSE_MS);
}

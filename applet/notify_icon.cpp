// The notification icon and the launch of the target.
#include <string.h>

#include "applet/applet.h"
#include "logic/target_description.h"

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
    // The shell reads 64 bytes of tip from the 88-byte record: a longer
    // display name is cut to its first 63 characters.
    AppState.nid.szTip[0] = '\0';
    strncat(AppState.nid.szTip, pszDisplayName, TIP_CAPACITY - 1);
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
    ShellExecuteA(hwnd, NULL, AppState.szTarget, NULL, LAUNCH_DIRECTORY, SW_SHOWNORMAL);
    // Swallows the presses of an impatient user while the target starts.
    Sleep(LAUNCH_PAUSE_MS);
}

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

typedef HRESULT(WINAPI* COINITIALIZEEX)(LPVOID pvReserved, DWORD dwCoInit);
typedef HRESULT(WINAPI* COINITIALIZE)(LPVOID pvReserved);

// The shell may hand a launch to COM components (the handlers of many
// document types), which need the calling thread in a single-threaded
// apartment. OLE32 is looked for only now, so that start-up stays as
// light as it was and Windows 95 without OLE32 still starts Mivo; where the
// function is missing, the launch goes ahead without it.
static void PrepareComForLaunch(void)
{
    if (AppState.bComTried)
        return;
    AppState.bComTried = TRUE;
    HMODULE hOle = LoadLibraryA("OLE32");
    if (hOle == NULL)
        return;
    FARPROC pfn = GetProcAddress(hOle, "CoInitializeEx");
    if (pfn != NULL)
        ((COINITIALIZEEX)(void*)pfn)(NULL, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    else if ((pfn = GetProcAddress(hOle, "CoInitialize")) != NULL)
        ((COINITIALIZE)(void*)pfn)(NULL);
    // OLE32 stays loaded: the apartment lives as long as the thread.
    // cppcheck-suppress resourceLeak
}

void LaunchTarget(HWND hwnd)
{
    char szDirectory[MAX_PATH];
    UINT cchDirectory = GetWindowsDirectoryA(szDirectory, MAX_PATH);

    PrepareComForLaunch();
    // Windows may live in C:\WINNT or on another drive, and nothing starts
    // in a folder that does not exist.
    if (cchDirectory == 0 || cchDirectory >= MAX_PATH)
        TextCopy(szDirectory, LAUNCH_DIRECTORY_FALLBACK, MAX_PATH);
    ShellExecuteA(hwnd, NULL, AppState.szTarget, NULL, szDirectory, SW_SHOWNORMAL);
    // Swallows the presses of an impatient user while the target starts.
    Sleep(LAUNCH_PAUSE_MS);
}

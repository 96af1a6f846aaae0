// Start-up, the icon choice, the message loop and the end of the process.
#include "applet/applet.h"
#include "logic/target_description.h"
#include "logic/text_ops.h"

typedef HRESULT(WINAPI* COINITIALIZEEX)(LPVOID pvReserved, DWORD dwCoInit);
typedef HRESULT(WINAPI* COINITIALIZE)(LPVOID pvReserved);

// The shell hands some of its work to COM components (a shortcut's
// picture, the handlers of many document types), which need the calling
// thread in a single-threaded apartment. OLE32 is looked for only when the
// shell is first asked for such work, so that start-up stays light and
// Windows 95 without OLE32 still runs Mivo; where the function is missing,
// the shell is asked all the same.
void PrepareCom(void)
{
    if (AppState.bComTried)
        return;
    AppState.bComTried = TRUE;
    // From the system folder, by its full path: by its name alone, it would
    // be looked for in the program's folder first.
    char szOle[MAX_PATH + sizeof "\\OLE32.DLL"];
    UINT cchSystem = GetSystemDirectoryA(szOle, MAX_PATH);
    if (cchSystem == 0 || cchSystem >= MAX_PATH)
        return;
    TextCopy(szOle + cchSystem, "\\OLE32.DLL", sizeof "\\OLE32.DLL");
    HMODULE hOle = LoadLibraryA(szOle);
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

// The icon comes from the program the shell names for the icon file (the
// file itself when it is a program). Without one, a target that names no
// icon file gets the picture the shell shows for it (a shortcut's, a
// folder's, a type's that no program claims); a named icon file keeps its
// program's icon or ours, so that a wrong number is never hidden. The tray
// draws small icons, so the small picture is taken: the file's own where
// it has one, sharp where the large one shrunk would be smudged.
static void ChooseIcon(const TargetSpec* spec)
{
    HICON hSmall = NULL;
    SHFILEINFOA sfi;
    FindExecutableA(spec->iconFile, NULL, AppState.szIconSource);
    UINT uTaken = ExtractIconExA(AppState.szIconSource, spec->iconIndex, NULL, &hSmall, 1);
    // Not every result is an icon. The count is 0 when no icon was taken
    // and UINT_MAX for a file that cannot be read; number -1 asks for the
    // count of icons (a system that takes it as resource 1 gives an icon,
    // destroyed with the rest).
    AppState.hExtractedIcon = hSmall;
    if (spec->iconIndex != -1 && uTaken != 0 && uTaken != UINT_MAX)
        AppState.hIcon = CopyIcon(AppState.hExtractedIcon);
    DestroyIcon(AppState.hExtractedIcon);
    // A missing file gives no picture here, and an empty target would give
    // a folder's: the user then sees our own icon.
    if (AppState.hIcon == NULL && spec->iconFile == AppState.szTarget &&
        AppState.szTarget[0] != '\0') {
        PrepareCom();
        if (SHGetFileInfoA(AppState.szTarget, 0, &sfi, sizeof sfi, SHGFI_ICON | SHGFI_SMALLICON))
            AppState.hIcon = sfi.hIcon;
    }
    if (AppState.hIcon == NULL)
        AppState.hIcon =
            (HICON)LoadImageA(AppState.hInstance, MAKEINTRESOURCEA(IDI_PROGRAM), IMAGE_ICON,
                              GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0);
}

#ifndef MSGFLT_ADD
#define MSGFLT_ADD 1
#endif
typedef BOOL(WINAPI* CHANGEWINDOWMESSAGEFILTER)(UINT message, DWORD dwFlag);

// From Windows Vista on, an elevated Mivo (the one that may set Permanent)
// gets no broadcast from the shell unless it lets the message in. Earlier
// systems have no such filter, and no function for it.
static void AllowShellMessage(UINT message)
{
    HMODULE hUser = GetModuleHandleA("USER32");
    FARPROC pfn = hUser ? GetProcAddress(hUser, "ChangeWindowMessageFilter") : NULL;
    if (pfn != NULL && message != 0)
        ((CHANGEWINDOWMESSAGEFILTER)(void*)pfn)(message, MSGFLT_ADD);
}

typedef BOOL(WINAPI* SETDEFAULTDLLDIRECTORIES)(DWORD DirectoryFlags);
typedef BOOL(WINAPI* SETDLLDIRECTORYA)(LPCSTR lpPathName);

// Windows looks for a DLL that is not one of its known DLLs in the
// program's folder first, and Mivo may be run from Downloads, where a web
// page can leave a file of any name. The system DLLs that Mivo calls load
// others late, for pictures, the launch and the menu: from here on these
// come from the system folder alone (Windows 8 on, Vista and 7 updated),
// or at least not from the current folder (XP SP1 on). Earlier systems
// have neither function.
static void LimitDllSearch(void)
{
    HMODULE hKernel = GetModuleHandleA("KERNEL32");
    FARPROC pfn = GetProcAddress(hKernel, "SetDefaultDllDirectories");
    if (pfn != NULL)
        ((SETDEFAULTDLLDIRECTORIES)(void*)pfn)(LOAD_LIBRARY_SEARCH_SYSTEM32);
    else if ((pfn = GetProcAddress(hKernel, "SetDllDirectoryA")) != NULL)
        ((SETDLLDIRECTORYA)(void*)pfn)("");
}

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPSTR lpCmdLine, int nCmdShow)
{
    (void)hPrevInstance;
    (void)nCmdShow;
    char szIconBuffer[ICON_BUFFER_SIZE];
    MSG msg;
    BOOL bResult;
    int nExitCode;

    LimitDllSearch();
    AppState.hInstance = hInstance;
    if (lpCmdLine == NULL)
        lpCmdLine = (LPSTR) "";
    // A tail that does not fit the target buffer is refused rather than
    // cut: a cut tail would open, and at logon start, something else.
    if (!TextFits(lpCmdLine, MAX_PATH))
        return EXIT_TAIL_TOO_LONG;
    TextCopy(AppState.szCommandTail, lpCmdLine, MAX_PATH);
    TextCopy(AppState.szTarget, lpCmdLine, MAX_PATH);
    TargetSpec spec = ParseCommandTail(AppState.szTarget, szIconBuffer);
    // Taken while the icon file and number are at hand; the rest of the
    // tray record is filled when the window exists.
    AppState.nid.uID = MakeIconId(&spec);

    ChooseIcon(&spec);
    // The shell announces a new taskbar with this message; the icon is then
    // added again. 0 means the shell does not know it.
    AppState.uTaskbarCreated = RegisterWindowMessageA("TaskbarCreated");
    AllowShellMessage(AppState.uTaskbarCreated);
    CreateMainWindow(hInstance);
    if (AppState.hWnd == NULL) {
        // Without the window there would be no icon and no Close to end the
        // loop with.
        UnregisterClassA(MAIN_CLASS_NAME, hInstance);
        DestroyIcon(AppState.hIcon);
        return EXIT_NO_WINDOW;
    }

    nExitCode = EXIT_LOOP_FAILED;
    while ((bResult = GetMessageA(&msg, NULL, 0, 0)) != 0) {
        if (bResult == -1) {
            CloseApplet();
            break;
        }
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    if (bResult == 0)
        nExitCode = (int)msg.wParam;

    UnregisterClassA(MAIN_CLASS_NAME, hInstance);
    DestroyIcon(AppState.hIcon);
    return nExitCode;
}

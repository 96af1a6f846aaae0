// Start-up, the icon choice, the message loop and the end of the process.
#include "applet/applet.h"
#include "logic/target_description.h"
#include "logic/text_ops.h"

// The icon comes from the program the shell names for the icon file (the
// file itself when it is a program); without one, our own icon is shown.
static void ChooseIcon(const TargetSpec* spec)
{
    FindExecutableA(spec->iconFile, NULL, AppState.szIconSource);
    HICON hExtracted = ExtractIconA(AppState.hInstance, AppState.szIconSource, (UINT)spec->iconIndex);
    // Not every result is an icon: number -1 asks for the count of icons,
    // and 1 says that the file holds none.
    if (spec->iconIndex == -1 || hExtracted == (HICON)1)
        hExtracted = NULL;
    AppState.hExtractedIcon = hExtracted;
    AppState.hIcon = CopyIcon(AppState.hExtractedIcon);
    DestroyIcon(AppState.hExtractedIcon);
    if (AppState.hIcon == NULL)
        AppState.hIcon = LoadIconA(AppState.hInstance, MAKEINTRESOURCEA(IDI_PROGRAM));
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
    HMODULE hUser = GetModuleHandleA("USER32.DLL");
    FARPROC pfn = hUser ? GetProcAddress(hUser, "ChangeWindowMessageFilter") : NULL;
    if (pfn != NULL && message != 0)
        ((CHANGEWINDOWMESSAGEFILTER)(void*)pfn)(message, MSGFLT_ADD);
}

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPSTR lpCmdLine, int nCmdShow)
{
    (void)hPrevInstance;
    (void)nCmdShow;
    char szIconBuffer[ICON_BUFFER_SIZE];
    MSG msg;
    BOOL bResult;
    int nExitCode;

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

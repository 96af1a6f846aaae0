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

// A registry value's text, environment variables expanded (a DefaultIcon
// is often REG_EXPAND_SZ, and an unexpanded %SystemRoot% names no file),
// into buffer (MAX_PATH bytes); FALSE, with "", without one.
static BOOL ReadRegistryText(HKEY hRoot, LPCSTR pszKey, LPCSTR pszValue, char* pszBuffer)
{
    HKEY hKey;
    char szRaw[MAX_PATH];
    DWORD cbRaw = sizeof szRaw - 1;
    pszBuffer[0] = '\0';
    if (RegOpenKeyExA(hRoot, pszKey, 0, KEY_QUERY_VALUE, &hKey) != ERROR_SUCCESS)
        return FALSE;
    if (RegQueryValueExA(hKey, pszValue, NULL, NULL, (BYTE*)szRaw, &cbRaw) == ERROR_SUCCESS) {
        szRaw[cbRaw] = '\0'; // a value stored without its NUL
        // 0 is a failure, more than the buffer a text that did not fit.
        if (ExpandEnvironmentStringsA(szRaw, pszBuffer, MAX_PATH) - 1 >= MAX_PATH)
            pszBuffer[0] = '\0';
    }
    RegCloseKey(hKey);
    return pszBuffer[0] != '\0';
}

#define URL_ASSOCIATIONS "Software\\Microsoft\\Windows\\Shell\\Associations\\UrlAssociations\\"

// An address shows the icon of the program that opens its scheme: the class
// the user chose in Settings (Windows 11 keeps the choice under
// UserChoiceLatest since 2025, Windows 8 to 11 under UserChoice), or the
// scheme's own; a choice that names no class is none. Under the class, its
// DefaultIcon, or else the program of its open command. The file goes into
// szIconSource ("" for none); gives the icon's number.
static int FindAddressIcon(size_t cchScheme)
{
    static const char* const apszChoice[] = {"\\UserChoiceLatest", "\\UserChoice", ""};
    char szScheme[MAX_PATH], szKey[MAX_PATH], szClass[MAX_PATH];
    HKEY hClass;
    int nIndex = 0;

    TextCopy(szScheme, AppState.szTarget, cchScheme + 1);
    for (const char* pszChoice : apszChoice) {
        TextCopy(szClass, szScheme, MAX_PATH);
        if (*pszChoice != '\0') {
            TextCopy(szKey, URL_ASSOCIATIONS, MAX_PATH);
            TextAppend(szKey, szScheme, MAX_PATH);
            TextAppend(szKey, pszChoice, MAX_PATH);
            ReadRegistryText(HKEY_CURRENT_USER, szKey, "ProgId", szClass);
        }
        if (szClass[0] != '\0' &&
            RegOpenKeyExA(HKEY_CLASSES_ROOT, szClass, 0, KEY_QUERY_VALUE, &hClass) == ERROR_SUCCESS) {
            if (ReadRegistryText(hClass, "DefaultIcon", NULL, AppState.szIconSource))
                nIndex = ParseIconLocation(AppState.szIconSource, FALSE);
            else if (ReadRegistryText(hClass, "shell\\open\\command", NULL, AppState.szIconSource))
                ParseIconLocation(AppState.szIconSource, TRUE);
            RegCloseKey(hClass);
            break;
        }
    }
    return nIndex;
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
    int nIndex = spec->iconIndex;
    // An address names no file: the program of its scheme gives the icon,
    // unless an icon file is named.
    size_t cchScheme = spec->iconFile == AppState.szTarget ? AddressScheme(AppState.szTarget) : 0;
    if (cchScheme != 0)
        nIndex = FindAddressIcon(cchScheme);
    else
        FindExecutableA(spec->iconFile, NULL, AppState.szIconSource);
    UINT uTaken = ExtractIconExA(AppState.szIconSource, nIndex, NULL, &hSmall, 1);
    // Not every result is an icon. The count is 0 when no icon was taken
    // and UINT_MAX for a file that cannot be read; number -1 asks for the
    // count of icons (a system that takes it as resource 1 gives an icon,
    // destroyed with the rest).
    AppState.hExtractedIcon = hSmall;
    if (nIndex != -1 && uTaken != 0 && uTaken != UINT_MAX)
        AppState.hIcon = CopyIcon(AppState.hExtractedIcon);
    DestroyIcon(AppState.hExtractedIcon);
    // A missing file gives no picture here, and an empty target would give
    // a folder's: the user then sees our own icon, as for an address whose
    // scheme no program claims.
    if (AppState.hIcon == NULL && spec->iconFile == AppState.szTarget &&
        AppState.szTarget[0] != '\0' && cchScheme == 0) {
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
    AppState.pszArguments = spec.arguments;
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

#include "autostart/autostart.h"

#include "logic/text_ops.h"

// The class string a newly created Run key gets. The parameter is not
// const in the Win32 declaration, but the call only reads it.
static const char szRunKeyClass[] = "REG_SZ";

static LSTATUS OpenRunKey(HKEY* phKey)
{
    DWORD dwDisposition;
    return RegCreateKeyExA(HKEY_LOCAL_MACHINE, AUTOSTART_KEY, 0, (LPSTR)szRunKeyClass,
                           REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, NULL, phKey, &dwDisposition);
}

// The value is only looked at, never read: whoever stored it, it counts.
static BOOL IsRunValuePresent(HKEY hKey)
{
    return RegQueryValueExA(hKey, AppState.szValueName, NULL, NULL, NULL, NULL) == ERROR_SUCCESS;
}

void RefreshPermanentCheck(void)
{
    HKEY hKey;
    // Looking needs no more than reading, which every user may: the mark is
    // then true also for those who may not change the key.
    BOOL bOpened =
        (RegOpenKeyExA(HKEY_LOCAL_MACHINE, AUTOSTART_KEY, 0, KEY_QUERY_VALUE, &hKey) == ERROR_SUCCESS);

    // When the key cannot be opened the mark keeps the last known state.
    if (bOpened)
        AppState.bPermanent = IsRunValuePresent(hKey);
    CheckMenuItem(AppState.hMenu, IDM_PERMANENT,
                  MF_BYCOMMAND | (AppState.bPermanent ? MF_CHECKED : MF_UNCHECKED));
    if (bOpened)
        RegCloseKey(hKey);
}

void ToggleAutostart(void)
{
    HKEY hKey;
    char szCommand[AUTOSTART_COMMAND_SIZE];

    if (OpenRunKey(&hKey) != ERROR_SUCCESS)
        return;
    AppState.bPermanent = IsRunValuePresent(hKey);
    if (AppState.bPermanent)
        RegDeleteValueA(hKey, AppState.szValueName);
    else if (MakeAutostartCommand(szCommand))
        RegSetValueExA(hKey, AppState.szValueName, 0, REG_SZ, (const BYTE*)szCommand,
                       (DWORD)TextLength(szCommand) + 1);
    RegCloseKey(hKey);
}

BOOL MakeAutostartCommand(char* buffer)
{
    char szModule[AUTOSTART_COMMAND_SIZE];
    DWORD cchModule = GetModuleFileNameA(AppState.hInstance, szModule, sizeof szModule);

    // 0 is a failure, a full buffer a cut path: neither names this program.
    if (cchModule == 0 || cchModule >= sizeof szModule) {
        buffer[0] = '\0';
        return FALSE;
    }
    szModule[cchModule] = '\0';
    return FormAutostartCommand(szModule, AppState.szCommandTail, buffer);
}

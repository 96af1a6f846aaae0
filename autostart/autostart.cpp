#include "autostart/autostart.h"

#include <string.h>

// The class string a newly created Run key gets. The parameter is not
// const in the Win32 declaration.
static char szRunKeyClass[] = "REG_SZ";

static LSTATUS OpenRunKey(HKEY* phKey)
{
    DWORD dwDisposition;
    return RegCreateKeyExA(HKEY_LOCAL_MACHINE, AUTOSTART_KEY, 0, szRunKeyClass,
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
    BOOL bOpened = (OpenRunKey(&hKey) == ERROR_SUCCESS);

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
                       (DWORD)strlen(szCommand) + 1);
    RegCloseKey(hKey);
}

BOOL MakeAutostartCommand(char* buffer)
{
    char szModule[AUTOSTART_COMMAND_SIZE];
    const char* pszTail = AppState.szCommandTail;
    DWORD cchModule;
    BOOL bQuote;
    size_t cbNeeded;

    buffer[0] = '\0';
    cchModule = GetModuleFileNameA(AppState.hInstance, szModule, sizeof szModule);
    // 0 is a failure, a full buffer a cut path: neither names this program.
    if (cchModule == 0 || cchModule >= sizeof szModule)
        return FALSE;
    szModule[cchModule] = '\0';
    // At logon the command line is split at the program name: an unquoted
    // name ends at its first blank, a quoted one at its closing quote or a
    // tab, and the blanks and tabs after it are skipped. A path with a blank
    // is therefore quoted; one with a tab or a quote (no Windows file name
    // has either) and a tail that begins with a blank or tab could not come
    // back as they were, so nothing is stored for them.
    if (strpbrk(szModule, "\t\"") != NULL || pszTail[0] == ' ' || pszTail[0] == '\t')
        return FALSE;
    bQuote = (strchr(szModule, ' ') != NULL);

    // A cut command would start the wrong thing at every logon.
    cbNeeded = (bQuote ? 2 : 0) + cchModule + 1 + strlen(pszTail) + 1;
    if (cbNeeded > AUTOSTART_COMMAND_SIZE)
        return FALSE;

    if (bQuote) {
        strcpy(buffer, "\"");
        strcat(buffer, szModule);
        strcat(buffer, "\"");
    } else {
        strcpy(buffer, szModule);
    }
    strcat(buffer, " ");
    strcat(buffer, pszTail);
    return TRUE;
}

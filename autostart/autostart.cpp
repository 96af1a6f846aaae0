#include "autostart/autostart.h"

#include "logic/text_ops.h"

// The two Run keys, in the order Windows runs them at logon: the machine's,
// for every user, which only administrators may change (and from Vista on
// only elevated ones), then the user's own, which every user may change. A
// 32-bit program's machine key is the WOW6432Node one on 64-bit Windows,
// which Windows runs too; the user's key is not redirected.
static const HKEY ahRunRoots[] = {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER};
#define RUN_MACHINE 1 // bits of FindRunValue's answer
#define RUN_USER 2

// The class string a newly created Run key gets. The parameter is not
// const in the Win32 declaration, but the call only reads it.
static const char szRunKeyClass[] = "REG_SZ";

static const char szPermanentCaption[] = "Mivo Permanent";
static const char szMachineValueKept[] =
    "Permanent was set for every user of this computer. To remove it, start Mivo with "
    "\"Run as administrator\" and choose Permanent there.";
static const char szNothingStored[] =
    "Permanent could not be set: Windows lets you change neither the logon entries of this "
    "computer nor your own.";

// Opens a Run key to change it, creating it when it is missing (a new
// user's key may be).
static LSTATUS OpenRunKey(HKEY hRoot, HKEY* phKey)
{
    DWORD dwDisposition;
    return RegCreateKeyExA(hRoot, AUTOSTART_KEY, 0, (LPSTR)szRunKeyClass, REG_OPTION_NON_VOLATILE,
                           KEY_ALL_ACCESS, NULL, phKey, &dwDisposition);
}

// Where the value is, RUN_MACHINE and RUN_USER, or -1 when neither key can
// be read. Looking needs no more than reading, which every user may: the
// mark is then true also for those who may not change a key. The value is
// only looked at, never read: whoever stored it, it counts.
static int FindRunValue(void)
{
    int nWhere = -1;
    for (int i = 0; i < 2; i++) {
        HKEY hKey;
        if (RegOpenKeyExA(ahRunRoots[i], AUTOSTART_KEY, 0, KEY_QUERY_VALUE, &hKey) != ERROR_SUCCESS)
            continue;
        if (nWhere < 0)
            nWhere = 0;
        if (RegQueryValueExA(hKey, AppState.szValueName, NULL, NULL, NULL, NULL) == ERROR_SUCCESS)
            nWhere |= 1 << i;
        RegCloseKey(hKey);
    }
    return nWhere;
}

// Stores the command under one Run key, or deletes the value there (szCommand
// NULL); TRUE when that was done.
static BOOL ChangeRunValue(HKEY hRoot, const char* szCommand)
{
    HKEY hKey;
    if (OpenRunKey(hRoot, &hKey) != ERROR_SUCCESS)
        return FALSE;
    LSTATUS status = szCommand ? RegSetValueExA(hKey, AppState.szValueName, 0, REG_SZ,
                                                (const BYTE*)szCommand, (DWORD)TextLength(szCommand) + 1)
                               : RegDeleteValueA(hKey, AppState.szValueName);
    RegCloseKey(hKey);
    return status == ERROR_SUCCESS;
}

static void TellPermanent(const char* szText)
{
    MessageBoxA(NULL, szText, szPermanentCaption, MB_OK | MB_ICONEXCLAMATION);
}

void RefreshPermanentCheck(void)
{
    // When neither key can be read the mark keeps the last known state.
    int nWhere = FindRunValue();
    if (nWhere >= 0)
        AppState.bPermanent = (nWhere != 0);
    CheckMenuItem(AppState.hMenu, IDM_PERMANENT,
                  MF_BYCOMMAND | (AppState.bPermanent ? MF_CHECKED : MF_UNCHECKED));
}

// A request the user cannot have is said so, never dropped without a word:
// only a change that was made shows nothing.
void ToggleAutostart(void)
{
    char szCommand[AUTOSTART_COMMAND_SIZE];
    int nWhere = FindRunValue();

    AppState.bPermanent = (nWhere > 0);
    if (AppState.bPermanent) {
        // Wherever it is and may be deleted; the user's value goes even when
        // the machine's must stay.
        if (nWhere & RUN_USER)
            ChangeRunValue(HKEY_CURRENT_USER, NULL);
        if ((nWhere & RUN_MACHINE) && !ChangeRunValue(HKEY_LOCAL_MACHINE, NULL))
            TellPermanent(szMachineValueKept);
    } else if (MakeAutostartCommand(szCommand)) {
        // For every user where this user may, as on Windows 95 to Me and for
        // an elevated administrator; else for this user alone.
        if (!ChangeRunValue(HKEY_LOCAL_MACHINE, szCommand) &&
            !ChangeRunValue(HKEY_CURRENT_USER, szCommand))
            TellPermanent(szNothingStored);
    }
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

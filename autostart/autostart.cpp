#include "autostart/autostart.h"

#include "logic/text_ops.h"

// The two Run keys, in the order Windows runs them at logon: the machine's,
// for every user, which only administrators may change (and from Vista on
// only elevated ones), then the user's own, which every user may change. A
// 32-bit program's machine key is the WOW6432Node one on 64-bit Windows,
// which Windows runs too; the user's key is not redirected.
static const HKEY ahRunRoots[] = {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER};
#define RUN_MACHINE 1 // bits of FindRunValue's answer: the value is there...
#define RUN_USER 2
#define RUN_OFF_SHIFT 2 // ...and, two bits up, turned off there

// From Windows 8 on, Task Manager's Startup tab (on Windows 11 also
// Settings) turns a Run value off without removing it: it writes an entry
// of the same name into a list beside the Run key, whose first byte is odd
// while the value is off, and Windows skips the value at logon. The user's
// list is "...\Run"; the machine's list of a 32-bit program's values is
// "...\Run32", kept in the 64-bit view. Nothing of this is documented: a
// list that cannot be opened or read turns nothing off, as on every
// Windows before 8, which has no such list.
static const char szStartupList[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\Run32";

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
static const char szTurnedOff[] = "Permanent is set, but turned off in Task Manager.";

// Opens a Run key to change it, creating it when it is missing (a new
// user's key may be).
static LSTATUS OpenRunKey(HKEY hRoot, HKEY* phKey)
{
    DWORD dwDisposition;
    return RegCreateKeyExA(hRoot, AUTOSTART_KEY, 0, (LPSTR)szRunKeyClass, REG_OPTION_NON_VOLATILE,
                           KEY_ALL_ACCESS, NULL, phKey, &dwDisposition);
}

// The value's entry in the startup list of Run key i (0 the machine's, in
// the 64-bit view; 1 the user's, under the name without "32"): whether it
// turns the value off, or, with bDelete, deleted.
static BOOL StartupEntry(int i, BOOL bDelete)
{
    char szKey[sizeof szStartupList];
    HKEY hKey;
    BYTE abEntry[32]; // 12 bytes seen: the state, then when it was set
    DWORD cbEntry = sizeof abEntry;
    BOOL bOff = FALSE;

    abEntry[0] = 0; // an empty entry turns nothing off
    TextCopy(szKey, szStartupList, sizeof szKey - 2 * i);
    if (RegOpenKeyExA(ahRunRoots[i], szKey, 0,
                      (bDelete ? KEY_SET_VALUE : KEY_QUERY_VALUE) | (i ? 0 : KEY_WOW64_64KEY),
                      &hKey) != ERROR_SUCCESS)
        return FALSE;
    if (bDelete)
        RegDeleteValueA(hKey, AppState.szValueName);
    else
        bOff = RegQueryValueExA(hKey, AppState.szValueName, NULL, NULL, abEntry, &cbEntry) ==
                   ERROR_SUCCESS && (abEntry[0] & 1);
    RegCloseKey(hKey);
    return bOff;
}

// Where the value is, RUN_MACHINE and RUN_USER, and where it is turned off,
// or -1 when neither key can be read. Looking needs no more than reading,
// which every user may: the mark is then true also for those who may not
// change a key. The value is only looked at, never read: whoever stored it,
// it counts.
static int FindRunValue(void)
{
    int nWhere = -1;
    for (int i = 0; i < 2; i++) {
        HKEY hKey;
        if (RegOpenKeyExA(ahRunRoots[i], AUTOSTART_KEY, 0, KEY_QUERY_VALUE, &hKey) != ERROR_SUCCESS)
            continue;
        if (nWhere < 0)
            nWhere = 0;
        if (RegQueryValueExA(hKey, AppState.szValueName, NULL, NULL, NULL, NULL) == ERROR_SUCCESS) {
            nWhere |= RUN_MACHINE << i;
            if (StartupEntry(i, FALSE))
                nWhere |= RUN_MACHINE << (i + RUN_OFF_SHIFT);
        }
        RegCloseKey(hKey);
    }
    return nWhere;
}

// Whether Windows runs the value at logon: it is under a key whose list
// does not turn it off.
static BOOL IsRunAtLogon(int nWhere)
{
    return nWhere > 0 && (nWhere & ~(nWhere >> RUN_OFF_SHIFT) & (RUN_MACHINE | RUN_USER));
}

// Stores the command under Run key i, or deletes the value there (szCommand
// NULL); TRUE when that was done. The entry of the key's startup list goes
// too: it would keep a value stored now from running, and an "off" one
// left behind would wait for the next value of this name.
static BOOL ChangeRunValue(int i, const char* szCommand)
{
    HKEY hKey;
    if (OpenRunKey(ahRunRoots[i], &hKey) != ERROR_SUCCESS)
        return FALSE;
    LSTATUS status = szCommand ? RegSetValueExA(hKey, AppState.szValueName, 0, REG_SZ,
                                                (const BYTE*)szCommand, (DWORD)TextLength(szCommand) + 1)
                               : RegDeleteValueA(hKey, AppState.szValueName);
    RegCloseKey(hKey);
    if (status != ERROR_SUCCESS)
        return FALSE;
    StartupEntry(i, TRUE);
    return TRUE;
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
        AppState.bPermanent = IsRunAtLogon(nWhere);
    CheckMenuItem(AppState.hMenu, IDM_PERMANENT,
                  MF_BYCOMMAND | (AppState.bPermanent ? MF_CHECKED : MF_UNCHECKED));
}

// A request the user cannot have is said so, never dropped without a word:
// only a change that was made shows nothing.
void ToggleAutostart(void)
{
    char szCommand[AUTOSTART_COMMAND_SIZE];
    int nWhere = FindRunValue();
    BOOL bOn = IsRunAtLogon(nWhere);

    // A look that could read neither key tells nothing: the mark keeps its
    // last state.
    if (nWhere >= 0)
        AppState.bPermanent = bOn;
    if (bOn) {
        // Wherever it is and may be deleted; the user's value goes even when
        // the machine's must stay.
        if (nWhere & RUN_USER)
            ChangeRunValue(1, NULL);
        if ((nWhere & RUN_MACHINE) && !ChangeRunValue(0, NULL))
            TellPermanent(szMachineValueKept);
    } else if (MakeAutostartCommand(szCommand)) {
        // For every user where this user may, as on Windows 95 to Me and for
        // an elevated administrator; else for this user alone.
        int i = ChangeRunValue(0, szCommand) ? 0 : 1;
        if (i == 1 && !ChangeRunValue(1, szCommand))
            TellPermanent(szNothingStored);
        else if (StartupEntry(i, FALSE))
            TellPermanent(szTurnedOff);
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

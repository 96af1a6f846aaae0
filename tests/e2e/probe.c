/* What only a Win32 program sees of Mivo under Wine. Texts are printed with
   \xNN for every byte outside 0x20..0x7E and for the backslash, so line
   breaks survive byte for byte. Without arguments it is a launch target:
   it appends "cwd<TAB>command line" to C:\mivo-e2e\launch.log. */
#include <windows.h>
#include <shellapi.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static void put(const char *s)
{
    for (; *s; ++s) {
        unsigned char c = (unsigned char)*s;
        if (c < 0x20 || c > 0x7E || c == '\\')
            printf("\\x%02X", c);
        else
            putchar(c);
    }
    putchar('\n');
}

static void text(HWND hwnd, char *buf, int size)
{
    buf[0] = 0;
    SendMessageA(hwnd, WM_GETTEXT, size, (LPARAM)buf);
}

/* box CAPTION [ok]: waits for the dialog box, prints each static text and
   the screen rectangle of its icon, optionally presses OK. */
static int box(const char *caption, int ok)
{
    static char buf[4096];
    HWND dlg = NULL, child = NULL;
    for (int i = 0; i < 200 && !(dlg && IsWindowVisible(dlg)); ++i, Sleep(50))
        dlg = FindWindowA("#32770", caption);
    if (!dlg || !IsWindowVisible(dlg))
        return 1;
    Sleep(200);
    while ((child = FindWindowExA(dlg, child, "Static", NULL))) {
        RECT r;
        GetWindowRect(child, &r);
        if ((GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
            printf("icon %ld %ld %ld %ld\n", r.left, r.top, r.right, r.bottom);
        } else {
            text(child, buf, sizeof buf);
            printf("static ");
            put(buf);
        }
    }
    if (ok)
        PostMessageA(dlg, WM_COMMAND, IDOK, 0);
    return 0;
}

/* windows CLASS: the visible top-level windows of a class, rectangle and title. */
static int windows(const char *cls)
{
    char buf[1024];
    HWND hwnd = NULL;
    while ((hwnd = FindWindowExA(NULL, hwnd, cls, NULL))) {
        RECT r;
        if (!IsWindowVisible(hwnd))
            continue;
        GetWindowRect(hwnd, &r);
        text(hwnd, buf, sizeof buf);
        printf("%ld %ld %ld %ld ", r.left, r.top, r.right, r.bottom);
        put(buf);
    }
    return 0;
}

/* run WAIT_MS: starts $PROBE_LINE as the system starts a Run value, prints
   the process id and, when waiting, ends with the started program's code. */
static int run(DWORD wait)
{
    char line[2048];
    STARTUPINFOA si = {0};
    PROCESS_INFORMATION pi;
    DWORD code = 124;
    si.cb = sizeof si;
    if (!GetEnvironmentVariableA("PROBE_LINE", line, sizeof line)
        || !CreateProcessA(NULL, line, NULL, NULL, FALSE, 0, NULL, NULL, &si, &pi))
        return 125;
    printf("pid %lu\n", pi.dwProcessId);
    fflush(stdout);
    if (wait && WaitForSingleObject(pi.hProcess, wait) == WAIT_OBJECT_0)
        GetExitCodeProcess(pi.hProcess, &code);
    return wait ? (int)code : 0;
}

int main(int argc, char **argv)
{
    HWND mivo = FindWindowA("MivoClass", "Hovedvindu");
    UINT created = RegisterWindowMessageA("TaskbarCreated");
    const char *cmd = argc > 1 ? argv[1] : "";
    if (argc == 1) {
        char cwd[MAX_PATH];
        FILE *log = fopen("C:\\mivo-e2e\\launch.log", "ab");
        GetCurrentDirectoryA(sizeof cwd, cwd);
        fprintf(log, "%s\t%s\r\n", cwd, GetCommandLineA());
        return fclose(log);
    }
    if (!strcmp(cmd, "box") && argc > 2)
        return box(argv[2], argc > 3);
    if (!strcmp(cmd, "windows") && argc > 2)
        return windows(argv[2]);
    if (!strcmp(cmd, "run") && argc > 2)
        return run(strtoul(argv[2], NULL, 10));
    if (!strcmp(cmd, "taskbar")) { /* its number; "send" broadcasts it */
        printf("%u\n", created);
        return argc > 2 && !SendNotifyMessageA(HWND_BROADCAST, created, 0, 0);
    }
    if (!strcmp(cmd, "close"))
        return !PostMessageA(mivo, WM_CLOSE, 0, 0);
    if (!strcmp(cmd, "forget")) { /* as a shell that starts anew forgets icons */
        NOTIFYICONDATAA nid = {0};
        nid.cbSize = NOTIFYICONDATAA_V1_SIZE, nid.hWnd = mivo, nid.uID = 1000;
        return !Shell_NotifyIconA(NIM_DELETE, &nid);
    }
    fputs("usage: probe [box CAPTION [ok] | windows CLASS | run WAIT_MS | taskbar [send]"
          " | close | forget]\n", stderr);
    return 64;
}

/* What only a Win32 program sees of Mivo under Wine. Texts are read in
   UTF-16 and printed in UTF-8, with \xNN for every byte outside 0x20..0x7E
   and for the backslash, so that line breaks and any name survive byte for
   byte. Under another name, or without arguments, it is a launch target: it
   appends "cwd<TAB>command line" (in UTF-8) to C:\mivo-e2e\launch.log. */
#include <windows.h>
/* After windows.h. */
#include <sddl.h>
#include <shellapi.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "logic/target_description.h"

/* Prints the window's rectangle and text (a tooltip answers with its tip). */
static void show(const char* what, HWND hwnd)
{
    WCHAR wide[4096] = L"";
    char text[16384];
    RECT r;
    GetWindowRect(hwnd, &r);
    SendMessageW(hwnd, WM_GETTEXT, 4096, (LPARAM)wide);
    WideCharToMultiByte(CP_UTF8, 0, wide, -1, text, sizeof text, NULL, NULL);
    printf("%s %ld %ld %ld %ld ", what, r.left, r.top, r.right, r.bottom);
    for (const unsigned char* s = (const unsigned char*)text; *s; ++s)
        printf(*s < 0x20 || *s > 0x7E || *s == '\\' ? "\\x%02X" : "%c", *s);
    putchar('\n');
}

/* box CAPTION: waits for the box, shows its static controls, presses OK. */
static int box(const char* caption)
{
    HWND dlg = NULL, child = NULL;
    for (int i = 0; i < 200 && !(dlg && IsWindowVisible(dlg)); ++i, Sleep(50))
        dlg = FindWindowA("#32770", caption);
    if (!dlg || !IsWindowVisible(dlg))
        return 1;
    while ((child = FindWindowExA(dlg, child, "Static", NULL)))
        show((GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON ? "icon" : "text", child);
    return !PostMessageA(dlg, WM_COMMAND, IDOK, 0);
}

/* run: starts $PROBE_LINE as the system starts a Run value (in UTF-16),
   waits for it and ends with its exit code. */
static int run(void)
{
    WCHAR line[2048];
    STARTUPINFOW si = {};
    PROCESS_INFORMATION pi;
    DWORD code = 125;
    si.cb = sizeof si;
    if (!GetEnvironmentVariableW(L"PROBE_LINE", line, 2048))
        return 125;
    if (!CreateProcessW(NULL, line, NULL, NULL, FALSE, 0, NULL, NULL, &si, &pi))
        return 125;
    WaitForSingleObject(pi.hProcess, INFINITE);
    GetExitCodeProcess(pi.hProcess, &code);
    return (int)code;
}

int main(int argc, char** argv)
{
    HWND hwnd = NULL;
    const char* cmd = argc > 1 ? argv[1] : "";
    if (argc == 1 || !strstr(argv[0], "probe")) {
        char cwd[MAX_PATH], line[8192];
        FILE* log = fopen("C:\\mivo-e2e\\launch.log", "ab");
        GetCurrentDirectoryA(sizeof cwd, cwd);
        WideCharToMultiByte(CP_UTF8, 0, GetCommandLineW(), -1, line, sizeof line, NULL, NULL);
        fprintf(log, "%s\t%s\r\n", cwd, line);
        return fclose(log);
    }
    if (!strcmp(cmd, "box") && argc > 2)
        return box(argv[2]);
    if (!strcmp(cmd, "windows") && argc > 2) { /* the visible top-level windows of a class */
        while ((hwnd = FindWindowExA(NULL, hwnd, argv[2], NULL)))
            if (IsWindowVisible(hwnd))
                show("window", hwnd);
        return 0;
    }
    if (!strcmp(cmd, "run"))
        return run();
    if (!strcmp(cmd, "uid") && argc > 2) { /* the icon identifier Mivo takes for this tail */
        char target[MAX_PATH], icon[ICON_BUFFER_SIZE];
        TargetSpec spec = ParseCommandTail(lstrcpynA(target, argv[2], MAX_PATH), icon);
        return printf("%u\n", MakeIconId(&spec)) < 0;
    }
    if (!strcmp(cmd, "modify") && argc > 2) { /* Mivo's windows whose icon the shell knows by this identifier */
        NOTIFYICONDATAA nid = {};
        nid.cbSize = NOTIFYICONDATAA_V1_SIZE, nid.uID = (UINT)strtoul(argv[2], NULL, 10);
        while ((hwnd = FindWindowExA(NULL, hwnd, "MivoClass", NULL)))
            if ((nid.hWnd = hwnd), Shell_NotifyIconA(NIM_MODIFY, &nid))
                printf("%p\n", (void*)hwnd);
        return 0;
    }
    if (!strcmp(cmd, "enter")) /* what the shell posts an icon like Mivo's for Enter */
        return !PostMessageA(hwnd = FindWindowA("MivoClass", NULL), WM_USER + 1, 1000, WM_RBUTTONDOWN)
            || !PostMessageA(hwnd, WM_USER + 1, 1000, WM_RBUTTONUP);
    if (!strcmp(cmd, "dacl") && argc > 2) { /* the machine's Run key's access list, in SDDL */
        PSECURITY_DESCRIPTOR sd;
        HKEY key;
        return !ConvertStringSecurityDescriptorToSecurityDescriptorA(argv[2], SDDL_REVISION_1, &sd, NULL)
            || RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion\\Run", 0,
                             WRITE_DAC, &key) || RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, sd);
    }
    /* usage: probe [box CAPTION | windows CLASS | run | dacl SDDL | enter | uid TAIL | modify UID] */
    return 64;
}

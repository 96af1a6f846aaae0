/* The benchmark's yardstick: the least a program does to show the icon Mivo
   shows for the same command tail. It asks the shell for the program behind
   the tail's file and takes the small picture of that program's first icon
   out of its file (its own icon, resource 1, when that gives none), then
   puts it in the notification area from a hidden window; no C runtime. Ends
   on WM_CLOSE, taking its icon along. */
#include <windows.h>
#include <shellapi.h>

static NOTIFYICONDATAA icon;

static LRESULT CALLBACK window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    if (message == WM_DESTROY) {
        Shell_NotifyIconA(NIM_DELETE, &icon);
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wparam, lparam);
}

/* The command line without the program's own name: the file to show. */
static const char *command_tail(const char *line)
{
    if (*line == '"') {
        for (line++; *line && *line != '"'; line++)
            ;
        line += *line == '"';
    } else {
        while (*line && *line != ' ' && *line != '\t')
            line++;
    }
    while (*line == ' ' || *line == '\t')
        line++;
    return line;
}

void WINAPI bench_entry(void)
{
    static WNDCLASSA window_class;
    static char program[MAX_PATH];
    MSG msg;

    window_class.lpfnWndProc = window_proc;
    window_class.hInstance = GetModuleHandleA(NULL);
    window_class.lpszClassName = "BenchTray";
    FindExecutableA(command_tail(GetCommandLineA()), NULL, program);
    ExtractIconExA(program, 0, NULL, &icon.hIcon, 1); /* the small picture */
    if (icon.hIcon == NULL) /* none, or the file is no program */
        icon.hIcon = LoadImageA(window_class.hInstance, MAKEINTRESOURCEA(1), IMAGE_ICON,
                                GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0);
    RegisterClassA(&window_class);
    icon.cbSize = sizeof icon;
    icon.hWnd = CreateWindowA("BenchTray", "BenchTray", 0, 0, 0, 0, 0, NULL, NULL,
                              window_class.hInstance, NULL);
    icon.uID = 1;
    icon.uFlags = NIF_ICON | NIF_MESSAGE | NIF_TIP;
    icon.uCallbackMessage = WM_APP;
    lstrcpyA(icon.szTip, "Bench");
    Shell_NotifyIconA(NIM_ADD, &icon);
    while (GetMessageA(&msg, NULL, 0, 0) > 0)
        DispatchMessageA(&msg);
    ExitProcess(0);
}

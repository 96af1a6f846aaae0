/* The benchmark's yardstick: the least a program does to have one icon in
   the notification area. A hidden window, its own icon (resource 1),
   a message loop; no C runtime. Ends on WM_CLOSE, taking its icon along. */
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

void WINAPI bench_entry(void)
{
    static WNDCLASSA window_class;
    MSG msg;

    window_class.lpfnWndProc = window_proc;
    window_class.hInstance = GetModuleHandleA(NULL);
    window_class.lpszClassName = "BenchTray";
    RegisterClassA(&window_class);
    icon.cbSize = sizeof icon;
    icon.hWnd = CreateWindowA("BenchTray", "BenchTray", 0, 0, 0, 0, 0, NULL, NULL,
                              window_class.hInstance, NULL);
    icon.uID = 1;
    icon.uFlags = NIF_ICON | NIF_MESSAGE | NIF_TIP;
    icon.uCallbackMessage = WM_APP;
    icon.hIcon = LoadIconA(window_class.hInstance, MAKEINTRESOURCEA(1));
    lstrcpyA(icon.szTip, "Bench");
    Shell_NotifyIconA(NIM_ADD, &icon);
    while (GetMessageA(&msg, NULL, 0, 0) > 0)
        DispatchMessageA(&msg);
    ExitProcess(0);
}

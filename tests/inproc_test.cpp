// The applet's code in this process, against the system's own registry,
// windows and menus. The program lies in a folder with a blank in its name,
// so its module path, stored in the Run value, must be quoted. Started with
// MIVO_INPROC_RECORD set, the program is the launch target instead: it
// writes its current folder into the file that names.
#include <string.h>

#include <fstream>
#include <string>

#include "applet/applet.h"
#include "autostart/autostart.h"
#include "tests/check.h"

using std::string;

// Someone else's value under the Run key; REG_NONE deletes the value.
static void SetRunValue(const char* name, DWORD type)
{
    HKEY key;
    RegCreateKeyA(HKEY_LOCAL_MACHINE, AUTOSTART_KEY, &key);
    type == REG_NONE ? RegDeleteValueA(key, name)
                     : RegSetValueExA(key, name, 0, type, (const BYTE*)"%WINDIR%\\x.exe", 15);
    RegCloseKey(key);
}

// The value's data when it is a REG_SZ whose length counts its NUL and
// nothing after it; "" when there is no value.
static string RunValue(const char* name)
{
    char data[600] = "";
    DWORD type = REG_NONE, size = sizeof data;
    HKEY key = NULL;
    RegOpenKeyExA(HKEY_LOCAL_MACHINE, AUTOSTART_KEY, 0, KEY_READ, &key);
    if (RegQueryValueExA(key, name, NULL, &type, (BYTE*)data, &size) != ERROR_SUCCESS)
        size = 0;
    RegCloseKey(key);
    bool sz = type == REG_SZ && strlen(data) + 1 == size;
    return size == 0 ? "" : sz ? data : "(not a REG_SZ whose length counts its NUL)";
}

// Wine's GetProcessHandleCount gives 0: ask for each of the first handle
// values instead, which Wine hands out lowest first.
static DWORD Handles()
{
    DWORD count = 0, flags;
    for (ULONG_PTR value = 4; value < 0x1000; value += 4)
        count += GetHandleInformation((HANDLE)value, &flags) ? 1 : 0;
    return count;
}

int main()
{
    char module[MAX_PATH], file[MAX_PATH], folder[MAX_PATH] = "", windows[MAX_PATH] = "";
    GetModuleFileNameA(NULL, module, MAX_PATH);
    if (GetEnvironmentVariableA("MIVO_INPROC_RECORD", file, MAX_PATH)) {
        // Opened for no one else until it is written and closed.
        HANDLE out = CreateFileA(file, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
        DWORD written, length = GetCurrentDirectoryA(MAX_PATH, folder);
        WriteFile(out, folder, length, &written, NULL);
        return !CloseHandle(out);
    }
    SetRunValue("Mivo Planner", REG_NONE);
    SetRunValue("Mivo Edit", REG_NONE);
    AppState.hInstance = GetModuleHandleA(NULL);

    // An open key must count, for the leak checks below to mean anything.
    HKEY leak;
    DWORD before = Handles();
    RegOpenKeyExA(HKEY_LOCAL_MACHINE, AUTOSTART_KEY, 0, KEY_READ, &leak);
    ok(Handles() == before + 1, "an open key is not counted: %lu, %lu", before, Handles());
    RegCloseKey(leak);

    // Permanent through the menu's command (0: ToggleAutostart itself),
    // after someone else may have stored a value of the same name. The mark
    // follows the value at each showing of the menu. A new tail starts a
    // new window as WinMain does: the tail kept whole, and split.
    const char *planner = "C:\\TOOLS\\PLANNER.EXE,C:\\TOOLS\\ICONS.EXE#3", *com = "C:\\A\\EDIT.COM",
               *exe = "C:\\B\\EDIT.EXE", *mp = "Mivo Planner", *me = "Mivo Edit";
    // clang-format off
    const struct { const char *tail, *name; DWORD planted; WPARAM command; bool present; }
    steps[] = {
        {planner, mp, REG_NONE, 0xEFF0, true},  {planner, mp, REG_NONE, 0xEF00, true},
        {planner, mp, REG_NONE, 0xEFF7, false}, {planner, mp, REG_NONE, 0x0001EFF0, true},
        {planner, mp, REG_NONE, 0, false},      {planner, mp, REG_DWORD, 0xEFF0, false},
        {com, me, REG_NONE, 0, true},           {exe, me, REG_NONE, 0xEFF0, false},
        {exe, me, REG_EXPAND_SZ, 0, false}};
    // clang-format on
    auto markFollows = [](const char* name) {
        SendMessageA(AppState.hWnd, WM_INITMENUPOPUP, (WPARAM)AppState.hMenu, 0);
        UINT mark = GetMenuState(AppState.hMenu, IDM_PERMANENT, MF_BYCOMMAND) & MF_CHECKED;
        return !mark == RunValue(name).empty() && !strcmp(AppState.szValueName, name);
    };
    for (const auto& step : steps) {
        if (strcmp(step.tail, AppState.szCommandTail) != 0) {
            char icon[ICON_BUFFER_SIZE];
            if (AppState.hWnd)
                CloseApplet();
            lstrcpynA(AppState.szCommandTail, step.tail, MAX_PATH);
            lstrcpynA(AppState.szTarget, step.tail, MAX_PATH);
            ParseCommandTail(AppState.szTarget, icon);
            CreateMainWindow(AppState.hInstance);
        }
        if (step.planted != REG_NONE)
            SetRunValue(step.name, step.planted);
        DWORD handles = Handles();
        bool markBefore = markFollows(step.name);
        step.command ? (void)SendMessageA(AppState.hWnd, WM_COMMAND, step.command, 0)
                     : ToggleAutostart();
        string data = RunValue(step.name);
        ok(markBefore && markFollows(step.name) && Handles() == handles &&
               data == (step.present ? "\"" + string(module) + "\" " + step.tail : ""),
           "%s, 0x%X: '%s', mark %d, %lu handles, %lu before", step.tail, step.command,
           data.c_str(), markBefore, Handles(), handles);
    }

    // The last window, and its menu.
    ok(AppState.hWnd != NULL && !IsWindowVisible(AppState.hWnd), "window %p", AppState.hWnd);
    // clang-format off
    const UINT ids[] = {0xEFE0, 0xEFC0, 0, 0xEFF0, 0xEFD0};
    const char* const texts[] = {"&About...", "&Quick help...", NULL, "Permanent", "&Close"};
    // clang-format on
    ok(GetMenuItemCount(AppState.hMenu) == 5, "%d menu items", GetMenuItemCount(AppState.hMenu));
    for (int i = 0; i < 5; i++) {
        char text[64] = "";
        GetMenuStringA(AppState.hMenu, i, text, sizeof text, MF_BYPOSITION);
        UINT id = GetMenuItemID(AppState.hMenu, i);
        bool separator = GetMenuState(AppState.hMenu, i, MF_BYPOSITION) & MF_SEPARATOR;
        ok(id == ids[i] && separator == !texts[i] && (separator || !strcmp(text, texts[i])),
           "item %d: 0x%X '%s' %d", i, id, text, separator);
    }
    // clang-format off
    const struct { UINT message; WPARAM wParam; LRESULT result; } results[] = {
        {WM_INITMENUPOPUP, (WPARAM)CreatePopupMenu(), -1}, {WM_INITMENUPOPUP, 0, -1},
        {WM_INITMENUPOPUP, (WPARAM)AppState.hMenu, 0}, {WM_GETTEXTLENGTH, 0, 10}};
    // clang-format on
    for (const auto& row : results) {
        LRESULT result = SendMessageA(AppState.hWnd, row.message, row.wParam, 0);
        ok(result == row.result, "message 0x%X, 0x%X: %ld", row.message, row.wParam, (long)result);
    }

    // The launch: the pause, and the folder the target starts in.
    GetFullPathNameA("launch record.txt", MAX_PATH, file, NULL);
    DeleteFileA(file);
    SetEnvironmentVariableA("MIVO_INPROC_RECORD", file);
    lstrcpynA(AppState.szTarget, module, MAX_PATH);
    // GetTickCount moves in steps of several milliseconds: too coarse here.
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    LaunchTarget(AppState.hWnd);
    QueryPerformanceCounter(&end);
    DWORD elapsed = (DWORD)((end.QuadPart - start.QuadPart) * 1000 / frequency.QuadPart);
    ok(elapsed >= 500, "the launch took %lu ms", elapsed);
    // The target keeps the file to itself until it is written.
    string started;
    for (int i = 0; i < 100 && !std::getline(std::ifstream(file), started); i++)
        Sleep(100);
    GetWindowsDirectoryA(windows, MAX_PATH);
    ok(started == windows, "started in '%s', not '%s'", started.c_str(), windows);
    DeleteFileA(file);

    MSG msg = {};
    HWND hwnd = AppState.hWnd;
    ok(!SendMessageA(hwnd, WM_CLOSE, 0, 0) && !IsWindow(hwnd) && !IsMenu(AppState.hMenu),
       "WM_CLOSE left the window or the menu");
    ok(PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE) && msg.message == WM_QUIT && msg.wParam == 0,
       "message 0x%X, %u after WM_CLOSE", msg.message, (unsigned)msg.wParam);
    return done();
}

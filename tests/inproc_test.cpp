// The applet's code in this process, against the system's own registry,
// windows and menus. The program lies in a folder with a blank in its name,
// so its module path, stored in the Run value, must be quoted.
#include <string.h>

#include <algorithm>
#include <string>

#include "applet/applet.h"
#include "autostart/autostart.h"
#include "tests/check.h"
// After windows.h.
#include <sddl.h>
#include <shlobj.h>

using std::string;

// The machine's Run key and the user's, as bits 1 and 2 of Fault::in.
static const HKEY roots[] = {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER};

// What a Run key holds under name: "none", the command "stored", or "other".
static string RunValue(HKEY root, const char* name, const string& stored)
{
    char data[600];
    DWORD size = sizeof data;
    LSTATUS status = RegGetValueA(root, AUTOSTART_KEY, name, RRF_RT_REG_SZ, NULL, data, &size);
    return status == ERROR_FILE_NOT_FOUND ? "none" : !status && data == stored ? "stored" : "other";
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

// The icon's width, and its colour bitmap as the screen holds it (24 or 32
// bits deep: 4 bytes a pixel, blue first).
static string Picture(HICON icon, int& width)
{
    ICONINFO info = {};
    BITMAP colour = {};
    GetIconInfo(icon, &info), GetObjectA(info.hbmColor, sizeof colour, &colour);
    string bits(colour.bmWidthBytes * colour.bmHeight, 0);
    GetBitmapBits(info.hbmColor, bits.size(), &bits[0]), DeleteObject(info.hbmColor), DeleteObject(info.hbmMask);
    return width = colour.bmWidth, bits;
}

// Faults the system does not make here by itself are made in this program's
// own import table: the applet's calls go through the slots below, this
// program's own through Real*, the entries as the loader filled them.
#define SLOT(f, bytes)                                                                             \
    extern "C" void* slot_##f __asm__("__imp__" #f "@" #bytes);                                  \
    static const auto Real##f = (decltype(&f))slot_##f
SLOT(Shell_NotifyIconA, 8); SLOT(ExtractIconExA, 20); SLOT(ShellExecuteA, 24); // SHELL32
SLOT(CopyIcon, 4); SLOT(GetMessageA, 16); SLOT(MessageBoxA, 16);                 // USER32
SLOT(GetWindowsDirectoryA, 8); SLOT(GetModuleFileNameA, 12); SLOT(LoadLibraryA, 4); // KERNEL32
SLOT(GetProcAddress, 8);

struct Fault {
    int refusals = 0;         // calls of Shell_NotifyIconA that fail first...
    bool addedAnyway = false; // ...though the shell took the icon, as after a timeout
    UINT taken = 0;           // the count ExtractIconExA answers; 0: the system's
    bool noWindow = false, noWindowsFolder = false, noOle = false, cutModule = false;
    bool press = false, noFilter = false; // press: a faked launch, by this mouse message:
    LPARAM mouse = WM_LBUTTONDOWN;
    int locked = 0; // Run keys this user may not change, as bits like Fault::in
    bool newTaskbar = false; // the shell forgets the icon and announces a new taskbar
    DWORD planted = REG_NONE; // the type of a value someone else stored under...
    const char* plantedName = "Mivo Planner"; // ...this name; REG_NONE: no value...
    int in = 1; // ...in these Run keys: 1 the machine's, 2 the user's
    int ticks = 0, waitMs = 0; // retry messages sent; real time the timer may run
    UINT message = WM_COMMAND; // sent with command as wParam: a choice, or a request to end
    WPARAM command = 0;
    int loop = 0; // GetMessageA's result: 0 for the quit, or -1
};
static Fault fault;
static struct { UINT_PTR extracted; bool copied, deletedLive, mark, after, looped; int launches, pause;
                int leak, width; LRESULT other; string dir, box, picture, verb; UINT filtered; DWORD flag; } seen;
static char module[MAX_PATH];

static BOOL WINAPI FakeNotify(DWORD message, PNOTIFYICONDATAA nid)
{
    seen.deletedLive |= message == NIM_DELETE && IsWindow(nid->hWnd);
    seen.picture = message == NIM_ADD && !seen.width ? Picture(nid->hIcon, seen.width) : seen.picture;
    if (fault.refusals-- <= 0)
        return RealShell_NotifyIconA(message, nid);
    // A refusal, the icon taken or not.
    return (void)(fault.addedAnyway && RealShell_NotifyIconA(message, nid)), FALSE;
}
static UINT WINAPI FakeExtract(LPCSTR file, int index, HICON* large, HICON* small, UINT count)
{
    // As on Windows, where -1 with a handle to fill is resource 1: an icon.
    UINT taken = RealExtractIconExA(file, index == -1 && small ? 0 : index, large, small, count);
    seen.extracted = small ? (UINT_PTR)*small : 0;
    return fault.taken ? fault.taken : taken;
}
static HICON WINAPI FakeCopyIcon(HICON h)
{
    seen.copied |= h && (UINT_PTR)h == seen.extracted;
    return RealCopyIcon(h);
}
// A class of the applet's name whose windows refuse to be made.
static LRESULT CALLBACK RefuseWindow(HWND, UINT, WPARAM, LPARAM)
{
    return 0;
}
static UINT WINAPI FakeWindowsFolder(LPSTR buffer, UINT size)
{
    return fault.noWindowsFolder ? 0 : RealGetWindowsDirectoryA(buffer, size);
}
static HINSTANCE WINAPI FakeShellExecute(HWND w, LPCSTR verb, LPCSTR file, LPCSTR p, LPCSTR dir, INT n)
{
    seen.launches++;
    seen.dir = dir ? dir : "(none)", seen.verb = verb ? verb : "null";
    return fault.press ? (HINSTANCE)42 : RealShellExecuteA(w, verb, file, p, dir, n);
}
static DWORD WINAPI FakeModuleName(HMODULE module, LPSTR buffer, DWORD size)
{
    // Cut, and without its NUL, as Windows XP leaves it.
    return fault.cutModule ? (memset(buffer, 'x', size), size)
                           : RealGetModuleFileNameA(module, buffer, size);
}
static HMODULE WINAPI FakeLoadLibrary(LPCSTR name)
{
    return fault.noOle ? NULL : RealLoadLibraryA(name);
}
// A box about Permanent, in a word: it shows the way out, or that it failed.
static int WINAPI FakeMessageBox(HWND, LPCSTR text, LPCSTR caption, UINT)
{
    bool ours = !strcmp(caption, "Mivo Permanent"), admin = strstr(text, "\"Run as administrator\"");
    seen.box = ours && admin && strstr(text, "every user") ? "admin" : ours && strstr(text, "could not be set") ? "failed" : "other";
    return IDOK;
}
// ChangeWindowMessageFilter, found through GetProcAddress; none before Vista.
static BOOL WINAPI FakeFilter(UINT message, DWORD flag)
{
    return seen.filtered = message, seen.flag = flag, TRUE;
}
static FARPROC WINAPI FakeGetProcAddress(HMODULE module, LPCSTR name)
{
    bool filter = HIWORD(name) && !strcmp(name, "ChangeWindowMessageFilter");
    return !filter ? RealGetProcAddress(module, name) : fault.noFilter ? NULL : (FARPROC)(void*)FakeFilter;
}
// WinMain's loop: what the row does while the applet runs, then its end.
static BOOL WINAPI FakeGetMessage(LPMSG msg, HWND hwnd, UINT first, UINT last)
{
    if (seen.looped)
        return RealGetMessageA(msg, hwnd, first, last);
    seen.looped = true;
    for (int i = 0; i < fault.ticks; i++)
        SendMessageA(AppState.hWnd, WM_TIMER, IDT_ICON_RETRY, 0);
    for (DWORD end = GetTickCount() + fault.waitMs; GetTickCount() < end; Sleep(20))
        while (PeekMessageA(msg, NULL, 0, 0, PM_REMOVE))
            DispatchMessageA(msg);
    DWORD start = GetTickCount();
    if (fault.press)
        SendMessageA(AppState.hWnd, WM_ICONNOTIFY, ICON_UID, fault.mouse);
    seen.pause = (int)(GetTickCount() - start);
    if (fault.newTaskbar && RealShell_NotifyIconA(NIM_DELETE, &AppState.nid))
        SendMessageA(AppState.hWnd, RegisterWindowMessageA("TaskbarCreated"), 0, 0);
    // Another menu's showing is none of the applet's business: -1.
    seen.other = SendMessageA(AppState.hWnd, WM_INITMENUPOPUP, (WPARAM)CreatePopupMenu(), 0);
    // Permanent's mark as the menu shows it, before the command and after.
    auto look = [] { return SendMessageA(AppState.hWnd, WM_INITMENUPOPUP, (WPARAM)AppState.hMenu, 0),
                     GetMenuState(AppState.hMenu, IDM_PERMANENT, MF_BYCOMMAND) & MF_CHECKED; };
    DWORD handles = Handles();
    seen.mark = look();
    SendMessageA(AppState.hWnd, fault.message, fault.command, 0);
    seen.leak = (int)(Handles() - handles);
    seen.after = look();
    if (fault.loop == 0 && IsWindow(AppState.hWnd))
        PostQuitMessage(77);
    return fault.loop == -1 ? -1 : RealGetMessageA(msg, hwnd, first, last);
}

// A Run key's access list, in SDDL; the key is made when missing.
static void SetRunKeyAccess(HKEY root, const char* sddl)
{
    PSECURITY_DESCRIPTOR sd;
    HKEY key;
    ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, SDDL_REVISION_1, &sd, NULL);
    RegCreateKeyExA(root, AUTOSTART_KEY, 0, NULL, 0, WRITE_DAC, NULL, &key, NULL);
    RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, sd);
    RegCloseKey(key);
    LocalFree(sd);
}
// Everyone may do all; a standard user: all but set values and make keys.
static const char *everyone = "D:(A;;KA;;;WD)", *standard = "D:(D;;0x6;;;WD)(A;;KA;;;WD)";

// Runs WinMain on tail with the row's faults; tells what came of it.
static string RunWithFault(const char* tail, const Fault& row)
{
    HINSTANCE instance = GetModuleHandleA(NULL);
    AppState = APPSTATE();
    seen = {};
    fault = row;
    for (int i = 0; i < 2; i++) { // someone else's value under each Run key, or none
        row.in >> i & 1 && row.planted != REG_NONE
            ? RegSetKeyValueA(roots[i], AUTOSTART_KEY, row.plantedName, row.planted, "%WINDIR%", 9)
            : RegDeleteKeyValueA(roots[i], AUTOSTART_KEY, row.plantedName);
        SetRunKeyAccess(roots[i], row.locked >> i & 1 ? standard : everyone);
    }
    WNDCLASSA refusing = {0, RefuseWindow, 0, 0, instance, NULL, NULL, NULL, NULL, MAIN_CLASS_NAME};
    if (row.noWindow)
        RegisterClassA(&refusing);
    int code = WinMain(instance, NULL, const_cast<LPSTR>(tail), SW_SHOWDEFAULT);
    int small = GetSystemMetrics(SM_CXSMICON), width; // and Mivo's own icon at that width:
    string own = Picture((HICON)LoadImageA(instance, MAKEINTRESOURCEA(IDI_PROGRAM), IMAGE_ICON, small, small, 0), width);
    WNDCLASSA wc;
    char out[512], windows[MAX_PATH];
    string stored = "\"" + string(module) + "\" " + tail, value[2];
    for (int i = 0; i < 2; i++)
        value[i] = RunValue(roots[i], AppState.szValueName, stored);
    string items; // the menu's items and the end of it, blanks as "_"
    for (int i = 0; i < 6; i++) {
        char text[48] = "-";
        if (!(GetMenuState(AppState.hMenu, i, MF_BYPOSITION) & MF_SEPARATOR))
            GetMenuStringA(AppState.hMenu, i, text, sizeof text, MF_BYPOSITION);
        items += std::to_string((int)GetMenuItemID(AppState.hMenu, i)) + ":" + text + ";";
    }
    std::replace(items.begin(), items.end(), ' ', '_');
    GetWindowsDirectoryA(windows, MAX_PATH);
    // Whether the applet left this thread in a single-threaded apartment;
    // it is left as often as it was entered (here, and by the applet before),
    // so that the next row starts clean.
    HRESULT apartment = CoInitializeEx(NULL, COINIT_APARTMENTTHREADED);
    for (int entered = apartment == S_FALSE ? 2 : SUCCEEDED(apartment); entered > 0; entered--)
        CoUninitialize();
    snprintf(out, sizeof out,
             "exit=%d icon=%s copied=%d timer=%d shown=%d deleted=%d window=%d menu=%d class=%d "
             "launches=%d dir=%s paused=%d sta=%d mark=%d value=%s user=%s after=%d box=%s leak=%d "
             "other=%ld visible=%d items=%s small=%d colour=%06lx verb=%s filter=%s",
             code, seen.picture == own ? "own" : "file",
             seen.copied, KillTimer(AppState.hWnd, IDT_ICON_RETRY),
             RealShell_NotifyIconA(NIM_MODIFY, &AppState.nid), seen.deletedLive,
             IsWindow(AppState.hWnd), IsMenu(AppState.hMenu),
             GetClassInfoA(instance, MAIN_CLASS_NAME, &wc) != 0, seen.launches,
             seen.dir == windows ? "windows" : seen.dir.c_str(), seen.pause >= LAUNCH_PAUSE_MS - 20, // GetTickCount's steps
             apartment == S_FALSE, seen.mark, value[0].c_str(), value[1].c_str(), seen.after,
             seen.box.empty() ? "none" : seen.box.c_str(), seen.leak, (long)seen.other, IsWindowVisible(AppState.hWnd), items.c_str(),
             seen.width == small, seen.width ? *(DWORD*)&seen.picture[seen.width * (seen.width + 1) * 2] & 0xFFFFFF : 0,
             seen.verb.c_str(), !seen.filtered ? "none" : seen.flag == MSGFLT_ADD &&
             seen.filtered == RegisterWindowMessageA("TaskbarCreated") ? "TaskbarCreated,add" : "other");
    for (HKEY root : roots)
        SetRunKeyAccess(root, everyone);
    DestroyWindow(AppState.hWnd);
    UnregisterClassA(MAIN_CLASS_NAME, instance);
    return out;
}


int main(int argc, char**)
{
    setvbuf(stdout, NULL, _IONBF, 0); // what was printed survives a timeout
    GetModuleFileNameA(NULL, module, MAX_PATH);
    // A type whose program is this one, with this program's green picture
    // as its own; a document of it; a file of no known type; a shortcut to
    // this program with the green picture.
    RegSetValueA(HKEY_CLASSES_ROOT, ".mivodoc", REG_SZ, "mivodoc", 0);
    RegSetValueA(HKEY_CLASSES_ROOT, "mivodoc\\DefaultIcon", REG_SZ, (string(module) + ",1").c_str(), 0);
    RegSetValueA(HKEY_CLASSES_ROOT, "mivodoc\\shell\\open\\command", REG_SZ, ("\"" + string(module) + "\" \"%1\"").c_str(), 0);
    for (const char* file : {"C:\\mivo.mivodoc", "C:\\mivo.xyz"})
        CloseHandle(CreateFileA(file, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL));
    IShellLinkA* link;
    IPersistFile* saved;
    CoInitialize(NULL);
    CoCreateInstance(CLSID_ShellLink, NULL, CLSCTX_INPROC_SERVER, IID_IShellLinkA, (void**)&link);
    link->SetPath(module), link->SetIconLocation(module, 1);
    link->QueryInterface(IID_IPersistFile, (void**)&saved);
    saved->Save(L"C:\\mivo.lnk", TRUE), saved->Release(), link->Release();
    CoUninitialize();
    // With an argument: the icon rows alone, under 144 DPI (tests/CMakeLists.txt).
    ok(GetSystemMetrics(SM_CXSMICON) == (argc > 1 ? 24 : 16), "small icons %d wide", GetSystemMetrics(SM_CXSMICON));

    slot_Shell_NotifyIconA = (void*)FakeNotify, slot_ExtractIconExA = (void*)FakeExtract;
    slot_CopyIcon = (void*)FakeCopyIcon;
    slot_GetMessageA = (void*)FakeGetMessage, slot_GetWindowsDirectoryA = (void*)FakeWindowsFolder;
    slot_ShellExecuteA = (void*)FakeShellExecute, slot_GetModuleFileNameA = (void*)FakeModuleName;
    slot_LoadLibraryA = (void*)FakeLoadLibrary, slot_MessageBoxA = (void*)FakeMessageBox;
    slot_GetProcAddress = (void*)FakeGetProcAddress;
    // Each row: the tail, the faults, and what must come of them (a part of
    // what RunWithFault tells).
    const char *planner = "C:\\TOOLS\\PLANNER.EXE,C:\\TOOLS\\ICONS.EXE#3", *com = "C:\\A\\EDIT.COM",
               *exe = "C:\\B\\EDIT.EXE", *notepad = "C:\\windows\\notepad.exe",
               *count = "C:\\windows\\notepad.exe,C:\\windows\\notepad.exe#-1";
    const string t259 = "C:\\" + string(256, 'x'), t260 = t259 + "x";
    // This program's icon 1 has a red large and a green small picture; the
    // test programs beside it have no icons.
    const string self = string(notepad) + "," + module, twoSizes = self + "#1",
                 noIcons = self.substr(0, self.rfind('\\')) + "\\..\\logic_test.exe";
    // clang-format off
    const struct { const char* tail; Fault fault; const char* expected; } rows[] = {
        {planner, {}, "exit=77 timer=0 shown=1 window=1 other=-1 visible=0 filter=TaskbarCreated,add "
                      "items=61408:&About...;61376:&Quick_help...;0:-;61424:Permanent;61392:&Close;-1:-;"},
        {planner, {.newTaskbar = true}, "timer=0 shown=1"},
        {"C:\\mivo.xyz", {.noFilter = true}, "exit=77 shown=1 filter=none icon=file sta=1"},
        {planner, {.refusals = 2, .ticks = 3}, "exit=77 timer=0 shown=1"},
        {planner, {.refusals = 3, .addedAnyway = true, .ticks = 2}, "exit=77 timer=0 shown=1"},
        {planner, {.refusals = 1, .waitMs = ICON_RETRY_MS + 2000}, "timer=0 shown=1"},
        {twoSizes.c_str(), {}, "icon=file small=1 colour=10c020 copied=1 sta=0"},
        {twoSizes.c_str(), {.taken = UINT_MAX}, "icon=own small=1 copied=0"},
        // A tail without an icon file: its program's icon first, else the
        // picture the shell shows (a shortcut's target's, a folder's, a type's).
        {"C:\\mivo.lnk", {}, "icon=file small=1 colour=10c020 sta=1"},
        {"C:\\mivo.mivodoc", {}, "icon=own copied=1 sta=0"},
        {count, {}, "icon=own small=1 copied=0"},
        {noIcons.c_str(), {}, "icon=own small=1 copied=0"},
        {planner, {.noWindow = true}, "exit=3 class=0"},
        {t259.c_str(), {}, "exit=77 shown=1"},
        {t260.c_str(), {}, "exit=2 shown=0 window=0 class=0"},
        {planner, {.command = IDM_CLOSE}, "exit=0 shown=0 deleted=1 window=0 menu=0 class=0"},
        // What taskkill sends, and the end of the session, really or not.
        {planner, {.message = WM_CLOSE}, "exit=0 shown=0 deleted=1 window=0 menu=0 class=0"},
        {planner, {.message = WM_ENDSESSION, .command = TRUE}, "exit=0 shown=0 deleted=1 window=0 menu=0 class=0"},
        {planner, {.message = WM_ENDSESSION, .command = FALSE}, "exit=77 shown=1 window=1"},
        {planner, {.loop = -1}, "exit=4 shown=0 deleted=1 window=0 menu=0 class=0"},
        {"C:\\windows", {.noOle = true, .press = true}, "icon=file launches=1 sta=0"},
        {planner, {.press = true}, "launches=1 dir=windows paused=1 sta=1 verb=null"},
        // Only presses act: a double click (after its press) and releases do nothing.
        {planner, {.press = true, .mouse = WM_LBUTTONDBLCLK}, "launches=0"},
        {planner, {.press = true, .mouse = WM_LBUTTONUP}, "launches=0"},
        {planner, {.press = true, .mouse = WM_RBUTTONUP}, "launches=0"},
        {planner, {.noWindowsFolder = true, .press = true}, "launches=1 dir=C:\\WINDOWS"},
        // Permanent, through commands the mask lets through or not, after
        // someone else may have stored a value of the same name.
        {planner, {.command = 0xEFF0}, "mark=0 value=stored user=none after=1 box=none leak=0"},
        {planner, {.planted = REG_SZ, .command = 0xEFF7}, "mark=1 value=none leak=0"},
        {planner, {.planted = REG_SZ, .command = 0xEF00}, "mark=1 value=other"},
        {planner, {.command = 0x1EFF0}, "value=stored"},
        {planner, {.planted = REG_DWORD, .command = IDM_PERMANENT}, "mark=1 value=none"},
        {com, {.plantedName = "Mivo Edit", .command = IDM_PERMANENT}, "value=stored icon=own sta=1"},
        {exe, {.planted = REG_SZ, .plantedName = "Mivo Edit", .command = IDM_PERMANENT}, "mark=1 value=none"},
        {planner, {.cutModule = true, .command = IDM_PERMANENT}, "value=none"},
        // A standard user stores the value under the user's own key, and is
        // told when a value for every user must stay or nothing may be stored.
        {planner, {.locked = 1, .command = IDM_PERMANENT}, "mark=0 value=none user=stored after=1 box=none"},
        {planner, {.locked = 1, .planted = REG_SZ, .in = 2, .command = IDM_PERMANENT}, "mark=1 value=none user=none after=0 box=none"},
        {planner, {.locked = 1, .planted = REG_SZ, .command = IDM_PERMANENT}, "mark=1 value=other user=none after=1 box=admin"},
        {planner, {.locked = 1, .planted = REG_SZ, .in = 3, .command = IDM_PERMANENT}, "mark=1 value=other user=none after=1 box=admin"},
        {planner, {.locked = 3, .command = IDM_PERMANENT}, "mark=0 value=none user=none after=0 box=failed"},
        {planner, {.planted = REG_SZ, .in = 2, .command = IDM_PERMANENT}, "mark=1 value=none user=none after=0 box=none"}};
    // clang-format on
    for (const auto& row : rows) {
        if (argc > 1 && !strstr(row.expected, "small="))
            continue;
        string found = " " + RunWithFault(row.tail, row.fault) + " ", missing;
        for (const char *p = row.expected, *end; *p; p = *end ? end + 1 : end) {
            end = p + strcspn(p, " ");
            if (found.find(" " + string(p, end) + " ") == string::npos)
                missing += " " + string(p, end);
        }
        ok(missing.empty(), "%s: not%s in%s", row.tail, missing.c_str(), found.c_str());
    }
    return done();
}

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

// The machine's Run key and the user's, then their startup lists (the
// machine's in the 64-bit view), as bits 1, 2, 4 and 8 of Fault::in.
#define LIST "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\Run"
static const struct { HKEY root; const char* path; REGSAM view; } keys[] = {
    {HKEY_LOCAL_MACHINE, AUTOSTART_KEY, 0}, {HKEY_CURRENT_USER, AUTOSTART_KEY, 0},
    {HKEY_LOCAL_MACHINE, LIST "32", KEY_WOW64_64KEY}, {HKEY_CURRENT_USER, LIST, 0}};

// Opens keys[i], made when missing.
static HKEY Key(int i, REGSAM access)
{
    HKEY key = NULL;
    RegCreateKeyExA(keys[i].root, keys[i].path, 0, NULL, 0, access | keys[i].view, NULL, &key, NULL);
    return key;
}

// What keys[i] holds under name: "none", the command "stored" as REG_SZ, or "other".
static string Value(int i, const char* name, const string& stored)
{
    char data[600] = "";
    DWORD size = sizeof data - 1, type = REG_NONE;
    HKEY key = Key(i, KEY_QUERY_VALUE);
    LSTATUS status = RegQueryValueExA(key, name, NULL, &type, (BYTE*)data, &size);
    RegCloseKey(key);
    return status == ERROR_FILE_NOT_FOUND ? "none" : !status && type == REG_SZ && data == stored ? "stored" : "other";
}

// keys[i]'s access list, in SDDL.
static void SetAccess(int i, const char* sddl)
{
    PSECURITY_DESCRIPTOR sd;
    HKEY key = Key(i, WRITE_DAC);
    ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, SDDL_REVISION_1, &sd, NULL);
    RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, sd);
    RegCloseKey(key);
    LocalFree(sd);
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
SLOT(CopyIcon, 4); SLOT(GetMessageA, 16); SLOT(MessageBoxA, 16); SLOT(TrackPopupMenu, 28); // USER32
SLOT(GetWindowsDirectoryA, 8); SLOT(GetModuleFileNameA, 12); SLOT(LoadLibraryA, 4); // KERNEL32
SLOT(GetProcAddress, 8);

struct Fault {
    int refusals = 0;         // calls of Shell_NotifyIconA that fail first...
    bool addedAnyway = false; // ...though the shell took the icon, as after a timeout
    UINT taken = 0;           // the count ExtractIconExA answers; 0: the system's
    bool noWindow = false, noWindowsFolder = false, noOle = false, cutModule = false;
    bool press = false, noFilter = false; // press: a faked launch, by this mouse message:
    LPARAM mouse = WM_LBUTTONDOWN;
    int locked = 0; // keys this user may not change, as bits like Fault::in
    bool newUser = false, newTaskbar = false; // no Run key of the user's yet; the shell forgets the icon, announces a new taskbar
    DWORD planted = REG_NONE; // the type of a value someone else stored under...
    const char* plantedName = "Mivo Planner"; // ...this name; REG_NONE: no value...
    int in = 1; // ...in these Run keys: 1 the machine's, 2 the user's; 4, 8: an entry in their lists...
    BYTE state = 3; // ...whose first byte is this (odd: turned off)
    int unreadable = 0; // Run keys this user may not read from the first look on
    int ticks = 0, waitMs = 0; // retry messages sent; real time the timer may run
    UINT message = WM_COMMAND; WPARAM command = 0; // sent with command as wParam: a choice, or a request to end
    int loop = 0; // GetMessageA's result: 0 for the quit, or -1
};
static Fault fault;
static char module[MAX_PATH];
static struct { UINT_PTR extracted; bool copied, deletedLive, mark, after, looped, mixed; int launches, pause, menus;
                int leak, width; LRESULT other; string dir, box, picture, verb, file, params, source, library; UINT filtered; DWORD flag;
                NOTIFYICONDATAA added; } seen;

static BOOL WINAPI FakeNotify(DWORD message, PNOTIFYICONDATAA nid)
{
    // The shell knows the icon by window and identifier: every call must
    // name the pair it was first added with.
    if (message == NIM_ADD && !seen.added.hWnd)
        seen.added = *nid, seen.added.uFlags = 0;
    seen.mixed |= nid->hWnd != seen.added.hWnd || nid->uID != seen.added.uID;
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
    seen.source = (strcmp(file, module) ? file : "self") + ("#" + std::to_string(index));
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
    seen.dir = dir ? dir : "(none)", seen.verb = verb ? verb : "null", seen.file = file, seen.params = p ? p : "null";
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
    seen.library = name;
    return fault.noOle ? NULL : RealLoadLibraryA(name);
}
// While the menu is open, the right press comes again (twice at most, so
// that without a guard the row fails instead of recursing for ever).
static BOOL WINAPI FakeTrackPopupMenu(HMENU, UINT, int, int, int, HWND, const RECT*)
{
    return ++seen.menus < 3 && SendMessageA(AppState.hWnd, WM_ICONNOTIFY, ICON_UID, WM_RBUTTONDOWN), FALSE;
}
// A box about Permanent, in a word: it shows the way out, or that it failed.
static int WINAPI FakeMessageBox(HWND, LPCSTR text, LPCSTR caption, UINT)
{
    bool ours = !strcmp(caption, "Mivo Permanent"), admin = strstr(text, "\"Run as administrator\"");
    seen.box = ours && admin && strstr(text, "every user") ? "admin" : ours && strstr(text, "could not be set") ? "failed"
             : ours && strstr(text, "turned off in Task Manager") ? "off" : "other";
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
    // The press, and the command below: how long each holds the thread.
    auto timed = [](UINT message, WPARAM w, LPARAM l) { DWORD start = GetTickCount();
                     SendMessageA(AppState.hWnd, message, w, l); seen.pause += (int)(GetTickCount() - start); };
    if (fault.press)
        timed(WM_ICONNOTIFY, ICON_UID, fault.mouse);
    if (fault.newTaskbar && RealShell_NotifyIconA(NIM_DELETE, &seen.added))
        SendMessageA(AppState.hWnd, RegisterWindowMessageA("TaskbarCreated"), 0, 0);
    // Another menu's showing is none of the applet's business: -1.
    seen.other = SendMessageA(AppState.hWnd, WM_INITMENUPOPUP, (WPARAM)CreatePopupMenu(), 0);
    // Permanent's mark as the menu shows it, before the command and after.
    auto look = [] { return SendMessageA(AppState.hWnd, WM_INITMENUPOPUP, (WPARAM)AppState.hMenu, 0),
                     GetMenuState(AppState.hMenu, IDM_PERMANENT, MF_BYCOMMAND) & MF_CHECKED; };
    DWORD handles = Handles();
    seen.mark = look();
    for (int i = 0; i < 2; i++)
        if (fault.unreadable >> i & 1)
            SetAccess(i, "D:(D;;0x1;;;WD)(A;;KA;;;WD)"); // all but query values
    timed(fault.message, fault.command, 0);
    seen.leak = (int)(Handles() - handles);
    seen.after = look();
    if (fault.loop == 0 && IsWindow(AppState.hWnd))
        PostQuitMessage(77);
    return fault.loop == -1 ? -1 : RealGetMessageA(msg, hwnd, first, last);
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
    // An entry's bytes after the first have the other parity: they must not matter.
    BYTE entry[12] = {row.state, 0};
    memset(entry + 1, row.state ^ 1, sizeof entry - 1);
    for (int i = 0; i < 4; i++) { // someone else's value or entry under each key, or none
        HKEY key = Key(i, KEY_SET_VALUE);
        row.in >> i & 1 && (i > 1 || row.planted != REG_NONE)
            ? RegSetValueExA(key, row.plantedName, 0, i > 1 ? REG_BINARY : row.planted,
                             i > 1 ? entry : (const BYTE*)"%WINDIR%", i > 1 ? sizeof entry : 9)
            : RegDeleteValueA(key, row.plantedName);
        RegCloseKey(key);
        SetAccess(i, row.locked >> i & 1 ? standard : everyone);
    }
    if (row.newUser)
        RegDeleteKeyA(HKEY_CURRENT_USER, AUTOSTART_KEY);
    WNDCLASSA refusing = {0, RefuseWindow, 0, 0, instance, NULL, NULL, NULL, NULL, MAIN_CLASS_NAME};
    if (row.noWindow)
        RegisterClassA(&refusing);
    int code = WinMain(instance, NULL, const_cast<LPSTR>(tail), SW_SHOWDEFAULT);
    int small = GetSystemMetrics(SM_CXSMICON), width; // and Mivo's own icon at that width:
    string own = Picture((HICON)LoadImageA(instance, MAKEINTRESOURCEA(IDI_PROGRAM), IMAGE_ICON, small, small, 0), width);
    WNDCLASSA wc;
    char out[640], windows[MAX_PATH], ole[MAX_PATH];
    string stored = "\"" + string(module) + "\" " + tail, value[4];
    for (int i = 0; i < 4; i++)
        SetAccess(i, everyone);
    for (int i = 0; i < 4; i++)
        value[i] = Value(i, AppState.szValueName, stored);
    char target[1024], icon[ICON_BUFFER_SIZE]; // the tail's own identifier
    TargetSpec spec = ParseCommandTail(strcpy(target, tail), icon);
    UINT uid = MakeIconId(&spec);
    string items, tip = AppState.nid.szTip, params = seen.params; // the menu's items and the end of it, blanks as "_"
    for (int i = 0; i < 7; i++) {
        char text[48] = "-";
        if (!(GetMenuState(AppState.hMenu, i, MF_BYPOSITION) & MF_SEPARATOR))
            GetMenuStringA(AppState.hMenu, i, text, sizeof text, MF_BYPOSITION);
        items += std::to_string((int)GetMenuItemID(AppState.hMenu, i)) + ":" + text + ";";
    }
    for (string* text : {&items, &tip, &params}) std::replace(text->begin(), text->end(), ' ', '_');
    GetWindowsDirectoryA(windows, MAX_PATH);
    strcpy(ole + GetSystemDirectoryA(ole, MAX_PATH), "\\ole32.dll");
    // Whether the applet left this thread in a single-threaded apartment;
    // it is left as often as it was entered (here, and by the applet before),
    // so that the next row starts clean.
    HRESULT apartment = CoInitializeEx(NULL, COINIT_APARTMENTTHREADED);
    for (int entered = apartment == S_FALSE ? 2 : SUCCEEDED(apartment); entered > 0; entered--)
        CoUninitialize();
    snprintf(out, sizeof out,
             "exit=%d icon=%s copied=%d timer=%d shown=%d deleted=%d window=%d menu=%d class=%d "
             "launches=%d dir=%s paused=%d sta=%d mark=%d value=%s user=%s entries=%d after=%d box=%s "
             "leak=%d other=%ld visible=%d items=%s default=%d small=%d colour=%06lx verb=%s filter=%s menus=%d "
             "uid=%s same=%d tip=%s file=%s params=%s source=%s ole=%s",
             code, seen.picture == own ? "own" : "file",
             seen.copied, KillTimer(AppState.hWnd, IDT_ICON_RETRY),
             RealShell_NotifyIconA(NIM_MODIFY, &seen.added), seen.deletedLive,
             IsWindow(AppState.hWnd), IsMenu(AppState.hMenu),
             GetClassInfoA(instance, MAIN_CLASS_NAME, &wc) != 0, seen.launches,
             seen.dir == windows ? "windows" : seen.dir.c_str(), seen.pause >= LAUNCH_PAUSE_MS - 20, // GetTickCount's steps
             apartment == S_FALSE, seen.mark, value[0].c_str(), value[1].c_str(),
             (value[2] != "none") + 2 * (value[3] != "none"), seen.after,
             seen.box.empty() ? "none" : seen.box.c_str(), seen.leak, (long)seen.other, IsWindowVisible(AppState.hWnd), items.c_str(),
             (int)GetMenuDefaultItem(AppState.hMenu, FALSE, 0),
             seen.width == small, seen.width ? *(DWORD*)&seen.picture[seen.width * (seen.width + 1) * 2] & 0xFFFFFF : 0,
             seen.verb.c_str(), !seen.filtered ? "none" : seen.flag == MSGFLT_ADD &&
             seen.filtered == RegisterWindowMessageA("TaskbarCreated") ? "TaskbarCreated,add" : "other", seen.menus,
             seen.added.uID == uid && uid != ICON_UID ? "tail" : std::to_string(seen.added.uID).c_str(),
             seen.added.hWnd && !seen.mixed, tip.c_str(), seen.file.c_str(), params.c_str(), seen.source.c_str(),
             seen.library.empty() ? "none" : lstrcmpiA(seen.library.c_str(), ole) ? seen.library.c_str() : "system");
    DestroyWindow(AppState.hWnd);
    UnregisterClassA(MAIN_CLASS_NAME, instance);
    return out;
}


int main(int argc, char** argv)
{
    setvbuf(stdout, NULL, _IONBF, 0); // what was printed survives a timeout
    // The Windows these rows stand for, as WINEARCH names it (CTest sets
    // it): win32, where no registry view is redirected, or win64, where this
    // program runs under WOW64. Run in the other, they would prove the other.
    BOOL wow64 = FALSE;
    const char *arch = getenv("WINEARCH"),
               *found = IsWow64Process(GetCurrentProcess(), &wow64) && wow64 ? "win64" : "win32";
    printf("in %s, a %s prefix\n", getenv("WINEPREFIX"), found);
    ok(arch && !strcmp(arch, found), "a %s prefix, but WINEARCH is %s", found,
       arch ? arch : "not set");
    if (check_failed)
        return done();
    GetModuleFileNameA(NULL, module, MAX_PATH);
    // A type whose program is this one, with this program's green picture
    // (icon 1, resource 2) as its own. Schemes of addresses, their classes
    // and the user's choices of class, each with the green picture or the
    // program's own icon 0.
    SetEnvironmentVariableA("MIVOSELF", module);
    const string me = module, quoted = "\"" + me + "\"", choice = "Software\\Microsoft\\Windows\\Shell\\Associations\\UrlAssociations\\";
    const HKEY classes = HKEY_CLASSES_ROOT, user = HKEY_CURRENT_USER;
    const struct { HKEY root; string key; const char* name; DWORD type; string data; } registry[] = {
        {classes, ".mivodoc", NULL, REG_SZ, "mivodoc"}, {classes, "mivodoc\\DefaultIcon", NULL, REG_SZ, me + ",1"},
        {classes, "mivodoc\\shell\\open\\command", NULL, REG_SZ, quoted + " \"%1\""},
        {classes, "mivo-icon\\DefaultIcon", NULL, REG_SZ, quoted + ",1"}, {classes, "MivoGreen\\DefaultIcon", NULL, REG_SZ, me + ",1"},
        {classes, "mivo-open\\shell\\open\\command", NULL, REG_SZ, quoted + " \"%1\""}, {classes, "MivoOwn\\shell\\open\\command", NULL, REG_SZ, quoted + " %1"},
        {classes, "mivo-expand\\DefaultIcon", NULL, REG_EXPAND_SZ, "%MIVOSELF%,-2"}, {user, choice + "mivo-expand\\UserChoice", "ProgId", REG_SZ, "MivoMissing"},
        {user, choice + "mivo-open\\UserChoice", "ProgId", REG_SZ, "MivoGreen"}, {user, choice + "mivo-icon\\UserChoice", "ProgId", REG_SZ, "MivoGreen"},
        {user, choice + "mivo-icon\\UserChoiceLatest", "ProgId", REG_SZ, "MivoOwn"}};
    for (const auto& value : registry)
        RegSetKeyValueA(value.root, value.key.c_str(), value.name, value.type, value.data.c_str(), value.data.size() + 1);
    // A document of that type; a file of no known type; a shortcut to this
    // program with the green picture.
    for (const char* file : {"C:\\mivo.mivodoc", "C:\\mivo.xyz"})
        CloseHandle(CreateFileA(file, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL));
    IShellLinkA* link; IPersistFile* saved;
    CoInitialize(NULL);
    CoCreateInstance(CLSID_ShellLink, NULL, CLSCTX_INPROC_SERVER, IID_IShellLinkA, (void**)&link);
    link->SetPath(module), link->SetIconLocation(module, 1);
    link->QueryInterface(IID_IPersistFile, (void**)&saved);
    saved->Save(L"C:\\mivo.lnk", TRUE), saved->Release(), link->Release();
    CoUninitialize();
    // With arguments: the rows that expect a token alone, with small icons
    // so wide (tests/CMakeLists.txt).
    ok(GetSystemMetrics(SM_CXSMICON) == (argc > 2 ? atoi(argv[2]) : 16), "small icons %d wide", GetSystemMetrics(SM_CXSMICON));

    slot_Shell_NotifyIconA = (void*)FakeNotify, slot_ExtractIconExA = (void*)FakeExtract;
    slot_CopyIcon = (void*)FakeCopyIcon;
    slot_GetMessageA = (void*)FakeGetMessage, slot_GetWindowsDirectoryA = (void*)FakeWindowsFolder;
    slot_ShellExecuteA = (void*)FakeShellExecute, slot_GetModuleFileNameA = (void*)FakeModuleName;
    slot_LoadLibraryA = (void*)FakeLoadLibrary, slot_MessageBoxA = (void*)FakeMessageBox;
    slot_GetProcAddress = (void*)FakeGetProcAddress, slot_TrackPopupMenu = (void*)FakeTrackPopupMenu;
    // Each row: the tail, the faults, and what must come of them (a part of
    // what RunWithFault tells).
    const char *planner = "C:\\TOOLS\\PLANNER.EXE,C:\\TOOLS\\ICONS.EXE#3", *com = "C:\\A\\EDIT.COM",
               *exe = "C:\\B\\EDIT.EXE", *notepad = "C:\\windows\\notepad.exe",
               *count = "C:\\windows\\notepad.exe,C:\\windows\\notepad.exe#-1";
    const string t259 = "C:\\" + string(256, 'x'), t260 = t259 + "x";
    // This program's icon 1 has a red large and a green small picture; the
    // test programs beside it have no icons. Its path has a blank, so it
    // comes in quotes as Windows hands such paths over.
    const string self = string(notepad) + "," + module, twoSizes = "\"" + string(module) + "\",\"" + module + "\"#1",
                 noIcons = self.substr(0, self.rfind('\\')) + "\\..\\logic_test.exe";
    // clang-format off
    const struct { const char* tail; Fault fault; const char* expected; } rows[] = {
        {planner, {}, "exit=77 timer=0 shown=1 window=1 other=-1 visible=0 default=61360 filter=TaskbarCreated,add uid=tail same=1 "
                      "items=61360:&Open;61408:&About...;61376:&Quick_help...;0:-;61424:Permanent;61392:&Close;-1:-;"},
        {planner, {.newTaskbar = true}, "timer=0 shown=1 same=1"},
        {"C:\\mivo.xyz", {.noFilter = true}, "exit=77 shown=1 filter=none icon=file sta=1"},
        {planner, {.refusals = 2, .ticks = 3}, "exit=77 timer=0 shown=1"},
        {planner, {.refusals = 3, .addedAnyway = true, .ticks = 2}, "exit=77 timer=0 shown=1 same=1"},
        {planner, {.refusals = 1, .waitMs = ICON_RETRY_MS + 2000}, "timer=0 shown=1"},
        {twoSizes.c_str(), {}, "icon=file small=1 colour=10c020 copied=1 sta=0 tip=Inproc_test uid=tail"},
        {twoSizes.c_str(), {.taken = UINT_MAX}, "icon=own small=1 copied=0"},
        // A tail without an icon file: its program's icon first, else the
        // picture the shell shows (a shortcut's target's, a folder's, a type's).
        {"C:\\mivo.lnk", {}, "icon=file small=1 colour=10c020 sta=1 ole=system"},
        // A document in quotes: its program's icon, a name and a launch
        // without them, and Permanent stores the tail with them.
        {"\"C:\\mivo.mivodoc\"", {.press = true, .plantedName = "Mivo Mivo.mivodoc", .command = IDM_PERMANENT},
         "icon=own copied=1 tip=Mivo.mivodoc launches=1 file=C:\\mivo.mivodoc value=stored after=1"},
        {count, {}, "icon=own small=1 copied=0"},
        {noIcons.c_str(), {}, "icon=own small=1 copied=0"},
        {planner, {.noWindow = true}, "exit=3 class=0"},
        {t259.c_str(), {}, "exit=77 shown=1"},
        {t260.c_str(), {}, "exit=2 shown=0 window=0 class=0"},
        {planner, {.command = IDM_CLOSE}, "exit=0 shown=0 deleted=1 window=0 menu=0 class=0 same=1"},
        // What taskkill sends, and the end of the session, really or not.
        {planner, {.message = WM_CLOSE}, "exit=0 shown=0 deleted=1 window=0 menu=0 class=0"},
        {planner, {.message = WM_ENDSESSION, .command = TRUE}, "exit=0 shown=0 deleted=1 window=0 menu=0 class=0"},
        {planner, {.message = WM_ENDSESSION, .command = FALSE}, "exit=77 shown=1 window=1"},
        {planner, {.loop = -1}, "exit=4 shown=0 deleted=1 window=0 menu=0 class=0"},
        {"C:\\windows", {.noOle = true, .press = true}, "icon=file launches=1 sta=0 ole=system"},
        {planner, {.press = true}, "launches=1 dir=windows paused=1 sta=1 verb=null params=null ole=system"},
        // A program's arguments reach it as the launch's parameters.
        {"\"C:\\windows\\notepad.exe\"  a,b  \"c d\"", {.press = true}, "launches=1 file=C:\\windows\\notepad.exe params=a,b__\"c_d\" tip=Notepad_a,b__\"c_d\""},
        // An address: the icon of the class its scheme opens with, or of the
        // user's choice of class (the newest first, and one that names no
        // class counts as none); its DefaultIcon's number, or the program of
        // its open command; the scheme's own class without either choice.
        {"mivo-icon://x/", {}, "icon=own copied=1 source=self#0 tip=x"},
        {"mivo-open:x", {}, "colour=10c020 source=self#1 tip=mivo-open:x"},
        {"mivo-expand:x", {.press = true}, "colour=10c020 source=self#-2 launches=1 file=mivo-expand:x params=null"},
        {"mivo-none:x", {}, "icon=own copied=0 source=#0"},
        // Only presses act: a double click (after its press) and releases do nothing.
        {planner, {.press = true, .mouse = WM_LBUTTONDBLCLK}, "launches=0"},
        {planner, {.press = true, .mouse = WM_LBUTTONUP}, "launches=0"},
        {planner, {.press = true, .mouse = WM_RBUTTONUP}, "launches=0 menus=0"},
        // A right press opens one menu, even when it comes again while that is open.
        {planner, {.press = true, .mouse = WM_RBUTTONDOWN}, "launches=0 menus=1"},
        // Open, under the mask too, launches as a left press does (mouse 0: no press).
        {planner, {.press = true, .mouse = 0, .command = IDM_OPEN}, "launches=1 dir=windows paused=1 verb=null"},
        {"\"C:\\windows\\notepad.exe\"", {.noWindowsFolder = true, .press = true, .mouse = 0, .command = IDM_OPEN + 5},
         "launches=1 dir=C:\\WINDOWS paused=1 icon=file copied=1 tip=Notepad"},
        // Permanent, through commands the mask lets through or not, after
        // someone else may have stored a value of the same name, which Task
        // Manager may have turned off (an odd first byte) or on (even).
        {planner, {.in = 4, .command = 0x1EFF0}, "mark=0 value=stored user=none entries=0 after=1 box=none leak=0"},
        {planner, {.planted = REG_SZ, .in = 1 | 4, .state = 2, .command = 0xEFF7}, "mark=1 value=none entries=0 leak=0"},
        {planner, {.planted = REG_SZ, .in = 1 | 4, .command = IDM_PERMANENT}, "mark=0 value=stored entries=0 after=1"},
        {planner, {.planted = REG_SZ, .command = 0xEF00}, "mark=1 value=other"},
        {planner, {.planted = REG_DWORD, .in = 2, .command = IDM_PERMANENT}, "mark=1 value=none user=none after=0 box=none"},
        {com, {.plantedName = "Mivo Edit", .command = IDM_PERMANENT}, "value=stored icon=own sta=1"},
        {exe, {.planted = REG_SZ, .plantedName = "Mivo Edit", .command = IDM_PERMANENT}, "mark=1 value=none"},
        {planner, {.cutModule = true, .command = IDM_PERMANENT}, "value=none"},
        // A standard user, maybe new, stores the value under the user's own
        // key, and is told when a value for every user must stay, nothing
        // may be stored, or it stays turned off.
        {planner, {.locked = 1, .newUser = true, .command = IDM_PERMANENT}, "mark=0 value=none user=stored after=1 box=none"},
        {planner, {.locked = 1, .planted = REG_SZ, .in = 2 | 8, .state = 6, .command = IDM_PERMANENT}, "mark=1 value=none user=none entries=0 after=0 box=none"},
        {planner, {.locked = 1, .planted = REG_SZ, .in = 2 | 8, .state = 7, .command = IDM_PERMANENT}, "mark=0 user=stored entries=0 after=1 box=none"},
        {planner, {.locked = 1, .planted = REG_SZ, .in = 1 | 4, .command = IDM_PERMANENT}, "mark=0 value=other user=stored entries=1 after=1 box=none"},
        {planner, {.locked = 1 | 8, .in = 8, .command = IDM_PERMANENT}, "mark=0 user=stored entries=2 after=0 box=off"},
        {planner, {.locked = 1, .planted = REG_SZ, .in = 3, .command = IDM_PERMANENT}, "mark=1 value=other user=none after=1 box=admin"},
        {planner, {.locked = 3, .command = IDM_PERMANENT}, "mark=0 value=none user=none after=0 box=failed"},
        // Keys that cannot be read tell nothing: the mark stays as it was.
        {planner, {.planted = REG_SZ, .in = 3, .unreadable = 3, .command = IDM_PERMANENT}, "mark=1 value=other user=other after=1 box=failed"}};
    // clang-format on
    // A DLL that lies only beside this program loads by its name until the
    // applet's start-up code has run, and from then on no longer.
    auto beside = [] { HMODULE dll = RealLoadLibraryA("mivo_beside.dll"); return dll && FreeLibrary(dll); };
    ok(beside(), "mivo_beside.dll does not load before the first row");
    for (const auto& row : rows) {
        if (argc > 1 && !strstr(row.expected, argv[1]))
            continue;
        string found = " " + RunWithFault(row.tail, row.fault) + " ", missing;
        ok(!beside(), "%s: mivo_beside.dll still loads by its name", row.tail);
        for (const char *p = row.expected, *end; *p; p = *end ? end + 1 : end) {
            end = p + strcspn(p, " ");
            if (found.find(" " + string(p, end) + " ") == string::npos)
                missing += " " + string(p, end);
        }
        ok(missing.empty(), "%s: not%s in%s", row.tail, missing.c_str(), found.c_str());
    }
    return done();
}

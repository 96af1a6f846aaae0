// The end-to-end tests' eyes and hands inside Wine: what the X tools cannot
// see (windows by class, the text of a message box, the Windows side of a
// process start). Every answer goes to standard output as "key=value" lines;
// texts are written with \xNN escapes for every byte outside 0x21..0x7E
// (and for the backslash itself), so line feeds and carriage returns survive
// byte for byte.
//
// Built twice from this source: as probe.exe with sub-commands, and with
// MIVO_RECORDER as mivo_recorder.exe, a launch target that takes no
// parameters and appends one line per start to RECORDER_LOG.

#include <windows.h>

#include <shellapi.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#define RECORDER_DIR "C:\\mivo-e2e"
#define RECORDER_LOG RECORDER_DIR "\\launch.txt"

namespace
{

std::string Escape(const char* text, size_t length)
{
    std::string out;
    char hex[5];
    for (size_t i = 0; i < length; ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c > 0x20 && c < 0x7F && c != '\\') {
            out += static_cast<char>(c);
        } else {
            snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        }
    }
    return out;
}

// Appends one line "cwd=...<TAB>cmdline=..." to the file; the line is
// written with one call, so two launches never interleave within a line.
int Record(const char* path)
{
    char cwd[MAX_PATH * 2] = "";
    GetCurrentDirectoryA(sizeof cwd, cwd);
    std::string line = "cwd=" + Escape(cwd, strlen(cwd)) + "\tcmdline=";
    const char* commandLine = GetCommandLineA();
    line += Escape(commandLine, strlen(commandLine));
    line += "\r\n";

    HANDLE file = INVALID_HANDLE_VALUE;
    for (int attempt = 0; attempt < 50 && file == INVALID_HANDLE_VALUE; ++attempt) {
        file = CreateFileA(path, FILE_APPEND_DATA, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                           nullptr);
        if (file == INVALID_HANDLE_VALUE)
            Sleep(20); // another launch holds the file
    }
    if (file == INVALID_HANDLE_VALUE)
        return 1;
    DWORD written = 0;
    BOOL ok = WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    CloseHandle(file);
    return ok && written == line.size() ? 0 : 1;
}

#ifndef MIVO_RECORDER

std::string Escape(const std::string& text)
{
    return Escape(text.data(), text.size());
}

std::string WindowText(HWND hwnd)
{
    // WM_GETTEXT rather than GetWindowTextA: it reads controls of other
    // processes too.
    LRESULT length = SendMessageA(hwnd, WM_GETTEXTLENGTH, 0, 0);
    if (length <= 0)
        return std::string();
    std::vector<char> buffer(static_cast<size_t>(length) + 1);
    LRESULT got =
        SendMessageA(hwnd, WM_GETTEXT, buffer.size(), reinterpret_cast<LPARAM>(&buffer[0]));
    if (got < 0)
        got = 0;
    return std::string(&buffer[0], static_cast<size_t>(got));
}

std::string ClassName(HWND hwnd)
{
    char name[256] = "";
    GetClassNameA(hwnd, name, sizeof name);
    return name;
}

struct TopLevelSearch {
    const char* className;
    const char* title; // nullptr: any
    bool visibleOnly;
    std::vector<HWND> found;
};

// A class name "*" stands for any class.
BOOL CALLBACK CollectTopLevel(HWND hwnd, LPARAM lParam)
{
    TopLevelSearch* search = reinterpret_cast<TopLevelSearch*>(lParam);
    if (strcmp(search->className, "*") != 0 && ClassName(hwnd) != search->className)
        return TRUE;
    if (search->visibleOnly && !IsWindowVisible(hwnd))
        return TRUE;
    if (search->title && WindowText(hwnd) != search->title)
        return TRUE;
    search->found.push_back(hwnd);
    return TRUE;
}

std::vector<HWND> FindTopLevel(const char* className, const char* title, bool visibleOnly)
{
    TopLevelSearch search = {className, title, visibleOnly, {}};
    EnumWindows(CollectTopLevel, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

unsigned long HandleValue(HWND hwnd)
{
    return static_cast<unsigned long>(reinterpret_cast<ULONG_PTR>(hwnd));
}

// A window handle as the probe prints it ("0x1a2b").
HWND WindowArgument(const char* text)
{
    return reinterpret_cast<HWND>(static_cast<ULONG_PTR>(strtoul(text, nullptr, 0)));
}

// find-main: every window of class "MivoClass" titled "Hovedvindu", with its
// visibility and process, and the one FindWindowA gives.
int FindMain()
{
    HWND first = FindWindowA("MivoClass", "Hovedvindu");
    printf("find_window=0x%lx\n", HandleValue(first));
    std::vector<HWND> all = FindTopLevel("MivoClass", "Hovedvindu", false);
    printf("count=%u\n", static_cast<unsigned>(all.size()));
    for (HWND hwnd : all) {
        DWORD pid = 0;
        GetWindowThreadProcessId(hwnd, &pid);
        printf("window=0x%lx visible=%d pid=%lu\n", HandleValue(hwnd),
               IsWindowVisible(hwnd) ? 1 : 0, static_cast<unsigned long>(pid));
    }
    return 0;
}

struct StaticSearch {
    std::vector<HWND> texts;
    HWND ok;
};

BOOL CALLBACK CollectDialogChildren(HWND hwnd, LPARAM lParam)
{
    StaticSearch* search = reinterpret_cast<StaticSearch*>(lParam);
    std::string name = ClassName(hwnd);
    LONG style = GetWindowLongA(hwnd, GWL_STYLE);
    if (lstrcmpiA(name.c_str(), "Static") == 0 && (style & SS_TYPEMASK) != SS_ICON)
        search->texts.push_back(hwnd);
    if (lstrcmpiA(name.c_str(), "Button") == 0 && GetDlgCtrlID(hwnd) == IDOK)
        search->ok = hwnd;
    return TRUE;
}

// read-box CAPTION|* [WAIT_MS] [ok]: waits up to WAIT_MS for a visible
// dialog box (class "#32770") with that caption, prints its caption, the
// text of each static control and the OK button's screen rectangle, and
// with "ok" presses OK. Exit code 1 when no box appeared in time.
int ReadBox(const char* caption, DWORD waitMs, bool pressOk)
{
    const char* title = strcmp(caption, "*") == 0 ? nullptr : caption;
    DWORD start = GetTickCount();
    std::vector<HWND> boxes;
    for (;;) {
        boxes = FindTopLevel("#32770", title, true);
        if (!boxes.empty() || GetTickCount() - start >= waitMs)
            break;
        Sleep(50);
    }
    printf("count=%u\n", static_cast<unsigned>(boxes.size()));
    if (boxes.empty())
        return 1;
    HWND box = boxes[0];
    DWORD pid = 0;
    GetWindowThreadProcessId(box, &pid);
    RECT rect;
    GetWindowRect(box, &rect);
    printf("box=0x%lx pid=%lu rect=%ld,%ld,%ld,%ld\n", HandleValue(box),
           static_cast<unsigned long>(pid), rect.left, rect.top, rect.right, rect.bottom);
    printf("caption=%s\n", Escape(WindowText(box)).c_str());
    StaticSearch search = {{}, nullptr};
    EnumChildWindows(box, CollectDialogChildren, reinterpret_cast<LPARAM>(&search));
    for (HWND text : search.texts)
        printf("static=%s\n", Escape(WindowText(text)).c_str());
    if (search.ok) {
        GetWindowRect(search.ok, &rect);
        printf("ok_rect=%ld,%ld,%ld,%ld\n", rect.left, rect.top, rect.right, rect.bottom);
    }
    fflush(stdout);
    if (pressOk) {
        if (!search.ok)
            return 2;
        PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                     reinterpret_cast<LPARAM>(search.ok));
        printf("pressed=ok\n");
    }
    return 0;
}

// find-menu [WAIT_MS]: the visible pop-up menu window (class "#32768").
int FindMenu(DWORD waitMs)
{
    DWORD start = GetTickCount();
    std::vector<HWND> menus;
    for (;;) {
        menus = FindTopLevel("#32768", nullptr, true);
        if (!menus.empty() || GetTickCount() - start >= waitMs)
            break;
        Sleep(50);
    }
    printf("count=%u\n", static_cast<unsigned>(menus.size()));
    for (HWND menu : menus) {
        RECT rect;
        GetWindowRect(menu, &rect);
        DWORD pid = 0;
        GetWindowThreadProcessId(menu, &pid);
        printf("menu=0x%lx pid=%lu rect=%ld,%ld,%ld,%ld\n", HandleValue(menu),
               static_cast<unsigned long>(pid), rect.left, rect.top, rect.right, rect.bottom);
    }
    return menus.empty() ? 1 : 0;
}

// notify-delete [HWND]: removes the notification icon 1000 of a Mivo window
// (by default the one FindWindowA gives) the way a shell that starts anew
// forgets it: NIM_DELETE with the first version's 88-byte record, which
// carries nothing but the window and the identifier.
int NotifyDelete(const char* window)
{
    HWND hwnd = window ? WindowArgument(window) : FindWindowA("MivoClass", "Hovedvindu");
    printf("window=0x%lx\n", HandleValue(hwnd));
    if (!hwnd)
        return 2;
    NOTIFYICONDATAA nid;
    ZeroMemory(&nid, sizeof nid);
    nid.cbSize = NOTIFYICONDATAA_V1_SIZE;
    nid.hWnd = hwnd;
    nid.uID = 1000;
    BOOL deleted = Shell_NotifyIconA(NIM_DELETE, &nid);
    printf("size=%lu\nresult=%d\n", static_cast<unsigned long>(nid.cbSize), deleted ? 1 : 0);
    return deleted ? 0 : 1;
}

// ping [HWND]: sends WM_NULL to a Mivo window (by default the one FindWindowA
// gives) and waits at most 5 s for the answer. Sent messages are handled in
// the order they came, so once it answers, the window has handled every
// message sent to it before, a broadcast's among them.
int Ping(const char* window)
{
    HWND hwnd = window ? WindowArgument(window) : FindWindowA("MivoClass", "Hovedvindu");
    printf("window=0x%lx\n", HandleValue(hwnd));
    if (!hwnd)
        return 2;
    DWORD_PTR result = 0;
    DWORD start = GetTickCount();
    LRESULT answered = SendMessageTimeoutA(hwnd, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &result);
    printf("answered=%d\nms=%lu\n", answered ? 1 : 0,
           static_cast<unsigned long>(GetTickCount() - start));
    return answered ? 0 : 1;
}

int Broadcast(const char* name)
{
    UINT message = RegisterWindowMessageA(name);
    printf("message=0x%x\n", message);
    if (!message)
        return 1;
    return SendNotifyMessageA(HWND_BROADCAST, message, 0, 0) ? 0 : 1;
}

// run-cmdline WAIT_MS COMMAND_LINE: starts the command line the way the
// system starts a Run value (no application name, the line parsed by
// CreateProcessA), prints the new process's id and, with WAIT_MS > 0, waits
// that long for it and ends with its exit code (or 124 if it is still
// running).
int RunCommandLine(DWORD waitMs, const char* commandLine)
{
    std::vector<char> line(commandLine, commandLine + strlen(commandLine) + 1);
    STARTUPINFOA startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process)) {
        printf("error=%lu\n", static_cast<unsigned long>(GetLastError()));
        return 125;
    }
    printf("pid=%lu\n", static_cast<unsigned long>(process.dwProcessId));
    fflush(stdout);
    CloseHandle(process.hThread);
    int result = 0;
    if (waitMs > 0) {
        if (WaitForSingleObject(process.hProcess, waitMs) == WAIT_OBJECT_0) {
            DWORD code = 0;
            GetExitCodeProcess(process.hProcess, &code);
            printf("exit=%lu\n", static_cast<unsigned long>(code));
            result = static_cast<int>(code);
        } else {
            printf("exit=timeout\n");
            result = 124;
        }
    }
    CloseHandle(process.hProcess);
    return result;
}

// windows CLASS|*: the visible top-level windows of that class (of any).
int ListWindows(const char* className)
{
    std::vector<HWND> found = FindTopLevel(className, nullptr, true);
    printf("count=%u\n", static_cast<unsigned>(found.size()));
    for (HWND hwnd : found) {
        DWORD pid = 0;
        GetWindowThreadProcessId(hwnd, &pid);
        printf("window=0x%lx pid=%lu class=%s title=%s\n", HandleValue(hwnd),
               static_cast<unsigned long>(pid), Escape(ClassName(hwnd)).c_str(),
               Escape(WindowText(hwnd)).c_str());
    }
    return 0;
}

// close HWND: asks a window to close, as its close box would.
int PostClose(const char* window)
{
    return PostMessageA(WindowArgument(window), WM_CLOSE, 0, 0) ? 0 : 1;
}

// An argument "hex:414243" stands for the bytes it spells, so texts with
// quotes and backslashes reach the probe unchanged by any command-line
// quoting on the way.
std::string Argument(const char* text)
{
    if (strncmp(text, "hex:", 4) != 0)
        return text;
    std::string out;
    for (const char* p = text + 4; p[0] && p[1]; p += 2) {
        char pair[3] = {p[0], p[1], 0};
        out += static_cast<char>(strtoul(pair, nullptr, 16));
    }
    return out;
}

int Usage()
{
    fputs("usage: probe find-main\n"
          "       probe read-box CAPTION|* [WAIT_MS] [ok]\n"
          "       probe find-menu [WAIT_MS]\n"
          "       probe broadcast NAME\n"
          "       probe notify-delete [HWND]\n"
          "       probe ping [HWND]\n"
          "       probe record OUTFILE\n"
          "       probe run-cmdline WAIT_MS COMMAND_LINE\n"
          "       probe windows CLASS|*\n"
          "       probe close HWND\n"
          "(any text argument may be written hex:HEXBYTES)\n",
          stderr);
    return 64;
}

#endif // MIVO_RECORDER

} // namespace

int main(int argc, char** argv)
{
#ifdef MIVO_RECORDER
    (void)argc;
    (void)argv;
    CreateDirectoryA(RECORDER_DIR, nullptr);
    return Record(RECORDER_LOG);
#else
    if (argc < 2)
        return Usage();
    std::vector<std::string> args(argv + 1, argv + argc);
    for (std::string& arg : args)
        arg = Argument(arg.c_str());
    const std::string& command = args[0];
    size_t count = args.size();
    int status = 64;
    if (command == "find-main" && count == 1)
        status = FindMain();
    else if (command == "read-box" && count >= 2 && count <= 4)
        status = ReadBox(args[1].c_str(), count >= 3 ? strtoul(args[2].c_str(), nullptr, 10) : 0,
                         count == 4 && args[3] == "ok");
    else if (command == "find-menu" && count <= 2)
        status = FindMenu(count == 2 ? strtoul(args[1].c_str(), nullptr, 10) : 0);
    else if (command == "broadcast" && count == 2)
        status = Broadcast(args[1].c_str());
    else if (command == "notify-delete" && count <= 2)
        status = NotifyDelete(count == 2 ? args[1].c_str() : nullptr);
    else if (command == "ping" && count <= 2)
        status = Ping(count == 2 ? args[1].c_str() : nullptr);
    else if (command == "record" && count == 2)
        status = Record(args[1].c_str());
    else if (command == "run-cmdline" && count == 3)
        status = RunCommandLine(strtoul(args[1].c_str(), nullptr, 10), args[2].c_str());
    else if (command == "windows" && count == 2)
        status = ListWindows(args[1].c_str());
    else if (command == "close" && count == 2)
        status = PostClose(args[1].c_str());
    else
        return Usage();
    fflush(stdout);
    return status;
#endif
}

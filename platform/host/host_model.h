// Control interface of the host model of the Win32 subset the applet uses.
// Tests set up the model's world (files, associations, registry, module
// path), script the user (icon presses, menu choices, box dismissals),
// inspect what the applet did (tray, launches, boxes, menus, registry, the
// ordered call log) and make any operation fail on its Nth call or always.
//
// The model is faithful to what the applet relies on, not to all of
// Windows. Handles are checked: an operation given a handle it never made
// (or one already destroyed) fails as Windows would.
#ifndef MIVO_HOST_MODEL_H
#define MIVO_HOST_MODEL_H

#include <stdexcept>
#include <string>
#include <vector>

#include "platform/platform_ops.h"

namespace host
{

// ---------------------------------------------------------------- world

// Forget everything: windows, classes, queue, tray, menus, icons, files,
// associations, registry, launches, boxes, sleeps, the call log, failure
// rules and the script. The module path becomes DefaultModulePath().
void Reset();

// The instance handle of the applet's module; pass it to WinMain.
HINSTANCE ModuleInstance();
const char* DefaultModulePath(); // "C:\MIVO\MIVO.EXE"
void SetModulePath(const std::string& path);

// A file that exists. Names are compared without regard to ASCII case.
// iconCount is how many icons the file holds (0 for a plain document).
void AddFile(const std::string& path, int iconCount = 0);
// A program: a file that FindExecutableA names as itself.
void AddProgram(const std::string& path, int iconCount = 1);
// Documents whose name ends in extension (".txt") open in program.
void Associate(const std::string& extension, const std::string& program);

void SetCursor(int x, int y);

// ------------------------------------------------------------- registry

// Keys are written "HKLM\Software\..." (HKLM or HKCU first); names of keys
// and values are compared without regard to ASCII case.
void RegistryPut(const std::string& key, const std::string& name, DWORD type,
                 const std::string& bytes);
bool RegistryGet(const std::string& key, const std::string& name, DWORD* type, std::string* bytes);
bool RegistryKeyExists(const std::string& key);
std::string RegistryKeyClass(const std::string& key); // as created
int RegistryValueCount(const std::string& key);
// While set, opening or creating any key under HKEY_LOCAL_MACHINE with
// write access fails with ERROR_ACCESS_DENIED (a user without rights).
void DenyMachineKeyAccess(bool deny);
// A key that exists, with no values (created with its parents if missing).
void RegistryAddKey(const std::string& key, const std::string& className = "");
int OpenKeyCount(); // registry handles opened and not yet closed

// --------------------------------------------------------------- script

enum class ActionKind {
    PressIcon,          // the user does `mouse` on the tray icon `uid`
    ChooseMenuItem,     // in the open menu, choose the item with `id`
    ChooseMenuPosition, // in the open menu, choose the item at `position` (0-based)
    DismissMenu,        // close the open menu without a choice
    PressOk,            // press OK in the topmost message box
    Post,               // post `message` (`wParam`, `lParam`) to the window `window`
                        // (nullptr: the first live top-level window)
    ShellRestart,       // the shell drops every tray icon and broadcasts
                        // "TaskbarCreated" to all top-level windows
    Broadcast,          // post `message` to every live top-level window
};

struct Action {
    ActionKind kind;
    UINT mouse;        // PressIcon: WM_LBUTTONDOWN, WM_RBUTTONUP, ...
    UINT uid;          // PressIcon: the icon's identifier
    UINT_PTR id;       // ChooseMenuItem
    int position;      // ChooseMenuPosition
    HWND window;       // Post
    UINT message;      // Post, Broadcast
    WPARAM wParam;     // Post
    LPARAM lParam;     // Post
    std::string label; // for messages about the script
};

Action PressIcon(UINT mouseMessage, UINT uid = 1000);
Action ChooseMenuItem(UINT_PTR id);
Action ChooseMenuPosition(int position);
Action DismissMenu();
Action PressOk();
Action Post(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
Action ShellRestart();
Action Broadcast(UINT message);

// Appends actions to the script. The applet takes the next action whenever
// it waits for input (GetMessageA with an empty queue, or a menu or message
// box waiting for the user). Presses on the icon reach the icon's window as
// its callback message, posted, with the mouse message in lParam.
void Script(const std::vector<Action>& actions);
size_t ScriptRemaining();

// Thrown (out of GetMessageA, TrackPopupMenu or a message box) when the
// applet waits for input and the script has run out, so a test can never
// hang; and, unless the script is lenient, when the next action does not fit
// what is on screen (a menu choice with no menu open, OK with no box).
struct ScriptExhausted : std::runtime_error {
    using std::runtime_error::runtime_error;
};
struct ScriptMismatch : std::runtime_error {
    using std::runtime_error::runtime_error;
};
// Lenient: an action that does not fit is dropped and noted in the call log
// as "script:dropped <label>" (for fault sweeps, where a failed call may
// mean the menu or box the script expected never opened).
void SetLenientScript(bool lenient);

// Thrown when the applet uses the model in a way it does not cover (a
// message filter in GetMessageA, a menu item that is a bitmap, a NULL result
// buffer), so that such a use is seen at once instead of half-modelled.
struct Unsupported : std::logic_error {
    using std::logic_error::logic_error;
};

// ------------------------------------------------------------- failures

// The nth call (1-based, counted since Reset) of the named operation fails
// with that operation's failure result; FailAlways from now on.
void FailOn(const std::string& operation, int nth);
void FailAlways(const std::string& operation);
void ClearFailures();
// Operations that can be made to fail (the others cannot fail on Windows).
// FailOn and FailAlways throw std::invalid_argument for any other name.
// What a made failure returns: the operation's failure result (NULL, FALSE,
// 0, -1, a value <= 32 for the shell); for the registry ERROR_ACCESS_DENIED,
// but ERROR_NOT_ENOUGH_MEMORY for RegQueryValueExA and RegCloseKey (whose
// handle then stays open). A made failure changes nothing else in the model
// (ShellExecuteA still records the attempt as a Launch with no program).
const std::vector<std::string>& FailableOperations();

// ---------------------------------------------------------- observation

struct Call {
    std::string operation; // "Shell_NotifyIconA"
    std::string detail;    // a short rendering of the key arguments, e.g.
                           // "NIM_ADD", "FAILED" appended when it failed
};
const std::vector<Call>& CallLog();
// A call is logged when it starts, so the calls made inside it (those of
// WM_CREATE inside CreateWindowExA) follow it. The script's own actions are
// not calls and are not logged, except as "script:missed" (a press on an
// icon that is not in the tray, a post with no live window) and
// "script:dropped" (lenient script), each with the action's label as detail.
// Only the operation names, in order.
std::vector<std::string> CallNames();
int CallCount(const std::string& operation);
// The whole log, one "operation detail" line per call, for failure messages.
std::string CallLogText();

struct TrayIcon {
    HWND hWnd;
    UINT uID;
    UINT uFlags;
    UINT uCallbackMessage;
    HICON hIcon;
    DWORD cbSize;
    std::string tip;
    std::string picture; // IconPicture(hIcon) when added
};
const std::vector<TrayIcon>& Tray();

struct Launch {
    HWND parent;
    bool verbGiven; // false: no verb (the default action)
    std::string verb;
    std::string file;
    bool parametersGiven;
    std::string parameters;
    std::string directory;
    int show;
    std::string program; // what opened it; empty if nothing could
};
const std::vector<Launch>& Launches();

struct Box {
    bool indirect; // MessageBoxIndirectA
    HWND owner;
    std::string text;
    std::string caption;
    UINT style;
    // MessageBoxIndirectA only:
    UINT cbSize;
    HINSTANCE hInstance;
    ULONG_PTR icon; // lpszIcon as a number (a resource id)
    bool callbackGiven;
    DWORD languageId;
    ULONG_PTR contextHelpId;
};
const std::vector<Box>& Boxes();
int OpenBoxCount();

const std::vector<DWORD>& Sleeps();

struct MenuItem {
    UINT flags; // as appended; `checked` follows CheckMenuItem
    UINT_PTR id;
    std::string text;
    bool checked;
};
// Every TrackPopupMenu call that got as far as showing its menu.
struct TrackedMenu {
    HMENU menu;
    UINT flags;
    int x;
    int y;
    HWND owner;
};
const std::vector<TrackedMenu>& TrackedMenus();

bool MenuAlive(HMENU menu);
std::vector<MenuItem> MenuItems(HMENU menu);

bool WindowAlive(HWND window);
bool WindowVisible(HWND window);
std::string WindowClass(HWND window);
std::string WindowTitle(HWND window);
bool ClassRegistered(const std::string& name);

// What an icon handle shows: "file:C:\X.EXE#0" for an icon taken from a
// file (copies show the same), "own:1" for the module's icon resource 1,
// "" for a handle the model never made or one already destroyed.
std::string IconPicture(HICON icon);
// Icons made by ExtractIconA or CopyIcon and not yet destroyed.
int LiveIconCount();

// Problems a real Windows would not have reported but that show a fault in
// the caller: a tip not terminated inside its 64 bytes, a record with a
// wrong cbSize, a registry string whose length leaves out its NUL, a box's
// user icon that is not the module's icon resource 1. Empty when all is
// well.
const std::vector<std::string>& Misuses();

} // namespace host

#endif // MIVO_HOST_MODEL_H

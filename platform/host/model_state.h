// The host model's own state, shared by its parts (window manager, shell,
// icons, registry, kernel). Tests never include this: host_model.h is their
// door.
#ifndef MIVO_HOST_MODEL_STATE_H
#define MIVO_HOST_MODEL_STATE_H

#include <cstdint>
#include <deque>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/host/host_model.h"

namespace host
{
namespace model
{

// The record sizes of the 32-bit build, and the module's one icon resource.
const DWORD kNotifyIconDataSize = 88;
const UINT kMsgBoxParamsSize = 40;
const WORD kOwnIconResource = 1;

// ------------------------------------------------------------- handles

// Each kind of handle has its own range, and no value is ever made twice in
// a process (not even across Reset), so a stale handle from an earlier test
// or a handle of the wrong kind never passes for a live one.
enum class HandleKind : uintptr_t { Window = 1, Menu, Icon, Key };
uintptr_t NewHandle(HandleKind kind);

template <class Handle> uintptr_t Raw(Handle handle)
{
    return reinterpret_cast<uintptr_t>(handle);
}
template <class Handle> Handle Make(uintptr_t value)
{
    return reinterpret_cast<Handle>(value);
}

// --------------------------------------------------------------- state

struct ClassRecord {
    std::string name;
    HINSTANCE instance;
    WNDPROC proc;
};

struct Window {
    std::string className; // as registered
    std::string title;
    WNDPROC proc;
    HWND parent;
    bool alive;      // false once WM_NCDESTROY has been sent
    bool destroying; // inside DestroyWindow
    bool visible;
};

struct Menu {
    bool alive;
    std::vector<MenuItem> items;
};

struct Icon {
    std::string picture;
    bool alive;
    bool shared; // the module's icon and the arrow: never really destroyed
};

struct File {
    std::string path; // as registered
    int iconCount;
    bool program;
};

struct RegValue {
    std::string name;
    DWORD type;
    std::string bytes;
};

struct RegKey {
    std::string path; // as first written
    std::string className;
    std::vector<RegValue> values;
};

struct OpenKey {
    std::string path; // lower case, "hklm\software\..."
    REGSAM access;
};

// A loop that waits for the user: the applet's GetMessageA, a tracked menu
// or a message box. The innermost one takes the script's next action.
enum class LoopKind { Main, Menu, Box };
struct Loop {
    LoopKind kind;
    const char* waitingIn;
    HMENU menu;
};

struct State {
    // Calls and failures.
    std::vector<Call> log;
    std::map<std::string, int> counts;
    std::map<std::string, std::set<int>> failOn;
    std::set<std::string> failAlways;
    std::vector<std::string> misuses;

    // The script.
    std::deque<Action> script;
    size_t actionsRun = 0;
    bool lenient = false;
    std::vector<Loop> loops;

    // Window manager.
    std::vector<ClassRecord> classes;
    ATOM nextAtom = 0xC000;
    std::map<uintptr_t, Window> windows; // handle order is creation order
    std::deque<MSG> queue;
    std::map<std::string, UINT> registeredMessages; // lower-case name
    std::map<UINT, std::string> messageNames;
    UINT nextRegisteredMessage = 0xC0F0;
    DWORD tick = 1000;
    POINT cursor = {100, 100};
    std::map<uintptr_t, Menu> menus;
    std::vector<TrackedMenu> trackedMenus;
    std::vector<Box> boxes;
    int openBoxes = 0;

    // Shell and icons.
    std::vector<TrayIcon> tray;
    std::map<uintptr_t, Icon> icons;
    HICON ownIcon = nullptr;
    HCURSOR arrowCursor = nullptr;
    std::map<std::string, File> files;               // lower-case path
    std::map<std::string, std::string> associations; // lower-case ".ext"
    std::vector<Launch> launches;

    // Registry.
    std::map<std::string, RegKey> keys; // lower-case path
    std::map<uintptr_t, OpenKey> openKeys;
    bool denyMachineKeys = false;

    // Kernel.
    std::string modulePath;
    std::vector<DWORD> sleeps;
};

State& S();

// --------------------------------------------------------------- calls

// One call of an operation: logged when it starts (so calls made from
// inside it, such as those of WM_CREATE, follow it in the log), counted, and
// checked against the failure rules. " FAILED" is added to its detail when
// it ends in failure.
class CallScope
{
  public:
    CallScope(const char* operation, std::string detail);
    ~CallScope();
    CallScope(const CallScope&) = delete;
    CallScope& operator=(const CallScope&) = delete;

    // A failure rule hits this call.
    bool Injected() const
    {
        return injected_;
    }
    void SetDetail(const std::string& detail);
    template <class Result> Result Fail(Result result)
    {
        failed_ = true;
        return result;
    }

  private:
    size_t index_;
    unsigned generation_;
    bool injected_;
    bool failed_;
};

// Notes a problem that a real Windows would not report but that shows a
// fault in the caller.
void AddMisuse(const std::string& text);

// Thrown for uses the model does not cover.
[[noreturn]] void Unsupported(const std::string& what);

// ----------------------------------------------------------------- text

std::string Lower(const std::string& text); // ASCII only
bool SameName(const std::string& a, const std::string& b);
std::string Hex(uintptr_t value);
std::string Text(const char* text); // "(null)" for NULL, "#n" for an integer resource
std::string MessageName(UINT message);
std::string MessageDetail(UINT message, WPARAM wParam);
std::string WindowLabel(HWND window);
std::string IconLabel(HICON icon);

// ------------------------------------------------------- window manager

Window* LookupWindow(HWND window); // any window the model made, dead or alive
bool IsLiveWindow(HWND window);
Menu* LookupMenu(HMENU menu); // only live menus
std::vector<HWND> LiveTopLevelWindows();
// Calls the window's procedure, as SendMessage does; 0 for a dead window.
LRESULT SendToWindow(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
void Enqueue(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
UINT RegisterMessageName(const std::string& name);

// --------------------------------------------------------------- script

// Pushes a waiting loop for as long as it lives.
class LoopScope
{
  public:
    LoopScope(LoopKind kind, const char* waitingIn, HMENU menu = nullptr);
    ~LoopScope();
    LoopScope(const LoopScope&) = delete;
    LoopScope& operator=(const LoopScope&) = delete;

  private:
    unsigned generation_;
};

enum class Outcome { Continue, MenuChosen, MenuDismissed, BoxOk };
struct ActionResult {
    Outcome outcome;
    UINT_PTR id; // MenuChosen
};
// The innermost loop found the queue empty: run the script's next action.
// Throws ScriptExhausted when there is none and ScriptMismatch when it does
// not fit that loop (unless the script is lenient).
ActionResult TakeNextAction();

unsigned Generation(); // changes at every Reset

} // namespace model
} // namespace host

#endif // MIVO_HOST_MODEL_STATE_H

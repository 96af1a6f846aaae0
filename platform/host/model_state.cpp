// The model's state, its call log and failure rules, the script and what
// tests read back.
#include "platform/host/model_state.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>

namespace host
{
namespace model
{

namespace
{

unsigned generation = 1;

const char kDefaultModulePath[] = "C:\\MIVO\\MIVO.EXE";

const uintptr_t kHandleRange = 0x10000000;

// The world as Reset leaves it: the module's path, its own icon, the arrow
// cursor and the two registry roots, nothing else.
State Fresh()
{
    State state;
    state.modulePath = kDefaultModulePath;
    state.ownIcon = Make<HICON>(NewHandle(HandleKind::Icon));
    state.icons[Raw(state.ownIcon)] = Icon{"own:1", true, true};
    state.arrowCursor = Make<HCURSOR>(NewHandle(HandleKind::Icon));
    state.icons[Raw(state.arrowCursor)] = Icon{"cursor:arrow", true, true};
    state.keys["hklm"] = RegKey{"HKLM", "", {}};
    state.keys["hkcu"] = RegKey{"HKCU", "", {}};
    return state;
}

} // namespace

State& S()
{
    static State state = Fresh();
    return state;
}

unsigned Generation()
{
    return generation;
}

uintptr_t NewHandle(HandleKind kind)
{
    // Never reset: a handle value is made once per process.
    static uintptr_t serial = 0;
    ++serial;
    return static_cast<uintptr_t>(kind) * kHandleRange + serial * 4;
}

// ----------------------------------------------------------------- calls

CallScope::CallScope(const char* operation, std::string detail)
    : index_(S().log.size()), generation_(generation), injected_(false), failed_(false)
{
    State& s = S();
    s.log.push_back(Call{operation, std::move(detail)});
    int nth = ++s.counts[operation];
    auto rule = s.failOn.find(operation);
    injected_ = s.failAlways.count(operation) != 0 ||
                (rule != s.failOn.end() && rule->second.count(nth) != 0);
}

CallScope::~CallScope()
{
    if (!failed_ || generation_ != generation || index_ >= S().log.size())
        return;
    std::string& detail = S().log[index_].detail;
    detail += detail.empty() ? "FAILED" : " FAILED";
}

void CallScope::SetDetail(const std::string& detail)
{
    if (generation_ == generation && index_ < S().log.size())
        S().log[index_].detail = detail;
}

void AddMisuse(const std::string& text)
{
    S().misuses.push_back(text);
}

void Unsupported(const std::string& what)
{
    throw host::Unsupported("the host model does not cover this: " + what);
}

// ------------------------------------------------------------------ text

std::string Lower(const std::string& text)
{
    std::string lower = text;
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return lower;
}

bool SameName(const std::string& a, const std::string& b)
{
    return Lower(a) == Lower(b);
}

std::string Hex(uintptr_t value)
{
    char text[24];
    std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(value));
    return text;
}

std::string Text(const char* text)
{
    if (text == nullptr)
        return "(null)";
    if (IS_INTRESOURCE(text))
        return "#" + std::to_string(reinterpret_cast<uintptr_t>(text));
    return text;
}

std::string MessageName(UINT message)
{
    static const std::map<UINT, const char*> names = {
        {WM_NULL, "WM_NULL"},
        {WM_CREATE, "WM_CREATE"},
        {WM_DESTROY, "WM_DESTROY"},
        {WM_CLOSE, "WM_CLOSE"},
        {WM_QUIT, "WM_QUIT"},
        {WM_NCCREATE, "WM_NCCREATE"},
        {WM_NCDESTROY, "WM_NCDESTROY"},
        {WM_COMMAND, "WM_COMMAND"},
        {WM_INITMENUPOPUP, "WM_INITMENUPOPUP"},
        {WM_MOUSEMOVE, "WM_MOUSEMOVE"},
        {WM_LBUTTONDOWN, "WM_LBUTTONDOWN"},
        {WM_LBUTTONUP, "WM_LBUTTONUP"},
        {WM_LBUTTONDBLCLK, "WM_LBUTTONDBLCLK"},
        {WM_RBUTTONDOWN, "WM_RBUTTONDOWN"},
        {WM_RBUTTONUP, "WM_RBUTTONUP"},
        {WM_RBUTTONDBLCLK, "WM_RBUTTONDBLCLK"},
        {WM_MBUTTONDOWN, "WM_MBUTTONDOWN"},
        {WM_MBUTTONUP, "WM_MBUTTONUP"},
        {WM_MBUTTONDBLCLK, "WM_MBUTTONDBLCLK"},
        {WM_USER, "WM_USER"},
    };
    auto known = names.find(message);
    if (known != names.end())
        return known->second;
    auto registered = S().messageNames.find(message);
    if (registered != S().messageNames.end())
        return registered->second;
    if (message > WM_USER && message < 0x8000)
        return "WM_USER+" + std::to_string(message - WM_USER);
    return Hex(message);
}

std::string MessageDetail(UINT message, WPARAM wParam)
{
    if (message == WM_COMMAND)
        return "WM_COMMAND " + Hex(wParam);
    if (message == WM_QUIT)
        return "WM_QUIT " + std::to_string(static_cast<LONG_PTR>(wParam));
    return MessageName(message);
}

std::string WindowLabel(HWND window)
{
    if (window == nullptr)
        return "(null)";
    const Window* known = LookupWindow(window);
    if (known == nullptr)
        return "(unknown window " + Hex(Raw(window)) + ")";
    return known->alive ? known->className : known->className + " (destroyed)";
}

std::string IconLabel(HICON icon)
{
    if (icon == nullptr)
        return "(null)";
    auto known = S().icons.find(Raw(icon));
    if (known == S().icons.end())
        return Hex(Raw(icon));
    return known->second.alive ? known->second.picture : known->second.picture + " (destroyed)";
}

// ---------------------------------------------------------------- script

LoopScope::LoopScope(LoopKind kind, const char* waitingIn, HMENU menu) : generation_(generation)
{
    S().loops.push_back(Loop{kind, waitingIn, menu});
}

LoopScope::~LoopScope()
{
    if (generation_ == generation && !S().loops.empty())
        S().loops.pop_back();
}

namespace
{

const char* LoopName(LoopKind kind)
{
    switch (kind) {
    case LoopKind::Main:
        return "its message loop";
    case LoopKind::Menu:
        return "a tracked menu";
    case LoopKind::Box:
        return "a message box";
    }
    return "?";
}

void LogScript(const char* what, const std::string& label)
{
    S().log.push_back(Call{what, label});
    ++S().counts[what];
}

// The actions that reach windows come from outside the applet: they are
// put straight into the queue, not through PostMessageA, so they are neither
// logged as the applet's calls nor subject to its failure rules.
void PostToWindows(const std::vector<HWND>& windows, const Action& action, UINT message,
                   WPARAM wParam, LPARAM lParam)
{
    if (windows.empty()) {
        LogScript("script:missed", action.label + " (no live window)");
        return;
    }
    for (HWND window : windows)
        Enqueue(window, message, wParam, lParam);
}

// Whether a menu choice names an item that a user could pick; its
// identifier in *id.
bool MenuChoiceFits(const Action& action, HMENU menu, UINT_PTR* id, std::string* why)
{
    const Menu* open = LookupMenu(menu);
    if (open == nullptr) {
        *why = "the menu is gone";
        return false;
    }
    const MenuItem* item = nullptr;
    if (action.kind == ActionKind::ChooseMenuItem) {
        for (const MenuItem& candidate : open->items)
            if (candidate.id == action.id && (candidate.flags & MF_SEPARATOR) == 0) {
                item = &candidate;
                break;
            }
    } else if (action.position >= 0 && static_cast<size_t>(action.position) < open->items.size()) {
        item = &open->items[static_cast<size_t>(action.position)];
    }
    if (item == nullptr || (item->flags & MF_SEPARATOR) != 0) {
        *why = "the open menu has no such item";
        return false;
    }
    if ((item->flags & MF_GRAYED) != 0) {
        *why = "the item is grayed";
        return false;
    }
    *id = item->id;
    return true;
}

} // namespace

ActionResult TakeNextAction()
{
    State& s = S();
    const Loop where =
        s.loops.empty() ? Loop{LoopKind::Main, "GetMessageA", nullptr} : s.loops.back();
    if (s.script.empty())
        throw ScriptExhausted(std::string("the applet waits for input in ") + where.waitingIn +
                              " (" + LoopName(where.kind) + ") and the script has run out after " +
                              std::to_string(s.actionsRun) + " action(s)");
    Action action = s.script.front();
    s.script.pop_front();
    ++s.actionsRun;

    std::string misfit;
    ActionResult result{Outcome::Continue, 0};
    switch (action.kind) {
    case ActionKind::PressIcon: {
        auto icon = std::find_if(s.tray.begin(), s.tray.end(),
                                 [&](const TrayIcon& t) { return t.uID == action.uid; });
        if (icon == s.tray.end()) {
            LogScript("script:missed", action.label + " (no such icon in the tray)");
        } else if (!IsLiveWindow(icon->hWnd)) {
            LogScript("script:missed", action.label + " (the icon's window is gone)");
        } else {
            Enqueue(icon->hWnd, icon->uCallbackMessage, icon->uID,
                    static_cast<LPARAM>(action.mouse));
        }
        break;
    }
    case ActionKind::Post: {
        HWND target = action.window;
        if (target == nullptr) {
            std::vector<HWND> live = LiveTopLevelWindows();
            target = live.empty() ? nullptr : live.front();
        }
        std::vector<HWND> targets;
        if (target != nullptr && IsLiveWindow(target))
            targets.push_back(target);
        PostToWindows(targets, action, action.message, action.wParam, action.lParam);
        break;
    }
    case ActionKind::Broadcast:
        PostToWindows(LiveTopLevelWindows(), action, action.message, 0, 0);
        break;
    case ActionKind::ShellRestart:
        s.tray.clear();
        PostToWindows(LiveTopLevelWindows(), action, RegisterMessageName("TaskbarCreated"), 0, 0);
        break;
    case ActionKind::ChooseMenuItem:
    case ActionKind::ChooseMenuPosition:
        if (where.kind != LoopKind::Menu)
            misfit = "no menu is open";
        else if (MenuChoiceFits(action, where.menu, &result.id, &misfit))
            result.outcome = Outcome::MenuChosen;
        break;
    case ActionKind::DismissMenu:
        if (where.kind != LoopKind::Menu)
            misfit = "no menu is open";
        else
            result.outcome = Outcome::MenuDismissed;
        break;
    case ActionKind::PressOk:
        if (where.kind != LoopKind::Box)
            misfit = "no message box is open";
        else
            result.outcome = Outcome::BoxOk;
        break;
    }
    if (misfit.empty())
        return result;
    if (s.lenient) {
        LogScript("script:dropped", action.label);
        return ActionResult{Outcome::Continue, 0};
    }
    throw ScriptMismatch("script action " + std::to_string(s.actionsRun) + ", " + action.label +
                         ", does not fit: the applet waits in " + where.waitingIn + " (" +
                         LoopName(where.kind) + ") and " + misfit);
}

} // namespace model

// ----------------------------------------------------------- world setup

using namespace model;

HINSTANCE ModuleInstance()
{
    return Make<HINSTANCE>(0x00400000);
}

const char* DefaultModulePath()
{
    return kDefaultModulePath;
}

void Reset()
{
    ++generation;
    S() = Fresh();
}

void SetModulePath(const std::string& path)
{
    S().modulePath = path;
}

void AddFile(const std::string& path, int iconCount)
{
    S().files[Lower(path)] = File{path, iconCount, false};
}

void AddProgram(const std::string& path, int iconCount)
{
    S().files[Lower(path)] = File{path, iconCount, true};
}

void Associate(const std::string& extension, const std::string& program)
{
    std::string key = Lower(extension);
    if (key.empty() || key[0] != '.')
        key = "." + key;
    S().associations[key] = program;
}

void SetCursor(int x, int y)
{
    S().cursor = POINT{x, y};
}

// ---------------------------------------------------------------- script

namespace
{

Action MakeAction(ActionKind kind, std::string label)
{
    Action action{};
    action.kind = kind;
    action.label = std::move(label);
    return action;
}

} // namespace

Action PressIcon(UINT mouseMessage, UINT uid)
{
    Action action = MakeAction(ActionKind::PressIcon, "PressIcon(" + MessageName(mouseMessage) +
                                                          ", " + std::to_string(uid) + ")");
    action.mouse = mouseMessage;
    action.uid = uid;
    return action;
}

Action ChooseMenuItem(UINT_PTR id)
{
    Action action = MakeAction(ActionKind::ChooseMenuItem, "ChooseMenuItem(" + Hex(id) + ")");
    action.id = id;
    return action;
}

Action ChooseMenuPosition(int position)
{
    Action action = MakeAction(ActionKind::ChooseMenuPosition,
                               "ChooseMenuPosition(" + std::to_string(position) + ")");
    action.position = position;
    return action;
}

Action DismissMenu()
{
    return MakeAction(ActionKind::DismissMenu, "DismissMenu()");
}

Action PressOk()
{
    return MakeAction(ActionKind::PressOk, "PressOk()");
}

Action Post(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    Action action = MakeAction(ActionKind::Post, "Post(" + MessageName(message) + ")");
    action.window = window;
    action.message = message;
    action.wParam = wParam;
    action.lParam = lParam;
    return action;
}

Action ShellRestart()
{
    return MakeAction(ActionKind::ShellRestart, "ShellRestart()");
}

Action Broadcast(UINT message)
{
    Action action = MakeAction(ActionKind::Broadcast, "Broadcast(" + MessageName(message) + ")");
    action.message = message;
    return action;
}

void Script(const std::vector<Action>& actions)
{
    S().script.insert(S().script.end(), actions.begin(), actions.end());
}

size_t ScriptRemaining()
{
    return S().script.size();
}

void SetLenientScript(bool lenient)
{
    S().lenient = lenient;
}

// -------------------------------------------------------------- failures

const std::vector<std::string>& FailableOperations()
{
    static const std::vector<std::string> operations = {
        "RegisterClassA",
        "UnregisterClassA",
        "CreateWindowExA",
        "DestroyWindow",
        "GetMessageA",
        "PostMessageA",
        "RegisterWindowMessageA",
        "CreatePopupMenu",
        "AppendMenuA",
        "DestroyMenu",
        "CheckMenuItem",
        "SetForegroundWindow",
        "GetCursorPos",
        "TrackPopupMenu",
        "MessageBoxA",
        "MessageBoxIndirectA",
        "Shell_NotifyIconA",
        "ShellExecuteA",
        "FindExecutableA",
        "ExtractIconA",
        "CopyIcon",
        "DestroyIcon",
        "LoadIconA",
        "LoadCursorA",
        "GetStockObject",
        "RegCreateKeyExA",
        "RegQueryValueExA",
        "RegSetValueExA",
        "RegDeleteValueA",
        "RegCloseKey",
        "GetModuleFileNameA",
    };
    return operations;
}

namespace
{

void CheckFailable(const std::string& operation)
{
    const std::vector<std::string>& failable = FailableOperations();
    if (std::find(failable.begin(), failable.end(), operation) == failable.end())
        throw std::invalid_argument("\"" + operation +
                                    "\" is not an operation the host model can make fail");
}

} // namespace

void FailOn(const std::string& operation, int nth)
{
    CheckFailable(operation);
    if (nth < 1)
        throw std::invalid_argument("FailOn counts calls from 1");
    S().failOn[operation].insert(nth);
}

void FailAlways(const std::string& operation)
{
    CheckFailable(operation);
    S().failAlways.insert(operation);
}

void ClearFailures()
{
    S().failOn.clear();
    S().failAlways.clear();
}

// ----------------------------------------------------------- observation

const std::vector<Call>& CallLog()
{
    return S().log;
}

std::vector<std::string> CallNames()
{
    std::vector<std::string> names;
    for (const Call& call : S().log)
        names.push_back(call.operation);
    return names;
}

int CallCount(const std::string& operation)
{
    auto count = S().counts.find(operation);
    return count == S().counts.end() ? 0 : count->second;
}

std::string CallLogText()
{
    std::string text;
    for (const Call& call : S().log)
        text += call.operation + (call.detail.empty() ? "" : " " + call.detail) + "\n";
    return text;
}

const std::vector<TrayIcon>& Tray()
{
    return S().tray;
}

const std::vector<Launch>& Launches()
{
    return S().launches;
}

const std::vector<Box>& Boxes()
{
    return S().boxes;
}

int OpenBoxCount()
{
    return S().openBoxes;
}

const std::vector<DWORD>& Sleeps()
{
    return S().sleeps;
}

const std::vector<TrackedMenu>& TrackedMenus()
{
    return S().trackedMenus;
}

bool MenuAlive(HMENU menu)
{
    return LookupMenu(menu) != nullptr;
}

std::vector<MenuItem> MenuItems(HMENU menu)
{
    auto known = S().menus.find(Raw(menu));
    return known == S().menus.end() ? std::vector<MenuItem>() : known->second.items;
}

bool WindowAlive(HWND window)
{
    return IsLiveWindow(window);
}

bool WindowVisible(HWND window)
{
    const Window* known = LookupWindow(window);
    return known != nullptr && known->alive && known->visible;
}

std::string WindowClass(HWND window)
{
    const Window* known = LookupWindow(window);
    return known == nullptr ? "" : known->className;
}

std::string WindowTitle(HWND window)
{
    const Window* known = LookupWindow(window);
    return known == nullptr ? "" : known->title;
}

bool ClassRegistered(const std::string& name)
{
    for (const ClassRecord& registered : S().classes)
        if (SameName(registered.name, name))
            return true;
    return false;
}

std::string IconPicture(HICON icon)
{
    auto known = S().icons.find(Raw(icon));
    if (known == S().icons.end() || !known->second.alive)
        return "";
    return known->second.picture;
}

int LiveIconCount()
{
    int count = 0;
    for (const auto& icon : S().icons)
        if (icon.second.alive && !icon.second.shared)
            ++count;
    return count;
}

const std::vector<std::string>& Misuses()
{
    return S().misuses;
}

} // namespace host

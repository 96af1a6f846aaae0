// The window manager: classes, windows, the thread's message queue, pop-up
// menus and message boxes, with the modal loops of the last two.
#include <algorithm>

#include "platform/host/model_state.h"

using namespace host::model;
using host::Box;
using host::MenuItem;
using host::TrackedMenu;

namespace host
{
namespace model
{

Window* LookupWindow(HWND window)
{
    auto known = S().windows.find(Raw(window));
    return known == S().windows.end() ? nullptr : &known->second;
}

bool IsLiveWindow(HWND window)
{
    const Window* known = LookupWindow(window);
    return known != nullptr && known->alive;
}

Menu* LookupMenu(HMENU menu)
{
    auto known = S().menus.find(Raw(menu));
    return known == S().menus.end() || !known->second.alive ? nullptr : &known->second;
}

std::vector<HWND> LiveTopLevelWindows()
{
    std::vector<HWND> live;
    for (const auto& window : S().windows)
        if (window.second.alive && window.second.parent == nullptr)
            live.push_back(Make<HWND>(window.first));
    return live;
}

LRESULT SendToWindow(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    const Window* target = LookupWindow(window);
    if (target == nullptr || !target->alive)
        return 0;
    // The procedure may create or destroy windows: take what is needed first.
    WNDPROC proc = target->proc;
    return proc(window, message, wParam, lParam);
}

void Enqueue(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    State& s = S();
    MSG msg{};
    msg.hwnd = window;
    msg.message = message;
    msg.wParam = wParam;
    msg.lParam = lParam;
    msg.time = ++s.tick;
    msg.pt = s.cursor;
    s.queue.push_back(msg);
}

UINT RegisterMessageName(const std::string& name)
{
    State& s = S();
    std::string key = Lower(name);
    auto known = s.registeredMessages.find(key);
    if (known != s.registeredMessages.end())
        return known->second;
    UINT message = s.nextRegisteredMessage++;
    s.registeredMessages[key] = message;
    s.messageNames[message] = name;
    return message;
}

} // namespace model
} // namespace host

namespace
{

const DWORD kVisibleStyle = 0x10000000; // WS_VISIBLE

ClassRecord* LookupClass(const std::string& name, HINSTANCE instance)
{
    for (ClassRecord& registered : S().classes)
        if (registered.instance == instance && SameName(registered.name, name))
            return &registered;
    return nullptr;
}

// Takes the first queued message; the queue must not be empty.
MSG PopMessage()
{
    MSG msg = S().queue.front();
    S().queue.pop_front();
    return msg;
}

bool QuitAtHead()
{
    return !S().queue.empty() && S().queue.front().message == WM_QUIT;
}

// What a modal loop does with a message it takes from the queue.
void DispatchInLoop(const MSG& msg)
{
    SendToWindow(msg.hwnd, msg.message, msg.wParam, msg.lParam);
}

// A window's end, as DestroyWindow and a refused WM_CREATE share it.
void TearDown(HWND window)
{
    LookupWindow(window)->destroying = true;
    SendToWindow(window, WM_DESTROY, 0, 0);
    SendToWindow(window, WM_NCDESTROY, 0, 0);
    // Looked up again: the procedure may have changed the model meanwhile.
    Window* gone = LookupWindow(window);
    if (gone == nullptr)
        return;
    gone->alive = false;
    gone->destroying = false;
}

// A message box's modal loop: queued messages are dispatched (an icon press
// while the box is open is handled inside it) until the user presses OK. A
// quit message closes the box and stays queued, as a dialog's loop does.
int RunBox(const Box& box)
{
    State& s = S();
    s.boxes.push_back(box);
    ++s.openBoxes;
    unsigned generation = Generation();
    struct Closer {
        unsigned generation;
        ~Closer()
        {
            if (generation == Generation())
                --S().openBoxes;
        }
    } closer{generation};

    LoopScope loop(LoopKind::Box, box.indirect ? "MessageBoxIndirectA" : "MessageBoxA");
    for (;;) {
        if (QuitAtHead())
            return 0;
        if (!S().queue.empty()) {
            DispatchInLoop(PopMessage());
            continue;
        }
        if (TakeNextAction().outcome == Outcome::BoxOk)
            return IDOK;
    }
}

} // namespace

// ---------------------------------------------------------------- classes

ATOM WINAPI RegisterClassA(const WNDCLASSA* lpWndClass)
{
    CallScope call("RegisterClassA",
                   lpWndClass == nullptr ? "(null)" : Text(lpWndClass->lpszClassName));
    if (lpWndClass == nullptr || lpWndClass->lpszClassName == nullptr ||
        lpWndClass->lpfnWndProc == nullptr)
        return call.Fail<ATOM>(0);
    if (IS_INTRESOURCE(lpWndClass->lpszClassName))
        Unsupported("RegisterClassA with a class atom as its name");
    if (call.Injected())
        return call.Fail<ATOM>(0);
    if (LookupClass(lpWndClass->lpszClassName, lpWndClass->hInstance) != nullptr)
        return call.Fail<ATOM>(0);
    State& s = S();
    s.classes.push_back(
        ClassRecord{lpWndClass->lpszClassName, lpWndClass->hInstance, lpWndClass->lpfnWndProc});
    return s.nextAtom++;
}

BOOL WINAPI UnregisterClassA(LPCSTR lpClassName, HINSTANCE hInstance)
{
    CallScope call("UnregisterClassA", Text(lpClassName));
    if (lpClassName == nullptr || IS_INTRESOURCE(lpClassName) || call.Injected())
        return call.Fail(FALSE);
    ClassRecord* registered = LookupClass(lpClassName, hInstance);
    if (registered == nullptr)
        return call.Fail(FALSE);
    for (const auto& window : S().windows)
        if (window.second.alive && SameName(window.second.className, registered->name))
            return call.Fail(FALSE);
    std::vector<ClassRecord>& classes = S().classes;
    classes.erase(classes.begin() + (registered - classes.data()));
    return TRUE;
}

// ---------------------------------------------------------------- windows

HWND WINAPI CreateWindowExA(DWORD dwExStyle, LPCSTR lpClassName, LPCSTR lpWindowName, DWORD dwStyle,
                            int X, int Y, int nWidth, int nHeight, HWND hWndParent, HMENU hMenu,
                            HINSTANCE hInstance, LPVOID lpParam)
{
    (void)dwExStyle;
    (void)X;
    (void)Y;
    (void)nWidth;
    (void)nHeight;
    (void)lpParam;
    CallScope call("CreateWindowExA", Text(lpClassName));
    if (lpClassName != nullptr && IS_INTRESOURCE(lpClassName))
        Unsupported("CreateWindowExA with a class atom");
    if (hMenu != nullptr)
        Unsupported("CreateWindowExA with a menu bar or child identifier");
    if (call.Injected() || lpClassName == nullptr)
        return call.Fail<HWND>(nullptr);
    const ClassRecord* registered = LookupClass(lpClassName, hInstance);
    if (registered == nullptr || (hWndParent != nullptr && !IsLiveWindow(hWndParent)))
        return call.Fail<HWND>(nullptr);

    HWND window = Make<HWND>(NewHandle(HandleKind::Window));
    S().windows[Raw(window)] = Window{registered->name,
                                      lpWindowName == nullptr ? "" : lpWindowName,
                                      registered->proc,
                                      hWndParent,
                                      true,
                                      false,
                                      (dwStyle & kVisibleStyle) != 0};
    // WM_CREATE reaches the procedure before the handle is returned; the
    // model passes no CREATESTRUCT.
    if (SendToWindow(window, WM_CREATE, 0, 0) == -1) {
        TearDown(window);
        return call.Fail<HWND>(nullptr);
    }
    return window;
}

BOOL WINAPI DestroyWindow(HWND hWnd)
{
    CallScope call("DestroyWindow", WindowLabel(hWnd));
    Window* window = LookupWindow(hWnd);
    if (window == nullptr || !window->alive || window->destroying || call.Injected())
        return call.Fail(FALSE);
    // The window's notification icons stay in the tray, as with the real
    // shell, until someone deletes them.
    TearDown(hWnd);
    return TRUE;
}

// --------------------------------------------------------------- messages

BOOL WINAPI GetMessageA(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax)
{
    CallScope call("GetMessageA", "");
    if (lpMsg == nullptr)
        Unsupported("GetMessageA without a MSG record");
    if (hWnd != nullptr || wMsgFilterMin != 0 || wMsgFilterMax != 0)
        Unsupported("GetMessageA with a window or message filter");
    if (call.Injected())
        return call.Fail(-1);
    LoopScope loop(LoopKind::Main, "GetMessageA");
    while (S().queue.empty())
        TakeNextAction();
    *lpMsg = PopMessage();
    call.SetDetail(MessageDetail(lpMsg->message, lpMsg->wParam));
    return lpMsg->message == WM_QUIT ? 0 : 1;
}

BOOL WINAPI TranslateMessage(const MSG* lpMsg)
{
    CallScope call("TranslateMessage",
                   lpMsg == nullptr ? "(null)" : MessageDetail(lpMsg->message, lpMsg->wParam));
    // Only keyboard messages are translated; the model has none.
    return FALSE;
}

LRESULT WINAPI DispatchMessageA(const MSG* lpMsg)
{
    CallScope call("DispatchMessageA",
                   lpMsg == nullptr ? "(null)" : MessageDetail(lpMsg->message, lpMsg->wParam));
    if (lpMsg == nullptr)
        return 0;
    return SendToWindow(lpMsg->hwnd, lpMsg->message, lpMsg->wParam, lpMsg->lParam);
}

LRESULT WINAPI DefWindowProcA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam)
{
    (void)lParam;
    CallScope call("DefWindowProcA", MessageDetail(Msg, wParam));
    switch (Msg) {
    case WM_CLOSE:
        if (IsLiveWindow(hWnd))
            DestroyWindow(hWnd);
        return 0;
    case WM_NCCREATE:
        return TRUE;
    }
    return 0;
}

BOOL WINAPI PostMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam)
{
    CallScope call("PostMessageA", MessageDetail(Msg, wParam));
    // NULL posts to the thread, as PostThreadMessage does.
    if (call.Injected() || (hWnd != nullptr && !IsLiveWindow(hWnd)))
        return call.Fail(FALSE);
    Enqueue(hWnd, Msg, wParam, lParam);
    return TRUE;
}

void WINAPI PostQuitMessage(int nExitCode)
{
    CallScope call("PostQuitMessage", std::to_string(nExitCode));
    Enqueue(nullptr, WM_QUIT, static_cast<WPARAM>(nExitCode), 0);
}

UINT WINAPI RegisterWindowMessageA(LPCSTR lpString)
{
    CallScope call("RegisterWindowMessageA", Text(lpString));
    if (call.Injected() || lpString == nullptr || IS_INTRESOURCE(lpString) || *lpString == '\0')
        return call.Fail(0u);
    return RegisterMessageName(lpString);
}

// ------------------------------------------------------------------ menus

HMENU WINAPI CreatePopupMenu(void)
{
    CallScope call("CreatePopupMenu", "");
    if (call.Injected())
        return call.Fail<HMENU>(nullptr);
    HMENU menu = Make<HMENU>(NewHandle(HandleKind::Menu));
    S().menus[Raw(menu)] = Menu{true, {}};
    return menu;
}

BOOL WINAPI AppendMenuA(HMENU hMenu, UINT uFlags, UINT_PTR uIDNewItem, LPCSTR lpNewItem)
{
    const bool separator = (uFlags & MF_SEPARATOR) != 0;
    CallScope call("AppendMenuA", separator ? "MF_SEPARATOR" : Text(lpNewItem));
    const UINT known = MF_SEPARATOR | MF_GRAYED | MF_CHECKED;
    if ((uFlags & ~known) != 0)
        Unsupported("AppendMenuA with flags " + Hex(uFlags));
    Menu* menu = LookupMenu(hMenu);
    if (menu == nullptr || call.Injected())
        return call.Fail(FALSE);
    if (!separator && (lpNewItem == nullptr || IS_INTRESOURCE(lpNewItem)))
        return call.Fail(FALSE);
    menu->items.push_back(
        MenuItem{uFlags, uIDNewItem, separator ? "" : lpNewItem, (uFlags & MF_CHECKED) != 0});
    return TRUE;
}

BOOL WINAPI DestroyMenu(HMENU hMenu)
{
    CallScope call("DestroyMenu", "");
    Menu* menu = LookupMenu(hMenu);
    if (menu == nullptr || call.Injected())
        return call.Fail(FALSE);
    menu->alive = false;
    return TRUE;
}

DWORD WINAPI CheckMenuItem(HMENU hMenu, UINT uIDCheckItem, UINT uCheck)
{
    const bool check = (uCheck & MF_CHECKED) != 0;
    CallScope call("CheckMenuItem", Hex(uIDCheckItem) + (check ? " MF_CHECKED" : " MF_UNCHECKED"));
    const DWORD failed = static_cast<DWORD>(-1);
    Menu* menu = LookupMenu(hMenu);
    if (menu == nullptr || call.Injected())
        return call.Fail(failed);
    MenuItem* item = nullptr;
    if ((uCheck & MF_BYPOSITION) != 0) {
        if (uIDCheckItem < menu->items.size())
            item = &menu->items[uIDCheckItem];
    } else {
        for (MenuItem& candidate : menu->items)
            if (candidate.id == uIDCheckItem) {
                item = &candidate;
                break;
            }
    }
    if (item == nullptr)
        return call.Fail(failed);
    DWORD previous = item->checked ? MF_CHECKED : MF_UNCHECKED;
    item->checked = check;
    return previous;
}

BOOL WINAPI SetForegroundWindow(HWND hWnd)
{
    CallScope call("SetForegroundWindow", WindowLabel(hWnd));
    if (!IsLiveWindow(hWnd) || call.Injected())
        return call.Fail(FALSE);
    return TRUE;
}

BOOL WINAPI GetCursorPos(LPPOINT lpPoint)
{
    CallScope call("GetCursorPos", "");
    if (lpPoint == nullptr || call.Injected())
        return call.Fail(FALSE);
    *lpPoint = S().cursor;
    call.SetDetail(std::to_string(lpPoint->x) + "," + std::to_string(lpPoint->y));
    return TRUE;
}

BOOL WINAPI TrackPopupMenu(HMENU hMenu, UINT uFlags, int x, int y, int nReserved, HWND hWnd,
                           const RECT* prcRect)
{
    (void)nReserved;
    (void)prcRect;
    CallScope call("TrackPopupMenu", std::to_string(x) + "," + std::to_string(y));
    const UINT known = TPM_LEFTALIGN | TPM_RIGHTBUTTON | TPM_RETURNCMD;
    if ((uFlags & ~known) != 0)
        Unsupported("TrackPopupMenu with flags " + Hex(uFlags));
    State& s = S();
    // Only one menu can be tracked at a time (ERROR_POPUP_ALREADY_ACTIVE).
    const bool menuOpen = std::any_of(s.loops.begin(), s.loops.end(),
                                      [](const Loop& loop) { return loop.kind == LoopKind::Menu; });
    if (LookupMenu(hMenu) == nullptr || !IsLiveWindow(hWnd) || menuOpen || call.Injected())
        return call.Fail(FALSE);

    s.trackedMenus.push_back(TrackedMenu{hMenu, uFlags, x, y, hWnd});
    SendToWindow(hWnd, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(hMenu), 0);

    // The menu's modal loop: queued messages are dispatched (so a press on
    // the icon while the menu is open is handled) until the user chooses or
    // dismisses. A quit message ends the menu and stays queued; so does the
    // end of the menu or its owner.
    const bool returnCommand = (uFlags & TPM_RETURNCMD) != 0;
    LoopScope loop(LoopKind::Menu, "TrackPopupMenu", hMenu);
    for (;;) {
        if (LookupMenu(hMenu) == nullptr || !IsLiveWindow(hWnd))
            return returnCommand ? 0 : TRUE;
        if (QuitAtHead())
            return returnCommand ? 0 : TRUE;
        if (!S().queue.empty()) {
            DispatchInLoop(PopMessage());
            continue;
        }
        ActionResult action = TakeNextAction();
        if (action.outcome == Outcome::MenuDismissed)
            return returnCommand ? 0 : TRUE;
        if (action.outcome == Outcome::MenuChosen) {
            call.SetDetail(std::to_string(x) + "," + std::to_string(y) + " chose " +
                           Hex(action.id));
            if (returnCommand)
                return static_cast<BOOL>(action.id);
            Enqueue(hWnd, WM_COMMAND, action.id, 0);
            return TRUE;
        }
    }
}

// ---------------------------------------------------------- message boxes

int WINAPI MessageBoxA(HWND hWnd, LPCSTR lpText, LPCSTR lpCaption, UINT uType)
{
    CallScope call("MessageBoxA", Text(lpCaption));
    if ((hWnd != nullptr && !IsLiveWindow(hWnd)) || call.Injected())
        return call.Fail(0);
    Box box{};
    box.indirect = false;
    box.owner = hWnd;
    box.text = lpText == nullptr ? "" : lpText;
    // Windows shows "Error" for a missing caption.
    box.caption = lpCaption == nullptr ? "Error" : lpCaption;
    box.style = uType;
    return RunBox(box);
}

int WINAPI MessageBoxIndirectA(const MSGBOXPARAMSA* lpmbp)
{
    CallScope call("MessageBoxIndirectA", lpmbp == nullptr ? "(null)" : Text(lpmbp->lpszCaption));
    if (lpmbp == nullptr)
        return call.Fail(0);
    if (lpmbp->cbSize != kMsgBoxParamsSize)
        AddMisuse("MessageBoxIndirectA: cbSize is " + std::to_string(lpmbp->cbSize) +
                  ", not the 32-bit record's 40");
    if ((lpmbp->dwStyle & MB_USERICON) != 0 &&
        (lpmbp->hInstance != host::ModuleInstance() ||
         lpmbp->lpszIcon != MAKEINTRESOURCEA(kOwnIconResource)))
        AddMisuse("MessageBoxIndirectA: MB_USERICON names " + Text(lpmbp->lpszIcon) +
                  ", not the module's icon resource 1");
    if ((lpmbp->hwndOwner != nullptr && !IsLiveWindow(lpmbp->hwndOwner)) || call.Injected())
        return call.Fail(0);
    Box box{};
    box.indirect = true;
    box.owner = lpmbp->hwndOwner;
    box.text = lpmbp->lpszText == nullptr ? "" : Text(lpmbp->lpszText);
    box.caption = lpmbp->lpszCaption == nullptr ? "Error" : Text(lpmbp->lpszCaption);
    box.style = lpmbp->dwStyle;
    box.cbSize = lpmbp->cbSize;
    box.hInstance = lpmbp->hInstance;
    box.icon = reinterpret_cast<ULONG_PTR>(lpmbp->lpszIcon);
    box.callbackGiven = lpmbp->lpfnMsgBoxCallback != nullptr;
    box.languageId = lpmbp->dwLanguageId;
    box.contextHelpId = lpmbp->dwContextHelpId;
    return RunBox(box);
}

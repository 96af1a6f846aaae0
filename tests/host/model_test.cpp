// The host model's own promises, those the applet's tests lean on.
#include <algorithm>
#include <cstring>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/host/host_model.h"

namespace
{

const char kRun[] = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const UINT kCallback = WM_USER + 1;

// What the test windows' procedure received, with the number of message
// boxes open at the time.
struct Seen {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    int openBoxes;
};
std::vector<Seen> seen;
std::function<LRESULT(HWND, UINT, WPARAM, LPARAM)> react;

LRESULT CALLBACK TestProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    seen.push_back(Seen{hwnd, message, wParam, lParam, host::OpenBoxCount()});
    return react ? react(hwnd, message, wParam, lParam) : 0;
}

std::vector<UINT> SeenMessages()
{
    std::vector<UINT> messages;
    for (const Seen& s : seen)
        messages.push_back(s.message);
    return messages;
}

NOTIFYICONDATAA IconRecord(HWND window, UINT uid)
{
    NOTIFYICONDATAA nid{};
    nid.cbSize = 88;
    nid.hWnd = window;
    nid.uID = uid;
    nid.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    nid.uCallbackMessage = kCallback;
    std::strcpy(nid.szTip, "Tip");
    return nid;
}

class ModelTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        host::Reset();
        seen.clear();
        react = nullptr;
    }
    void TearDown() override
    {
        react = nullptr;
    }

    static HWND NewWindow()
    {
        if (!host::ClassRegistered("TestClass")) {
            WNDCLASSA wc{};
            wc.lpfnWndProc = TestProc;
            wc.hInstance = host::ModuleInstance();
            wc.lpszClassName = "TestClass";
            RegisterClassA(&wc);
        }
        return CreateWindowExA(0, "TestClass", "Test", WS_OVERLAPPED, CW_USEDEFAULT, CW_USEDEFAULT,
                               CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr,
                               host::ModuleInstance(), nullptr);
    }

    // A menu with items 0x10, 0x20 (grayed), a separator and 0x30.
    static HMENU NewMenu()
    {
        HMENU menu = CreatePopupMenu();
        AppendMenuA(menu, MF_STRING, 0x10, "One");
        AppendMenuA(menu, MF_STRING | MF_GRAYED, 0x20, "Two");
        AppendMenuA(menu, MF_SEPARATOR, 0, "");
        AppendMenuA(menu, MF_STRING, 0x30, "Three");
        return menu;
    }

    static MSG NextMessage()
    {
        MSG msg{};
        GetMessageA(&msg, nullptr, 0, 0);
        return msg;
    }
};

// ------------------------------------------------------------ windows

TEST_F(ModelTest, WmCreateReachesTheProcedureBeforeCreateWindowReturns)
{
    react = [](HWND, UINT message, WPARAM, LPARAM) -> LRESULT {
        if (message == WM_CREATE)
            CreatePopupMenu();
        return 0;
    };
    HWND window = NewWindow();

    ASSERT_NE(window, nullptr);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].message, (UINT)WM_CREATE);
    EXPECT_EQ(seen[0].hwnd, window);
    // Calls made inside WM_CREATE follow CreateWindowExA in the log.
    EXPECT_EQ(host::CallNames(),
              (std::vector<std::string>{"RegisterClassA", "CreateWindowExA", "CreatePopupMenu"}));
    EXPECT_TRUE(host::WindowAlive(window));
    EXPECT_FALSE(host::WindowVisible(window));
    EXPECT_EQ(host::WindowClass(window), "TestClass");
    EXPECT_EQ(host::WindowTitle(window), "Test");
}

TEST_F(ModelTest, RefusedWmCreateDestroysTheWindowAndGivesNull)
{
    react = [](HWND, UINT message, WPARAM, LPARAM) -> LRESULT {
        return message == WM_CREATE ? -1 : 0;
    };
    EXPECT_EQ(NewWindow(), nullptr);
    EXPECT_EQ(SeenMessages(), (std::vector<UINT>{WM_CREATE, WM_DESTROY, WM_NCDESTROY}));
    EXPECT_EQ(host::CallLog()[1].detail, "TestClass FAILED");
    EXPECT_TRUE(UnregisterClassA("TestClass", host::ModuleInstance()));
}

TEST_F(ModelTest, DestroyedWindowIsGoneButItsTrayIconLingers)
{
    HWND window = NewWindow();
    NOTIFYICONDATAA nid = IconRecord(window, 1);
    ASSERT_TRUE(Shell_NotifyIconA(NIM_ADD, &nid));
    EXPECT_FALSE(UnregisterClassA("TestClass", host::ModuleInstance())); // a window lives

    seen.clear();
    EXPECT_TRUE(DestroyWindow(window));
    EXPECT_EQ(SeenMessages(), (std::vector<UINT>{WM_DESTROY, WM_NCDESTROY}));
    EXPECT_FALSE(host::WindowAlive(window));
    EXPECT_EQ(host::Tray().size(), 1u);
    EXPECT_EQ(DefWindowProcA(window, WM_COMMAND, 0, 0), 0);
    EXPECT_FALSE(DestroyWindow(window));
    EXPECT_FALSE(PostMessageA(window, WM_USER, 0, 0));
    EXPECT_FALSE(SetForegroundWindow(window));
    EXPECT_TRUE(UnregisterClassA("TestClass", host::ModuleInstance()));
    EXPECT_FALSE(UnregisterClassA("TestClass", host::ModuleInstance()));

    // The default procedure destroys a window on WM_CLOSE, as Windows does.
    HWND closed = NewWindow();
    EXPECT_EQ(DefWindowProcA(closed, WM_CLOSE, 0, 0), 0);
    EXPECT_FALSE(host::WindowAlive(closed));
    EXPECT_EQ(host::CallCount("DestroyWindow"), 3);
}

// ----------------------------------------------------------- messages

TEST_F(ModelTest, QueueIsFirstInFirstOutAndQuitCarriesItsCode)
{
    HWND window = NewWindow();
    PostMessageA(window, WM_USER + 3, 30, 0);
    PostQuitMessage(7);
    PostMessageA(window, WM_USER + 4, 40, 0);

    MSG msg{};
    EXPECT_EQ(GetMessageA(&msg, nullptr, 0, 0), TRUE);
    EXPECT_EQ(msg.message, (UINT)WM_USER + 3);
    EXPECT_EQ(msg.wParam, 30u);
    EXPECT_EQ(msg.hwnd, window);
    EXPECT_EQ(GetMessageA(&msg, nullptr, 0, 0), FALSE);
    EXPECT_EQ(msg.message, (UINT)WM_QUIT);
    EXPECT_EQ(msg.wParam, 7u);
    EXPECT_EQ(GetMessageA(&msg, nullptr, 0, 0), TRUE);
    EXPECT_EQ(msg.message, (UINT)WM_USER + 4);

    seen.clear();
    DispatchMessageA(&msg);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].wParam, 40u);
}

TEST_F(ModelTest, EmptyQueueTakesTheScriptAndThrowsWhenItRunsOut)
{
    HWND window = NewWindow();
    host::Script({host::Post(window, WM_USER + 9, 1, 2)});
    EXPECT_EQ(NextMessage().message, (UINT)WM_USER + 9);
    EXPECT_EQ(host::ScriptRemaining(), 0u);
    try {
        NextMessage();
        FAIL() << "no ScriptExhausted";
    } catch (const host::ScriptExhausted& e) {
        EXPECT_NE(std::string(e.what()).find("GetMessageA"), std::string::npos) << e.what();
        EXPECT_NE(std::string(e.what()).find("1 action"), std::string::npos) << e.what();
    }
}

TEST_F(ModelTest, ActionThatDoesNotFitThrowsUnlessLenient)
{
    NewWindow();
    host::Script({host::PressOk()});
    EXPECT_THROW(NextMessage(), host::ScriptMismatch);

    host::SetLenientScript(true);
    host::Script({host::ChooseMenuItem(0x10), host::Broadcast(WM_USER + 2)});
    EXPECT_EQ(NextMessage().message, (UINT)WM_USER + 2);
    EXPECT_EQ(host::CallCount("script:dropped"), 1);
}

TEST_F(ModelTest, ShellRestartDropsIconsAndAnnouncesTheNewTaskbar)
{
    HWND first = NewWindow();
    HWND second = NewWindow();
    NOTIFYICONDATAA nid = IconRecord(first, 1);
    Shell_NotifyIconA(NIM_ADD, &nid);
    UINT taskbarCreated = RegisterWindowMessageA("TaskbarCreated");
    EXPECT_GE(taskbarCreated, 0xC000u);
    EXPECT_LE(taskbarCreated, 0xFFFFu);
    EXPECT_EQ(RegisterWindowMessageA("taskbarcreated"), taskbarCreated);

    host::Script({host::ShellRestart()});
    MSG a = NextMessage();
    MSG b = NextMessage();
    EXPECT_TRUE(host::Tray().empty());
    EXPECT_EQ(a.message, taskbarCreated);
    EXPECT_EQ(b.message, taskbarCreated);
    EXPECT_EQ(a.hwnd, first);
    EXPECT_EQ(b.hwnd, second);
}

// -------------------------------------------------------------- menus

TEST_F(ModelTest, TrackPopupMenuSendsInitFirstAndPostsTheChoice)
{
    struct Row {
        host::Action action;
        UINT_PTR posted; // 0: nothing
    };
    const Row rows[] = {
        {host::ChooseMenuItem(0x30), 0x30},
        {host::ChooseMenuPosition(0), 0x10},
        {host::DismissMenu(), 0},
    };
    for (const Row& row : rows) {
        SetUp();
        SCOPED_TRACE(row.action.label);
        HWND window = NewWindow();
        HMENU menu = NewMenu();
        PostMessageA(window, WM_USER, 0, 0);
        seen.clear();
        host::Script({row.action});

        EXPECT_TRUE(
            TrackPopupMenu(menu, TPM_LEFTALIGN | TPM_RIGHTBUTTON, 12, 34, 0, window, nullptr));
        // Sent before the menu shows, ahead of what was queued (which the
        // menu's loop dispatches); the choice is only posted.
        EXPECT_EQ(SeenMessages(), (std::vector<UINT>{WM_INITMENUPOPUP, WM_USER}));
        EXPECT_EQ(seen[0].wParam, reinterpret_cast<WPARAM>(menu));
        ASSERT_EQ(host::TrackedMenus().size(), 1u);
        EXPECT_EQ(host::TrackedMenus()[0].y, 34);
        if (row.posted == 0) {
            EXPECT_THROW(NextMessage(), host::ScriptExhausted);
        } else {
            MSG msg = NextMessage();
            EXPECT_EQ(msg.message, (UINT)WM_COMMAND);
            EXPECT_EQ(msg.wParam, row.posted);
            EXPECT_EQ(msg.hwnd, window);
        }
    }
}

TEST_F(ModelTest, MenuChoiceMustNameAnItemTheUserCouldPick)
{
    const host::Action misfits[] = {host::ChooseMenuItem(0x20),  host::ChooseMenuItem(0x99),
                                    host::ChooseMenuItem(0),     host::ChooseMenuPosition(2),
                                    host::ChooseMenuPosition(4), host::PressOk()};
    for (const host::Action& misfit : misfits) {
        SetUp();
        SCOPED_TRACE(misfit.label);
        HWND window = NewWindow();
        HMENU menu = NewMenu();
        host::Script({misfit});
        EXPECT_THROW(TrackPopupMenu(menu, 0, 0, 0, 0, window, nullptr), host::ScriptMismatch);
    }
}

TEST_F(ModelTest, PressDuringMenuIsDispatchedAndQuitEndsTheMenu)
{
    HWND window = NewWindow();
    HMENU menu = NewMenu();
    NOTIFYICONDATAA nid = IconRecord(window, 5);
    Shell_NotifyIconA(NIM_ADD, &nid);
    react = [](HWND, UINT message, WPARAM, LPARAM) -> LRESULT {
        if (message == kCallback)
            PostQuitMessage(3);
        return 0;
    };
    host::Script({host::PressIcon(WM_RBUTTONDOWN, 5)});
    EXPECT_TRUE(TrackPopupMenu(menu, 0, 0, 0, 0, window, nullptr));
    EXPECT_EQ(SeenMessages(), (std::vector<UINT>{WM_CREATE, WM_INITMENUPOPUP, kCallback}));
    EXPECT_EQ(seen.back().lParam, WM_RBUTTONDOWN);
    EXPECT_EQ(seen.back().wParam, 5u);
    EXPECT_EQ(NextMessage().message, (UINT)WM_QUIT); // still queued
}

TEST_F(ModelTest, MenuItemsKeepTheirOrderAndCheckMarks)
{
    HMENU menu = NewMenu();
    EXPECT_EQ(CheckMenuItem(menu, 0x30, MF_BYCOMMAND | MF_CHECKED), (DWORD)MF_UNCHECKED);
    EXPECT_EQ(CheckMenuItem(menu, 0x30, MF_BYCOMMAND | MF_UNCHECKED), (DWORD)MF_CHECKED);
    EXPECT_EQ(CheckMenuItem(menu, 0x31, MF_BYCOMMAND | MF_CHECKED), (DWORD)-1);
    CheckMenuItem(menu, 0x10, MF_BYCOMMAND | MF_CHECKED);

    std::vector<host::MenuItem> items = host::MenuItems(menu);
    ASSERT_EQ(items.size(), 4u);
    EXPECT_EQ(items[0].text, "One");
    EXPECT_TRUE(items[0].checked);
    EXPECT_FALSE(items[3].checked);
    EXPECT_EQ(items[2].flags, (UINT)MF_SEPARATOR);
    EXPECT_EQ(items[2].text, "");

    EXPECT_TRUE(DestroyMenu(menu));
    EXPECT_FALSE(host::MenuAlive(menu));
    EXPECT_FALSE(DestroyMenu(menu));
    EXPECT_FALSE(AppendMenuA(menu, MF_STRING, 1, "x"));
    EXPECT_FALSE(AppendMenuA(nullptr, MF_STRING, 1, "x"));
}

// -------------------------------------------------------------- boxes

TEST_F(ModelTest, PressDuringBoxIsHandledInsideTheBoxesLoop)
{
    HWND window = NewWindow();
    NOTIFYICONDATAA nid = IconRecord(window, 9);
    Shell_NotifyIconA(NIM_ADD, &nid);
    int inner = -1;
    react = [&inner](HWND, UINT message, WPARAM, LPARAM) -> LRESULT {
        if (message == kCallback)
            inner = MessageBoxA(nullptr, "inner", "Inner", MB_OK);
        return 0;
    };
    host::Script({host::PressIcon(WM_LBUTTONDOWN, 9), host::PressOk(), host::PressOk()});

    EXPECT_EQ(MessageBoxA(nullptr, "outer", "Outer", MB_OK | MB_ICONQUESTION), IDOK);
    EXPECT_EQ(inner, IDOK); // the first OK closed the topmost box
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[1].message, kCallback);
    EXPECT_EQ(seen[1].openBoxes, 1);
    EXPECT_EQ(host::OpenBoxCount(), 0);
    ASSERT_EQ(host::Boxes().size(), 2u);
    EXPECT_EQ(host::Boxes()[0].caption, "Outer");
    EXPECT_EQ(host::Boxes()[0].style, (UINT)(MB_OK | MB_ICONQUESTION));
    EXPECT_EQ(host::Boxes()[1].text, "inner");
}

TEST_F(ModelTest, IndirectBoxRecordsItsRecordAndNotesAWrongSize)
{
    MSGBOXPARAMSA mbp{};
    mbp.cbSize = 48; // a 64-bit caller's size
    mbp.hInstance = host::ModuleInstance();
    mbp.lpszText = "text";
    mbp.dwStyle = MB_OK | MB_USERICON;
    mbp.lpszIcon = MAKEINTRESOURCEA(1);
    mbp.dwLanguageId = MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT);
    host::Script({host::PressOk()});

    EXPECT_EQ(MessageBoxIndirectA(&mbp), IDOK);
    ASSERT_EQ(host::Boxes().size(), 1u);
    const host::Box& box = host::Boxes()[0];
    EXPECT_TRUE(box.indirect);
    EXPECT_EQ(box.cbSize, 48u);
    EXPECT_EQ(box.caption, "Error"); // what Windows shows for no caption
    EXPECT_EQ(box.icon, 1u);
    EXPECT_EQ(box.languageId, 0x400u);
    EXPECT_FALSE(box.callbackGiven);
    EXPECT_EQ(host::Misuses().size(), 1u);
}

// --------------------------------------------------------- tray icons

TEST_F(ModelTest, TrayIconsAreKeyedByWindowAndIdentifier)
{
    HWND windows[] = {NewWindow(), NewWindow()};
    struct Step {
        int window;
        UINT uid;
        DWORD message;
        BOOL result;
    };
    const Step steps[] = {
        {0, 1, NIM_ADD, TRUE},    {0, 1, NIM_ADD, FALSE},    {0, 2, NIM_ADD, TRUE},
        {1, 1, NIM_ADD, TRUE},    {0, 1, NIM_DELETE, TRUE},  {0, 1, NIM_DELETE, FALSE},
        {1, 1, NIM_MODIFY, TRUE}, {0, 1, NIM_MODIFY, FALSE},
    };
    for (const Step& step : steps) {
        NOTIFYICONDATAA nid = IconRecord(windows[step.window], step.uid);
        std::strcpy(nid.szTip, "Changed");
        EXPECT_EQ(Shell_NotifyIconA(step.message, &nid), step.result)
            << "window " << step.window << " uid " << step.uid << " message " << step.message;
    }
    ASSERT_EQ(host::Tray().size(), 2u);
    EXPECT_EQ(host::Tray()[0].hWnd, windows[0]);
    EXPECT_EQ(host::Tray()[0].uID, 2u);
    EXPECT_EQ(host::Tray()[1].hWnd, windows[1]);
    EXPECT_EQ(host::Tray()[1].tip, "Changed");
    EXPECT_TRUE(host::Misuses().empty());
}

TEST_F(ModelTest, TrayRefusesBadRecordsAndNotesTheMisuse)
{
    HWND window = NewWindow();
    NOTIFYICONDATAA wrongSize = IconRecord(window, 1);
    wrongSize.cbSize = 504;
    NOTIFYICONDATAA longTip = IconRecord(window, 1);
    std::memset(longTip.szTip, 'x', sizeof longTip.szTip);
    for (NOTIFYICONDATAA* nid : {&wrongSize, &longTip})
        EXPECT_FALSE(Shell_NotifyIconA(NIM_ADD, nid));
    EXPECT_EQ(host::Misuses().size(), 2u);
    EXPECT_TRUE(host::Tray().empty());

    NOTIFYICONDATAA bogus = IconRecord(reinterpret_cast<HWND>(0x1234), 1);
    EXPECT_FALSE(Shell_NotifyIconA(NIM_ADD, &bogus));
}

TEST_F(ModelTest, PressReachesTheIconsWindowOrIsMissed)
{
    HWND window = NewWindow();
    NOTIFYICONDATAA nid = IconRecord(window, 1000);
    Shell_NotifyIconA(NIM_ADD, &nid);
    host::Script({host::PressIcon(WM_LBUTTONDOWN, 999), host::PressIcon(WM_RBUTTONUP)});
    MSG msg = NextMessage();
    EXPECT_EQ(msg.hwnd, window);
    EXPECT_EQ(msg.message, kCallback);
    EXPECT_EQ(msg.wParam, 1000u);
    EXPECT_EQ(msg.lParam, WM_RBUTTONUP);
    EXPECT_EQ(host::CallCount("script:missed"), 1);
}

// -------------------------------------------------- files and icons

TEST_F(ModelTest, FindExecutableNamesTheProgramBehindAFile)
{
    host::AddProgram("C:\\TOOLS\\PLANNER.EXE", 3);
    host::AddProgram("C:\\WINDOWS\\NOTEPAD.EXE");
    host::Associate(".txt", "C:\\WINDOWS\\NOTEPAD.EXE");
    host::AddFile("C:\\DOCS\\NOTE.TXT");
    host::AddFile("C:\\DOCS\\DATA.XYZ");
    struct Row {
        const char* file;
        const char* program;
        uintptr_t result; // 42: found
    };
    const Row rows[] = {
        {"c:\\tools\\planner.exe", "C:\\TOOLS\\PLANNER.EXE", 42},
        {"C:\\Docs\\Note.Txt", "C:\\WINDOWS\\NOTEPAD.EXE", 42},
        {"C:\\DOCS\\DATA.XYZ", "", SE_ERR_NOASSOC},
        {"C:\\DOCS\\MISSING.TXT", "", SE_ERR_FNF},
        {"", "", SE_ERR_FNF},
    };
    for (const Row& row : rows) {
        char result[MAX_PATH] = "left over";
        HINSTANCE code = FindExecutableA(row.file, nullptr, result);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(code), row.result) << row.file;
        EXPECT_STREQ(result, row.program) << row.file;
    }
}

TEST_F(ModelTest, ExtractIconFollowsTheShellsNumbering)
{
    host::AddProgram("C:\\TOOLS\\PLANNER.EXE", 3);
    host::AddFile("C:\\DOCS\\NOTE.TXT");
    const std::string planner = "file:C:\\TOOLS\\PLANNER.EXE#";
    struct Row {
        const char* file;
        int index;
        std::string picture; // "": not a live icon, then `value`
        uintptr_t value;
    };
    const Row rows[] = {
        {"c:\\tools\\planner.exe", 0, planner + "0", 0},
        {"C:\\TOOLS\\PLANNER.EXE", 2, planner + "2", 0},
        {"C:\\TOOLS\\PLANNER.EXE", 3, "", 0},
        {"C:\\TOOLS\\PLANNER.EXE", -1, "", 3}, // the count
        {"C:\\TOOLS\\PLANNER.EXE", -2, planner + "1", 0},
        {"C:\\TOOLS\\PLANNER.EXE", -4, "", 0},
        {"C:\\DOCS\\NOTE.TXT", 0, "", 1},
        {"C:\\MISSING.EXE", 0, "", 0},
        {"", 0, "", 0},
    };
    int live = 0;
    for (const Row& row : rows) {
        HICON icon = ExtractIconA(host::ModuleInstance(), row.file, (UINT)row.index);
        EXPECT_EQ(host::IconPicture(icon), row.picture) << row.file << " #" << row.index;
        if (!row.picture.empty()) {
            ++live;
            continue;
        }
        EXPECT_EQ(reinterpret_cast<uintptr_t>(icon), row.value) << row.file;
        // Counts and the value 1 are no icons.
        if (icon != nullptr) {
            EXPECT_EQ(CopyIcon(icon), nullptr);
        }
    }
    EXPECT_EQ(host::LiveIconCount(), live);
}

TEST_F(ModelTest, IconCopiesAreOwnedAndSharedIconsOutliveDestroy)
{
    host::AddProgram("C:\\A.EXE");
    HICON extracted = ExtractIconA(host::ModuleInstance(), "C:\\A.EXE", 0);
    HICON copy = CopyIcon(extracted);
    EXPECT_EQ(host::IconPicture(copy), "file:C:\\A.EXE#0");
    EXPECT_TRUE(DestroyIcon(extracted));
    EXPECT_FALSE(DestroyIcon(extracted));
    EXPECT_EQ(host::IconPicture(copy), "file:C:\\A.EXE#0");
    EXPECT_EQ(host::LiveIconCount(), 1);
    EXPECT_FALSE(DestroyIcon(nullptr));
    EXPECT_FALSE(DestroyIcon(reinterpret_cast<HICON>(1)));

    HICON own = LoadIconA(host::ModuleInstance(), MAKEINTRESOURCEA(1));
    EXPECT_EQ(host::IconPicture(own), "own:1");
    EXPECT_TRUE(DestroyIcon(own));
    EXPECT_EQ(host::IconPicture(own), "own:1");
    EXPECT_EQ(LoadIconA(host::ModuleInstance(), MAKEINTRESOURCEA(2)), nullptr);
    EXPECT_EQ(LoadIconA(nullptr, MAKEINTRESOURCEA(1)), nullptr);
}

TEST_F(ModelTest, ShellExecuteRecordsWhatWouldOpen)
{
    host::AddProgram("C:\\TOOLS\\PLANNER.EXE");
    EXPECT_EQ(reinterpret_cast<uintptr_t>(ShellExecuteA(nullptr, nullptr, "c:\\tools\\planner.exe",
                                                        nullptr, "C:\\WINDOWS", SW_SHOWNORMAL)),
              42u);
    EXPECT_LE(reinterpret_cast<uintptr_t>(
                  ShellExecuteA(nullptr, "open", "C:\\GONE.EXE", "-x", "C:\\", 0)),
              32u);
    ASSERT_EQ(host::Launches().size(), 2u);
    const host::Launch& opened = host::Launches()[0];
    EXPECT_FALSE(opened.verbGiven);
    EXPECT_FALSE(opened.parametersGiven);
    EXPECT_EQ(opened.directory, "C:\\WINDOWS");
    EXPECT_EQ(opened.program, "C:\\TOOLS\\PLANNER.EXE");
    EXPECT_EQ(host::Launches()[1].program, "");
    EXPECT_EQ(host::Launches()[1].parameters, "-x");
}

// ------------------------------------------------------------ registry

TEST_F(ModelTest, QueryWithoutBuffersSucceedsExactlyWhenTheValueExists)
{
    host::RegistryPut(kRun, "Mivo Planner", REG_SZ, std::string("C:\\X.EXE a", 11));
    HKEY key = nullptr;
    DWORD disposition = 0;
    char keyClass[] = "REG_SZ";
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE,
                              "software\\microsoft\\windows\\currentversion\\run", 0, keyClass,
                              REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &key, &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, (DWORD)REG_OPENED_EXISTING_KEY);
    struct Row {
        const char* name;
        LSTATUS result;
    };
    for (const Row& row : {Row{"Mivo Planner", ERROR_SUCCESS}, Row{"MIVO PLANNER", ERROR_SUCCESS},
                           Row{"Mivo Plan", ERROR_FILE_NOT_FOUND}}) {
        EXPECT_EQ(RegQueryValueExA(key, row.name, nullptr, nullptr, nullptr, nullptr), row.result)
            << row.name;
    }

    char small[4];
    DWORD size = sizeof small;
    DWORD type = 0;
    EXPECT_EQ(RegQueryValueExA(key, "Mivo Planner", nullptr, &type, (LPBYTE)small, &size),
              ERROR_MORE_DATA);
    EXPECT_EQ(size, 11u);
    EXPECT_EQ(type, (DWORD)REG_SZ);
    EXPECT_EQ(host::OpenKeyCount(), 1);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);
    EXPECT_EQ(host::OpenKeyCount(), 0);
}

TEST_F(ModelTest, CreatedKeyKeepsItsClassAndValuesKeepTheirBytes)
{
    HKEY key = nullptr;
    DWORD disposition = 0;
    char keyClass[] = "REG_SZ";
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\New", 0, keyClass, 0, KEY_ALL_ACCESS,
                              nullptr, &key, &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, (DWORD)REG_CREATED_NEW_KEY);
    EXPECT_EQ(host::RegistryKeyClass("HKLM\\SOFTWARE\\NEW"), "REG_SZ");

    const char good[] = "C:\\MIVO\\MIVO.EXE x";
    EXPECT_EQ(RegSetValueExA(key, "Good", 0, REG_SZ, (const BYTE*)good, sizeof good),
              ERROR_SUCCESS);
    EXPECT_TRUE(host::Misuses().empty());
    EXPECT_EQ(RegSetValueExA(key, "Short", 0, REG_SZ, (const BYTE*)good, sizeof good - 1),
              ERROR_SUCCESS);
    EXPECT_EQ(host::Misuses().size(), 1u);
    DWORD type = 0;
    std::string bytes;
    ASSERT_TRUE(host::RegistryGet("HKLM\\Software\\New", "good", &type, &bytes));
    EXPECT_EQ(bytes, std::string(good, sizeof good));
    EXPECT_EQ(RegDeleteValueA(key, "GOOD"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteValueA(key, "Good"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(host::RegistryValueCount("HKLM\\Software\\New"), 1);
    RegCloseKey(key);
}

TEST_F(ModelTest, DeniedMachineKeyGivesNoHandle)
{
    host::RegistryAddKey(kRun);
    host::DenyMachineKeyAccess(true);
    struct Row {
        HKEY root;
        REGSAM access;
        LSTATUS result;
    };
    for (const Row& row : {Row{HKEY_LOCAL_MACHINE, KEY_ALL_ACCESS, ERROR_ACCESS_DENIED},
                           Row{HKEY_LOCAL_MACHINE, KEY_READ, ERROR_SUCCESS},
                           Row{HKEY_CURRENT_USER, KEY_ALL_ACCESS, ERROR_SUCCESS}}) {
        HKEY key = reinterpret_cast<HKEY>(0x99);
        EXPECT_EQ(RegCreateKeyExA(row.root, "Software\\Microsoft\\Windows\\CurrentVersion\\Run", 0,
                                  nullptr, 0, row.access, nullptr, &key, nullptr),
                  row.result);
        EXPECT_EQ(key == nullptr, row.result != ERROR_SUCCESS);
        if (key != nullptr)
            RegCloseKey(key);
    }
    EXPECT_EQ(host::OpenKeyCount(), 0);
}

// -------------------------------------------------------- kernel, text

TEST_F(ModelTest, ModuleFileNameIsCutAsOnWindowsXp)
{
    host::SetModulePath("C:\\MIVO\\MIVO.EXE"); // 16 characters
    struct Row {
        DWORD size;
        DWORD result;
        const char* text;
    };
    const Row rows[] = {
        {272, 16, "C:\\MIVO\\MIVO.EXE"},
        {17, 16, "C:\\MIVO\\MIVO.EXE"},
        {16, 16, "C:\\MIVO\\MIVO.EX"},
        {1, 1, ""},
    };
    for (const Row& row : rows) {
        char buffer[272];
        std::memset(buffer, '#', sizeof buffer);
        EXPECT_EQ(GetModuleFileNameA(host::ModuleInstance(), buffer, row.size), row.result)
            << row.size;
        EXPECT_STREQ(buffer, row.text) << row.size;
    }
    char untouched[8] = "same";
    EXPECT_EQ(GetModuleFileNameA(reinterpret_cast<HMODULE>(0x1000), untouched, 8), 0u);
    EXPECT_STREQ(untouched, "same");
}

TEST_F(ModelTest, CaseConversionsWorkInPlaceAndAreLogged)
{
    char lower[] = "\xC0"
                   "Bc D";
    EXPECT_EQ(CharLowerA(lower), lower);
    EXPECT_STREQ(lower, "\xE0"
                        "bc d");
    char upper[] = "abcdef";
    EXPECT_EQ(CharUpperBuffA(upper, 3), 3u);
    EXPECT_STREQ(upper, "ABCdef");
    EXPECT_EQ(host::CallNames(), (std::vector<std::string>{"CharLowerA", "CharUpperBuffA"}));
}

// ------------------------------------------------------------ failures

TEST_F(ModelTest, FailOnHitsOnlyTheNthCallSinceResetOfAFailableOperation)
{
    CreatePopupMenu();
    host::FailOn("CreatePopupMenu", 3);
    EXPECT_NE(CreatePopupMenu(), nullptr);
    EXPECT_EQ(CreatePopupMenu(), nullptr);
    EXPECT_NE(CreatePopupMenu(), nullptr);
    EXPECT_EQ(host::CallLog()[2].detail, "FAILED");
    EXPECT_EQ(host::CallCount("CreatePopupMenu"), 4);

    EXPECT_THROW(host::FailOn("Sleep", 1), std::invalid_argument);
    EXPECT_THROW(host::FailAlways("DispatchMessageA"), std::invalid_argument);
    EXPECT_THROW(host::FailOn("NoSuchCall", 1), std::invalid_argument);
    EXPECT_THROW(host::FailOn("RegCloseKey", 0), std::invalid_argument);
}

// Every failable operation, given arguments that succeed, fails with its
// failure result when told to, changes nothing, and is logged as failed.
TEST_F(ModelTest, EveryFailableOperationFailsWhenTold)
{
    const char* file = "C:\\P.EXE";
    HWND w = nullptr;
    HMENU m = nullptr;
    HKEY k = nullptr;
    MSG msg{};
    POINT pt = {-1, -1};
    char text[MAX_PATH] = "";
    WNDCLASSA wc{};
    wc.lpfnWndProc = TestProc;
    wc.lpszClassName = "Other";
    MSGBOXPARAMSA mbp{};
    mbp.cbSize = 40;
    const std::vector<std::pair<std::string, std::function<bool()>>> probes = {
        {"RegisterClassA", [&] { return RegisterClassA(&wc) == 0; }},
        {"UnregisterClassA",
         [&] {
             return DestroyWindow(w) && !UnregisterClassA("TestClass", host::ModuleInstance());
         }},
        {"CreateWindowExA", [&] { return NewWindow() == nullptr; }},
        {"DestroyWindow", [&] { return !DestroyWindow(w) && host::WindowAlive(w); }},
        {"GetMessageA",
         [&] { return PostMessageA(w, WM_USER, 0, 0) && GetMessageA(&msg, nullptr, 0, 0) == -1; }},
        {"PostMessageA", [&] { return !PostMessageA(w, WM_USER, 0, 0); }},
        {"RegisterWindowMessageA", [&] { return RegisterWindowMessageA("TaskbarCreated") == 0; }},
        {"CreatePopupMenu", [&] { return CreatePopupMenu() == nullptr; }},
        {"AppendMenuA", [&] { return !AppendMenuA(m, MF_STRING, 1, "x"); }},
        {"DestroyMenu", [&] { return !DestroyMenu(m) && host::MenuAlive(m); }},
        {"CheckMenuItem", [&] { return CheckMenuItem(m, 0x10, MF_CHECKED) == (DWORD)-1; }},
        {"SetForegroundWindow", [&] { return !SetForegroundWindow(w); }},
        {"GetCursorPos", [&] { return !GetCursorPos(&pt) && pt.x == -1; }},
        {"TrackPopupMenu",
         [&] { return !TrackPopupMenu(m, 0, 0, 0, 0, w, nullptr) && seen.empty(); }},
        {"MessageBoxA",
         [&] { return MessageBoxA(w, "t", "c", MB_OK) == 0 && host::Boxes().empty(); }},
        {"MessageBoxIndirectA",
         [&] { return MessageBoxIndirectA(&mbp) == 0 && host::Boxes().empty(); }},
        {"Shell_NotifyIconA",
         [&] {
             NOTIFYICONDATAA nid = IconRecord(w, 1);
             return !Shell_NotifyIconA(NIM_ADD, &nid) && host::Tray().empty();
         }},
        {"ShellExecuteA",
         [&] { return (uintptr_t)ShellExecuteA(w, nullptr, file, nullptr, nullptr, 1) <= 32; }},
        {"FindExecutableA",
         [&] { return (uintptr_t)FindExecutableA(file, nullptr, text) <= 32 && text[0] == '\0'; }},
        {"ExtractIconA", [&] { return ExtractIconA(nullptr, file, 0) == nullptr; }},
        {"CopyIcon",
         [&] {
             return CopyIcon(LoadIconA(host::ModuleInstance(), MAKEINTRESOURCEA(1))) == nullptr;
         }},
        {"DestroyIcon",
         [&] {
             return !DestroyIcon(ExtractIconA(nullptr, file, 0)) && host::LiveIconCount() == 1;
         }},
        {"LoadIconA",
         [&] { return LoadIconA(host::ModuleInstance(), MAKEINTRESOURCEA(1)) == nullptr; }},
        {"LoadCursorA", [&] { return LoadCursorA(nullptr, IDC_ARROW) == nullptr; }},
        {"GetStockObject", [&] { return GetStockObject(LTGRAY_BRUSH) == nullptr; }},
        {"RegCreateKeyExA",
         [&] {
             return RegCreateKeyExA(HKEY_CURRENT_USER, "A", 0, nullptr, 0, KEY_READ, nullptr, &k,
                                    nullptr) != ERROR_SUCCESS &&
                    k == nullptr && !host::RegistryKeyExists("HKCU\\A");
         }},
        {"RegQueryValueExA",
         [&] { return RegQueryValueExA(k, "v", nullptr, nullptr, nullptr, nullptr) != 0; }},
        {"RegSetValueExA",
         [&] {
             return RegSetValueExA(k, "w", 0, REG_SZ, (const BYTE*)"", 1) != ERROR_SUCCESS &&
                    host::RegistryValueCount("HKCU\\K") == 1;
         }},
        {"RegDeleteValueA",
         [&] { return RegDeleteValueA(k, "v") != 0 && host::RegistryValueCount("HKCU\\K") == 1; }},
        {"RegCloseKey", [&] { return RegCloseKey(k) != 0 && host::OpenKeyCount() == 1; }},
        {"GetModuleFileNameA",
         [&] { return GetModuleFileNameA(nullptr, text, sizeof text) == 0 && text[0] == 'x'; }},
    };
    EXPECT_EQ(probes.size(), host::FailableOperations().size());
    for (const auto& probe : probes) {
        SetUp();
        host::AddProgram(file);
        host::RegistryPut("HKCU\\K", "v", REG_SZ, std::string("", 1));
        w = NewWindow();
        m = NewMenu();
        RegCreateKeyExA(HKEY_CURRENT_USER, "K", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k,
                        nullptr);
        std::strcpy(text, "x");
        seen.clear();

        host::FailAlways(probe.first);
        EXPECT_TRUE(probe.second()) << probe.first;
        const std::vector<host::Call>& log = host::CallLog();
        EXPECT_TRUE(std::any_of(log.begin(), log.end(),
                                [&](const host::Call& call) {
                                    return call.operation == probe.first &&
                                           call.detail.find("FAILED") != std::string::npos;
                                }))
            << probe.first << "\n"
            << host::CallLogText();
    }
}

} // namespace

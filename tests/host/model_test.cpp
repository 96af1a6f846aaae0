// The host model's promises that the applet's own tests do not reach: handle
// checks, misuses, the script, the shell's rules, the registry and failures.
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

std::vector<UINT> seen; // the messages the test windows' procedure received
LRESULT createResult;   // its answer to WM_CREATE

LRESULT CALLBACK TestProc(HWND, UINT message, WPARAM, LPARAM)
{
    seen.push_back(message);
    return message == WM_CREATE ? createResult : 0;
}

NOTIFYICONDATAA IconRecord(HWND window, UINT uid)
{
    NOTIFYICONDATAA nid{};
    nid.cbSize = 88;
    nid.hWnd = window;
    nid.uID = uid;
    nid.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    nid.uCallbackMessage = WM_USER + 1;
    std::strcpy(nid.szTip, "Tip");
    return nid;
}

bool Logged(const std::string& operation, const std::string& detailPart)
{
    const std::vector<host::Call>& log = host::CallLog();
    return std::any_of(log.begin(), log.end(), [&](const host::Call& call) {
        return call.operation == operation && call.detail.find(detailPart) != std::string::npos;
    });
}

class ModelTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        host::Reset();
        seen.clear();
        createResult = 0;
        WNDCLASSA wc{};
        wc.lpfnWndProc = TestProc;
        wc.hInstance = host::ModuleInstance();
        wc.lpszClassName = "TestClass";
        RegisterClassA(&wc);
    }

    static HWND NewWindow()
    {
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

    static HKEY OpenUserKey()
    {
        HKEY key = nullptr;
        RegCreateKeyExA(HKEY_CURRENT_USER, "K", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr);
        return key;
    }
};

// A refused WM_CREATE ends the window at once; a destroyed or closed handle
// is refused by everything, as one the model never made is. Tray icons are
// keyed by window and identifier and outlive their window.
TEST_F(ModelTest, RefusedCreationAndDeadHandles)
{
    createResult = -1;
    EXPECT_EQ(NewWindow(), nullptr);
    EXPECT_EQ(seen, (std::vector<UINT>{WM_CREATE, WM_DESTROY, WM_NCDESTROY}));
    EXPECT_EQ(host::CallLog()[1].detail, "TestClass FAILED");
    createResult = 0;

    HWND window = NewWindow();
    NOTIFYICONDATAA nid = IconRecord(window, 1);
    ASSERT_TRUE(Shell_NotifyIconA(NIM_ADD, &nid));
    // Icons are keyed by window and identifier: another window may use 1.
    NOTIFYICONDATAA other = IconRecord(NewWindow(), 1);
    EXPECT_TRUE(Shell_NotifyIconA(NIM_ADD, &other));
    EXPECT_FALSE(Shell_NotifyIconA(NIM_ADD, &other));
    ASSERT_TRUE(DestroyWindow(window));
    EXPECT_EQ(host::Tray().size(), 2u); // the icon outlives its window
    nid.uID = 2;
    HMENU live = NewMenu();
    HMENU menu = NewMenu();
    ASSERT_TRUE(DestroyMenu(menu));
    HKEY key = OpenUserKey();
    ASSERT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    host::AddProgram("C:\\P.EXE");
    HICON icon = ExtractIconA(nullptr, "C:\\P.EXE", 0);
    ASSERT_TRUE(DestroyIcon(icon));

    EXPECT_FALSE(DestroyWindow(window));
    EXPECT_FALSE(PostMessageA(window, WM_USER, 0, 0));
    EXPECT_FALSE(SetForegroundWindow(window));
    EXPECT_FALSE(Shell_NotifyIconA(NIM_ADD, &nid));
    EXPECT_FALSE(TrackPopupMenu(live, 0, 0, 0, 0, window, nullptr));
    EXPECT_EQ(MessageBoxA(window, "t", "c", MB_OK), 0);
    EXPECT_FALSE(DestroyMenu(menu));
    EXPECT_FALSE(AppendMenuA(menu, MF_STRING, 1, "x"));
    EXPECT_EQ(CheckMenuItem(menu, 0x10, MF_CHECKED), DWORD(-1));
    EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegQueryValueExA(key, "", nullptr, nullptr, nullptr, nullptr), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegSetValueExA(key, "v", 0, REG_SZ, (const BYTE*)"", 1), ERROR_INVALID_HANDLE);
    EXPECT_FALSE(DestroyIcon(icon));
    EXPECT_EQ(CopyIcon(icon), nullptr);
    EXPECT_FALSE(Shell_NotifyIconA(NIM_MODIFY, &nid));
    EXPECT_EQ(host::Tray().size(), 2u);
    EXPECT_TRUE(host::Boxes().empty());
    EXPECT_FALSE(UnregisterClassA("TestClass", host::ModuleInstance())); // a window lives
    ASSERT_TRUE(DestroyWindow(other.hWnd));
    EXPECT_TRUE(UnregisterClassA("TestClass", host::ModuleInstance()));
}

// Records that show a fault in the caller are noted, one misuse each. (The
// applet's tests check that its right records note none.)
TEST_F(ModelTest, WrongRecordsAreNotedAsMisuses)
{
    NOTIFYICONDATAA wrongSize = IconRecord(NewWindow(), 1);
    wrongSize.cbSize = 504;
    NOTIFYICONDATAA longTip = wrongSize;
    longTip.cbSize = 88;
    std::memset(longTip.szTip, 'x', sizeof longTip.szTip);
    EXPECT_FALSE(Shell_NotifyIconA(NIM_ADD, &wrongSize));
    EXPECT_FALSE(Shell_NotifyIconA(NIM_ADD, &longTip));
    EXPECT_TRUE(host::Tray().empty());
    EXPECT_EQ(host::Misuses().size(), 2u);

    MSGBOXPARAMSA mbp{};
    mbp.cbSize = 48; // a 64-bit caller's size
    host::Script({host::PressOk(), host::PressOk()});
    EXPECT_EQ(MessageBoxIndirectA(&mbp), IDOK);
    mbp.cbSize = 40;
    mbp.hInstance = host::ModuleInstance();
    mbp.dwStyle = MB_USERICON;
    mbp.lpszIcon = MAKEINTRESOURCEA(2);
    EXPECT_EQ(MessageBoxIndirectA(&mbp), IDOK);
    EXPECT_EQ(host::Boxes().size(), 2u);
    EXPECT_EQ(host::Boxes()[0].caption, "Error"); // what Windows shows for none
    EXPECT_EQ(host::Misuses().size(), 4u);

    HKEY key = OpenUserKey();
    const BYTE* ab = reinterpret_cast<const BYTE*>("ab\0");
    EXPECT_EQ(RegSetValueExA(key, "a", 0, REG_SZ, ab, 2), ERROR_SUCCESS);        // no NUL
    EXPECT_EQ(RegSetValueExA(key, "b", 0, REG_EXPAND_SZ, ab, 4), ERROR_SUCCESS); // two
    EXPECT_EQ(host::Misuses().size(), 6u);
    EXPECT_EQ(RegSetValueExA(key, "c", 0, REG_BINARY, ab, 2), ERROR_SUCCESS);
    EXPECT_EQ(host::Misuses().size(), 6u);
    RegCloseKey(key);
}

// What is queued ahead of a quit is dispatched inside a menu's loop; the
// quit ends the menu and stays queued with its code.
TEST_F(ModelTest, QuitEndsAMenuAndCarriesItsCode)
{
    HWND window = NewWindow();
    PostMessageA(window, WM_USER, 30, 0);
    PostQuitMessage(7);
    EXPECT_TRUE(TrackPopupMenu(NewMenu(), 0, 0, 0, 0, window, nullptr));
    EXPECT_EQ(seen, (std::vector<UINT>{WM_CREATE, WM_INITMENUPOPUP, WM_USER}));
    MSG msg{};
    EXPECT_EQ(GetMessageA(&msg, nullptr, 0, 0), FALSE);
    EXPECT_EQ(msg.message, UINT(WM_QUIT));
    EXPECT_EQ(msg.wParam, 7u);
}

TEST_F(ModelTest, ScriptThatRunsOutOrDoesNotFitThrows)
{
    enum Waits { Loop, Menu, Box };
    const char* const waitNames[] = {"GetMessageA", "TrackPopupMenu", "MessageBoxA"};
    const long kExhausted = -1;
    const long kMismatch = -2;
    struct Row {
        Waits waits;
        std::vector<host::Action> script;
        long outcome; // else the wParam taken (the chosen id), or the box's result
    };
    const Row rows[] = {
        {Loop, {}, kExhausted},
        {Menu, {host::Post(nullptr, WM_USER, 0, 0)}, kExhausted},
        {Box, {host::PressIcon(WM_LBUTTONDOWN, 5)}, kExhausted},
        {Loop, {host::PressOk()}, kMismatch},
        {Loop, {host::ChooseMenuItem(0x10)}, kMismatch},
        {Loop, {host::DismissMenu()}, kMismatch},
        {Box, {host::ChooseMenuPosition(0)}, kMismatch},
        {Menu, {host::PressOk()}, kMismatch},
        {Menu, {host::ChooseMenuItem(0x20)}, kMismatch}, // grayed
        {Menu, {host::ChooseMenuItem(0x99)}, kMismatch},
        {Menu, {host::ChooseMenuItem(0)}, kMismatch}, // the separator's
        {Menu, {host::ChooseMenuPosition(2)}, kMismatch},
        {Menu, {host::ChooseMenuPosition(4)}, kMismatch},
        {Menu, {host::ChooseMenuPosition(-1)}, kMismatch},
        {Menu, {host::ChooseMenuPosition(3)}, 0x30},
        {Menu, {host::ChooseMenuItem(0x10)}, 0x10},
        {Box, {host::PressOk()}, IDOK},
        {Loop, {host::PressIcon(WM_LBUTTONDOWN, 999), host::PressIcon(WM_RBUTTONUP, 5)}, 5},
    };
    MSG msg{};
    for (const Row& row : rows) {
        SetUp();
        SCOPED_TRACE(std::string(waitNames[row.waits]) +
                     (row.script.empty() ? "" : " " + row.script.back().label));
        HWND window = NewWindow();
        HMENU menu = NewMenu();
        NOTIFYICONDATAA nid = IconRecord(window, 5);
        Shell_NotifyIconA(NIM_ADD, &nid);
        host::Script(row.script);
        long got = 0;
        std::string what;
        try {
            if (row.waits == Box)
                got = MessageBoxA(nullptr, "t", "c", MB_OK);
            else if (row.waits == Menu && !TrackPopupMenu(menu, 0, 0, 0, 0, window, nullptr))
                got = -3;
            else if (GetMessageA(&msg, nullptr, 0, 0) == TRUE && msg.hwnd == window)
                got = long(msg.wParam);
        } catch (const host::ScriptExhausted& e) {
            got = kExhausted;
            what = e.what();
        } catch (const host::ScriptMismatch&) {
            got = kMismatch;
        }
        EXPECT_EQ(got, row.outcome);
        if (got == kExhausted) {
            EXPECT_NE(what.find(waitNames[row.waits]), std::string::npos) << what;
            EXPECT_NE(what.find(std::to_string(row.script.size()) + " action"), std::string::npos)
                << what;
        }
    }
    // The press on an icon that is not there was noted and passed over.
    EXPECT_EQ(host::CallCount("script:missed"), 1);
    EXPECT_EQ(msg.lParam, WM_RBUTTONUP);

    // A lenient script drops what does not fit and goes on.
    host::SetLenientScript(true);
    host::Script({host::ChooseMenuItem(0x10), host::Broadcast(WM_USER + 2)});
    ASSERT_EQ(GetMessageA(&msg, nullptr, 0, 0), TRUE);
    EXPECT_EQ(msg.message, (UINT)WM_USER + 2);
    EXPECT_EQ(host::CallCount("script:dropped"), 1);
}

TEST_F(ModelTest, FindExecutableNamesTheProgramBehindAFile)
{
    host::AddProgram("C:\\TOOLS\\PLANNER.EXE", 3);
    host::AddProgram("C:\\WINDOWS\\NOTEPAD.EXE");
    host::Associate(".txt", "C:\\WINDOWS\\NOTEPAD.EXE");
    host::AddFile("C:\\DOCS\\NOTE.TXT");
    host::AddFile("C:\\DOCS\\DATA.XYZ");
    host::AddFile("C:\\OLD.DOCS\\NOTE.TXT");
    struct Row {
        const char* file;
        const char* program;
        uintptr_t result; // 42: found
    };
    const Row rows[] = {
        {"c:\\tools\\planner.exe", "C:\\TOOLS\\PLANNER.EXE", 42},
        {"C:\\Docs\\Note.Txt", "C:\\WINDOWS\\NOTEPAD.EXE", 42},
        {"C:\\DOCS\\DATA.XYZ", "", SE_ERR_NOASSOC},
        {"C:\\OLD.DOCS\\NOTE.TXT", "C:\\WINDOWS\\NOTEPAD.EXE", 42}, // the last dot counts
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
        std::string made; // the icon's picture, or the value given back
    };
    const Row rows[] = {
        {"c:\\tools\\planner.exe", 0, planner + "0"},
        {"C:\\TOOLS\\PLANNER.EXE", 2, planner + "2"},
        {"C:\\TOOLS\\PLANNER.EXE", 3, "0"},
        {"C:\\TOOLS\\PLANNER.EXE", -1, "3"}, // the count
        {"C:\\TOOLS\\PLANNER.EXE", -2, planner + "1"},
        {"C:\\TOOLS\\PLANNER.EXE", -4, "0"},
        {"C:\\DOCS\\NOTE.TXT", 0, "1"}, // a file without icons
        {"C:\\MISSING.EXE", 0, "0"},
        {"", 0, "0"},
    };
    int live = 0;
    for (const Row& row : rows) {
        HICON icon = ExtractIconA(host::ModuleInstance(), row.file, (UINT)row.index);
        std::string made = host::IconPicture(icon);
        live += made.empty() ? 0 : 1;
        // Counts and the value 1 are no icons.
        if (made.empty() && icon != nullptr) {
            EXPECT_EQ(CopyIcon(icon), nullptr) << row.file;
        }
        if (made.empty())
            made = std::to_string(reinterpret_cast<uintptr_t>(icon));
        EXPECT_EQ(made, row.made) << row.file << " #" << row.index;
    }
    EXPECT_EQ(host::LiveIconCount(), live);

    // The module's own icon is shared: DestroyIcon leaves it as it was.
    HICON own = LoadIconA(host::ModuleInstance(), MAKEINTRESOURCEA(1));
    EXPECT_TRUE(DestroyIcon(own));
    EXPECT_EQ(host::IconPicture(own), "own:1");
    EXPECT_EQ(LoadIconA(host::ModuleInstance(), MAKEINTRESOURCEA(2)), nullptr);
    EXPECT_EQ(LoadIconA(nullptr, MAKEINTRESOURCEA(1)), nullptr);
}

TEST_F(ModelTest, QueryValueAnswersWithAndWithoutBuffers)
{
    const std::string data("C:\\X.EXE a", 11);
    host::RegistryPut(kRun, "Mivo Planner", REG_EXPAND_SZ, data);
    host::DenyMachineKeyAccess(true); // reading is still allowed
    HKEY key = nullptr;
    DWORD disposition = 0;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE,
                              "software\\microsoft\\windows\\currentversion\\run", 0, nullptr, 0,
                              KEY_READ, nullptr, &key, &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, DWORD(REG_OPENED_EXISTING_KEY));
    struct Row {
        const char* name;
        int size;    // -1: no size given, else the size passed in
        bool buffer; // a data buffer of `size` bytes
        LSTATUS result;
        DWORD sizeAfter;
    };
    const Row rows[] = {
        {"MIVO PLANNER", -1, false, ERROR_SUCCESS, 0},
        {"Mivo Plan", -1, false, ERROR_FILE_NOT_FOUND, 0},
        {"Mivo Planner", 0, false, ERROR_SUCCESS, 11}, // the size only
        {"Mivo Planner", 10, true, ERROR_MORE_DATA, 11},
        {"Mivo Planner", 11, true, ERROR_SUCCESS, 11},
        {"Mivo Planner", 64, true, ERROR_SUCCESS, 11},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.name) + " size " + std::to_string(row.size));
        char buffer[64];
        std::memset(buffer, '#', sizeof buffer);
        DWORD type = 0x99;
        DWORD size = row.size < 0 ? 0 : DWORD(row.size);
        EXPECT_EQ(RegQueryValueExA(key, row.name, nullptr, &type,
                                   row.buffer ? reinterpret_cast<LPBYTE>(buffer) : nullptr,
                                   row.size < 0 ? nullptr : &size),
                  row.result);
        EXPECT_EQ(size, row.sizeAfter);
        const bool found = row.result != ERROR_FILE_NOT_FOUND;
        EXPECT_EQ(type, found ? DWORD(REG_EXPAND_SZ) : 0x99u);
        // Only a buffer large enough gets the bytes, and nothing past them.
        const bool copied = row.buffer && row.result == ERROR_SUCCESS;
        EXPECT_EQ(std::string(buffer, 12), copied ? data + "#" : std::string(12, '#'));
    }
    // A key opened for reading takes no changes.
    EXPECT_EQ(RegSetValueExA(key, "v", 0, REG_SZ, (const BYTE*)"", 1), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteValueA(key, "Mivo Planner"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(host::RegistryValueCount(kRun), 1);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    EXPECT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\New", 0, nullptr, 0, KEY_READ, nullptr,
                              &key, nullptr),
              ERROR_ACCESS_DENIED); // but not creating
    EXPECT_EQ(host::OpenKeyCount(), 0);
}

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
    EXPECT_EQ(GetModuleFileNameA(nullptr, untouched, 0), 0u);
    EXPECT_STREQ(untouched, "same");
}

TEST_F(ModelTest, FailOnHitsOnlyTheNthCallSinceResetOfAFailableOperation)
{
    CreatePopupMenu();
    host::FailOn("CreatePopupMenu", 3);
    EXPECT_NE(CreatePopupMenu(), nullptr);
    EXPECT_EQ(CreatePopupMenu(), nullptr);
    EXPECT_NE(CreatePopupMenu(), nullptr);
    EXPECT_EQ(host::CallLog()[3].detail, "FAILED");
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
    const HINSTANCE me = host::ModuleInstance();
    const LPCSTR ownIcon = MAKEINTRESOURCEA(1);
    const BYTE* empty = reinterpret_cast<const BYTE*>("");
    HWND w = nullptr;
    HMENU m = nullptr;
    HKEY k = nullptr;
    NOTIFYICONDATAA nid{};
    MSG msg{};
    POINT pt = {-1, -1};
    char text[MAX_PATH] = "";
    WNDCLASSA wc{};
    wc.lpfnWndProc = TestProc;
    wc.lpszClassName = "Other";
    MSGBOXPARAMSA mbp{};
    mbp.cbSize = 40;
    using Probe = std::pair<std::string, std::function<bool()>>;
    const Probe probes[] = {
        {"RegisterClassA", [&] { return RegisterClassA(&wc) == 0; }},
        {"UnregisterClassA",
         [&] { return DestroyWindow(w) && !UnregisterClassA("TestClass", me); }},
        {"CreateWindowExA", [&] { return NewWindow() == nullptr; }},
        {"DestroyWindow", [&] { return !DestroyWindow(w) && host::WindowAlive(w); }},
        {"GetMessageA", [&] { return GetMessageA(&msg, nullptr, 0, 0) == -1 && msg.hwnd == 0; }},
        {"PostMessageA", [&] { return !PostMessageA(w, WM_USER, 0, 0); }},
        {"RegisterWindowMessageA", [&] { return RegisterWindowMessageA("TaskbarCreated") == 0; }},
        {"CreatePopupMenu", [&] { return CreatePopupMenu() == nullptr; }},
        {"AppendMenuA",
         [&] { return !AppendMenuA(m, 0, 1, "x") && host::MenuItems(m).size() == 4; }},
        {"DestroyMenu", [&] { return !DestroyMenu(m) && host::MenuAlive(m); }},
        {"CheckMenuItem", [&] { return CheckMenuItem(m, 0x10, MF_CHECKED) == (DWORD)-1; }},
        {"SetForegroundWindow", [&] { return !SetForegroundWindow(w); }},
        {"GetCursorPos", [&] { return !GetCursorPos(&pt) && pt.x == -1; }},
        {"TrackPopupMenu",
         [&] { return !TrackPopupMenu(m, 0, 0, 0, 0, w, nullptr) && seen.empty(); }},
        {"MessageBoxA", [&] { return MessageBoxA(w, "t", "c", 0) == 0 && host::Boxes().empty(); }},
        {"MessageBoxIndirectA",
         [&] { return MessageBoxIndirectA(&mbp) == 0 && host::Boxes().empty(); }},
        {"Shell_NotifyIconA",
         [&] { return !Shell_NotifyIconA(NIM_ADD, &nid) && host::Tray().empty(); }},
        {"ShellExecuteA", [&] { return (uintptr_t)ShellExecuteA(w, 0, file, 0, 0, 1) <= 32; }},
        {"FindExecutableA",
         [&] { return (uintptr_t)FindExecutableA(file, 0, text) <= 32 && !*text; }},
        {"ExtractIconA", [&] { return !ExtractIconA(0, file, 0) && host::LiveIconCount() == 0; }},
        {"CopyIcon", [&] { return CopyIcon(LoadIconA(me, ownIcon)) == nullptr; }},
        {"DestroyIcon",
         [&] { return !DestroyIcon(ExtractIconA(0, file, 0)) && host::LiveIconCount() == 1; }},
        {"LoadIconA", [&] { return LoadIconA(me, ownIcon) == nullptr; }},
        {"LoadCursorA", [&] { return LoadCursorA(nullptr, IDC_ARROW) == nullptr; }},
        {"GetStockObject", [&] { return GetStockObject(LTGRAY_BRUSH) == nullptr; }},
        {"RegCreateKeyExA",
         [&] {
             return RegCreateKeyExA(HKEY_CURRENT_USER, "A", 0, nullptr, 0, KEY_READ, nullptr, &k,
                                    nullptr) == ERROR_ACCESS_DENIED &&
                    k == nullptr && !host::RegistryKeyExists("HKCU\\A");
         }},
        {"RegQueryValueExA",
         [&] { return RegQueryValueExA(k, "v", 0, 0, 0, 0) == ERROR_NOT_ENOUGH_MEMORY; }},
        {"RegSetValueExA",
         [&] { return RegSetValueExA(k, "w", 0, REG_SZ, empty, 1) == ERROR_ACCESS_DENIED; }},
        {"RegDeleteValueA", [&] { return RegDeleteValueA(k, "v") == ERROR_ACCESS_DENIED; }},
        {"RegCloseKey", [&] { return RegCloseKey(k) == ERROR_NOT_ENOUGH_MEMORY; }},
        {"GetModuleFileNameA",
         [&] { return GetModuleFileNameA(0, text, MAX_PATH) == 0 && *text == 'x'; }},
    };
    EXPECT_EQ(sizeof probes / sizeof probes[0], host::FailableOperations().size());
    for (const Probe& probe : probes) {
        SetUp();
        host::AddProgram(file);
        host::RegistryPut("HKCU\\K", "v", REG_SZ, std::string("", 1));
        w = NewWindow();
        m = NewMenu();
        k = OpenUserKey();
        nid = IconRecord(w, 1);
        PostMessageA(w, WM_USER, 0, 0);
        std::strcpy(text, "x");
        seen.clear();

        host::FailAlways(probe.first);
        EXPECT_TRUE(probe.second()) << probe.first;
        EXPECT_TRUE(Logged(probe.first, "FAILED")) << probe.first << "\n" << host::CallLogText();
        // The registry is as it was: one value, one key open.
        EXPECT_EQ(host::RegistryValueCount("HKCU\\K"), 1) << probe.first;
        EXPECT_EQ(host::OpenKeyCount(), 1) << probe.first;
    }
}

} // namespace

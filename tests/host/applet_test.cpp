// The applet through the host model: start-up, icon, launch, menu, Close.
#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

#include "tests/host/applet_harness.h"

namespace
{

using harness::AppletTest;
using harness::RunApplet;
using harness::Send;

const char kPlanner[] = "C:\\TOOLS\\PLANNER.EXE";

size_t IndexOf(const std::vector<host::Call>& log, const std::string& operation,
               const std::string& detailPart = "", size_t from = 0)
{
    for (size_t i = from; i < log.size(); i++)
        if (log[i].operation == operation && log[i].detail.find(detailPart) != std::string::npos)
            return i;
    return log.size();
}

TEST_F(AppletTest, TypicalRoadFromTailToLaunch)
{
    host::AddProgram(kPlanner, 2);
    harness::Run run = RunApplet(kPlanner, {host::PressIcon(WM_LBUTTONDOWN)});
    ASSERT_FALSE(run.ended);

    EXPECT_STREQ(AppState.szTarget, kPlanner);
    EXPECT_STREQ(AppState.szCommandTail, kPlanner);
    EXPECT_STREQ(AppState.szIconSource, kPlanner);
    EXPECT_STREQ(AppState.szValueName, "Mivo Planner");
    EXPECT_TRUE(host::WindowAlive(AppState.hWnd));
    EXPECT_FALSE(host::WindowVisible(AppState.hWnd));
    EXPECT_EQ(host::WindowClass(AppState.hWnd), "MivoClass");
    EXPECT_EQ(host::WindowTitle(AppState.hWnd), "Hovedvindu");

    ASSERT_EQ(host::Tray().size(), 1u);
    const host::TrayIcon& icon = host::Tray()[0];
    EXPECT_EQ(icon.hWnd, AppState.hWnd);
    EXPECT_EQ(icon.uID, 1000u);
    EXPECT_EQ(icon.uFlags, 7u);
    EXPECT_EQ(icon.uCallbackMessage, 0x401u);
    EXPECT_EQ(icon.cbSize, 88u);
    EXPECT_EQ(icon.tip, "Planner");
    EXPECT_EQ(icon.picture, std::string("file:") + kPlanner + "#0");

    ASSERT_EQ(host::Launches().size(), 1u);
    const host::Launch& launch = host::Launches()[0];
    EXPECT_EQ(launch.parent, AppState.hWnd);
    EXPECT_FALSE(launch.verbGiven);
    EXPECT_EQ(launch.file, kPlanner);
    EXPECT_FALSE(launch.parametersGiven);
    EXPECT_EQ(launch.directory, "C:\\WINDOWS");
    EXPECT_EQ(launch.show, SW_SHOWNORMAL);
    ASSERT_EQ(host::Sleeps().size(), 1u);
    EXPECT_EQ(host::Sleeps()[0], 500u);
    // The pause comes after the launch, before the next message.
    const auto& log = host::CallLog();
    EXPECT_EQ(IndexOf(log, "Sleep"), IndexOf(log, "ShellExecuteA") + 1);
    EXPECT_TRUE(host::Misuses().empty());
}

TEST_F(AppletTest, StartUpAndCloseFollowTheirOrder)
{
    host::AddProgram(kPlanner, 1);
    harness::Run run =
        RunApplet(kPlanner, {host::PressIcon(WM_RBUTTONDOWN), host::ChooseMenuItem(IDM_CLOSE)});
    ASSERT_TRUE(run.ended) << run.wait;
    EXPECT_EQ(run.exitCode, 0);

    // The default procedure's share (messages the applet passes on) is left
    // out; the order of the applet's own calls is what matters.
    std::vector<std::string> calls;
    for (const host::Call& call : host::CallLog())
        if (call.operation != "DefWindowProcA" && call.operation != "TranslateMessage" &&
            call.operation != "DispatchMessageA")
            calls.push_back(call.operation);
    const std::vector<std::string> startUp = {"FindExecutableA",
                                              "ExtractIconA",
                                              "CopyIcon",
                                              "DestroyIcon",
                                              "RegisterWindowMessageA",
                                              "LoadCursorA",
                                              "GetStockObject",
                                              "RegisterClassA",
                                              "CreateWindowExA",
                                              "CreatePopupMenu",
                                              "CharLowerA",
                                              "CharUpperBuffA",
                                              "Shell_NotifyIconA",
                                              "AppendMenuA",
                                              "AppendMenuA",
                                              "AppendMenuA",
                                              "AppendMenuA",
                                              "AppendMenuA",
                                              "GetMessageA"};
    ASSERT_GE(calls.size(), startUp.size());
    EXPECT_EQ(std::vector<std::string>(calls.begin(), calls.begin() + startUp.size()), startUp);
    // The extracted icon is the one destroyed; the copy is kept.
    EXPECT_EQ(host::IconPicture(AppState.hExtractedIcon), "");

    const std::vector<std::string> shutDown = {"Shell_NotifyIconA", "DestroyMenu", "DestroyWindow",
                                               "PostQuitMessage",   "GetMessageA", "GetMessageA",
                                               "UnregisterClassA",  "DestroyIcon"};
    ASSERT_GE(calls.size(), shutDown.size());
    EXPECT_EQ(std::vector<std::string>(calls.end() - shutDown.size(), calls.end()), shutDown);
    EXPECT_NE(IndexOf(host::CallLog(), "Shell_NotifyIconA", "NIM_DELETE"), host::CallLog().size());

    EXPECT_TRUE(host::Tray().empty());
    EXPECT_FALSE(host::MenuAlive(AppState.hMenu));
    EXPECT_FALSE(host::WindowAlive(AppState.hWnd));
    EXPECT_FALSE(host::ClassRegistered("MivoClass"));
    EXPECT_EQ(host::LiveIconCount(), 0);
}

struct IconRow {
    const char* name;
    const char* tail;
    const char* picture; // "own:1" or "file:..."
    const char* launched;
};

TEST_F(AppletTest, IconChoice)
{
    const IconRow rows[] = {
        {"empty tail", "", "own:1", ""},
        {"trailing comma", "C:\\TOOLS\\PLANNER.EXE,", "own:1", kPlanner},
        {"missing target", "C:\\NOWHERE\\GONE.EXE", "own:1", "C:\\NOWHERE\\GONE.EXE"},
        {"missing icon file", "C:\\TOOLS\\PLANNER.EXE,C:\\GONE.DLL", "own:1", kPlanner},
        {"unassociated icon file", "C:\\TOOLS\\PLANNER.EXE,C:\\ICONS\\SET.ICL", "own:1", kPlanner},
        {"index beyond the icons", "C:\\TOOLS\\PLANNER.EXE,C:\\TOOLS\\ICONS.EXE#4", "own:1",
         kPlanner},
        {"icon count asked for", "C:\\TOOLS\\PLANNER.EXE,C:\\TOOLS\\ICONS.EXE#-1", "own:1",
         kPlanner},
        {"program's own icon", "C:\\TOOLS\\PLANNER.EXE", "file:C:\\TOOLS\\PLANNER.EXE#0", kPlanner},
        {"numbered icon of an icon file", "C:\\TOOLS\\PLANNER.EXE,C:\\TOOLS\\ICONS.EXE#3",
         "file:C:\\TOOLS\\ICONS.EXE#3", kPlanner},
        {"document shows its program's icon", "C:\\DOCS\\LETTER.TXT",
         "file:C:\\WINDOWS\\NOTEPAD.EXE#0", "C:\\DOCS\\LETTER.TXT"},
        {"document as icon file", "C:\\TOOLS\\PLANNER.EXE,  C:\\DOCS\\LETTER.TXT",
         "file:C:\\WINDOWS\\NOTEPAD.EXE#0", kPlanner},
    };
    for (const IconRow& row : rows) {
        SCOPED_TRACE(row.name);
        SetUp();
        host::AddProgram(kPlanner, 1);
        host::AddProgram("C:\\TOOLS\\ICONS.EXE", 4);
        host::AddProgram("C:\\WINDOWS\\NOTEPAD.EXE", 1);
        host::AddFile("C:\\ICONS\\SET.ICL", 12);
        host::AddFile("C:\\DOCS\\LETTER.TXT");
        host::Associate(".txt", "C:\\WINDOWS\\NOTEPAD.EXE");

        harness::Run run = RunApplet(row.tail, {host::PressIcon(WM_LBUTTONDOWN)});
        ASSERT_FALSE(run.ended);
        ASSERT_EQ(host::Tray().size(), 1u);
        EXPECT_EQ(host::Tray()[0].picture, row.picture);
        // Only the copy lives on; the applet's own icon is shared, not made.
        EXPECT_EQ(host::LiveIconCount(), std::string(row.picture) == "own:1" ? 0 : 1);
        ASSERT_EQ(host::Launches().size(), 1u);
        EXPECT_EQ(host::Launches()[0].file, row.launched);
    }
}

TEST_F(AppletTest, OnlyPressesOnTheIconAct)
{
    host::AddProgram(kPlanner, 1);
    ASSERT_FALSE(RunApplet(kPlanner).ended);
    const UINT idle[] = {WM_MOUSEMOVE,
                         WM_LBUTTONUP,
                         WM_LBUTTONDBLCLK,
                         WM_RBUTTONUP,
                         WM_RBUTTONDBLCLK,
                         WM_MBUTTONDOWN,
                         WM_MBUTTONUP,
                         WM_MBUTTONDBLCLK,
                         0,
                         0x10000 | WM_LBUTTONDOWN};
    size_t calls = host::CallLog().size();
    for (UINT mouse : idle) {
        SCOPED_TRACE(mouse);
        EXPECT_EQ(Send(WM_ICONNOTIFY, ICON_UID, mouse), 0);
    }
    EXPECT_EQ(host::CallLog().size(), calls) << "a non-press did something";
    EXPECT_TRUE(host::Launches().empty());

    EXPECT_EQ(Send(WM_ICONNOTIFY, ICON_UID, WM_LBUTTONDOWN), 0);
    EXPECT_EQ(host::Launches().size(), 1u);
    host::Script({host::DismissMenu()});
    EXPECT_EQ(Send(WM_ICONNOTIFY, 0, WM_RBUTTONDOWN), 0); // wParam is not looked at
    EXPECT_EQ(host::CallCount("TrackPopupMenu"), 1);
}

TEST_F(AppletTest, MenuItemsAndTheCommandMask)
{
    host::AddProgram(kPlanner, 1);
    ASSERT_FALSE(RunApplet(kPlanner).ended);
    std::vector<host::MenuItem> items = host::MenuItems(AppState.hMenu);
    ASSERT_EQ(items.size(), 5u);
    const struct {
        UINT flags;
        UINT_PTR id;
        const char* text;
    } expected[] = {{MF_STRING, 0xEFE0, "&About..."},
                    {MF_STRING, 0xEFC0, "&Quick help..."},
                    {MF_SEPARATOR, 0, ""},
                    {MF_STRING, 0xEFF0, "Permanent"},
                    {MF_STRING, 0xEFD0, "&Close"}};
    for (size_t i = 0; i < 5; i++) {
        EXPECT_EQ(items[i].flags, expected[i].flags) << i;
        EXPECT_EQ(items[i].id, expected[i].id) << i;
        EXPECT_EQ(items[i].text, expected[i].text) << i;
    }

    // Each command answers to sixteen identifiers, whatever the high word.
    const struct {
        WPARAM wParam;
        const char* caption; // the box shown, or "" for none
    } commands[] = {{0xEFC5, "Mivo quick help"},
                    {0xEFCF, "Mivo quick help"},
                    {0x1EFC0, "Mivo quick help"},
                    {0xEFE9, "Mivo 2.0"},
                    {0xEFBF, ""},
                    {0xF000, ""},
                    {0, ""}};
    for (const auto& command : commands) {
        SCOPED_TRACE(command.wParam);
        size_t before = host::Boxes().size();
        if (command.caption[0] != '\0')
            host::Script({host::PressOk()});
        Send(WM_COMMAND, command.wParam, 0);
        if (command.caption[0] == '\0') {
            EXPECT_EQ(host::Boxes().size(), before);
        } else {
            ASSERT_EQ(host::Boxes().size(), before + 1);
            EXPECT_EQ(host::Boxes().back().caption, command.caption);
        }
    }
}

TEST_F(AppletTest, QuickHelpAndAboutBoxes)
{
    host::AddProgram(kPlanner, 1);
    harness::Run run =
        RunApplet(kPlanner, {host::PressIcon(WM_RBUTTONDOWN), host::ChooseMenuItem(IDM_QUICKHELP),
                             host::PressOk(), host::PressIcon(WM_RBUTTONDOWN),
                             host::ChooseMenuItem(IDM_ABOUT), host::PressOk()});
    ASSERT_FALSE(run.ended);
    ASSERT_EQ(host::Boxes().size(), 2u);

    const host::Box& help = host::Boxes()[0];
    EXPECT_FALSE(help.indirect);
    EXPECT_EQ(help.owner, nullptr);
    EXPECT_EQ(help.caption, "Mivo quick help");
    EXPECT_EQ(help.style, 0x1020u);
    // The expected lines are kept with the test data, shared with the tests
    // on the real platform; the box joins them with LF then CR.
    std::ifstream file(MIVO_TEST_DATA "/quick_help.txt", std::ios::binary);
    ASSERT_TRUE(file) << "missing test data";
    std::string line, text;
    for (int n = 0; std::getline(file, line); n++)
        text += (n == 0 ? "" : "\n\r") + line;
    EXPECT_EQ(std::count(text.begin(), text.end(), '\r'), 12);
    EXPECT_EQ(help.text, text);

    const host::Box& about = host::Boxes()[1];
    EXPECT_TRUE(about.indirect);
    EXPECT_EQ(about.cbSize, 40u);
    EXPECT_EQ(about.owner, nullptr);
    EXPECT_EQ(about.hInstance, host::ModuleInstance());
    EXPECT_EQ(about.caption, "Mivo 2.0");
    EXPECT_EQ(about.style, 0x80u);
    EXPECT_EQ(about.icon, 1u);
    EXPECT_FALSE(about.callbackGiven);
    EXPECT_EQ(about.languageId, 0x0400u);
    EXPECT_EQ(about.text, szAboutText);
    EXPECT_EQ(about.text.rfind("Mivo 2.0", 0), 0u) << "the About text names the program";
    EXPECT_TRUE(host::Misuses().empty());
}

TEST_F(AppletTest, IconPressedWhileABoxIsOpenStillLaunches)
{
    host::AddProgram(kPlanner, 1);
    harness::Run run =
        RunApplet(kPlanner, {host::PressIcon(WM_RBUTTONDOWN), host::ChooseMenuItem(IDM_ABOUT),
                             host::PressIcon(WM_LBUTTONDOWN), host::PressIcon(WM_RBUTTONDOWN),
                             host::ChooseMenuItem(IDM_QUICKHELP), host::PressOk(), host::PressOk(),
                             host::PressIcon(WM_RBUTTONDOWN), host::ChooseMenuItem(IDM_CLOSE)});
    ASSERT_TRUE(run.ended) << run.wait;
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(host::Launches().size(), 1u);
    EXPECT_EQ(host::Boxes().size(), 2u); // nothing prevents a second box
    const auto& log = host::CallLog();
    EXPECT_LT(IndexOf(log, "MessageBoxIndirectA"), IndexOf(log, "ShellExecuteA"));
    EXPECT_LT(IndexOf(log, "ShellExecuteA"), IndexOf(log, "MessageBoxA"));
}

TEST_F(AppletTest, OverLongTailIsRefused)
{
    host::AddProgram(kPlanner, 1);
    for (size_t length : {259u, 260u, 4096u}) {
        SCOPED_TRACE(length);
        SetUp();
        std::string tail = "C:\\" + std::string(length - 3, 'A');
        harness::Run run = RunApplet(tail);
        if (length <= 259) {
            EXPECT_FALSE(run.ended);
            EXPECT_EQ(host::Tray().size(), 1u);
            continue;
        }
        ASSERT_TRUE(run.ended);
        EXPECT_EQ(run.exitCode, EXIT_TAIL_TOO_LONG);
        EXPECT_TRUE(host::Tray().empty());
        EXPECT_EQ(host::CallCount("RegisterClassA"), 0);
        EXPECT_EQ(host::RegistryValueCount(harness::RunValueKey()), 0);
    }
}

struct StartFailureRow {
    const char* operation;
    bool ended;     // WinMain returns at once
    int exitCode;   // then with this code
    bool iconShown; // otherwise: an icon in the tray
    const char* picture;
};

TEST_F(AppletTest, FailuresAtStartUp)
{
    const StartFailureRow rows[] = {
        {"RegisterClassA", true, EXIT_NO_WINDOW, false, ""},
        {"CreateWindowExA", true, EXIT_NO_WINDOW, false, ""},
        {"FindExecutableA", false, 0, true, "own:1"},
        {"ExtractIconA", false, 0, true, "own:1"},
        {"CopyIcon", false, 0, true, "own:1"},
        {"DestroyIcon", false, 0, true, "file:C:\\TOOLS\\PLANNER.EXE#0"},
        {"LoadCursorA", false, 0, true, "file:C:\\TOOLS\\PLANNER.EXE#0"},
        {"GetStockObject", false, 0, true, "file:C:\\TOOLS\\PLANNER.EXE#0"},
        {"AppendMenuA", false, 0, true, "file:C:\\TOOLS\\PLANNER.EXE#0"},
        {"RegisterWindowMessageA", false, 0, true, "file:C:\\TOOLS\\PLANNER.EXE#0"},
        {"Shell_NotifyIconA", false, 0, false, ""},
    };
    for (const StartFailureRow& row : rows) {
        SCOPED_TRACE(row.operation);
        SetUp();
        host::AddProgram(kPlanner, 1);
        host::FailOn(row.operation, 1);
        harness::Run run = RunApplet(kPlanner);
        EXPECT_EQ(run.ended, row.ended);
        if (run.ended) {
            EXPECT_EQ(run.exitCode, row.exitCode);
            EXPECT_EQ(host::CallCount("GetMessageA"), 0) << "no loop without a window";
            EXPECT_FALSE(host::ClassRegistered("MivoClass"));
        }
        ASSERT_EQ(host::Tray().size(), row.iconShown ? 1u : 0u);
        if (row.iconShown) {
            EXPECT_EQ(host::Tray()[0].picture, row.picture);
        }
    }
}

TEST_F(AppletTest, MessageLoopErrorRemovesTheIconAndEnds)
{
    host::AddProgram(kPlanner, 1);
    host::FailOn("GetMessageA", 2);
    harness::Run run = RunApplet(kPlanner, {host::PressIcon(WM_LBUTTONDOWN)});
    ASSERT_TRUE(run.ended) << run.wait;
    EXPECT_EQ(run.exitCode, EXIT_LOOP_FAILED);
    EXPECT_TRUE(host::Tray().empty());
    EXPECT_FALSE(host::WindowAlive(AppState.hWnd));
    EXPECT_FALSE(host::ClassRegistered("MivoClass"));
    EXPECT_EQ(host::LiveIconCount(), 0);
}

TEST_F(AppletTest, WindowMessagesTheAppletLeavesToTheDefault)
{
    host::AddProgram(kPlanner, 1);
    ASSERT_FALSE(RunApplet(kPlanner).ended);
    // A close request destroys the window the default way but posts no quit
    // message; the icon is left behind, as without Close.
    EXPECT_EQ(Send(WM_CLOSE, 0, 0), 0);
    EXPECT_FALSE(host::WindowAlive(AppState.hWnd));
    EXPECT_EQ(host::CallCount("PostQuitMessage"), 0);
    EXPECT_EQ(host::Tray().size(), 1u);
}

TEST_F(AppletTest, IconComesBackWhenTheTaskbarIsCreatedAgain)
{
    host::AddProgram(kPlanner, 1);
    ASSERT_FALSE(RunApplet(kPlanner).ended);
    ASSERT_EQ(host::Tray().size(), 1u);
    const host::TrayIcon before = host::Tray()[0];

    EXPECT_FALSE(harness::Pump({host::ShellRestart()}));
    ASSERT_EQ(host::Tray().size(), 1u);
    const host::TrayIcon& after = host::Tray()[0];
    EXPECT_EQ(after.hWnd, before.hWnd);
    EXPECT_EQ(after.uID, before.uID);
    EXPECT_EQ(after.uFlags, before.uFlags);
    EXPECT_EQ(after.uCallbackMessage, before.uCallbackMessage);
    EXPECT_EQ(after.hIcon, before.hIcon);
    EXPECT_EQ(after.tip, before.tip);
    EXPECT_EQ(after.picture, before.picture);

    // A broadcast while the icon is still there adds nothing.
    EXPECT_FALSE(harness::Pump({host::Broadcast(AppState.uTaskbarCreated)}));
    EXPECT_EQ(host::Tray().size(), 1u);
    // And the icon still works.
    EXPECT_FALSE(harness::Pump({host::PressIcon(WM_LBUTTONDOWN)}));
    EXPECT_EQ(host::Launches().size(), 1u);
}

TEST_F(AppletTest, IconMissingAtStartUpAppearsWithTheTaskbar)
{
    host::AddProgram(kPlanner, 1);
    host::FailOn("Shell_NotifyIconA", 1); // no taskbar yet at logon
    ASSERT_FALSE(RunApplet(kPlanner).ended);
    EXPECT_TRUE(host::Tray().empty());
    EXPECT_FALSE(harness::Pump({host::ShellRestart()}));
    ASSERT_EQ(host::Tray().size(), 1u);
    EXPECT_EQ(host::Tray()[0].tip, "Planner");
    EXPECT_TRUE(harness::Pump({host::PressIcon(WM_RBUTTONDOWN), host::ChooseMenuItem(IDM_CLOSE)}));
    EXPECT_TRUE(host::Tray().empty());
}

TEST_F(AppletTest, UnknownTaskbarMessageMatchesNothing)
{
    host::AddProgram(kPlanner, 1);
    host::FailAlways("RegisterWindowMessageA");
    ASSERT_FALSE(RunApplet(kPlanner).ended);
    EXPECT_EQ(AppState.uTaskbarCreated, 0u);
    // Message 0 is an ordinary message, not a new taskbar.
    size_t adds = host::CallCount("Shell_NotifyIconA");
    EXPECT_EQ(Send(WM_NULL, 0, 0), 0);
    EXPECT_FALSE(harness::Pump({host::Broadcast(WM_NULL), host::ShellRestart()}));
    EXPECT_EQ(host::CallCount("Shell_NotifyIconA"), int(adds));
    EXPECT_TRUE(host::Tray().empty());
}

} // namespace

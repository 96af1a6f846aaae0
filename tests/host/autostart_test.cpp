// Permanent, its check mark and the Run value, through the host model.
#include <random>
#include <string>

#include "autostart/autostart.h"
#include "logic/target_description.h"
#include "tests/host/applet_harness.h"

namespace
{

using harness::AppletTest;
using harness::RunApplet;
using harness::RunValueKey;
using harness::Send;

const char kPlanner[] = "C:\\TOOLS\\PLANNER.EXE";

bool Checked()
{
    return host::MenuItems(AppState.hMenu).at(3).checked;
}

bool StoredValue(const std::string& name, std::string* data)
{
    DWORD type = REG_NONE;
    std::string bytes;
    if (!host::RegistryGet(RunValueKey(), name, &type, &bytes))
        return false;
    EXPECT_EQ(type, DWORD(REG_SZ));
    // The length counts the terminating NUL, and nothing after it.
    EXPECT_FALSE(bytes.empty());
    EXPECT_EQ(bytes.find('\0'), bytes.size() - 1);
    *data = bytes.substr(0, bytes.size() - 1);
    return true;
}

// Another program's hand on the key.
void DeleteBehindTheAppletsBack(const std::string& name)
{
    HKEY key;
    DWORD disposition;
    char keyClass[] = "";
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, AUTOSTART_KEY, 0, keyClass, 0, KEY_ALL_ACCESS,
                              NULL, &key, &disposition),
              ERROR_SUCCESS);
    ASSERT_EQ(RegDeleteValueA(key, name.c_str()), ERROR_SUCCESS);
    RegCloseKey(key);
}

TEST_F(AppletTest, PermanentStoresThenDeletesTheRunValue)
{
    host::AddProgram(kPlanner, 1);
    ASSERT_FALSE(
        RunApplet(kPlanner, {host::PressIcon(WM_RBUTTONDOWN), host::ChooseMenuItem(IDM_PERMANENT)})
            .ended);
    // The first showing found nothing.
    EXPECT_EQ(AppState.bPermanent, FALSE);

    std::string data;
    ASSERT_TRUE(StoredValue("Mivo Planner", &data));
    EXPECT_EQ(data, std::string(host::DefaultModulePath()) + " " + kPlanner);
    EXPECT_EQ(host::RegistryKeyClass(RunValueKey()), "REG_SZ");
    EXPECT_EQ(host::OpenKeyCount(), 0);

    EXPECT_EQ(Send(WM_INITMENUPOPUP, (WPARAM)AppState.hMenu, 0), 0);
    EXPECT_TRUE(Checked());
    EXPECT_EQ(AppState.bPermanent, TRUE);

    // Any of the sixteen identifiers of Permanent toggles.
    EXPECT_FALSE(harness::Pump({host::Post(AppState.hWnd, WM_COMMAND, IDM_PERMANENT | 0x7, 0)}));
    EXPECT_FALSE(StoredValue("Mivo Planner", &data));
    EXPECT_EQ(Send(WM_INITMENUPOPUP, (WPARAM)AppState.hMenu, 0), 0);
    EXPECT_FALSE(Checked());
    EXPECT_EQ(host::OpenKeyCount(), 0);
    EXPECT_TRUE(host::Misuses().empty());
}

TEST_F(AppletTest, CheckMarkFollowsTheKeyAtEachShowing)
{
    host::AddProgram(kPlanner, 1);
    ASSERT_FALSE(RunApplet(kPlanner).ended);

    host::RegistryPut(RunValueKey(), "MIVO PLANNER", REG_SZ, std::string("elsewhere\0", 10));
    Send(WM_INITMENUPOPUP, (WPARAM)AppState.hMenu, 0);
    EXPECT_TRUE(Checked());
    DeleteBehindTheAppletsBack("Mivo Planner");
    Send(WM_INITMENUPOPUP, (WPARAM)AppState.hMenu, 0);
    EXPECT_FALSE(Checked());

    // Another menu's showing is no business of ours.
    size_t calls = host::CallLog().size();
    EXPECT_EQ(Send(WM_INITMENUPOPUP, (WPARAM)CreatePopupMenu(), 0), -1);
    EXPECT_EQ(Send(WM_INITMENUPOPUP, 0, 0), -1);
    EXPECT_EQ(host::CallLog().size(), calls + 1); // only the CreatePopupMenu above
}

// Two instances, told apart by their state, on one registry.
void BecomeInstance(const char* tail, const char* modulePath)
{
    memset(&AppState, 0, sizeof AppState);
    AppState.hInstance = host::ModuleInstance();
    host::SetModulePath(modulePath);
    strcpy(AppState.szCommandTail, tail);
    strcpy(AppState.szTarget, tail);
    char iconBuffer[ICON_BUFFER_SIZE];
    TargetSpec spec = ParseCommandTail(AppState.szTarget, iconBuffer);
    char work[MAX_PATH];
    MakeAutostartValueName(DeriveDisplayName(spec.target, work), AppState.szValueName);
}

TEST_F(AppletTest, SameDisplayNameSharesTheValue)
{
    std::string data;
    BecomeInstance("C:\\A\\EDIT.COM", "C:\\MIVO\\MIVO.EXE");
    ToggleAutostart();
    ASSERT_TRUE(StoredValue("Mivo Edit", &data));
    EXPECT_EQ(data, "C:\\MIVO\\MIVO.EXE C:\\A\\EDIT.COM");

    BecomeInstance("C:\\B\\EDIT.EXE", "C:\\MIVO\\MIVO.EXE");
    ToggleAutostart();
    EXPECT_FALSE(StoredValue("Mivo Edit", &data)) << "the other instance's value is removed";
    EXPECT_EQ(AppState.bPermanent, TRUE) << "it was found present before the toggle";

    // A value of the same name that some other program stored counts too.
    host::RegistryPut(RunValueKey(), "Mivo Edit", REG_EXPAND_SZ, "%WINDIR%\\other.exe");
    ToggleAutostart();
    EXPECT_FALSE(StoredValue("Mivo Edit", &data));
    EXPECT_EQ(host::RegistryValueCount(RunValueKey()), 0);
}

TEST_F(AppletTest, KeyThatCannotBeOpenedChangesNothing)
{
    host::AddProgram(kPlanner, 1);
    ASSERT_FALSE(RunApplet(kPlanner).ended);
    host::RegistryPut(RunValueKey(), "Mivo Planner", REG_SZ, std::string("kept\0", 5));
    Send(WM_INITMENUPOPUP, (WPARAM)AppState.hMenu, 0);
    ASSERT_TRUE(Checked());

    host::DenyMachineKeyAccess(true);
    EXPECT_EQ(Send(WM_COMMAND, IDM_PERMANENT, 0), 0);
    std::string data;
    ASSERT_TRUE(StoredValue("Mivo Planner", &data));
    EXPECT_EQ(data, "kept");
    EXPECT_EQ(AppState.bPermanent, TRUE);
    // The mark shows the last known state.
    host::DenyMachineKeyAccess(false);
    DeleteBehindTheAppletsBack("Mivo Planner");
    host::DenyMachineKeyAccess(true);
    Send(WM_INITMENUPOPUP, (WPARAM)AppState.hMenu, 0);
    EXPECT_TRUE(Checked());
    EXPECT_EQ(host::OpenKeyCount(), 0);

    // Never read at all: no mark.
    SetUp();
    host::AddProgram(kPlanner, 1);
    host::DenyMachineKeyAccess(true);
    ASSERT_FALSE(RunApplet(kPlanner).ended);
    Send(WM_INITMENUPOPUP, (WPARAM)AppState.hMenu, 0);
    EXPECT_FALSE(Checked());
    Send(WM_COMMAND, IDM_PERMANENT, 0);
    EXPECT_FALSE(host::RegistryKeyExists(RunValueKey()));
}

struct CommandRow {
    const char* name;
    std::string modulePath;
    std::string tail;
    std::string stored; // empty: nothing stored
};

TEST_F(AppletTest, StoredCommandQuotesBlanksAndRefusesWhatCannotWork)
{
    const std::string blanks = "C:\\Program Files\\Mivo\\Mivo.exe"; // 30 characters
    const std::string plain = "C:\\MIVO\\MIVO.EXE";                 // 16 characters
    const std::string icons = "C:\\TOOLS\\PLANNER.EXE,C:\\TOOLS\\ICONS.EXE#3";
    const CommandRow rows[] = {
        {"plain path", plain, kPlanner, plain + " " + kPlanner},
        {"icon part kept", plain, icons, plain + " " + icons},
        {"empty tail", plain, "", plain + " "},
        {"blank in path", blanks, kPlanner, "\"" + blanks + "\" " + kPlanner},
        {"plain, just fits", plain, std::string(254, 't'), plain + " " + std::string(254, 't')},
        {"plain, one too many", plain, std::string(255, 't'), ""},
        {"quoted, just fits", blanks, std::string(238, 't'),
         "\"" + blanks + "\" " + std::string(238, 't')},
        {"quoted, one too many", blanks, std::string(239, 't'), ""},
        {"path filling the buffer", "C:\\" + std::string(268, 'p'), "", ""},
        {"path cut by the buffer", "C:\\" + std::string(300, 'p'), "", ""},
        {"tab in path", "C:\\A\tB\\MIVO.EXE", "x", ""},
        {"tail starting with a blank", plain, " x", ""},
        {"tail starting with a tab", plain, "\tx", ""},
        {"quotes in tail", blanks, "\"C:\\My Docs\\A.TXT\",B.DLL#1",
         "\"" + blanks + "\" \"C:\\My Docs\\A.TXT\",B.DLL#1"},
    };
    for (const CommandRow& row : rows) {
        SCOPED_TRACE(row.name);
        SetUp();
        host::SetModulePath(row.modulePath);
        AppState.hInstance = host::ModuleInstance();
        ASSERT_LT(row.tail.size(), size_t(MAX_PATH));
        strcpy(AppState.szCommandTail, row.tail.c_str());
        strcpy(AppState.szValueName, "Mivo Row");

        char buffer[AUTOSTART_COMMAND_SIZE + 8];
        memset(buffer, 0x5A, sizeof buffer);
        BOOL made = MakeAutostartCommand(buffer);
        EXPECT_EQ(made != FALSE, !row.stored.empty());
        EXPECT_EQ(std::string(buffer), row.stored);
        for (size_t i = AUTOSTART_COMMAND_SIZE; i < sizeof buffer; i++)
            ASSERT_EQ(buffer[i], 0x5A) << "write past the command buffer";

        ToggleAutostart();
        std::string data;
        EXPECT_EQ(StoredValue("Mivo Row", &data), !row.stored.empty());
        if (!row.stored.empty()) {
            EXPECT_EQ(data, row.stored);
        }
        EXPECT_EQ(host::OpenKeyCount(), 0);
    }
}

// Whatever is stored, read back at logon by the start-up rule, gives the
// tail that was stored; and nothing is refused that could have been kept.
TEST(AutostartCommand, RoundTripsThroughTheStartUpRule)
{
    std::mt19937 random(20261206);
    const std::string pieces[] = {
        "C:", "\\", "Program Files",        "Mivo", "Mivo.exe", " ", "x86", "(2)", "a.b", "#", ",",
        "\"", "\t", "long name with blanks"};
    auto text = [&](size_t parts) {
        std::string s;
        for (size_t i = 0; i < parts; i++)
            s += pieces[random() % (sizeof pieces / sizeof pieces[0])];
        return s;
    };
    int stored = 0;
    for (int round = 0; round < 20000; round++) {
        host::Reset();
        memset(&AppState, 0, sizeof AppState);
        std::string module = "C:\\" + text(random() % 12);
        std::string tail = text(random() % 25).substr(0, MAX_PATH - 1);
        host::SetModulePath(module);
        AppState.hInstance = host::ModuleInstance();
        strcpy(AppState.szCommandTail, tail.c_str());

        char command[AUTOSTART_COMMAND_SIZE];
        bool made = MakeAutostartCommand(command) != FALSE;
        bool unreadable = module.find_first_of("\t\"") != std::string::npos ||
                          (!tail.empty() && (tail[0] == ' ' || tail[0] == '\t'));
        bool quoted = module.find(' ') != std::string::npos;
        size_t needed = module.size() + (quoted ? 2 : 0) + 1 + tail.size() + 1;
        ASSERT_EQ(made, !unreadable && needed <= AUTOSTART_COMMAND_SIZE)
            << "module '" << module << "' tail '" << tail << "'";
        if (!made)
            continue;
        stored++;
        ASSERT_STREQ(CommandTailFromCommandLine(command), tail.c_str())
            << "module '" << module << "'";
        ASSERT_EQ(strlen(command) + 1, needed);
        if (!quoted) {
            ASSERT_EQ(std::string(command).rfind(module + " ", 0), 0u);
        }
    }
    EXPECT_GT(stored, 5000); // the property was exercised, not mostly refused
}

} // namespace

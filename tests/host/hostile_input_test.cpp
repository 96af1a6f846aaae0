// Hostile command tails through the whole applet: what the tip, the value
// name, the icon, the launch and the Run value come out as.
#include <string>

#include "autostart/autostart.h"
#include "tests/host/applet_harness.h"

namespace
{

using harness::AppletTest;
using harness::RunApplet;
using harness::RunValueKey;

const std::string kModule = "C:\\MIVO\\MIVO.EXE";
const std::string kOwn = "own:1";
const std::string kRefused = "<refused>";

std::string Repeat(size_t n, char c)
{
    return std::string(n, c);
}

struct HostileRow {
    std::string name;
    std::string tail;
    std::string tip;
    std::string valueName;
    std::string picture;
    std::string launched;
    std::string stored; // the Run value's data, or kRefused
};

std::string Stored(const std::string& tail)
{
    return kModule + " " + tail;
}

std::vector<HostileRow> Rows()
{
    const std::string longIcon255 = "C:\\" + Repeat(248, 'I') + ".EXE"; // 255
    const std::string longIcon256 = "C:\\" + Repeat(249, 'I') + ".EXE"; // 256
    const std::string longIcon258 = "C:\\" + Repeat(251, 'I') + ".EXE"; // 258
    auto name = [](size_t n) { return "N" + Repeat(n - 1, 'n'); };
    auto value = [&](size_t n) { return ("Mivo " + name(n)).substr(0, MAX_PATH - 1); };
    auto tip = [&](size_t n) { return name(n).substr(0, 63); };
    std::string rows258 = "C:\\" + name(255);
    std::string rows259 = "C:\\" + name(256);

    return {
        {"empty", "", "", "Mivo ", kOwn, "", Stored("")},
        {"only blanks", "   ", "   ", "Mivo    ", kOwn, "   ", kRefused},
        {"only commas", ",,,", "", "Mivo ", kOwn, "", Stored(",,,")},
        {"258 characters", rows258, tip(255), value(255), kOwn, rows258, kRefused},
        {"259 characters", rows259, tip(256), value(256), kOwn, rows259, kRefused},
        {"icon part of 255", "," + longIcon255, "", "Mivo ", "file:" + longIcon255 + "#0", "",
         kRefused},
        {"icon part of 256", "," + longIcon256, "", "Mivo ", kOwn, "", kRefused},
        {"icon part of 258", "," + longIcon258, "", "Mivo ", kOwn, "", kRefused},
        {"display name of 62", "C:\\" + name(62) + ".EXE", tip(62), value(62), kOwn,
         "C:\\" + name(62) + ".EXE", Stored("C:\\" + name(62) + ".EXE")},
        {"display name of 63", "C:\\" + name(63), tip(63), value(63), kOwn, "C:\\" + name(63),
         Stored("C:\\" + name(63))},
        {"display name of 64", "C:\\" + name(64), tip(64), value(64), kOwn, "C:\\" + name(64),
         Stored("C:\\" + name(64))},
        {"display name of 254", "C:\\" + name(254), tip(254), value(254), kOwn, "C:\\" + name(254),
         kRefused},
        {"display name of 255", "C:\\" + name(255), tip(255), value(255), kOwn, "C:\\" + name(255),
         kRefused},
        {"display name of 259", name(259), tip(259), value(259), kOwn, name(259), kRefused},
        {"number of 11 digits", "C:\\P.EXE,C:\\I.EXE#12345678901", "P", "Mivo P", kOwn, "C:\\P.EXE",
         Stored("C:\\P.EXE,C:\\I.EXE#12345678901")},
        {"negative number of 11 digits", "C:\\P.EXE,C:\\I.EXE#-12345678901", "P", "Mivo P", kOwn,
         "C:\\P.EXE", Stored("C:\\P.EXE,C:\\I.EXE#-12345678901")},
        {"plus sign", "C:\\P.EXE,C:\\I.EXE#+2", "P", "Mivo P", "file:C:\\I.EXE#2", "C:\\P.EXE",
         Stored("C:\\P.EXE,C:\\I.EXE#+2")},
        {"two signs", "C:\\P.EXE,C:\\I.EXE#-+2", "P", "Mivo P", "file:C:\\I.EXE#0", "C:\\P.EXE",
         Stored("C:\\P.EXE,C:\\I.EXE#-+2")},
        {"tab in the name", "C:\\A\tB.EXE", "A\tb", "Mivo A\tb", kOwn, "C:\\A\tB.EXE",
         Stored("C:\\A\tB.EXE")},
        {"tab after the comma", "C:\\P.EXE,\tC:\\I.EXE", "P", "Mivo P", kOwn, "C:\\P.EXE",
         Stored("C:\\P.EXE,\tC:\\I.EXE")},
        {"quoted target", "\"C:\\Q U\\P.EXE\"", "P", "Mivo P", kOwn, "\"C:\\Q U\\P.EXE\"",
         Stored("\"C:\\Q U\\P.EXE\"")},
        {"control bytes", "C:\\\x01\x1b\x7f.EXE", "\x01\x1b\x7f", "Mivo \x01\x1b\x7f", kOwn,
         "C:\\\x01\x1b\x7f.EXE", Stored("C:\\\x01\x1b\x7f.EXE")},
        {"bytes 0x80 to 0xFF", "C:\\\xe9T\xc9\x8a\xff.TXT", "\xc9t\xe9\x9a\xff.txt",
         "Mivo \xc9t\xe9\x9a\xff.txt", kOwn, "C:\\\xe9T\xc9\x8a\xff.TXT",
         Stored("C:\\\xe9T\xc9\x8a\xff.TXT")},
        {"the Run key", "HKEY_LOCAL_MACHINE\\" AUTOSTART_KEY, "Run", "Mivo Run", kOwn,
         "HKEY_LOCAL_MACHINE\\" AUTOSTART_KEY, Stored("HKEY_LOCAL_MACHINE\\" AUTOSTART_KEY)},
        {"Mivo itself", kModule, "Mivo", "Mivo Mivo", "file:" + kModule + "#0", kModule,
         Stored(kModule)},
        {"forward slashes", "C:/DIR/X.EXE", "C:/dir/x", "Mivo C:/dir/x", kOwn, "C:/DIR/X.EXE",
         Stored("C:/DIR/X.EXE")},
    };
}

TEST_F(AppletTest, HostileTails)
{
    for (const HostileRow& row : Rows()) {
        SCOPED_TRACE(row.name);
        SetUp();
        host::AddProgram(kModule, 1);
        host::AddProgram("C:\\I.EXE", 3);
        host::AddProgram("C:\\" + Repeat(248, 'I') + ".EXE", 1);
        host::AddProgram("C:\\" + Repeat(249, 'I') + ".EXE", 1);

        harness::Run run =
            RunApplet(row.tail, {host::PressIcon(WM_LBUTTONDOWN), host::PressIcon(WM_RBUTTONDOWN),
                                 host::ChooseMenuItem(IDM_PERMANENT)});
        ASSERT_FALSE(run.ended) << "exit code " << run.exitCode;
        ASSERT_EQ(host::Tray().size(), 1u);
        EXPECT_EQ(host::Tray()[0].tip, row.tip);
        EXPECT_EQ(std::string(AppState.szValueName), row.valueName);
        EXPECT_EQ(host::Tray()[0].picture, row.picture);
        ASSERT_EQ(host::Launches().size(), 1u);
        EXPECT_EQ(host::Launches()[0].file, row.launched);

        DWORD type = REG_NONE;
        std::string data;
        bool present = host::RegistryGet(RunValueKey(), row.valueName, &type, &data);
        if (row.stored == kRefused) {
            EXPECT_FALSE(present) << "stored '" << data << "'";
        } else {
            ASSERT_TRUE(present);
            EXPECT_EQ(type, DWORD(REG_SZ));
            EXPECT_EQ(data, row.stored + '\0');
        }
        EXPECT_LE(host::RegistryValueCount(RunValueKey()), 1);
        EXPECT_TRUE(host::Misuses().empty());
    }
}

TEST_F(AppletTest, TailsTooLongForTheBuffersAreRefusedWhole)
{
    for (size_t length : {260u, 261u, 4096u}) {
        SCOPED_TRACE(length);
        SetUp();
        harness::Run run = RunApplet(Repeat(length, ','));
        ASSERT_TRUE(run.ended);
        EXPECT_EQ(run.exitCode, EXIT_TAIL_TOO_LONG);
        EXPECT_TRUE(host::Tray().empty());
        EXPECT_TRUE(host::Launches().empty());
        EXPECT_FALSE(host::RegistryKeyExists(RunValueKey()));
        EXPECT_EQ(AppState.szCommandTail[0], '\0');
    }
}

} // namespace

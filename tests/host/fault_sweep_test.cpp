// Every platform call the applet makes in a whole life, made to fail in
// turn: nothing may crash, leave a key open or store a wrong Run value, and
// the applet must still end (or be left waiting only where no Close can
// reach it).
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "autostart/autostart.h"
#include "tests/host/applet_harness.h"

namespace
{

using harness::RunValueKey;

// One life shows an icon taken from a file, the other the applet's own.
const char* const kTargets[] = {"C:\\TOOLS\\PLANNER.EXE,C:\\TOOLS\\ICONS.EXE#1",
                                "C:\\TOOLS\\PLANNER.EXE,C:\\GONE.DLL"};
const char kValueName[] = "Mivo Planner";

void World()
{
    host::Reset();
    memset(&AppState, 0, sizeof AppState);
    host::AddProgram("C:\\TOOLS\\PLANNER.EXE", 1);
    host::AddProgram("C:\\TOOLS\\ICONS.EXE", 2);
    host::SetLenientScript(true);
}

// Start, a shell restart, a left press, each menu item, Permanent twice and
// Close; a user whose Close did nothing tries once more.
std::vector<host::Action> Life()
{
    const UINT r = WM_RBUTTONDOWN;
    return {host::ShellRestart(),
            host::PressIcon(WM_LBUTTONDOWN),
            host::PressIcon(r),
            host::ChooseMenuItem(IDM_ABOUT),
            host::PressOk(),
            host::PressIcon(r),
            host::ChooseMenuItem(IDM_QUICKHELP),
            host::PressOk(),
            host::PressIcon(r),
            host::ChooseMenuItem(IDM_PERMANENT),
            host::PressIcon(r),
            host::ChooseMenuItem(IDM_PERMANENT),
            host::PressIcon(r),
            host::ChooseMenuItem(IDM_CLOSE),
            host::PressIcon(r),
            host::ChooseMenuItem(IDM_CLOSE)};
}

struct Outcome {
    int cases = 0;
    std::map<std::string, int> ends; // "exit 0", "waiting: ..." -> count
};

std::string Describe(const harness::Run& run)
{
    if (run.ended)
        return "exit " + std::to_string(run.exitCode);
    if (host::Tray().empty())
        return "waiting, no icon";
    if (!host::MenuAlive(AppState.hMenu))
        return "waiting, no menu";
    for (const host::MenuItem& item : host::MenuItems(AppState.hMenu))
        if (item.id == IDM_CLOSE)
            return "waiting";
    return "waiting, no Close item";
}

// The Run value is absent or exactly the right command, no key stays open,
// and the applet ends with a documented code unless nothing is left that
// could end it (then no icon or no menu is the reason).
void CheckAfterFault(const std::string& operation, const std::string& expected,
                     const harness::Run& run)
{
    DWORD type = REG_NONE;
    std::string data;
    if (host::RegistryGet(RunValueKey(), kValueName, &type, &data)) {
        EXPECT_EQ(type, DWORD(REG_SZ));
        EXPECT_EQ(data, expected);
    }
    EXPECT_LE(host::RegistryValueCount(RunValueKey()), 1);
    // A key whose closing failed is the only one that may stay open.
    EXPECT_EQ(host::OpenKeyCount(), operation == "RegCloseKey" ? 1 : 0);
    EXPECT_TRUE(host::Misuses().empty()) << host::Misuses().front();
    if (run.ended) {
        EXPECT_TRUE(run.exitCode == EXIT_CLOSED || run.exitCode == EXIT_NO_WINDOW ||
                    run.exitCode == EXIT_LOOP_FAILED)
            << run.exitCode;
    } else {
        EXPECT_NE(Describe(run), "waiting") << "a Close was possible but did not end it\n"
                                            << host::CallLogText();
    }
}

TEST(FaultSweep, EveryCallOfEveryOperationFails)
{
    std::map<std::string, Outcome> outcomes;
    int total = 0;
    for (const char* target : kTargets) {
        World();
        std::string expected = std::string(host::DefaultModulePath()) + " " + target + '\0';
        harness::Run baseline = harness::RunApplet(target, Life());
        ASSERT_TRUE(baseline.ended) << baseline.wait;
        ASSERT_EQ(baseline.exitCode, 0);
        ASSERT_EQ(host::CallCount("RegSetValueExA"), 1) << "the life stores the value once";

        std::map<std::string, int> counts;
        for (const std::string& operation : host::FailableOperations())
            counts[operation] = host::CallCount(operation);

        for (const auto& [operation, count] : counts) {
            for (int nth = 1; nth <= count; nth++) {
                SCOPED_TRACE(std::string(target) + ": " + operation + " failing on call " +
                             std::to_string(nth));
                World();
                host::FailOn(operation, nth);
                harness::Run run = harness::RunApplet(target, Life());
                total++;
                CheckAfterFault(operation, expected, run);
                std::string end = Describe(run);
                outcomes[operation].cases++;
                outcomes[operation].ends[end]++;
            }
        }
    }

    std::ostringstream report;
    report << "fault cases run: " << total << "\n";
    for (const auto& [operation, outcome] : outcomes) {
        report << "  " << operation << " (" << outcome.cases << "):";
        for (const auto& [end, n] : outcome.ends)
            report << " " << end << " x" << n << ";";
        report << "\n";
    }
    std::cout << report.str();
    EXPECT_GT(total, 150);
}

} // namespace

// Fuzzes the whole applet on the host model: any tail, then a left press,
// the menu with Permanent twice and Close. The applet must end with a
// documented code and leave its record, its tray icon and the registry sound.
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "applet/applet.h"
#include "autostart/autostart.h"
#include "platform/host/host_model.h"
#include "tests/fuzz/fuzz_check.h"

static bool Terminated(const char* buffer, size_t size)
{
    return memchr(buffer, '\0', size) != NULL;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string tail(reinterpret_cast<const char*>(data), size);
    tail = tail.substr(0, tail.find('\0'));

    host::Reset();
    memset(&AppState, 0, sizeof AppState);
    host::AddProgram("C:\\TOOLS\\PLANNER.EXE", 2);
    host::AddProgram("C:\\WINDOWS\\NOTEPAD.EXE", 1);
    host::AddFile("C:\\DOCS\\A.TXT");
    host::Associate(".txt", "C:\\WINDOWS\\NOTEPAD.EXE");
    const UINT r = WM_RBUTTONDOWN;
    host::Script({host::PressIcon(WM_LBUTTONDOWN), host::PressIcon(r),
                  host::ChooseMenuItem(IDM_PERMANENT), host::PressIcon(r),
                  host::ChooseMenuItem(IDM_PERMANENT), host::PressIcon(r),
                  host::ChooseMenuItem(IDM_CLOSE)});

    std::vector<char> buffer(tail.begin(), tail.end());
    buffer.push_back('\0');
    int code = WinMain(host::ModuleInstance(), NULL, buffer.data(), SW_SHOWNORMAL);

    CHECK(Terminated(AppState.szTarget, sizeof AppState.szTarget));
    CHECK(Terminated(AppState.szCommandTail, sizeof AppState.szCommandTail));
    CHECK(Terminated(AppState.szIconSource, sizeof AppState.szIconSource));
    CHECK(Terminated(AppState.szValueName, sizeof AppState.szValueName));
    CHECK(Terminated(AppState.nid.szTip, TIP_CAPACITY));
    CHECK(host::Tray().empty());
    CHECK(host::OpenKeyCount() == 0);
    CHECK(host::LiveIconCount() == 0);
    CHECK(host::Misuses().empty());
    // Permanent twice leaves the registry as it found it.
    CHECK(host::RegistryValueCount("HKLM\\" AUTOSTART_KEY) == 0);
    if (tail.size() >= MAX_PATH) {
        CHECK(code == EXIT_TAIL_TOO_LONG);
        CHECK(host::Launches().empty());
    } else {
        CHECK(code == EXIT_CLOSED);
        CHECK(strcmp(AppState.szCommandTail, tail.c_str()) == 0);
        CHECK(host::Launches().size() == 1);
        CHECK(strncmp(AppState.szValueName, "Mivo ", 5) == 0);
    }
    return 0;
}

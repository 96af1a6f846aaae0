// Runs the applet's WinMain against the host model with a scripted user.
#ifndef MIVO_APPLET_HARNESS_H
#define MIVO_APPLET_HARNESS_H

#include <gtest/gtest.h>
#include <string.h>

#include <string>
#include <vector>

#include "applet/applet.h"
#include "platform/host/host_model.h"

namespace harness
{

struct Run {
    bool ended;       // WinMain returned
    int exitCode;     // its result, when it ended
    std::string wait; // otherwise: where the applet was waiting for the user
};

// Runs WinMain with the tail and the script. When the script runs out while
// the applet waits for input, the run stops there and everything (model and
// AppState) stays as it was, so a test can look at a running applet and go
// on with Pump() or with messages of its own.
inline Run RunApplet(const std::string& tail, const std::vector<host::Action>& script = {})
{
    host::Script(script);
    std::vector<char> buffer(tail.begin(), tail.end());
    buffer.push_back('\0');
    try {
        int code = WinMain(host::ModuleInstance(), NULL, buffer.data(), SW_SHOWNORMAL);
        return {true, code, ""};
    } catch (const host::ScriptExhausted& e) {
        return {false, 0, e.what()};
    }
}

// Goes on with a running applet: its message loop, with more script, until
// the script runs out (false) or the quit message comes (true).
inline bool Pump(const std::vector<host::Action>& script)
{
    host::Script(script);
    MSG msg;
    try {
        while (GetMessageA(&msg, NULL, 0, 0) > 0) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        return true;
    } catch (const host::ScriptExhausted&) {
        return false;
    }
}

inline LRESULT Send(UINT message, WPARAM wParam, LPARAM lParam)
{
    return MainWindowProc(AppState.hWnd, message, wParam, lParam);
}

// Fresh model and a process-start AppState for every test.
class AppletTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        host::Reset();
        memset(&AppState, 0, sizeof AppState);
    }
};

inline std::string RunValueKey()
{
    return "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Run";
}

} // namespace harness

#endif // MIVO_APPLET_HARNESS_H

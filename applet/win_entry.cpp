// The program's entry on Windows. MinGW's start-up code would form WinMain's
// command tail by a rule of its own; Mivo cuts the tail from the command line
// itself, by the one rule its tests check.
#include "applet/applet.h"
#include "logic/target_description.h"

// The records the applet hands the system must have their 32-bit sizes.
static_assert(sizeof(MSGBOXPARAMSA) == MSGBOXPARAMS_SIZE_32, "MSGBOXPARAMSA is not 40 bytes");
static_assert(NOTIFYICONDATAA_V1_SIZE == NOTIFYICONDATA_SIZE_32,
              "the original NOTIFYICONDATAA is not 88 bytes");

int main()
{
    // WinMain copies the tail and never writes through the pointer, so the
    // command line's own text can be passed as it is.
    LPSTR tail = const_cast<LPSTR>(CommandTailFromCommandLine(GetCommandLineA()));
    return WinMain(GetModuleHandleA(NULL), NULL, tail, SW_SHOWDEFAULT);
}

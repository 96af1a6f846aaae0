// Permanent: one value under the machine-wide Run key brings the icon back
// at every logon.
#ifndef MIVO_AUTOSTART_H
#define MIVO_AUTOSTART_H

#include "common/app_state.h"
#include "logic/target_description.h"

#define AUTOSTART_KEY "Software\\Microsoft\\Windows\\CurrentVersion\\Run"

// Looks at the Run value and sets Permanent's check mark from what it finds.
void RefreshPermanentCheck(void);
// Deletes the Run value when it is there, stores it when it is not.
void ToggleAutostart(void);
// Writes the command the system runs at logon into buffer
// (AUTOSTART_COMMAND_SIZE bytes). FALSE, with an empty buffer, when no
// command can be formed that would start this same applet with this same
// tail.
BOOL MakeAutostartCommand(char* buffer);

#endif // MIVO_AUTOSTART_H

// Permanent: one value under a Run key, the machine's or the user's, brings
// the icon back at every logon.
#ifndef MIVO_AUTOSTART_H
#define MIVO_AUTOSTART_H

#include "common/app_state.h"
#include "logic/target_description.h"

#define AUTOSTART_KEY "Software\\Microsoft\\Windows\\CurrentVersion\\Run"

// Looks for the Run value under both keys, and in Task Manager's startup
// lists beside them, and sets Permanent's check mark: on where Windows runs
// the value at logon.
void RefreshPermanentCheck(void);
// Where Windows runs the value, deletes it (and its list entries) wherever
// it may be deleted; elsewhere stores it under the first key that may be
// changed and clears that key's list entry, so that it runs.
void ToggleAutostart(void);
// Writes the command the system runs at logon into buffer
// (AUTOSTART_COMMAND_SIZE bytes). FALSE, with an empty buffer, when no
// command can be formed that would start this same applet with this same
// tail.
BOOL MakeAutostartCommand(char* buffer);

#endif // MIVO_AUTOSTART_H

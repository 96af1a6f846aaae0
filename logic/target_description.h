// The text logic: the command tail split into target, icon file and icon
// number; the notification icon's identifier and the names derived from
// them; the command that brings Mivo back at logon.
#ifndef MIVO_TARGET_DESCRIPTION_H
#define MIVO_TARGET_DESCRIPTION_H

#include <stddef.h>

#include "platform/platform_ops.h"

#define ICON_BUFFER_SIZE 256
#define TIP_SIZE 64 // NOTIFYICONDATAA.szTip in the original 88-byte record
#define AUTOSTART_COMMAND_SIZE 272
#define VALUE_NAME_PREFIX "Mivo "
// The notification icon's identifier when the tail names no file.
#define ICON_UID 1000

// The texts name the caller's buffers; nothing is copied for them.
struct TargetSpec {
    char* target;   // the target buffer, the target alone at its start
    char* iconFile; // the target buffer, or the icon buffer
    int iconIndex;  // the number after '#', 0 without one
    const char* arguments; // what follows a quoted target, "" without
};

// targetBuffer (MAX_PATH bytes) already holds the whole tail; it is split in
// place. The icon part goes into iconBuffer (ICON_BUFFER_SIZE bytes).
TargetSpec ParseCommandTail(char* targetBuffer, char* iconBuffer);

// The notification icon's identifier for what the tail names: the target,
// the icon file and number and the arguments where the tail gives them,
// whatever their case and quotes. Never 0; ICON_UID where the tail names no file.
UINT MakeIconId(const TargetSpec* spec);

// Writes the display name into workBuffer (MAX_PATH bytes) and returns it:
// a file's name, or what an address names, and the arguments after a
// blank, as many whole characters as fit.
char* DeriveDisplayName(const char* target, const char* arguments, char* workBuffer);

// The length of the scheme an address begins with ("https" of
// "https://..."); 0 when the target is no address.
size_t AddressScheme(const char* target);

// The file of an icon location as the registry gives one, "file,n" or
// "file", or with bCommand of a command line, "program arguments"; the file
// perhaps in quotes. In place: the file is left alone in text. Gives the
// icon number, which may be negative; 0 for a command.
int ParseIconLocation(char* text, BOOL bCommand);

// Writes the icon's tip (TIP_SIZE bytes): the display name, cut to fit.
void MakeTipText(const char* displayName, char* tip);

// Writes "Mivo " and the display name into buffer (MAX_PATH bytes).
void MakeAutostartValueName(const char* displayName, char* buffer);

// The command tail of a whole command line: what follows the program name
// and the blanks and tabs after it. Points into commandLine.
const char* CommandTailFromCommandLine(const char* commandLine);

// Writes the command the system runs at logon, the module path and the
// tail, into buffer (AUTOSTART_COMMAND_SIZE bytes). FALSE, with an empty
// buffer, when no command that fits would start this module with this tail.
BOOL FormAutostartCommand(const char* modulePath, const char* tail, char* buffer);

// Whether text fits a buffer of size bytes, its NUL included.
BOOL TextFits(const char* text, size_t size);

#endif // MIVO_TARGET_DESCRIPTION_H

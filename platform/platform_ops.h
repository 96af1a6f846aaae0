// The one door to the platform. On Windows it is the Win32 API itself. On
// the host only the text logic is built, and it needs no more than a few
// types, the two case conversions and the step to the next character of the
// ANSI code page, which platform/host/ gives for Windows-1252.
#ifndef MIVO_PLATFORM_OPS_H
#define MIVO_PLATFORM_OPS_H

#ifdef _WIN32

#include <windows.h>
// shellapi.h needs windows.h first.
#include <shellapi.h>

#else

#include <stdint.h>

#define WINAPI
typedef int BOOL;
typedef uint32_t DWORD;
typedef char* LPSTR;
typedef const char* LPCSTR;
#define TRUE 1
#define FALSE 0
#define MAX_PATH 260

// In place; a pointer whose high bits are zero carries one character.
LPSTR WINAPI CharLowerA(LPSTR lpsz);
// Exactly cchLength bytes, and nothing beyond them.
DWORD WINAPI CharUpperBuffA(LPSTR lpsz, DWORD cchLength);
// The next character; at the end the NUL itself.
LPSTR WINAPI CharNextA(LPCSTR lpsz);

#endif

#endif // MIVO_PLATFORM_OPS_H

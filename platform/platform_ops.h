// The one door to the platform. On Windows it is the Win32 API itself. On
// the host only the text logic is built, and it needs no more than a few
// types, the two case conversions, the step to the next character and the
// number of the ANSI code page, which platform/host/ gives for Windows-1252
// and, where a test asks, for UTF-8.
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
typedef unsigned int UINT;
typedef char* LPSTR;
typedef const char* LPCSTR;
#define TRUE 1
#define FALSE 0
#define MAX_PATH 260
#define CP_UTF8 65001

// In place; a pointer whose high bits are zero carries one character.
LPSTR WINAPI CharLowerA(LPSTR lpsz);
// Exactly cchLength bytes, and nothing beyond them.
DWORD WINAPI CharUpperBuffA(LPSTR lpsz, DWORD cchLength);
// The next character; at the end the NUL itself.
LPSTR WINAPI CharNextA(LPCSTR lpsz);
// The number of the ANSI code page: 1252, or CP_UTF8 where a test chose it.
UINT WINAPI GetACP(void);

#endif

#endif // MIVO_PLATFORM_OPS_H

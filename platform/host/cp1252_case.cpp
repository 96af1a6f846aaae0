// The case conversions of Windows-1252 (the U.S. English ANSI code page),
// and its characters of one byte each, for the host build of the text logic.
// Under UTF-8, which a test may choose instead, the conversions change the
// ASCII letters only: Windows-1252's would turn lead bytes into others.
#include "platform/host/cp1252_case.h"
#include "platform/platform_ops.h"

// Pairs outside the Latin-1 block: Š/š, Œ/œ, Ž/ž, Ÿ/ÿ.
static const unsigned char kUpperOdd[] = {0x8A, 0x8C, 0x8E, 0x9F};
static const unsigned char kLowerOdd[] = {0x9A, 0x9C, 0x9E, 0xFF};

char Cp1252Lower(char ch)
{
    unsigned char c = (unsigned char)ch;
    // A to Z, and À to Þ but not the multiplication sign.
    if ((c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7))
        return (char)(c + 0x20);
    for (unsigned i = 0; i < sizeof kUpperOdd; i++)
        if (c == kUpperOdd[i])
            return (char)kLowerOdd[i];
    return ch;
}

char Cp1252Upper(char ch)
{
    unsigned char c = (unsigned char)ch;
    // a to z, and à to þ but not the division sign; ß has no upper case.
    if ((c >= 'a' && c <= 'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7))
        return (char)(c - 0x20);
    for (unsigned i = 0; i < sizeof kLowerOdd; i++)
        if (c == kLowerOdd[i])
            return (char)kUpperOdd[i];
    return ch;
}

#ifndef _WIN32
unsigned g_hostCodePage = 1252;

UINT WINAPI GetACP(void)
{
    return g_hostCodePage;
}

static char HostLower(char ch)
{
    return g_hostCodePage == CP_UTF8 && (ch & 0x80) ? ch : Cp1252Lower(ch);
}

LPSTR WINAPI CharLowerA(LPSTR lpsz)
{
    if ((uintptr_t)lpsz >> 16 == 0)
        return (LPSTR)(uintptr_t)(unsigned char)HostLower((char)(uintptr_t)lpsz);
    for (char* p = lpsz; *p != '\0'; p++)
        *p = HostLower(*p);
    return lpsz;
}

DWORD WINAPI CharUpperBuffA(LPSTR lpsz, DWORD cchLength)
{
    for (DWORD i = 0; i < cchLength; i++)
        if (g_hostCodePage != CP_UTF8 || !(lpsz[i] & 0x80))
            lpsz[i] = Cp1252Upper(lpsz[i]);
    return cchLength;
}

// One byte a character, as the real CharNextA steps through UTF-8 too.
LPSTR WINAPI CharNextA(LPCSTR lpsz)
{
    return (LPSTR)(*lpsz != '\0' ? lpsz + 1 : lpsz);
}
#endif

// Case mapping of Windows-1252 byte by byte: the host's CharLowerA and
// CharUpperBuffA are built on it, and the Windows tests hold it against the
// real conversions. The host's code page can be switched to UTF-8.
#ifndef MIVO_CP1252_CASE_H
#define MIVO_CP1252_CASE_H

char Cp1252Lower(char ch);
char Cp1252Upper(char ch);

#ifndef _WIN32
// What the host's GetACP gives: 1252, or CP_UTF8 where a test sets it.
extern unsigned g_hostCodePage;
#endif

#endif // MIVO_CP1252_CASE_H

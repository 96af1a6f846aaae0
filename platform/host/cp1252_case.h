// Case mapping of Windows-1252 byte by byte: the host's CharLowerA and
// CharUpperBuffA are built on it, and the Windows tests hold it against the
// real conversions.
#ifndef MIVO_CP1252_CASE_H
#define MIVO_CP1252_CASE_H

char Cp1252Lower(char ch);
char Cp1252Upper(char ch);

#endif // MIVO_CP1252_CASE_H

// Case mapping of the Windows-1252 code page (the U.S. English ANSI code
// page), byte by byte. Pure functions: the Windows tests compare them with
// the real CharLowerA and CharUpperBuffA.
#ifndef MIVO_CP1252_CASE_H
#define MIVO_CP1252_CASE_H

namespace host
{
unsigned char Cp1252Lower(unsigned char c);
unsigned char Cp1252Upper(unsigned char c);
} // namespace host

#endif // MIVO_CP1252_CASE_H

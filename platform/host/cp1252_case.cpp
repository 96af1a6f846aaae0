#include "platform/host/cp1252_case.h"

namespace host
{

// Pairs outside the Latin-1 block: Š/š, Œ/œ, Ž/ž, Ÿ/ÿ.
static const unsigned char kUpperOdd[] = {0x8A, 0x8C, 0x8E, 0x9F};
static const unsigned char kLowerOdd[] = {0x9A, 0x9C, 0x9E, 0xFF};

unsigned char Cp1252Lower(unsigned char c)
{
    if (c >= 'A' && c <= 'Z')
        return (unsigned char)(c + 0x20);
    // À to Þ, but not the multiplication sign.
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7)
        return (unsigned char)(c + 0x20);
    for (unsigned i = 0; i < sizeof kUpperOdd; i++)
        if (c == kUpperOdd[i])
            return kLowerOdd[i];
    return c;
}

unsigned char Cp1252Upper(unsigned char c)
{
    if (c >= 'a' && c <= 'z')
        return (unsigned char)(c - 0x20);
    // à to þ, but not the division sign; ß has no single upper-case byte.
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7)
        return (unsigned char)(c - 0x20);
    for (unsigned i = 0; i < sizeof kLowerOdd; i++)
        if (c == kLowerOdd[i])
            return kUpperOdd[i];
    return c;
}

} // namespace host

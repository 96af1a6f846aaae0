// The case conversions of the ANSI code page (Windows-1252).
#include <cstring>

#include "platform/host/cp1252_case.h"
#include "platform/host/model_state.h"

using namespace host::model;

// A pointer whose high word is zero carries one character in its low byte,
// as CharLowerA allows; otherwise the string is converted in place.
LPSTR WINAPI CharLowerA(LPSTR lpsz)
{
    CallScope call("CharLowerA", Text(lpsz));
    if (lpsz == nullptr)
        return nullptr;
    if (IS_INTRESOURCE(lpsz)) {
        auto c = static_cast<unsigned char>(reinterpret_cast<uintptr_t>(lpsz));
        return Make<LPSTR>(host::Cp1252Lower(c));
    }
    for (char* p = lpsz; *p != '\0'; ++p)
        *p = static_cast<char>(host::Cp1252Lower(static_cast<unsigned char>(*p)));
    return lpsz;
}

// Exactly cchLength bytes, NULs included, and nothing beyond them.
DWORD WINAPI CharUpperBuffA(LPSTR lpsz, DWORD cchLength)
{
    std::string shown = "(null)";
    if (lpsz != nullptr) {
        const void* nul = std::memchr(lpsz, '\0', cchLength);
        shown.assign(lpsz, nul == nullptr ? cchLength : static_cast<const char*>(nul) - lpsz);
    }
    CallScope call("CharUpperBuffA", std::to_string(cchLength) + " " + shown);
    if (lpsz == nullptr)
        return 0;
    for (DWORD i = 0; i < cchLength; ++i)
        lpsz[i] = static_cast<char>(host::Cp1252Upper(static_cast<unsigned char>(lpsz[i])));
    return cchLength;
}

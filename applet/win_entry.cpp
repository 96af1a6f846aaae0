// The program's entry on Windows. Mivo.exe carries no C runtime: no start-up
// code runs before this, and the process ends here.
#include "applet/applet.h"
#include "logic/target_description.h"

// The records the applet hands the system must have their 32-bit sizes.
static_assert(sizeof(MSGBOXPARAMSA) == MSGBOXPARAMS_SIZE_32, "MSGBOXPARAMSA is not 40 bytes");
static_assert(NOTIFYICONDATAA_V1_SIZE == NOTIFYICONDATA_SIZE_32,
              "the original NOTIFYICONDATAA is not 88 bytes");

extern "C" void WINAPI MivoEntry(void)
{
    // WinMain copies the tail and never writes through the pointer, so the
    // command line's own text can be passed as it is.
    LPSTR tail = const_cast<LPSTR>(CommandTailFromCommandLine(GetCommandLineA()));
    ExitProcess((UINT)WinMain(GetModuleHandleA(NULL), NULL, tail, SW_SHOWDEFAULT));
}

// The compiler may copy or clear a record with a call to memcpy or memset
// even where the code calls neither; without a C runtime they are here.
// Written in assembler so that the optimiser cannot turn them back into
// calls to themselves, and kept through the link-time optimisation, which
// may emit calls to them after it has looked for callers.
extern "C" __attribute__((used)) void* memcpy(void* dest, const void* source, size_t count)
{
    void* d = dest;
    __asm__ volatile("rep movsb" : "+D"(d), "+S"(source), "+c"(count) : : "memory");
    return dest;
}

extern "C" __attribute__((used)) void* memset(void* dest, int value, size_t count)
{
    void* d = dest;
    __asm__ volatile("rep stosb" : "+D"(d), "+c"(count) : "a"(value) : "memory");
    return dest;
}

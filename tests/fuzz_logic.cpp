// Fuzzes the text logic. The input is a command line, then after a NUL a
// module path for the stored command. Every buffer has its exact size, so
// that AddressSanitizer sees any byte read or written outside it.
#include <locale.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <memory>
#include <string>

#include "logic/target_description.h"
#include "platform/host/cp1252_case.h"

// A broken invariant aborts: libFuzzer keeps the input as a crash.
#define CHECK(c) ((c) ? (void)0 : (fprintf(stderr, "broken: %s\n", #c), abort()))

using std::string;
using Buffer = std::unique_ptr<char[]>;

// The text at p starts inside the buffer and ends inside it.
static bool Inside(const char* p, const char* buffer, size_t size)
{
    return p >= buffer && p < buffer + size && memchr(p, '\0', buffer + size - p) != NULL;
}

// Well-formed UTF-8 by the C library's decoder, which also takes the leads
// 0xF5 to 0xFD of characters beyond U+10FFFF that UTF-8 no longer has.
static bool WellFormed(const string& text)
{
    std::wstring wide(text.size() + 1, L'\0');
    size_t count = mbstowcs(&wide[0], text.c_str(), wide.size());
    return count != (size_t)-1 && std::all_of(wide.begin(), wide.begin() + count,
                                              [](wchar_t c) { return (uint32_t)c <= 0x10FFFF; });
}

// cut is the start of whole that fits size bytes: all that fits under
// Windows-1252; under UTF-8 up to three bytes fewer, and of well-formed UTF-8
// no character cut.
static bool FitCut(const string& cut, const string& whole, size_t size)
{
    size_t fit = whole.size() < size ? whole.size() : size - 1;
    size_t slack = g_hostCodePage == CP_UTF8 ? 3 : 0;
    return !whole.rfind(cut, 0) && cut.size() <= fit && cut.size() + slack >= fit &&
           (!slack || !WellFormed(whole) || WellFormed(cut));
}

static UINT IdOf(const string& tail)
{
    Buffer target(new char[MAX_PATH]), icon(new char[ICON_BUFFER_SIZE]);
    memcpy(target.get(), tail.c_str(), tail.size() + 1);
    TargetSpec spec = ParseCommandTail(target.get(), icon.get());
    return MakeIconId(&spec);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    string input(reinterpret_cast<const char*>(data), size), line = input.c_str();
    string module = line.size() < size ? input.c_str() + line.size() + 1 : "";

    const char* tail = CommandTailFromCommandLine(line.c_str());
    CHECK(tail >= line.c_str() && tail <= line.c_str() + line.size());

    // The applet hands the split at most MAX_PATH - 1 bytes of the tail.
    string fitted = string(tail).substr(0, MAX_PATH - 1);
    Buffer target(new char[MAX_PATH]), icon(new char[ICON_BUFFER_SIZE]);
    memcpy(target.get(), fitted.c_str(), fitted.size() + 1);
    TargetSpec spec = ParseCommandTail(target.get(), icon.get());
    // A target in quotes is what they enclose; the icon part's comma is then
    // the first character after the closing quote and its blanks, or none.
    bool quoted = fitted[0] == '"';
    size_t close = quoted ? fitted.find('"', 1) : string::npos;
    size_t comma = !quoted ? fitted.find(',') : fitted.find_first_not_of(' ', close + (close != string::npos));
    comma = comma != string::npos && fitted[comma] == ',' ? comma : string::npos;
    CHECK(spec.target == target.get() &&
          (quoted ? fitted.substr(1, close - 1) : fitted.substr(0, comma)) == spec.target);
    CHECK(comma == string::npos ? spec.iconFile == target.get() && spec.iconIndex == 0
                                : Inside(spec.iconFile, icon.get(), ICON_BUFFER_SIZE) &&
                                      fitted.find(spec.iconFile, comma + 1) != string::npos);
    // The arguments end the tail, and only a quoted file has any.
    size_t cchArguments = Inside(spec.arguments, target.get(), MAX_PATH) ? strlen(spec.arguments) : MAX_PATH;
    CHECK(cchArguments <= fitted.size() && fitted.substr(fitted.size() - cchArguments) == spec.arguments &&
          (!cchArguments || (quoted && *spec.target)));
    // An icon location or command as the registry gives it leaves a file
    // no longer than itself.
    for (BOOL command : {FALSE, TRUE}) {
        Buffer location(new char[MAX_PATH]);
        ParseIconLocation((char*)memcpy(location.get(), fitted.c_str(), fitted.size() + 1), command);
        CHECK(Inside(location.get(), location.get(), MAX_PATH) && strlen(location.get()) <= fitted.size());
    }

    // The icon's identifier: never 0, and the same whatever the case.
    g_hostCodePage = 1252;
    string upper = fitted;
    for (char& c : upper)
        c = Cp1252Upper(c);
    CHECK(IdOf(fitted) != 0 && IdOf(fitted) == IdOf(upper));

    // The names, from the target and from the whole line, which may be
    // longer than any buffer, under Windows-1252 and under UTF-8.
    CHECK(setlocale(LC_CTYPE, "C.UTF-8"));
    for (unsigned page : {1252u, (unsigned)CP_UTF8})
        for (const char* source : {(const char*)spec.target, line.c_str()}) {
            Buffer work(new char[MAX_PATH]), tip(new char[TIP_SIZE]), value(new char[MAX_PATH]);
            const char* arguments = source == line.c_str() ? "" : spec.arguments;
            char* name = (g_hostCodePage = page, DeriveDisplayName(source, arguments, work.get()));
            CHECK(Inside(name, work.get(), MAX_PATH) && (*arguments || AddressScheme(source) || !strchr(name, '\\')));
            MakeTipText(name, tip.get());
            CHECK(Inside(tip.get(), tip.get(), TIP_SIZE) && FitCut(tip.get(), name, TIP_SIZE));
            MakeAutostartValueName(name, value.get());
            CHECK(Inside(value.get(), value.get(), MAX_PATH) &&
                  FitCut(value.get(), VALUE_NAME_PREFIX + string(name), MAX_PATH));
        }

    // A stored command gives its tail back, whatever the tail begins with;
    // a refused one is empty.
    string stored = line.substr(0, MAX_PATH - 1);
    Buffer command(new char[AUTOSTART_COMMAND_SIZE]);
    BOOL made = FormAutostartCommand(module.c_str(), stored.c_str(), command.get());
    string text = Inside(command.get(), command.get(), AUTOSTART_COMMAND_SIZE) ? command.get() : "";
    CHECK(made ? (!text.rfind(module + " ", 0) || !text.rfind("\"" + module + "\" ", 0)) &&
                     stored == CommandTailFromCommandLine(text.c_str())
               : text.empty());
    return 0;
}

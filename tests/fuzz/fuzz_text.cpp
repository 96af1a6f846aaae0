// Fuzzes the text logic: the start-up rule, the tail split and the derived
// names. Buffers are allocated at their exact sizes so that AddressSanitizer
// reports any byte written or read outside them.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <memory>
#include <string>

#include "logic/target_description.h"
#include "platform/host/host_model.h"
#include "tests/fuzz/fuzz_check.h"

static bool Inside(const char* p, const char* buffer, size_t size)
{
    return p >= buffer && p < buffer + size && memchr(p, '\0', buffer + size - p) != NULL;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // The model logs every case conversion; a fresh one per input keeps the
    // log from growing over millions of runs.
    host::Reset();
    std::string line(reinterpret_cast<const char*>(data), size);
    line = line.substr(0, line.find('\0'));

    // The start-up rule points into the line, at a suffix of it.
    const char* tail = CommandTailFromCommandLine(line.c_str());
    CHECK(tail >= line.c_str() && tail <= line.c_str() + line.size());
    std::string tailText(tail);

    // The applet hands the parse at most MAX_PATH - 1 characters.
    std::unique_ptr<char[]> target(new char[MAX_PATH]);
    std::unique_ptr<char[]> icon(new char[ICON_BUFFER_SIZE]);
    std::string fitted = tailText.substr(0, MAX_PATH - 1);
    memcpy(target.get(), fitted.c_str(), fitted.size() + 1);
    TargetSpec spec = ParseCommandTail(target.get(), icon.get());
    CHECK(spec.target == target.get());
    CHECK(Inside(spec.target, target.get(), MAX_PATH));
    CHECK(spec.iconFile == target.get() || spec.iconFile == icon.get());
    CHECK(Inside(spec.iconFile, spec.iconFile == icon.get() ? icon.get() : target.get(),
                 spec.iconFile == icon.get() ? ICON_BUFFER_SIZE : MAX_PATH));
    // The target is the tail up to its first comma.
    CHECK(fitted.compare(0, strlen(spec.target), spec.target) == 0);
    CHECK(strchr(spec.target, ',') == NULL);
    if (fitted.find(',') == std::string::npos)
        CHECK(spec.iconFile == spec.target && spec.iconIndex == 0);

    // Names from the target, and from the raw line (longer than any buffer).
    const char* sources[] = {spec.target, line.c_str()};
    for (const char* source : sources) {
        std::unique_ptr<char[]> work(new char[MAX_PATH]);
        char* name = DeriveDisplayName(source, work.get());
        CHECK(Inside(name, work.get(), MAX_PATH));
        CHECK(strchr(name, '\\') == NULL);
        std::unique_ptr<char[]> value(new char[MAX_PATH]);
        MakeAutostartValueName(name, value.get());
        CHECK(Inside(value.get(), value.get(), MAX_PATH));
        CHECK(strncmp(value.get(), "Mivo ", 5) == 0);
    }
    return 0;
}

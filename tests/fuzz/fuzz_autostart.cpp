// Fuzzes the Run value's command: whatever module path and tail, either
// nothing is stored or the command, read back by the start-up rule, gives
// the tail again. Input: module path, a NUL, the tail.
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <memory>
#include <string>

#include "autostart/autostart.h"
#include "logic/target_description.h"
#include "platform/host/host_model.h"
#include "tests/fuzz/fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string input(reinterpret_cast<const char*>(data), size);
    size_t split = input.find('\0');
    std::string module = input.substr(0, split);
    std::string tail = split == std::string::npos ? "" : input.substr(split + 1);
    tail = tail.substr(0, tail.find('\0')).substr(0, MAX_PATH - 1);
    if (module.empty())
        return 0; // the system always names a module

    host::Reset();
    memset(&AppState, 0, sizeof AppState);
    host::SetModulePath(module);
    AppState.hInstance = host::ModuleInstance();
    memcpy(AppState.szCommandTail, tail.c_str(), tail.size() + 1);

    std::unique_ptr<char[]> command(new char[AUTOSTART_COMMAND_SIZE]);
    if (MakeAutostartCommand(command.get())) {
        CHECK(memchr(command.get(), '\0', AUTOSTART_COMMAND_SIZE) != NULL);
        CHECK(strcmp(CommandTailFromCommandLine(command.get()), tail.c_str()) == 0);
        // The program part names the module, quoted or not.
        std::string text(command.get());
        CHECK(text.rfind(module + " ", 0) == 0 || text.rfind("\"" + module + "\" ", 0) == 0);
    } else {
        CHECK(command[0] == '\0');
    }
    return 0;
}

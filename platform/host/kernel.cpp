// The kernel: the module's path and the pause.
#include <cstring>

#include "platform/host/model_state.h"

using namespace host::model;

DWORD WINAPI GetModuleFileNameA(HMODULE hModule, LPSTR lpFilename, DWORD nSize)
{
    CallScope call("GetModuleFileNameA", std::to_string(nSize));
    if (lpFilename == nullptr)
        Unsupported("GetModuleFileNameA without a buffer");
    if ((hModule != nullptr && hModule != host::ModuleInstance()) || nSize == 0 || call.Injected())
        return call.Fail<DWORD>(0);
    const std::string& path = S().modulePath;
    // A path that does not fit is cut to nSize - 1 characters and its NUL,
    // and the result is nSize, as on Windows XP and later.
    if (path.size() >= nSize) {
        std::memcpy(lpFilename, path.data(), nSize - 1);
        lpFilename[nSize - 1] = '\0';
        return nSize;
    }
    std::memcpy(lpFilename, path.c_str(), path.size() + 1);
    return static_cast<DWORD>(path.size());
}

void WINAPI Sleep(DWORD dwMilliseconds)
{
    CallScope call("Sleep", std::to_string(dwMilliseconds));
    // Recorded, not waited for.
    S().sleeps.push_back(dwMilliseconds);
}

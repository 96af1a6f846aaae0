/* A DLL planted beside Mivo.exe under the names of system DLLs: each copy
   that runs appends its path to C:\mivo-e2e\planted.log. */
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE dll, DWORD reason, LPVOID reserved)
{
    char path[MAX_PATH + 2];
    DWORD length = GetModuleFileNameA(dll, path, MAX_PATH), written;
    HANDLE log = CreateFileA("C:\\mivo-e2e\\planted.log", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             NULL, OPEN_ALWAYS, 0, NULL);
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH && SetFilePointer(log, 0, NULL, FILE_END) != INVALID_SET_FILE_POINTER)
        lstrcpyA(path + length, "\r\n"), WriteFile(log, path, length + 2, &written, NULL);
    CloseHandle(log);
    return TRUE;
}

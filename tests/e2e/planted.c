/* Planted beside Mivo.exe under a system DLL's name: a copy that runs
   leaves C:\mivo-e2e\planted.log behind. */
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE dll, DWORD reason, LPVOID reserved)
{
    CloseHandle(CreateFileA("C:\\mivo-e2e\\planted.log", GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL));
    return (void)dll, (void)reason, (void)reserved, TRUE;
}

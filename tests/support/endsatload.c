// Code for test modules that carry resources and must never be run: loaded
// as a program, the module ends the loading process at once with code 77.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    (void)instance;
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH)
        ExitProcess(77);
    return TRUE;
}

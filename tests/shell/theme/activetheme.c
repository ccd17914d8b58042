// The strings of the bare theme in a module that also has code: loading it
// as a program ends the loading process at once with code 77.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    (void)instance;
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH)
        ExitProcess(77);
    return TRUE;
}

// A game for the tests of the program: it leaves "running.txt" in its
// working directory, then waits until the test signals the named event
// "ZelHostTestGameEnd" (at most 30 s) and ends.
#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    HANDLE end = CreateEventW(nullptr, TRUE, FALSE, L"ZelHostTestGameEnd");
    HANDLE marker = CreateFileW(L"running.txt", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (marker != INVALID_HANDLE_VALUE)
        CloseHandle(marker);
    if (end) {
        WaitForSingleObject(end, 30000);
        CloseHandle(end);
    }
    return 0;
}

/* The floor of the query benchmark (bench_query.cpp): a program that does
   nothing, so its run costs only the start and end of a process. */
#include <windows.h>

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE previous, PWSTR commandLine, int show)
{
    (void)instance;
    (void)previous;
    (void)commandLine;
    (void)show;
    return 0;
}

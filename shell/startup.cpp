#include "shell/startup.h"

int RunProgram(HINSTANCE)
{
    return 10;
}

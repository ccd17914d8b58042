#pragma once

#include <windows.h>

// The whole life of the process: start-up, maintenance switches, message
// loop and shutdown. Returns the process exit code.
int RunProgram(HINSTANCE instance);

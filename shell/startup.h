#pragma once

#include <windows.h>

// The whole life of the process: start-up, maintenance switches, message
// loop and shutdown. Returns the process exit code.
int RunProgram(HINSTANCE instance);

// The hidden main window (made once; null for a null module or when the
// class or the window cannot be made).
HWND CreateMainWindow(HINSTANCE instance);
HWND GetMainWindow();

// Starts the executable again from the install directory (exit code 9);
// does not wait for it.
void RestartSelf();

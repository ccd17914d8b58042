#pragma once

#include <windows.h>

// The main window's procedure: registered messages, creation, close,
// destruction (which posts WM_QUIT with MainExitCode), tray menu commands
// and the update timer.
LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The exit code the main window's destruction posts with WM_QUIT: 0, 9
// after "ZELRESTART", 10 after "ZELEXITZEL".
extern int MainExitCode;

// Tells the main page that a game could not be started (message 12).
void ShowLaunchFailureInPage();

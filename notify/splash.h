#pragma once

// The splash picture: "splash.jpg" from the install directory, centred on
// the desktop in a borderless topmost tool window while the catalog opens
// and the main page loads.

#include <windows.h>

// Creates the splash window unless one exists already (then false).
bool CreateSplashWindow();
// Closes the splash window when one exists (the main page has loaded).
void CloseSplashWindow();
// The splash window, or null while none exists.
HWND GetSplashWindow();

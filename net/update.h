#pragma once

#include <windows.h>

// Sends the periodic catalog update request for the main window; its reply
// arms the next check.
void CheckForUpdates(HWND window);

// Requests an advertisement for the main window.
void RequestAdFeed(HWND window);

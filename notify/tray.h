#pragma once

#include <windows.h>

// The tray icon of the main window and its menu.

// Adds the icon (icon "tray.ico" and tooltip of the theme); true without
// doing anything for a brand without a tray icon.
bool AddTrayIcon(HMODULE theme, HWND window);
// Adds the icon again after the shell restarted ("TaskbarCreated").
void ReAddTrayIcon();
// The tray callback: mouseMessage is the low word of its lParam.
void OnTrayNotify(HWND window, UINT mouseMessage);
// Tray menu commands.
void ToggleAutorun();
void ToggleTrayMenuOption(UINT item, const wchar_t* optionKey);
// Removes the tray icon and clears its record (shutdown).
void RemoveTrayIcon();

#pragma once

// The icon in the task-bar notification area while the interactive copy
// runs: a left click hides or restores the main window, a right click opens
// the tray menu (autostart switch, the news switches, exit). The icon, its
// tooltip and the menu texts come from the theme module.

#include <windows.h>
#include <shellapi.h>

#include <string>

// Menu item ids: the theme string id plus 256.
constexpr UINT kTrayItemAutorun = 259;       // string 3
constexpr UINT kTrayItemExit = 260;          // string 4
constexpr UINT kTrayItemNewsSubmenu = 266;   // string 10
constexpr UINT kTrayItemGameNews = 267;      // string 11, option HideGameNews
constexpr UINT kTrayItemSiteNews = 268;      // string 12, option HideSiteNews
constexpr UINT kTrayIconId = 16;

// Adds the icon for the main window. True without doing anything when the
// brand has no tray icon; false when the module is null or the icon or the
// menu cannot be made; true otherwise, also when the shell refuses the add.
bool AddTrayIcon(HMODULE themeModule, HWND mainWindow);
// Adds the icon again from the held record after the shell restarted.
void ReAddTrayIcon();
// Deletes the icon, clears the record and releases the menu (shutdown).
void RemoveTrayIcon();
// The tray callback: mouseMessage is the low word of its lParam.
void OnTrayNotify(HWND window, UINT mouseMessage);

// Builds the tray menu from the theme's strings (and writes the autostart
// value). Null when the module is null or no menu can be made.
HMENU CreateTrayMenu(HMODULE themeModule);

// A menu item made from a theme string; the item's text points into text.
struct ThemeMenuItem {
    MENUITEMINFOW info = {};
    std::wstring text;
};
// Fills the item with the given mask, the string's text and id + 256;
// false when the string is missing or empty.
bool MakeThemeMenuItem(ThemeMenuItem& item, HMODULE themeModule, UINT stringId, UINT mask);

// Menu command 259: switches the autostart value.
void ToggleAutorun();
// Menu commands 267 and 268: stores the news switch; nothing for a null key.
void ToggleTrayMenuOption(UINT itemId, const wchar_t* optionKey);

// The held icon record (all zeros while no icon was added) and the menu
// (null while none was built).
const NOTIFYICONDATAW& GetTrayIconRecord();
HMENU GetTrayMenu();

#pragma once

// The main page receives its data only from the program. Whenever it has
// finished loading (and on every explicit refresh) OnDocCompleted checks
// that it is a page of the program's theme and pushes the whole catalog
// into it: the auth options, every game, the icon library path, the other
// options and the program version, then tells it to render.

#include <windows.h>

#include <sqlite3.h>

#include <string>

// Handler of "Lorrimel_DocCompletedMsg" on the main window.
void OnDocCompleted(HWND window, WPARAM wParam, LPARAM lParam);

// Feeds the icon library path, the ordinary options and the version; false
// when it stopped early.
bool FeedOptionsToPage(sqlite3* db);

// "res://<theme file>/html/main.html", formed once; empty when there is no
// theme file or the address does not fit.
const wchar_t* GetMainPageUrl();

// The page's form of the program version "4, 42, 0, 0": "4.42". Empty when
// the version text is shorter than 4 characters.
std::wstring PageVersionText(const wchar_t* productVersion);

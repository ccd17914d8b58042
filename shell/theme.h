#pragma once

// The theme: a resource-only module with the pages, their scripts and
// images, the icons and a string table. The catalog carries it as a blob;
// at start-up the newest version of the selected theme is written to a
// temporary file and loaded from there for the life of the process.

#include <windows.h>

// Theme string ids the program reads.
constexpr UINT kThemeStringMenuFolder = 5;
constexpr UINT kThemeStringMenuShortcutName = 6;
constexpr UINT kThemeStringMenuShortcutTarget = 7;
constexpr UINT kThemeStringDesktopShortcutName = 8;
constexpr UINT kThemeStringDesktopShortcutTarget = 9;

// The loaded theme module; loads it on first call. Null when the option
// theme is missing, has no themes row, its blob is empty, or it does not
// load.
HMODULE LoadThemeModule();
// Frees the module and deletes its temporary file (shutdown).
void UnloadThemeModule();

// String n of the theme's string table, NUL-terminated whether or not the
// theme wrote a NUL into it; valid while the theme stays loaded. Null when
// the module or the string is missing.
const wchar_t* ThemeString(UINT id);

// The temporary file the theme is written to ("thm" prefix); null when no
// temporary file can be made. Making it first clears stale copies.
const wchar_t* GetThemeTempPath();
// Deletes the empty "thm*.tmp" files of the temporary folder that no
// program holds open: copies that killed runs named and never wrote.
void ClearStaleThemeCopies();
// <install dir>\games.dll; null when the install directory is unknown or
// the path would reach 1024 characters.
const wchar_t* GetGamesDllPath();
// <install dir>\<theme>.dll, the icon of the shortcuts; empty when it
// cannot be formed.
const wchar_t* GetThemeDllPath();

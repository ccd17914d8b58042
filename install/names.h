#pragma once

// Checks on names that come from outside (game packages, the settings of
// older installations) before they become parts of paths on disk.

// A name fit to be one component of a path below a folder we write into:
// not empty, not "." or "..", no path separator, no drive or stream colon,
// no character Windows forbids in file names, no trailing dot or blank
// (Windows drops those, so "..." or ".. " would name the parent), and no
// device name such as CON or LPT1.
bool IsSafeFileName(const wchar_t* name);

// A display name fit to name a shortcut file or a folder of shortcuts:
// not empty, not made of dots and blanks only, no path separator, no ";"
// (it separates the entries of an uninstall list) and no control
// character. A colon is allowed: shortcut paths turn it into a point.
bool IsSafeShortcutName(const wchar_t* name);

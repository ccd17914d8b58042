#pragma once

// Checks on names that come from outside (game packages, the settings of
// older installations) before they become parts of paths on disk.

// A name fit to be one component of a path below a folder we write into:
// not empty, not "." or "..", no path separator, no drive or stream colon,
// no character Windows forbids in file names, no trailing dot or blank
// (Windows drops those, so "..." or ".. " would name the parent), and no
// device name such as CON or LPT1.
bool IsSafeFileName(const wchar_t* name);

// A name Windows takes for a device: CON, PRN, AUX, NUL, CONIN$, CONOUT$,
// COM and LPT with a digit or a superscript one to three, any case, with
// or without an extension (the part from the first dot or colon on).
bool IsDeviceName(const wchar_t* name);

// A display name fit to name a shortcut file or a folder of shortcuts:
// not empty, not made of dots and blanks only, no path separator, no ";"
// (it separates the entries of an uninstall list), no control character,
// and no device name, with or without an extension (a path that names
// COM1 may block whoever opens it for ever). A colon is allowed: shortcut
// paths turn it into a point.
bool IsSafeShortcutName(const wchar_t* name);

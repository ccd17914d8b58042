#pragma once

// Shortcuts of installed games. They start the manager itself with switch
// r and the game's id, so a double click opens the manager on that game.

#include <sqlite3.h>

#include <cstdint>
#include <optional>
#include <string>

// Former name of the programs-menu folder, renamed to theme string 5 where
// the brand asks for it.
constexpr wchar_t kOldMenuFolderName[] = L"\u0418\u0433\u0440\u044B \u043E\u0442 QuivMark";

// The manager's executable in its install directory ("<dir>\<exe name>";
// the install directory ends in a backslash already). nullopt when the
// install directory is unknown or the path reaches 1024 characters.
std::optional<std::wstring> ManagerShortcutTarget();

// "r <id in hex>", with " v 0" added when the catalog uses the current
// numbering (option newdb is 1).
std::wstring GameShortcutArguments(uint32_t gameId);

// True when the shortcut at linkPath starts this manager (its executable,
// by file name) for the game: with "r <gameId in hex>" or, once brand 0's
// catalog uses the current numbering, with "r <the game's older id>" and
// no switch v, as shortcuts made before the change do. The user's own
// shortcuts, another brand's and those for any other game (installed or
// not) are not. A path that names a device (COM1.lnk) is never opened and
// is not the game's. The caller holds a COM apartment.
bool IsShortcutOfGame(sqlite3* catalog, const wchar_t* linkPath, uint32_t gameId);
// True when the folder holds such a shortcut of the game: a menu folder of
// the game's own.
bool FolderHoldsShortcutOfGame(sqlite3* catalog, const wchar_t* folder, uint32_t gameId);

// Gives a freshly installed game its desktop shortcut and programs-menu
// entry (in a folder of its own where the brand asks for one). Hands back
// the paths made: desktopLink, and menuEntry (the shortcut, or the game's
// own folder). Does nothing unless the id, the name, the ident and the
// icon are all there and the name is fit to name a shortcut. A shortcut or
// folder of that name that is not the game's own (the user's, another
// game's of the same name, another brand's), or a name that names a device
// (CON, COM1), is never used: the first free name of "Name (2)" to
// "Name (20)" is taken instead. Only shortcuts that were made are handed
// back. The caller holds a COM apartment.
void CreateGameShortcuts(uint32_t gameId, const wchar_t* name, const wchar_t* ident, const wchar_t* iconPath,
                         std::optional<std::wstring>* desktopLink, std::optional<std::wstring>* menuEntry);

#pragma once

// The actions installers and uninstallers drive through switches, each run
// before the interactive start or instead of it. Actions that need the
// catalog open it first; without a catalog they change nothing.

#include <cstdint>

// t: store the theme name in the option theme.
void SetThemeFromSwitch(const wchar_t* theme);
// a: store the affiliate number in the option affiliate.
void SetAffiliateFromSwitch(uint32_t affiliate);
// b (with n and v): renumber from and/or merge the database at path.
void ImportDatabaseFromSwitch(const wchar_t* path);
// Brand flag: carry over the products of older installers.
void ImportOlderProducts();
// p: copy the SMALL and BIG resources of a module into games.dll; 13 when
// the module loaded, 14 when it did not.
int CopyGameIconsFromSwitch(const wchar_t* modulePath);
// i: install a game package; true on success.
bool InstallGameFromCommandLine(const wchar_t* packagePath, uint32_t kValue);
// c: mark every installed game uninstalled.
void UninstallAllGames();
// u: mark one game uninstalled.
void UninstallGameFromSwitch(uint32_t id);
// y or the brand flag: the manager's desktop and programs-menu shortcuts.
void CreateShortcuts();
// z: 3 when the game is installed, 10 when not, -1 when the query cannot
// be answered.
int QueryGameInstalled(uint32_t id);

// Stand-ins for maintenance actions not built yet, so the program's
// lifecycle links; each goes when the real action lands.
#include "shell/maintenance.h"

void ImportOlderProducts() {}
int CopyGameIconsFromSwitch(const wchar_t*) { return 13; }
bool InstallGameFromCommandLine(const wchar_t*, uint32_t) { return false; }
void UninstallAllGames() {}
void UninstallGameFromSwitch(uint32_t) {}
void CreateShortcuts() {}

// Stand-ins for maintenance actions not built yet, so the program's
// lifecycle links; each goes when the real action lands.
#include "shell/maintenance.h"

void SetThemeFromSwitch(const wchar_t*) {}
void SetAffiliateFromSwitch(uint32_t) {}
void ImportDatabaseFromSwitch(const wchar_t*) {}
int QueryGameInstalled(uint32_t) { return 10; }

// Stand-ins for what this subsystem has not built yet, so the program's
// lifecycle links; each goes when the real code lands.
#include "install/launch.h"
#include "install/uninstall.h"

bool LaunchGame(uint32_t) { return false; }
bool UninstallGame(int32_t) { return false; }

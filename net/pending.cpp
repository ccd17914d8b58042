// Stand-ins for what this subsystem has not built yet, so the program's
// lifecycle links; each goes when the real code lands.
#include "net/workers.h"

void StopWorkerThreads() {}

// Stand-ins for the catalog connection until it lands.
#include "catalog/catalog.h"

OptionRowHookFn OptionRowHook = nullptr;
GameRowHookFn GameRowHook = nullptr;
GamePictureHookFn GamePictureHook = nullptr;

bool SetCatalogDbPath(const wchar_t*) { return false; }
const char* GetCatalogDbPath() { return ""; }
sqlite3* GetCatalogDb() { return nullptr; }
bool OpenCatalogDb() { return false; }
bool CloseCatalogDb() { return true; }
bool InstallCatalogHooks() { return false; }

#pragma once

#include <windows.h>

// Unregisters the ActiveX host window classes of the module (shutdown).
void UnregisterAxHostClasses(HINSTANCE instance);

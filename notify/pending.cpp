// Stand-ins for what this subsystem has not built yet, so the program's
// lifecycle links; each goes when the real code lands.
#include "notify/balloons.h"
#include "notify/splash.h"
#include "notify/tray.h"

void CreateSplashWindow() {}
void CloseSplashWindow() {}

bool AddTrayIcon(HMODULE, HWND)
{
    return true;
}
void ReAddTrayIcon() {}
void OnTrayNotify(HWND, UINT) {}
void ToggleAutorun() {}
void ToggleTrayMenuOption(UINT, const wchar_t*) {}
void RemoveTrayIcon() {}

void EmptyBalloonStack() {}
bool ShowGameBalloon(uint32_t, const wchar_t*, const wchar_t*) { return false; }
bool ShowNewsBalloon(const wchar_t*, const wchar_t*, const wchar_t*, const wchar_t*) { return false; }

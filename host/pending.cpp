// Stand-ins for what this subsystem has not built yet, so the program's
// lifecycle links; each goes when the real code lands.
#include "host/mainwindow.h"
#include "shell/pagehooks.h"

int MainExitCode = 0;

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_DESTROY) {
        PostQuitMessage(MainExitCode);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

void ShowLaunchFailureInPage() {}
void InstallPageFeedingHooks() {}

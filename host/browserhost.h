#pragma once

// Putting WebBrowser controls into windows and wiring them to their sinks.
// The main window hosts the main page itself (OnCreateMainWindow); other
// pages (balloons, social dialogs) get a host window of the class
// "AtlAxWin140" (CreateBrowserHostWindow) and a sink attached to it
// (AttachBrowserSink).

#include "axhost/hostwindow.h"
#include "host/sinks.h"

#include <windows.h>

// The host of the main page: the plain host with the browser's settings key
// as its override key path.
class CWrapperHost : public CAxHostWindow {
public:
    STDMETHODIMP GetOverrideKeyPath(LPOLESTR* key, DWORD reserved) override;
};

// WM_CREATE of the main window: icons and title from the theme, the
// CWrapMain object, the main sink, the host, and the control navigated to
// the main page. A failure shows the start-up error box and posts WM_QUIT
// with 0.
void OnCreateMainWindow(HWND window);

// A visible host window (a child of parent, or a pop-up without one) at
// 0,0 with size 0x0 whose control shows address. Null for a null address or
// when the window cannot be made.
HWND CreateBrowserHostWindow(HWND parent, HMODULE module, const wchar_t* address);

// Wires sink to the control of a host window: keeps the control's browser,
// makes the sink the host's user-interface handler and advises it to the
// control's events.
bool AttachBrowserSink(HWND hostWindow, CBrowserSink* sink);

// The same for a control at hand, without a user-interface handler.
bool AttachSinkToControl(IUnknown* control, CBrowserSink* sink);

#pragma once

// ActiveX control hosting in plain windows.
//
// A host (CAxHostWindow, axhost/hostwindow.h) puts one control into a
// window it attaches to: it creates the control, activates it in place over
// the window's client area, keeps it sized with the window, and releases it
// when the window is destroyed. It is the control's client site, so the
// browser's user-interface questions (IDocHostUIHandler) reach the host,
// which hands each of them to the external handler set on it.
//
// The host window classes "AtlAxWin140" and "AtlAxWinLic140" make such a
// window from its window text alone: a class id in braces, a ProgID, or an
// address for a WebBrowser control that is navigated there. A dialog
// template can name the class with the control in the text. A window with a
// host answers two registered messages, each with a counted IUnknown (0
// when there is none): "WM_ATLGETCONTROL" gives the control,
// "WM_ATLGETHOST" the host.

#include "axhost/interfaces.h"
#include "shell/com.h"

#include <windows.h>

constexpr const wchar_t* kAxHostWindowClass = L"AtlAxWin140";
constexpr const wchar_t* kAxHostLicWindowClass = L"AtlAxWinLic140";

// Registers the two window classes and the two messages; calling it again
// does no harm. True when the classes are registered.
bool AxWinInit();
// Unregisters the two window classes of the module (shutdown).
void UnregisterAxHostClasses(HINSTANCE instance);

UINT AxGetControlMessage();  // "WM_ATLGETCONTROL"
UINT AxGetHostMessage();     // "WM_ATLGETHOST"

// The control or the host of a window with a host; null when none.
ComPtr<IUnknown> AxGetControl(HWND window);
ComPtr<IUnknown> AxGetHost(HWND window);

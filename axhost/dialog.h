#pragma once

// Dialogs with ActiveX controls. A dialog template (DIALOGEX) may name a
// control's class id in braces as an item's window class, for instance
//
//     CONTROL "", 1002, "{8856F961-340A-11D0-A96B-00C04FD705A2}", WS_CHILD, 0, 0, 61, 21
//
// AxDialogBox shows such a dialog modally: each of those items becomes a
// host window ("AtlAxWin140") that creates the named control, so the dialog
// code finds it with GetDlgItem and asks it for its control with
// AxGetControl (axhost/axhost.h). Other templates are shown unchanged.

#include <windows.h>

// Like DialogBoxParamW; -1 when the template is missing or the dialog
// cannot be made.
INT_PTR AxDialogBox(HINSTANCE instance, const wchar_t* templateName, HWND owner, DLGPROC dialogProc,
                    LPARAM param);

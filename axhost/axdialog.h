#pragma once

// Modal dialogs with ActiveX controls, from an ordinary dialog resource.
// An item whose class is a CLSID in braces ("{8856F961-...}") is created
// as an ActiveX host window (class "AtlAxWin140") whose window text is that
// CLSID, so the host window creates the control. The item's records in the
// dialog-initialisation resource of the same id (type 240: per record
// WORD control id, WORD message, DWORD length, then the data; a zero id
// ends the list) are handed to the host window as the item's creation data:
// WM_CREATE's lpCreateParams points at a WORD byte count followed by that
// control's records in the same layout.

#include "axhost/axhost.h"

#include <windows.h>

#include <cstdint>
#include <optional>
#include <vector>

inline constexpr WORD kDialogInitResourceType = 240;

// The dialog's end code, or -1 when the template cannot be read or the
// dialog cannot be created.
INT_PTR AxDialogBox(HINSTANCE instance, const wchar_t* templateName, HWND owner, DLGPROC dialogProc,
                    LPARAM initParam);

// The extended dialog template with its ActiveX items turned into host
// windows; nullopt for a template that is not an extended one or is cut
// short.
std::optional<std::vector<uint8_t>> SplitAxDialogTemplate(const void* dialogTemplate, size_t size,
                                                          const void* initData, size_t initSize);

// What tests can reach in the stand-in HTML engine from outside, also from
// another process (the engine runs inside the program under test):
//
// - Every browser (and every frame) owns one hidden top-level window of the
//   class kHookWindowClass whose title is the address of the page it shows.
// - Sending it kContextMenuMessage (registered) with wParam = the context
//   menu id and lParam = MAKELPARAM(x, y) in screen coordinates makes the
//   browser ask its host's IDocHostUIHandler::ShowContextMenu, as a right
//   click does; the message result is that call's HRESULT.
// - WM_COPYDATA with dwData = kEvaluateCopyData and a UTF-16 script text
//   (without terminator) evaluates the text in the page; the result is 1
//   when it ran, 0 on a script error. With tracing on, the value's text is
//   traced as an "eval" record.
// - When the environment variable kTraceVariable names a file, the engine
//   appends one UTF-8 line per record to it: "<kind>\t<text>". Kinds:
//   "event" (BeforeNavigate2, NavigateComplete2, DocumentComplete,
//   NavigateError with their address), "call" (a page function called from
//   outside with its arguments and outcome), "host" (the questions asked of
//   the host at each load, GetHostInfo, GetOptionKeyPath, GetOverrideKeyPath,
//   and ShowContextMenu), "error" (script errors), "alert", "eval".
#pragma once

#include <windows.h>

namespace htmlengine {

inline constexpr wchar_t kHookWindowClass[] = L"ZelHtmlEngineHook";
inline constexpr wchar_t kContextMenuMessage[] = L"ZelHtmlEngineContextMenu";
inline constexpr ULONG_PTR kEvaluateCopyData = 0x5A454831;
inline constexpr wchar_t kTraceVariable[] = L"ZEL_HTMLENGINE_TRACE";

}  // namespace htmlengine

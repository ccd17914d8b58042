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
// - When the environment variable kPageCallsVariable names a file, every
//   page function called from outside the page is appended to it as one
//   JSON line, so that the calls can be replayed into another engine:
//     {"page":"main.html","call":"inGameUpdate","args":[5,4294967295,"Name",...],"nested":false}
//   "page" is the last segment of the page's address; texts are JSON
//   strings (a null text as ""), booleans true or false, numbers numbers;
//   "nested" is true for a call that arrived while a script of the page was
//   running (the program answering a call the page made).
#pragma once

#include <windows.h>

namespace htmlengine {

inline constexpr wchar_t kHookWindowClass[] = L"ZelHtmlEngineHook";
inline constexpr wchar_t kContextMenuMessage[] = L"ZelHtmlEngineContextMenu";
inline constexpr ULONG_PTR kEvaluateCopyData = 0x5A454831;
inline constexpr wchar_t kTraceVariable[] = L"ZEL_HTMLENGINE_TRACE";
inline constexpr wchar_t kPageCallsVariable[] = L"ZEL_HTMLENGINE_PAGE_CALLS";

}  // namespace htmlengine

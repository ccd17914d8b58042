// Optional record of what the engine did, for tests that watch a program
// from outside (see hooks.h).
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <string_view>

namespace htmlengine {

// Appends "<kind>\t<text>" as one UTF-8 line to the file named by the trace
// variable; does nothing when it is not set.
void Trace(std::wstring_view kind, std::wstring_view text);

// Appends one page function call (its arguments in automation order, the
// last first) as a JSON line to the file named by the page-calls variable;
// does nothing when it is not set.
void TracePageCall(std::wstring_view pageUrl, std::wstring_view function, const VARIANT* arguments,
                   size_t count, bool nested);

}  // namespace htmlengine

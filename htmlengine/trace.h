// Optional record of what the engine did, for tests that watch a program
// from outside (see hooks.h).
#pragma once

#include <string_view>

namespace htmlengine {

// Appends "<kind>\t<text>" as one UTF-8 line to the file named by the trace
// variable; does nothing when it is not set.
void Trace(std::wstring_view kind, std::wstring_view text);

}  // namespace htmlengine

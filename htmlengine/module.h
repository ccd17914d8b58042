// The engine's module: its handle and the classes it serves.
#pragma once

#include <windows.h>

namespace htmlengine {

HMODULE ThisModule();

// The HTML document class ({25336920-03F9-11CF-8FD0-00AA00686F13}).
inline constexpr CLSID kHtmlDocumentClass = {
    0x25336920, 0x03f9, 0x11cf, {0x8f, 0xd0, 0x00, 0xaa, 0x00, 0x68, 0x6f, 0x13}};

}  // namespace htmlengine

#pragma once

// Calls of the main page's functions as the web services client needs
// them: each gets the main sink (logging when it cannot be had, and then
// calling nothing) and calls the page function of the same name.

#include <cstdint>
#include <string>

namespace MainPage {

// code, then text only when it is not null (the page gets one or two
// arguments).
bool inMsgBox(uint32_t code, const wchar_t* text = nullptr);
bool inRender(bool done);
bool inAdUpdate(const wchar_t* clickUrl, const wchar_t* imageUrl);
// The page's skin text (the app value of the web service's addresses),
// asked of the page once and kept; empty while the page gives none.
std::wstring inSkinInfo();

}  // namespace MainPage

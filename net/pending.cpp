// Stand-ins for the main page's functions until the page bridge lands;
// they go when the real calls do.
#include "host/pagecalls.h"

namespace MainPage {

bool inMsgBox(uint32_t, const wchar_t*) { return false; }
bool inRender(bool) { return false; }
bool inAdUpdate(const wchar_t*, const wchar_t*) { return false; }
std::wstring inSkinInfo() { return std::wstring(); }

}  // namespace MainPage

// The main page's functions for code that only needs to tell the page
// something: each goes through the main sink (which logs when it cannot be
// had, and then nothing is called).
#include "host/pagecalls.h"

#include "host/sinks.h"

namespace MainPage {

bool inMsgBox(uint32_t code, const wchar_t* text)
{
    CMainSink* sink = GetMainSink();
    return sink && sink->inMsgBox(code, text);
}

bool inRender(bool done)
{
    CMainSink* sink = GetMainSink();
    return sink && sink->inRender(done);
}

bool inAdUpdate(const wchar_t* clickUrl, const wchar_t* imageUrl)
{
    CMainSink* sink = GetMainSink();
    return sink && sink->inAdUpdate(clickUrl, imageUrl);
}

std::wstring inSkinInfo()
{
    CMainSink* sink = GetMainSink();
    return sink ? sink->inSkinInfo() : std::wstring();
}

}  // namespace MainPage

#include "host/sinks.h"

#include "net/customdata.h"
#include "shell/errorlog.h"
#include "shell/instance.h"

#include <mshtmhst.h>

#include <cstring>
#include <cwchar>
#include <string>

namespace {

constexpr UINT kCopyCodeCommand = 1;
constexpr size_t kSkinInfoChars = 256;

// Kept once the page has given a usable text; never cleared.
wchar_t SkinInfoCache[kSkinInfoChars] = {};

// The main sink: created once and kept for the rest of the process (the
// process holds one reference of its own, so hosts and connection points
// that let go of it never end it).
CMainSink* g_mainSink = nullptr;

// Puts text on the clipboard as Unicode text.
void CopyToClipboard(const std::wstring& text)
{
    if (!OpenClipboard(nullptr))
        return;
    EmptyClipboard();
    const size_t bytes = (text.size() + 1) * sizeof(wchar_t);
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT | GMEM_SHARE, bytes);
    if (memory) {
        if (void* target = GlobalLock(memory)) {
            memcpy(target, text.c_str(), bytes);
            GlobalUnlock(memory);
            if (!SetClipboardData(CF_UNICODETEXT, memory))
                GlobalFree(memory);
        } else {
            GlobalFree(memory);
        }
    }
    CloseClipboard();
}

}  // namespace

// --- CBrowserSink ----------------------------------------------------------

IUnknown* CBrowserSink::InterfaceFor(REFIID iid)
{
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) ||
        IsEqualIID(iid, DIID_DWebBrowserEvents2) || IsEqualIID(iid, EventIid()))
        return EventDispatch();
    if (IsEqualIID(iid, IID_IDocHostUIHandlerDispatch))
        return UIHandler();
    return nullptr;
}

void CBrowserSink::SetNotifyWindow(HWND window)
{
    if (!notifyWindow_ && window)
        notifyWindow_ = window;
}

HRESULT CBrowserSink::DocumentComplete(IDispatch*, VARIANT* url)
{
    if (!url)
        return E_POINTER;
    ScopedVariant text;
    if (FAILED(VariantChangeType(text.get(), url, 0, VT_BSTR)))
        return S_OK;
    const BSTR address = V_BSTR(text.get());
    if (!address || !*address)
        return S_OK;
    if (wcscmp(address, L"about:blank") == 0)
        return S_OK;
    if (notifyWindow_)
        PostMessageW(notifyWindow_, WM_DOC_COMPLETED, 0, 0);
    return S_OK;
}

bool CBrowserSink::Advise(IUnknown* control)
{
    if (!browser_ || !control)
        return false;
    // Advising twice would lose the first connection's cookie.
    if (Cookie() != kNotAdvised)
        return false;
    control_ = ComPtr<IUnknown>::Share(control);
    if (FAILED(ReadSourceInterface(control)))
        return false;
    return AdviseTo(control) == S_OK;
}

HRESULT CBrowserSink::Unadvise()
{
    if (!control_)
        return S_FALSE;
    HRESULT hr = UnadviseFrom(control_.get());
    if (hr == S_OK)
        control_.reset();
    return hr;
}

bool CBrowserSink::CallOwnPage(const wchar_t* name, const PageArgs& args)
{
    if (!args.Ok())
        return false;
    ScopedVariant result;
    return ExecuteScript(name, args.Data(), args.Count(), browser_.get(), result.get(), nullptr);
}

bool CBrowserSink::inOptionLoad(const wchar_t* name, const wchar_t* value)
{
    if (!name || !value)
        return false;
    PageArgs args;
    args.Text(name).Text(value);
    return CallOwnPage(L"inOptionLoad", args);
}

bool CBrowserSink::inAdUpdate(const wchar_t* clickUrl, const wchar_t* imageUrl)
{
    PageArgs args;
    args.Text(clickUrl).Text(imageUrl);
    return CallOwnPage(L"inAdUpdate", args);
}

bool CBrowserSink::inNewGame(uint32_t gameId, uint32_t affiliate, const wchar_t* name,
                             const wchar_t* description, SIZE* size)
{
    PageArgs args;
    args.Uint(gameId).Uint(affiliate).Text(name).Text(description);
    return args.Ok() && ExecuteScriptForSize(L"inNewGame", args.Data(), size);
}

bool CBrowserSink::inNews(const wchar_t* title, const wchar_t* description, const wchar_t* image,
                          const wchar_t* link, SIZE* size)
{
    PageArgs args;
    args.Text(title).Text(description).Text(image).Text(link);
    return args.Ok() && ExecuteScriptForSize(L"inNews", args.Data(), size);
}

bool CBrowserSink::ExecuteScriptForSize(const wchar_t* name, const VARIANT* arguments, SIZE* size)
{
    if (!arguments || !size)
        return false;
    ScopedVariant result;
    if (!ExecuteScript(name, arguments, 4, browser_.get(), result.get(), nullptr))
        return false;
    if (V_VT(&*result) != VT_DISPATCH || !V_DISPATCH(&*result))
        return false;
    IDispatch* answer = V_DISPATCH(&*result);
    int32_t width = 0;
    if (!GetIntProperty(answer, L"width", &width))
        return false;
    size->cx = width;
    int32_t height = 0;
    if (!GetIntProperty(answer, L"height", &height))
        return false;
    size->cy = height;
    return true;
}

void CBrowserSink::CopyCodeMenu(DWORD x, DWORD y)
{
    HMENU menu = CreatePopupMenu();
    if (!menu)
        return;
    InsertMenuW(menu, 0, MF_BYPOSITION | MF_STRING, kCopyCodeCommand, L"Копировать код");
    const UINT command =
        static_cast<UINT>(TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON, static_cast<int>(x),
                                         static_cast<int>(y), 0, notifyWindow_, nullptr));
    DestroyMenu(menu);
    if (command != kCopyCodeCommand)
        return;
    std::wstring code;
    if (GetGameCustomKey(code))
        CopyToClipboard(code);
}

STDMETHODIMP CBrowserSink::ShowContextMenu(DWORD id, DWORD x, DWORD y, IUnknown*, IDispatch*, HRESULT* result)
try {
    HRESULT answer = S_OK;  // no menu at all
    if (id == CONTEXT_MENU_CONTROL) {
        answer = S_FALSE;  // the browser's own menu (edit fields)
    } else if (id == CONTEXT_MENU_TEXTSELECT) {
        CopyCodeMenu(x, y);
    }
    if (result)
        *result = answer;
    return S_OK;
} catch (...) {
    // Reading the code can fail to allocate; the browser's frames must not
    // see that.
    return E_OUTOFMEMORY;
}

STDMETHODIMP CBrowserSink::GetHostInfo(DWORD* flags, DWORD*)
{
    if (!flags)
        return E_POINTER;
    *flags = DOCHOSTUIFLAG_NO3DBORDER | DOCHOSTUIFLAG_SCROLL_NO;
    return S_OK;
}

STDMETHODIMP CBrowserSink::ShowUI(DWORD, IUnknown*, IUnknown*, IUnknown*, IUnknown*, HRESULT*)
{
    return E_NOTIMPL;
}

STDMETHODIMP CBrowserSink::HideUI()
{
    return E_NOTIMPL;
}

STDMETHODIMP CBrowserSink::UpdateUI()
{
    return E_NOTIMPL;
}

STDMETHODIMP CBrowserSink::EnableModeless(VARIANT_BOOL)
{
    return E_NOTIMPL;
}

STDMETHODIMP CBrowserSink::OnDocWindowActivate(VARIANT_BOOL)
{
    return E_NOTIMPL;
}

STDMETHODIMP CBrowserSink::OnFrameWindowActivate(VARIANT_BOOL)
{
    return E_NOTIMPL;
}

STDMETHODIMP CBrowserSink::ResizeBorder(long, long, long, long, IUnknown*, VARIANT_BOOL)
{
    return E_NOTIMPL;
}

STDMETHODIMP CBrowserSink::TranslateAccelerator(DWORD_PTR, DWORD, DWORD_PTR, DWORD_PTR, BSTR, DWORD, HRESULT*)
{
    return E_NOTIMPL;
}

HRESULT CopyBrowserSettingsKey(LPOLESTR* key)
{
    if (!key)
        return E_INVALIDARG;
    const size_t bytes = (wcslen(BrowserSettingsKey) + 1) * sizeof(wchar_t);
    *key = static_cast<LPOLESTR>(CoTaskMemAlloc(bytes));
    if (*key)
        memcpy(*key, BrowserSettingsKey, bytes);
    return S_OK;
}

STDMETHODIMP CBrowserSink::GetOptionKeyPath(BSTR* key, DWORD)
{
    return CopyBrowserSettingsKey(key);
}

STDMETHODIMP CBrowserSink::GetDropTarget(IUnknown*, IUnknown** replacement)
{
    if (replacement)
        *replacement = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP CBrowserSink::GetExternal(IDispatch** object)
{
    if (!object)
        return E_POINTER;
    *object = nullptr;
    if (!external_)
        return E_NOTIMPL;
    external_->AddRef();
    *object = external_.get();
    return S_OK;
}

STDMETHODIMP CBrowserSink::TranslateUrl(DWORD, BSTR, BSTR* urlOut)
{
    if (urlOut)
        *urlOut = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP CBrowserSink::FilterDataObject(IUnknown*, IUnknown** replacement)
{
    if (replacement)
        *replacement = nullptr;
    return E_NOTIMPL;
}

// --- CMainSink -------------------------------------------------------------

CMainSink* GetMainSink()
{
    if (!g_mainSink) {
        ComObject<CMainSink>* made = nullptr;
        if (FAILED(ComObject<CMainSink>::CreateInstance(&made)) || !made) {
            LogMessage(L"GetMainSink: cannot create instance of CMainSink");
            return nullptr;
        }
        made->AddRef();
        g_mainSink = made;
    }
    return g_mainSink;
}

ComPtr<IDispatch> GetMainScriptObject()
{
    CMainSink* sink = GetMainSink();
    if (!sink || !sink->Browser())
        return nullptr;
    return GetScriptObject(sink->Browser());
}

uint32_t PageRating(uint32_t rating)
{
    return rating == 0 ? 2457 : rating;
}

bool CMainSink::CallMainPage(const wchar_t* name, const PageArgs& args)
{
    if (!args.Ok())
        return false;
    ComPtr<IDispatch> script = GetMainScriptObject();
    if (!script)
        return false;
    ScopedVariant result;
    return ExecuteScript(name, args.Data(), args.Count(), Browser(), result.get(), script.get());
}

bool CMainSink::inRender(bool render)
{
    PageArgs args;
    args.Bool(render);
    return CallMainPage(L"inRender", args);
}

bool CMainSink::inGameUpdate(uint32_t id, uint32_t affiliate, const wchar_t* name, const wchar_t* description,
                             const wchar_t* statusWords, uint32_t release, uint32_t rating, uint32_t installed,
                             uint32_t launches, const wchar_t* custom, const wchar_t* itunesId,
                             const wchar_t* itunesIdFree, const wchar_t* itunesIdIpad,
                             const wchar_t* itunesIdIpadFree, uint32_t track, const wchar_t* utm)
{
    PageArgs args;
    args.Uint(id).Uint(affiliate).Text(name).Text(description).Text(statusWords).Uint(release);
    args.Uint(PageRating(rating)).Uint(installed).Uint(launches).Text(custom);
    args.Text(itunesId).Text(itunesIdFree).Text(itunesIdIpad).Text(itunesIdIpadFree);
    args.Uint(track).Text(utm);
    return CallMainPage(L"inGameUpdate", args);
}

bool CMainSink::inGameSelect(uint32_t id)
{
    PageArgs args;
    args.Uint(id);
    return CallMainPage(L"inGameSelect", args);
}

bool CMainSink::inTestQuivmarkSkin()
{
    ComPtr<IDispatch> script = GetMainScriptObject();
    if (!script) {
        LogMessage(L"CMainSink::inTestQuivmarkSkin: cannot obtain DOM's script object");
        return false;
    }
    ScopedVariant result;
    return ExecuteScript(L"inTestQuivmarkSkin", nullptr, 0, Browser(), result.get(), script.get());
}

bool CMainSink::inMsgBox(uint32_t code, const wchar_t* text)
{
    PageArgs args;
    args.Uint(code);
    if (text)
        args.Text(text);
    return CallMainPage(L"inMsgBox", args);
}

bool CMainSink::inShowShareDialog(uint32_t gameId, uint32_t network)
{
    PageArgs args;
    args.Uint(gameId).Uint(network);
    return CallMainPage(L"inShowShareDialog", args);
}

const wchar_t* CMainSink::inSkinInfo()
{
    if (SkinInfoCache[0])
        return SkinInfoCache;
    // The script object goes on even when there is none: ExecuteScript
    // then looks for it itself.
    ComPtr<IDispatch> script = GetMainScriptObject();
    ScopedVariant result;
    ExecuteScript(L"inSkinInfo", nullptr, 0, Browser(), result.get(), script.get());
    // A value that is no text (null, an object) counts as no text.
    const VARTYPE kind = V_VT(&*result);
    const bool object = kind == VT_DISPATCH || kind == VT_UNKNOWN;
    ScopedVariant text;
    if (!object && VariantChangeType(text.get(), result.get(), 0, VT_BSTR) == S_OK && V_BSTR(text.get())) {
        const size_t length = wcslen(V_BSTR(text.get()));
        if (length >= 1 && length < kSkinInfoChars) {
            memset(SkinInfoCache, 0, sizeof(SkinInfoCache));
            memcpy(SkinInfoCache, V_BSTR(text.get()), length * sizeof(wchar_t));
        }
    }
    return SkinInfoCache;
}

#include "host/browserhost.h"

#include "axhost/axhost.h"
#include "host/pagefeed.h"
#include "host/wrapmain.h"
#include "shell/errorlog.h"
#include "shell/instance.h"
#include "shell/theme.h"

#include <mshtml.h>

#include <cwchar>

namespace {

// {25336920-03F9-11CF-8FD0-00AA00686F13}; MinGW's uuid library lacks it.
constexpr CLSID kHtmlDocumentClsid = {0x25336920, 0x03f9, 0x11cf, {0x8f, 0xd0, 0x00, 0xaa, 0x00, 0x68, 0x6f, 0x13}};
constexpr DWORD kAnyServer =
    CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER;
constexpr UINT kThemeStringTitle = 1;

template <typename T>
ComPtr<T> QueryAs(IUnknown* object, REFIID iid)
{
    return ComPtr<IUnknown>::Share(object).As<T>(iid);
}

void FailMainWindowCreation(int startupError)
{
    ShowStartupError(startupError);
    PostQuitMessage(kExitStartupError);
}

bool RegisteredMessagesExist()
{
    return WM_TRAY_NOTIFY && WM_DOC_COMPLETED && WM_ZEL_EXIT && WM_ZEL_RESTART && WM_HTTP_REQUEST_COMPLETED;
}

bool SetMainWindowIconsAndTitle(HWND window, HMODULE theme)
{
    if (!theme)
        return false;
    auto* bigIcon = static_cast<HICON>(LoadImageW(theme, L"icon.ico", IMAGE_ICON, GetSystemMetrics(SM_CXICON),
                                                  GetSystemMetrics(SM_CYICON), 0));
    if (!bigIcon)
        return false;
    SendMessageW(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(bigIcon));
    auto* smallIcon = static_cast<HICON>(LoadImageW(theme, L"small.ico", IMAGE_ICON,
                                                    GetSystemMetrics(SM_CXSMICON),
                                                    GetSystemMetrics(SM_CYSMICON), 0));
    if (!smallIcon)
        return false;
    SendMessageW(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon));
    const wchar_t* title = ThemeString(kThemeStringTitle);
    if (!title || !*title)
        return false;
    SetWindowTextW(window, title);
    return true;
}

// The system has an HTML engine when an HTML document can be made and run.
bool HtmlEngineAvailable()
{
    ComPtr<IUnknown> document;
    if (FAILED(CoCreateInstance(kHtmlDocumentClsid, nullptr, kAnyServer, IID_IUnknown, document.out_void())) ||
        !document)
        return false;
    if (FAILED(OleRun(document.get())))
        return false;
    return static_cast<bool>(QueryAs<IHTMLDocument2>(document.get(), IID_IHTMLDocument2));
}

bool NavigateTo(IWebBrowser2* browser, const wchar_t* address)
{
    VARIANT url;
    VariantInit(&url);
    V_VT(&url) = VT_BSTR;
    V_BSTR(&url) = SysAllocString(address);
    if (!V_BSTR(&url))
        return false;
    VARIANT empty;
    VariantInit(&empty);
    HRESULT hr = browser->Navigate2(&url, &empty, &empty, &empty, &empty);
    VariantClear(&url);
    return SUCCEEDED(hr);
}

// The main page's steps after the theme's part; the start-up error index
// of the first failure, or -1.
int HostMainPage(HWND window)
{
    CMainSink* sink = GetMainSink();
    if (!sink)
        return kStartupErrorComObject;

    ComObject<CWrapMain>* wrap = nullptr;
    if (FAILED(ComObject<CWrapMain>::CreateInstance(&wrap)) || !wrap)
        return kStartupErrorComObject;
    ComPtr<IUnknown> wrapHolder = ComPtr<IUnknown>::Share(static_cast<IWrapCore*>(wrap));
    wrap->SetWindow(window);
    ComPtr<IDispatch> external = QueryAs<IDispatch>(wrapHolder.get(), IID_IDispatch);
    if (!external)
        return kStartupErrorComObject;
    sink->SetExternal(external.get());
    sink->SetNotifyWindow(window);

    ComObject<CWrapperHost>* made = nullptr;
    if (FAILED(ComObject<CWrapperHost>::CreateInstance(&made)) || !made)
        return kStartupErrorComObject;
    ComPtr<IAxWinHostWindow> host = ComPtr<IAxWinHostWindow>::Share(made);
    host->SetExternalUIHandler(sink->UIHandler());

    if (!HtmlEngineAvailable())
        return kStartupErrorBrowser;

    LPOLESTR browserClass = nullptr;
    if (FAILED(StringFromCLSID(CLSID_WebBrowser, &browserClass)) || !browserClass)
        return kStartupErrorBrowser;
    ComPtr<IUnknown> control;
    HRESULT hr = host->CreateControlEx(browserClass, window, nullptr, control.out(), IID_NULL, nullptr);
    CoTaskMemFree(browserClass);
    if (hr != S_OK || !control)
        return kStartupErrorBrowser;

    ComPtr<IWebBrowser2> browser = QueryAs<IWebBrowser2>(control.get(), IID_IWebBrowser2);
    if (!browser)
        return kStartupErrorComObject;
    sink->SetBrowser(browser.get());
    if (!sink->Advise(control.get()))
        return kStartupErrorComObject;
    if (FAILED(browser->put_Visible(VARIANT_TRUE)))
        return kStartupErrorBrowser;
    if (!NavigateTo(browser.get(), GetMainPageUrl()))
        return kStartupErrorBrowser;
    return -1;
}

}  // namespace

STDMETHODIMP CWrapperHost::GetOverrideKeyPath(LPOLESTR* key, DWORD)
{
    return CopyBrowserSettingsKey(key);
}

void OnCreateMainWindow(HWND window)
{
    if (!RegisteredMessagesExist() || !SetMainWindowIconsAndTitle(window, LoadThemeModule())) {
        FailMainWindowCreation(kStartupErrorManager);
        return;
    }
    const int failure = HostMainPage(window);
    if (failure >= 0)
        FailMainWindowCreation(failure);
}

HWND CreateBrowserHostWindow(HWND parent, HMODULE module, const wchar_t* address)
{
    if (!address)
        return nullptr;
    AxWinInit();
    const DWORD style = parent ? (WS_CHILD | WS_VISIBLE) : (WS_POPUP | WS_VISIBLE);
    return CreateWindowExW(0, kAxHostWindowClass, address, style, 0, 0, 0, 0, parent, nullptr, module, nullptr);
}

bool AttachBrowserSink(HWND hostWindow, CBrowserSink* sink)
{
    if (!hostWindow || !sink)
        return false;
    ComPtr<IUnknown> control = AxGetControl(hostWindow);
    if (!control)
        return false;
    ComPtr<IWebBrowser2> browser = QueryAs<IWebBrowser2>(control.get(), IID_IWebBrowser2);
    if (!browser)
        return false;
    sink->SetBrowser(browser.get());
    ComPtr<IUnknown> host = AxGetHost(hostWindow);
    ComPtr<IAxWinHostWindow> hostWindowObject =
        host ? QueryAs<IAxWinHostWindow>(host.get(), IID_IAxWinHostWindow) : nullptr;
    if (!hostWindowObject || hostWindowObject->SetExternalUIHandler(sink->UIHandler()) != S_OK)
        return false;
    return sink->Advise(control.get());
}

bool AttachSinkToControl(IUnknown* control, CBrowserSink* sink)
{
    if (!control || !sink)
        return false;
    ComPtr<IWebBrowser2> browser = QueryAs<IWebBrowser2>(control, IID_IWebBrowser2);
    if (!browser)
        return false;
    sink->SetBrowser(browser.get());
    return sink->Advise(control);
}

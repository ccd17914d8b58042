#include "social/socialwnd.h"

#include "axhost/axdialog.h"
#include "axhost/axhost.h"
#include "host/browserhost.h"
#include "host/sinks.h"
#include "shell/files.h"
#include "shell/startup.h"
#include "social/logindialog.h"
#include "social/navigation.h"
#include "social/social.h"

#include <exdisp.h>

#include <exception>

namespace {

// The text of an event's address argument; empty when it has none.
std::wstring VariantText(VARIANT* value)
{
    std::wstring text;
    if (!value)
        return text;
    VARIANT converted;
    VariantInit(&converted);
    if (SUCCEEDED(VariantChangeType(&converted, value, 0, VT_BSTR)) && V_BSTR(&converted))
        text.assign(V_BSTR(&converted), SysStringLen(V_BSTR(&converted)));
    VariantClear(&converted);
    return text;
}

// Runs the handling of one browser event: nothing may escape into the
// control that raised it.
template <typename Handling>
HRESULT HandleEvent(Handling handling) noexcept
{
    try {
        handling();
        return S_OK;
    } catch (const std::exception&) {
        return E_FAIL;
    }
}

std::optional<long> VariantLong(VARIANT* value)
{
    if (!value)
        return std::nullopt;
    VARIANT converted;
    VariantInit(&converted);
    std::optional<long> result;
    if (SUCCEEDED(VariantChangeType(&converted, value, 0, VT_I4)))
        result = V_I4(&converted);
    VariantClear(&converted);
    return result;
}

}  // namespace

bool CreateDialogBrowser(HWND dialog, int width, int height, const wchar_t* url, HWND* control)
{
    if (control)
        *control = nullptr;
    if (!dialog || !url)
        return false;
    HWND item = GetDlgItem(dialog, kLoginBrowserItemId);
    if (!IsWindow(item))
        return false;
    ComPtr<IUnknown> unknown = AxGetControl(item);
    ComPtr<IWebBrowser2> browser = unknown.As<IWebBrowser2>(IID_IWebBrowser2);
    if (!browser)
        return false;
    VARIANT address;
    VariantInit(&address);
    V_VT(&address) = VT_BSTR;
    V_BSTR(&address) = SysAllocString(url);
    VARIANT empty;
    VariantInit(&empty);
    HRESULT hr = V_BSTR(&address) ? browser->Navigate2(&address, &empty, &empty, &empty, &empty) : E_OUTOFMEMORY;
    VariantClear(&address);
    if (FAILED(hr))
        return false;
    SetWindowPos(item, nullptr, 0, 0, width, height, SWP_NOZORDER | SWP_NOOWNERZORDER);
    if (control)
        *control = item;
    return true;
}

void CenterDialog(HWND dialog)
{
    MONITORINFO monitor = {};
    monitor.cbSize = sizeof(monitor);
    GetMonitorInfoW(MonitorFromWindow(dialog, MONITOR_DEFAULTTOPRIMARY), &monitor);
    const RECT area = monitor.rcWork;
    RECT bounds = area;
    HWND owner = GetWindow(dialog, GW_OWNER);
    if (owner && IsWindowVisible(owner) && !IsIconic(owner))
        GetWindowRect(owner, &bounds);
    RECT own;
    GetWindowRect(dialog, &own);
    int width = own.right - own.left;
    int height = own.bottom - own.top;
    int x = bounds.left + (bounds.right - bounds.left - width) / 2;
    int y = bounds.top + (bounds.bottom - bounds.top - height) / 2;
    // An owner near the screen's edge must not push the dialog off it: the
    // login page would be out of reach.
    if (x + width > area.right)
        x = area.right - width;
    if (x < area.left)
        x = area.left;
    if (y + height > area.bottom)
        y = area.bottom - height;
    if (y < area.top)
        y = area.top;
    SetWindowPos(dialog, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// --- sinks --------------------------------------------------------------------

HRESULT CSocialSink::DocumentComplete(IDispatch* frame, VARIANT* url)
{
    HRESULT hr = CBrowserSink::DocumentComplete(frame, url);
    HWND dialog = NotifyWindow();
    HWND control = dialog ? GetDlgItem(dialog, kLoginBrowserItemId) : nullptr;
    if (!control || !Browser())
        return hr;
    long width = 0;
    long height = 0;
    Browser()->get_Width(&width);
    Browser()->get_Height(&height);
    SetWindowPos(dialog, nullptr, 0, 0, width, height, SWP_NOZORDER | SWP_NOOWNERZORDER);
    CenterDialog(dialog);
    ShowWindow(control, SW_SHOW);
    return hr;
}

HRESULT CSocialSink::NavigateError(IDispatch*, VARIANT*, VARIANT*, VARIANT* statusCode, VARIANT_BOOL* cancel)
{
    std::optional<long> status = VariantLong(statusCode);
    if (!status)
        return S_OK;
    return HandleEvent([&] { CarryOut(SocialNavigateError(*status), cancel); });
}

void CSocialSink::CarryOut(const SocialNavigation& decision, VARIANT_BOOL* cancel)
{
    if (cancel && decision.cancel)
        *cancel = VARIANT_TRUE;
    if (!decision.openInBrowser.empty())
        OpenWebAddress(GetMainWindow(), decision.openInBrowser.c_str());
    if (decision.closeCode && NotifyWindow())
        SendMessageW(NotifyWindow(), WM_CLOSE, static_cast<WPARAM>(*decision.closeCode), 0);
    // The dialog has only been marked to end: the id is fetched before the
    // modal loop returns.
    if (!decision.fetchUserIdWith.empty())
        FetchFacebookUserId(decision.fetchUserIdWith.c_str());
}

HRESULT CFacebookSink::BeforeNavigate2(IDispatch*, VARIANT* url, VARIANT*, VARIANT*, VARIANT*, VARIANT*,
                                       VARIANT_BOOL* cancel)
{
    if (cancel)
        *cancel = VARIANT_FALSE;
    return HandleEvent([&] { CarryOut(FacebookBeforeNavigate(VariantText(url).c_str()), cancel); });
}

HRESULT CFacebookSink::NavigateComplete2(IDispatch*, VARIANT* url)
{
    return HandleEvent([&] { CarryOut(FacebookNavigateComplete(VariantText(url).c_str()), nullptr); });
}

HRESULT CVkontakteSink::BeforeNavigate2(IDispatch*, VARIANT* url, VARIANT*, VARIANT*, VARIANT*, VARIANT*,
                                        VARIANT_BOOL* cancel)
{
    // An address this sink does not handle leaves the answer as it came.
    return HandleEvent([&] { CarryOut(VkontakteBeforeNavigate(VariantText(url).c_str()), cancel); });
}

HRESULT CVkontakteSink::NavigateComplete2(IDispatch*, VARIANT* url)
{
    return HandleEvent([&] { CarryOut(VkontakteNavigateComplete(VariantText(url).c_str()), nullptr); });
}

// --- the dialog -----------------------------------------------------------------

CSocialWndBase::CSocialWndBase(const wchar_t* url, int width, int height) : m_width(width), m_height(height)
{
    if (url)
        m_url = url;
}

CSocialWndBase::~CSocialWndBase()
{
    if (m_sink)
        m_sink->Unadvise();
}

void CSocialWndBase::KeepSink(CBrowserSink* sink, IUnknown* reference)
{
    m_sink = sink;
    m_sinkReference = ComPtr<IUnknown>::Share(reference);
}

INT_PTR CSocialWndBase::DoModal(HWND owner)
{
    // The host window class must exist before the dialog names it.
    AxWinInit();
    return AxDialogBox(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(kLoginDialogId), owner, DialogProc,
                       reinterpret_cast<LPARAM>(this));
}

BOOL CSocialWndBase::ProcessWindowMessage(HWND dialog, UINT message, WPARAM wParam, LPARAM, LRESULT& result)
{
    switch (message) {
    case WM_INITDIALOG:
        result = OnInitDialog(dialog);
        return TRUE;
    case WM_CLOSE:
        EndDialog(dialog, static_cast<INT_PTR>(wParam));
        result = 0;
        return TRUE;
    default:
        return FALSE;
    }
}

INT_PTR CALLBACK CSocialWndBase::DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG)
        SetWindowLongPtrW(dialog, DWLP_USER, lParam);
    auto* self = reinterpret_cast<CSocialWndBase*>(GetWindowLongPtrW(dialog, DWLP_USER));
    if (!self)
        return FALSE;
    LRESULT result = 0;
    // Nothing may unwind into the dialog manager: a failure inside (an
    // allocation) ends the dialog as a failed login.
    try {
        if (!self->ProcessWindowMessage(dialog, message, wParam, lParam, result))
            return FALSE;
    } catch (...) {
        EndDialog(dialog, kSocialCloseFailed);
        return TRUE;
    }
    if (message == WM_INITDIALOG)
        return static_cast<INT_PTR>(result);
    SetWindowLongPtrW(dialog, DWLP_MSGRESULT, result);
    return TRUE;
}

int RunFacebookLoginDialog(const wchar_t* authorizationUrl)
{
    CSocialWnd<CFacebookSink> dialog(authorizationUrl);
    return static_cast<int>(dialog.DoModal(GetMainWindow()));
}

int RunVkontakteLoginDialog(const wchar_t* authorizationUrl)
{
    CSocialWnd<CVkontakteSink> dialog(authorizationUrl);
    return static_cast<int>(dialog.DoModal(GetMainWindow()));
}

bool ShowShareDialogInPage(uint32_t gameId, uint32_t network)
{
    CMainSink* sink = GetMainSink();
    return sink && sink->inShowShareDialog(gameId, network);
}

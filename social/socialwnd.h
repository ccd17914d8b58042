#pragma once

// The modal login dialog of a social network: dialog 101, whose waiting
// text shows until the network's page has loaded into the WebBrowser
// control (item 1002). The sink (CFacebookSink or CVkontakteSink) watches
// the control's navigation and ends the dialog with a close code (see
// social/logindialog.h) by sending it WM_CLOSE.

#include "axhost/comobject.h"
#include "host/browserhost.h"
#include "host/sinks.h"
#include "shell/com.h"
#include "social/navigation.h"

#include <windows.h>

#include <optional>
#include <string>

inline constexpr int kLoginDialogId = 101;
inline constexpr int kLoginBrowserItemId = 1002;

// Sets up the dialog's browser item: navigates it to url and sizes it to
// width x height pixels at 0,0. control receives the item's window.
bool CreateDialogBrowser(HWND dialog, int width, int height, const wchar_t* url, HWND* control);

// Centres the dialog over its visible owner, else on its monitor's work
// area, keeping it inside that work area.
void CenterDialog(HWND dialog);

// What both networks' sinks share: a completed page sizes and shows the
// dialog, a failed navigation ends it.
class CSocialSink : public CBrowserSink {
public:
    HRESULT DocumentComplete(IDispatch* frame, VARIANT* url) override;
    HRESULT NavigateError(IDispatch* frame, VARIANT* url, VARIANT* targetFrame, VARIANT* statusCode,
                          VARIANT_BOOL* cancel) override;

protected:
    // Carries out a navigation decision: cancel, the user's browser, the
    // close code, then (Facebook) the user id.
    void CarryOut(const SocialNavigation& decision, VARIANT_BOOL* cancel);
};

class CFacebookSink : public CSocialSink {
public:
    static constexpr int kBrowserWidth = 580;
    static constexpr int kBrowserHeight = 400;

    HRESULT BeforeNavigate2(IDispatch* frame, VARIANT* url, VARIANT* flags, VARIANT* targetFrameName,
                            VARIANT* postData, VARIANT* headers, VARIANT_BOOL* cancel) override;
    HRESULT NavigateComplete2(IDispatch* frame, VARIANT* url) override;
};

class CVkontakteSink : public CSocialSink {
public:
    static constexpr int kBrowserWidth = 500;
    static constexpr int kBrowserHeight = 300;

    HRESULT BeforeNavigate2(IDispatch* frame, VARIANT* url, VARIANT* flags, VARIANT* targetFrameName,
                            VARIANT* postData, VARIANT* headers, VARIANT_BOOL* cancel) override;
    HRESULT NavigateComplete2(IDispatch* frame, VARIANT* url) override;
};

// Shared by every CSocialWnd: the dialog procedure's plumbing.
class CSocialWndBase {
public:
    // Disconnects the sink from the control, so that neither keeps the
    // other alive once the dialog is gone.
    virtual ~CSocialWndBase();

    // The dialog's end code, or -1 when it cannot be created.
    INT_PTR DoModal(HWND owner);

protected:
    CSocialWndBase(const wchar_t* url, int width, int height);

    // WM_INITDIALOG: the browser, the sink attached to it, the dialog
    // centred. FALSE when the browser or the sink cannot be set up (only
    // the waiting text shows then).
    virtual BOOL OnInitDialog(HWND dialog) = 0;
    // WM_INITDIALOG and WM_CLOSE; nothing else is handled.
    BOOL ProcessWindowMessage(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);

    // Keeps the sink for the dialog's life (the host and the control's
    // connection hold their own references while they need it).
    void KeepSink(CBrowserSink* sink, IUnknown* reference);

    std::optional<std::wstring> m_url;
    int m_width;
    int m_height;

private:
    static INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

    CBrowserSink* m_sink = nullptr;
    ComPtr<IUnknown> m_sinkReference;
};

template <class Sink>
class CSocialWnd : public CSocialWndBase {
public:
    explicit CSocialWnd(const wchar_t* url) : CSocialWndBase(url, Sink::kBrowserWidth, Sink::kBrowserHeight) {}

protected:
    BOOL OnInitDialog(HWND dialog) override
    {
        HWND control = nullptr;
        if (!CreateDialogBrowser(dialog, m_width, m_height, m_url ? m_url->c_str() : nullptr, &control))
            return FALSE;
        ComObject<Sink>* sink = nullptr;
        if (FAILED(ComObject<Sink>::CreateInstance(&sink)))
            return FALSE;
        KeepSink(sink, sink->EventDispatch());
        if (!AttachBrowserSink(control, sink))
            return FALSE;
        sink->SetNotifyWindow(dialog);
        CenterDialog(dialog);
        return TRUE;
    }
};

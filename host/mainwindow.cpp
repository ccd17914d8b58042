#include "host/mainwindow.h"

#include "catalog/catalog.h"
#include "catalog/games.h"
#include "catalog/storage.h"
#include "host/browserhost.h"
#include "host/pagefeed.h"
#include "host/sinks.h"
#include "host/replies.h"
#include "net/update.h"
#include "net/workers.h"
#include "notify/tray.h"
#include "shell/brand.h"
#include "shell/instance.h"


int MainExitCode = 0;

namespace {

constexpr uint32_t kMessageLaunchFailed = 12;

enum TrayCommand : UINT {
    kCommandAutorun = 259,
    kCommandQuit = 260,
    kCommandHideGameNews = 267,
    kCommandHideSiteNews = 268,
};

void OnTrayNotifyMessage(HWND window, WPARAM, LPARAM lParam)
{
    OnTrayNotify(window, LOWORD(lParam));
}

void OnTaskbarCreated(HWND, WPARAM, LPARAM)
{
    ReAddTrayIcon();
}

using HttpResultHandler = void (*)(const HttpResult* result, HWND window);

struct HttpResultRoute {
    uint32_t kind;
    HttpResultHandler handler;
};

// Kind 6 (a notification whose reply nobody reads) has no row.
constexpr HttpResultRoute HttpResultHandlers[] = {
    {kRequestLogin, OnLoginResult},
    {kRequestSqlReply, OnSqlReply},
    {kRequestUpdate, OnUpdateResult},
    {kRequestBigIcon, WriteGameIconResource},
    {kRequestSmallIcon, WriteGameIconResource},
    {kRequestNewsFeed, StoreNewsFeed},
    {kRequestAdFeed, StoreAdFeed},
};

void OnHttpRequestCompleted(HWND window, WPARAM wParam, LPARAM lParam)
{
    // The message's name is known to every program on the desktop; only
    // the record a running worker of ours was started with, arriving with
    // that worker's handle, is ours to read and free. Anything else is a
    // pointer from outside, and no worker is waited for on its account.
    auto* record = reinterpret_cast<HttpResult*>(wParam);
    if (!RemoveWorkerThread(reinterpret_cast<HANDLE>(lParam), record))
        return;
    HttpResultPtr result(record);
    for (const HttpResultRoute& route : HttpResultHandlers) {
        if (route.kind == result->kind) {
            route.handler(result.get(), window);
            break;
        }
    }
}

void OnRestartRequested(HWND window, WPARAM, LPARAM)
{
    MainExitCode = 9;
    PostMessageW(window, WM_CLOSE, 0, 0);
}

void OnExitRequested(HWND window, WPARAM wParam, LPARAM)
{
    MainExitCode = 10;
    PostMessageW(window, WM_CLOSE, wParam, 0);
}

void OnShowRequested(HWND window, WPARAM, LPARAM)
{
    ShowWindow(window, SW_SHOWNORMAL);
    SetForegroundWindow(window);
}

void OnSelectGameRequested(HWND window, WPARAM wParam, LPARAM)
{
    ShowWindow(window, SW_SHOWNORMAL);
    SetForegroundWindow(window);
    const auto id = static_cast<uint32_t>(wParam);
    bool shown = false;
    {
        QueryCursor cursor(GetCatalogDb());
        Statement* row = cursor.SelectGameById(id);
        shown = row && GameRecord::IsShown(*row);
    }
    if (shown)
        if (CMainSink* sink = GetMainSink())
            sink->inGameSelect(id);
}

using RegisteredMessageHandler = void (*)(HWND window, WPARAM wParam, LPARAM lParam);

UINT SelectGameMessageNow()
{
    return SelectGameMessage();
}

// The ids are read when each message arrives: the select-game message is
// registered late, by the start-up.
struct RegisteredMessageRoute {
    UINT (*message)();
    RegisteredMessageHandler handler;
};

const RegisteredMessageRoute RegisteredMessageHandlers[] = {
    {[]() -> UINT { return WM_DOC_COMPLETED; }, OnDocCompleted},
    {[]() -> UINT { return WM_TRAY_NOTIFY; }, OnTrayNotifyMessage},
    {[]() -> UINT { return WM_TASKBAR_CREATED; }, OnTaskbarCreated},
    {[]() -> UINT { return WM_HTTP_REQUEST_COMPLETED; }, OnHttpRequestCompleted},
    {[]() -> UINT { return WM_ZEL_RESTART; }, OnRestartRequested},
    {[]() -> UINT { return WM_ZEL_EXIT; }, OnExitRequested},
    {[]() -> UINT { return WM_ZEL_SHOW; }, OnShowRequested},
    {SelectGameMessageNow, OnSelectGameRequested},
};

bool DispatchRegisteredMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    // An id of 0 (a message that failed to register) matches nothing.
    if (message < 0xC000)
        return false;
    for (const RegisteredMessageRoute& route : RegisteredMessageHandlers) {
        if (route.message() == message) {
            route.handler(window, wParam, lParam);
            return true;
        }
    }
    return false;
}

bool UpdateTimerBrand()
{
    const CWrapConfig* config = GetWrapConfig();
    return config && config->updateTimer;
}

void OnClose(HWND window)
{
    if (UpdateTimerBrand())
        KillTimer(window, kUpdateTimerId);
    if (CMainSink* sink = GetMainSink())
        sink->Unadvise();
}

void OnCommand(HWND window, WPARAM wParam)
{
    switch (LOWORD(wParam)) {
    case kCommandAutorun:
        ToggleAutorun();
        break;
    case kCommandQuit:
        SendMessageW(window, WM_CLOSE, 0, 0);
        break;
    case kCommandHideGameNews:
        ToggleTrayMenuOption(kCommandHideGameNews, L"HideGameNews");
        break;
    case kCommandHideSiteNews:
        ToggleTrayMenuOption(kCommandHideSiteNews, L"HideSiteNews");
        break;
    default:
        break;
    }
}

}  // namespace

// Nothing thrown below (only an allocation can fail) may reach the system's
// frames that called the procedure. Thrown while the window is made, it
// refuses the creation, which start-up reports like any window that could
// not be made.
LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
try {
    if (DispatchRegisteredMessage(window, message, wParam, lParam))
        return 0;
    switch (message) {
    case WM_CREATE:
        OnCreateMainWindow(window);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(MainExitCode);
        return 0;
    case WM_CLOSE:
        OnClose(window);
        return DefWindowProcW(window, message, wParam, lParam);
    case WM_COMMAND:
        OnCommand(window, wParam);
        return DefWindowProcW(window, message, wParam, lParam);
    case WM_TIMER:
        if (window) {
            KillTimer(window, wParam);
            CheckForUpdates(window);
        }
        return 0;
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
} catch (...) {
    return message == WM_CREATE ? -1 : 0;
}

void ShowLaunchFailureInPage()
{
    if (CMainSink* sink = GetMainSink())
        sink->inMsgBox(kMessageLaunchFailed);
}

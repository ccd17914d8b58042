#include "nettest.h"

#include "catalog/catalog.h"
#include "host/pagecalls.h"
#include "host/replies.h"
#include "net/update.h"
#include "notify/balloons.h"
#include "shell/instance.h"

namespace nettest {

namespace {

constexpr wchar_t kProductKey[] = L"Software\\zel";

std::wstring& SkinText()
{
    static std::wstring skin = L"testskin";
    return skin;
}

std::function<void(bool)>& RenderProbe()
{
    static std::function<void(bool)> probe;
    return probe;
}

void Record(const char* name, std::vector<std::wstring> arguments)
{
    RecordedCalls().push_back({name, std::move(arguments)});
}

std::wstring Text(const wchar_t* text)
{
    return text ? text : L"(null)";
}

}  // namespace

const std::wstring& InstallDir()
{
    static std::wstring dir = [] {
        wchar_t temp[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, temp);
        std::wstring path = std::wstring(temp) + L"zelnet-install";
        CreateDirectoryW(path.c_str(), nullptr);
        return path;
    }();
    return dir;
}

void SetProductString(const wchar_t* name, const std::wstring& value)
{
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, kProductKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return;
    RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
}

void DeleteProductValue(const wchar_t* name)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kProductKey, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS)
        return;
    RegDeleteValueW(key, name);
    RegCloseKey(key);
}

void UseServer(const zeltest::HttpServer& server)
{
    SetProductString(L"ServiceUrl", server.WideUrl());
    SetProductString(L"AdServiceUrl", server.WideUrl("ads/"));
}

sqlite3* FreshCatalog()
{
    static bool pathSet = SetCatalogDbPath(L"nettests.db");
    (void)pathSet;
    sqlite3* db = GetCatalogDb();
    if (db) {
        Exec(db, "delete from games");
        Exec(db, "delete from opt");
        Exec(db, "delete from news");
    }
    return db;
}

void Exec(sqlite3* db, const char* sql)
{
    sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
}

std::string QueryText(sqlite3* db, const char* sql)
{
    sqlite3_stmt* stmt = nullptr;
    std::string text;
    if (sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr) == SQLITE_OK && sqlite3_step(stmt) == SQLITE_ROW) {
        if (const unsigned char* value = sqlite3_column_text(stmt, 0))
            text = reinterpret_cast<const char*>(value);
    }
    sqlite3_finalize(stmt);
    return text;
}

int64_t QueryNumber(sqlite3* db, const char* sql)
{
    sqlite3_stmt* stmt = nullptr;
    int64_t value = -1;
    if (sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr) == SQLITE_OK && sqlite3_step(stmt) == SQLITE_ROW)
        value = sqlite3_column_int64(stmt, 0);
    sqlite3_finalize(stmt);
    return value;
}

ResultWindow::ResultWindow()
{
    static ATOM windowClass = [] {
        WNDCLASSW description = {};
        description.lpfnWndProc = DefWindowProcW;
        description.hInstance = GetModuleHandleW(nullptr);
        description.lpszClassName = L"NetTestResultWindow";
        return RegisterClassW(&description);
    }();
    window_ = CreateWindowExW(0, reinterpret_cast<LPCWSTR>(static_cast<ULONG_PTR>(windowClass)), L"", WS_POPUP,
                              0, 0, 10, 10, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
}

ResultWindow::~ResultWindow()
{
    if (window_)
        DestroyWindow(window_);
}

Completion WaitForCompletion(HWND window, DWORD timeoutMs)
{
    Completion completion;
    DWORD begin = GetTickCount();
    for (;;) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_HTTP_REQUEST_COMPLETED && message.hwnd == window) {
                completion.arrived = true;
                completion.result.reset(reinterpret_cast<HttpResult*>(message.wParam));
                completion.thread = reinterpret_cast<HANDLE>(message.lParam);
                return completion;
            }
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        DWORD elapsed = GetTickCount() - begin;
        if (elapsed >= timeoutMs)
            return completion;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, timeoutMs - elapsed, QS_ALLINPUT);
    }
}

bool CompletionQueued(HWND window)
{
    MSG message;
    return PeekMessageW(&message, window, WM_HTTP_REQUEST_COMPLETED, WM_HTTP_REQUEST_COMPLETED, PM_NOREMOVE);
}

bool CompleteNextRequest(HWND window, DWORD timeoutMs)
{
    Completion completion = WaitForCompletion(window, timeoutMs);
    if (!completion.arrived)
        return false;
    RemoveWorkerThread(completion.thread, completion.result.get());
    const HttpResult* result = completion.result.get();
    if (!result)
        return true;
    switch (result->kind) {
    case kRequestLogin: OnLoginResult(result, window); break;
    case kRequestSqlReply: OnSqlReply(result, window); break;
    case kRequestUpdate: OnUpdateResult(result, window); break;
    case kRequestBigIcon:
    case kRequestSmallIcon: WriteGameIconResource(result, window); break;
    case kRequestNewsFeed: StoreNewsFeed(result, window); break;
    case kRequestAdFeed: StoreAdFeed(result, window); break;
    default: break;
    }
    return true;
}

std::vector<RecordedCall>& RecordedCalls()
{
    static std::vector<RecordedCall> calls;
    return calls;
}

std::vector<RecordedCall> CallsNamed(const std::string& name)
{
    std::vector<RecordedCall> named;
    for (const RecordedCall& call : RecordedCalls()) {
        if (call.name == name)
            named.push_back(call);
    }
    return named;
}

void ClearRecordedCalls()
{
    RecordedCalls().clear();
}

void SetSkinInfo(const std::wstring& skin)
{
    SkinText() = skin;
}

void SetRenderProbe(std::function<void(bool done)> probe)
{
    RenderProbe() = std::move(probe);
}

}  // namespace nettest

// The recording stand-ins: the main page and the balloon stack as the code
// under test sees them.
namespace MainPage {

bool inMsgBox(uint32_t code, const wchar_t* text)
{
    std::vector<std::wstring> arguments{std::to_wstring(code)};
    if (text)
        arguments.push_back(text);
    nettest::Record("inMsgBox", std::move(arguments));
    return true;
}

bool inRender(bool done)
{
    if (nettest::RenderProbe())
        nettest::RenderProbe()(done);
    nettest::Record("inRender", {done ? L"true" : L"false"});
    return true;
}

bool inAdUpdate(const wchar_t* clickUrl, const wchar_t* imageUrl)
{
    nettest::Record("inAdUpdate", {nettest::Text(clickUrl), nettest::Text(imageUrl)});
    return true;
}

std::wstring inSkinInfo()
{
    return nettest::SkinText();
}

}  // namespace MainPage

bool ShowGameBalloon(uint32_t gameId, const wchar_t* name, const wchar_t* description)
{
    nettest::Record("ShowGameBalloon", {std::to_wstring(gameId), nettest::Text(name), nettest::Text(description)});
    return true;
}

bool ShowNewsBalloon(const wchar_t* title, const wchar_t* description, const wchar_t* image, const wchar_t* link)
{
    nettest::Record("ShowNewsBalloon",
                    {nettest::Text(title), nettest::Text(description), nettest::Text(image), nettest::Text(link)});
    return true;
}

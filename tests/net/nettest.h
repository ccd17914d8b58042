#pragma once

// Shared pieces of the web services client tests: the program's settings
// in the test prefix, the catalog, a window that receives the workers'
// results, and a recording stand-in of the main page and the balloons.

#include "httpserver.h"
#include "net/workers.h"

#include <sqlite3.h>
#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace nettest {

// Set in HKCU\Software\zel before anything reads it.
constexpr DWORD kInstalledVersion = 0x0004002A;
// The install directory (with games.dll) of the test prefix.
const std::wstring& InstallDir();

// Points "ServiceUrl" and "AdServiceUrl" of the product key at server
// ("/" and "/ads/").
void UseServer(const zeltest::HttpServer& server);
void SetProductString(const wchar_t* name, const std::wstring& value);
void DeleteProductValue(const wchar_t* name);

// The catalog connection (a catalog file in %APPDATA%), emptied of games,
// options and news; null when the program has no catalog to offer.
sqlite3* FreshCatalog();
void Exec(sqlite3* db, const char* sql);
std::string QueryText(sqlite3* db, const char* sql);  // "" for no row or null
int64_t QueryNumber(sqlite3* db, const char* sql);

// A hidden window that the workers post to.
class ResultWindow {
public:
    ResultWindow();
    ~ResultWindow();
    ResultWindow(const ResultWindow&) = delete;
    ResultWindow& operator=(const ResultWindow&) = delete;
    HWND get() const { return window_; }

private:
    HWND window_ = nullptr;
};

// One "Lorrimel_HttpRequestCompleted" message as it arrived.
struct Completion {
    bool arrived = false;
    HttpResultPtr result;
    HANDLE thread = nullptr;
};
// Waits for the next completion message of window (other messages are
// dispatched meanwhile). The worker is not yet removed from the registry.
Completion WaitForCompletion(HWND window, DWORD timeoutMs = 20000);
// True when a completion message for window is already queued.
bool CompletionQueued(HWND window);
// What the main window's completion handler does: remove the worker, then
// hand the result to the handler of its kind. False when none arrived.
bool CompleteNextRequest(HWND window, DWORD timeoutMs = 20000);

// Calls of the page and the balloon stand-ins, in order.
struct RecordedCall {
    std::string name;
    std::vector<std::wstring> arguments;
};
std::vector<RecordedCall>& RecordedCalls();
std::vector<RecordedCall> CallsNamed(const std::string& name);
void ClearRecordedCalls();
// What the page answers to inSkinInfo.
void SetSkinInfo(const std::wstring& skin);
// Called with its argument whenever the page's inRender is, to look at the
// catalog at that moment; an empty function stops it.
void SetRenderProbe(std::function<void(bool done)> probe);

}  // namespace nettest

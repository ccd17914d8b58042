// Stand-ins for what this subsystem has not built yet, so the program's
// lifecycle links; each goes when the real code lands.
#include "net/custom.h"
#include "net/http.h"
#include "net/replies.h"
#include "net/update.h"
#include "net/workers.h"

void StopWorkerThreads() {}

bool StartAsyncRequest(uint32_t, const char*, const char*, bool, HWND, UINT, uint32_t)
{
    return false;
}

void RemoveWorkerThread(HANDLE) {}

bool ProbeUrl(const wchar_t*)
{
    return false;
}

void OnLoginResult(HttpResult*, HWND) {}
void OnSqlReply(HttpResult*, HWND) {}
void OnUpdateResult(HttpResult*, HWND) {}
void WriteGameIconResource(HttpResult*, HWND) {}
void StoreNewsFeed(HttpResult*, HWND) {}
void StoreAdFeed(HttpResult*, HWND) {}

void CheckForUpdates(HWND) {}
void RequestAdFeed(HWND) {}

bool GetGameCustomKey(std::wstring& key)
{
    key.clear();
    return false;
}

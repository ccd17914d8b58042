#include "net/workers.h"

#include "catalog/options.h"
#include "net/internet.h"
#include "shell/settings.h"

#include <process.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <optional>
#include <string>
#include <vector>

namespace {

// Owned by the worker from its start; the UI thread never touches it again
// once the worker runs.
struct HttpRequest {
    uint32_t kind = 0;
    std::string url;
    std::string headers;
    bool compressed = false;
    HWND targetWindow = nullptr;
    UINT message = 0;
    HANDLE thread = nullptr;
    uint32_t userWord = 0;
};

constexpr DWORD kOpenUrlFlags =
    INTERNET_FLAG_RELOAD | INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTP | INTERNET_FLAG_PRAGMA_NOCACHE;
constexpr size_t kStandardHeaderChars = 1024;
constexpr DWORD kShutdownWaitMs = 30000;

// Thread exit codes; nobody reads them.
constexpr unsigned kWorkerPosted = 0;
constexpr unsigned kWorkerNoResult = 12;
constexpr unsigned kWorkerNoRequest = 22;

// The identity is whatever some program left in the user's registry; a
// value with a line break or another control character would end the
// header line early and add lines of its own, so it counts as unreadable.
std::string WrapperIdentity()
{
    std::optional<std::string> identity = ReadUserIdentity();
    if (!identity)
        return "0";
    for (char c : *identity)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            return "0";
    return *identity;
}

// The standard lines every request carries after the caller's own:
// affiliate number, user identity (upper case, "0" when unknown) and the
// installed version as eight hex digits. nullopt when they do not fit.
std::optional<std::string> StandardHeaderLines()
{
    int affiliate = GetOptionInt(L"affiliate");
    std::string wrapperId = WrapperIdentity();
    char lines[kStandardHeaderChars];
    int length = snprintf(lines, sizeof(lines), "Affiliate: %d\r\nWrapperID: %s\r\nVersion: %08x\r\n",
                          affiliate, wrapperId.c_str(), static_cast<unsigned>(GetInstalledVersion()));
    if (length < 0 || static_cast<size_t>(length) >= sizeof(lines))
        return std::nullopt;
    return std::string(lines, static_cast<size_t>(length));
}

HttpResult* NewHttpResult(uint32_t kind, uint32_t userWord)
{
    auto* result = static_cast<HttpResult*>(calloc(1, sizeof(HttpResult)));
    if (result) {
        result->kind = kind;
        result->status = kHttpNotStarted;
        result->userWord = userWord;
    }
    return result;
}

void ClearResultData(HttpResult* result)
{
    free(result->data);
    result->data = nullptr;
    result->size = 0;
}

// Replaces a compressed body (a 4-byte little-endian inflated length, then
// a zlib stream) by its inflated bytes; sets the status.
void InflateResult(HttpResult* result)
{
    if (result->size < 4) {
        result->status = kHttpInflateFailed;
        return;
    }
    const auto* body = static_cast<const unsigned char*>(result->data);
    uint32_t length = static_cast<uint32_t>(body[0]) | static_cast<uint32_t>(body[1]) << 8 |
                      static_cast<uint32_t>(body[2]) << 16 | static_cast<uint32_t>(body[3]) << 24;
    if (length == 0 || length >= kMaxReplyBytes) {
        result->status = kHttpBadLengthPrefix;
        return;
    }
    auto* inflated = static_cast<Bytef*>(malloc(length));
    if (!inflated) {
        result->status = kHttpNoMemory;
        return;
    }
    uLongf inflatedSize = length;
    if (uncompress(inflated, &inflatedSize, body + 4, result->size - 4) != Z_OK) {
        free(inflated);
        result->status = kHttpInflateFailed;
        return;
    }
    free(result->data);
    result->data = inflated;
    result->size = static_cast<uint32_t>(inflatedSize);
}

unsigned __stdcall AsyncRequestThread(void* argument)
{
    std::unique_ptr<HttpRequest> request(static_cast<HttpRequest*>(argument));
    if (!request)
        return kWorkerNoRequest;
    HWND window = request->targetWindow;
    UINT message = request->message;
    LPARAM thread = reinterpret_cast<LPARAM>(request->thread);
    if (request->url.empty()) {
        PostMessageW(window, message, 0, thread);
        return kWorkerNoRequest;
    }
    HttpResult* result = NewHttpResult(request->kind, request->userWord);
    if (!result) {
        PostMessageW(window, message, 0, thread);
        return kWorkerNoResult;
    }
    if (HttpGetToBuffer(result, request->url.c_str(), request->headers.c_str(), window, message) &&
        result->status == kHttpOk && request->compressed)
        InflateResult(result);
    if (result->status != kHttpOk)
        ClearResultData(result);
    // The receiver owns the record from here; when the window is gone the
    // result would be lost, so free it rather than leak it.
    if (!PostMessageW(window, message, reinterpret_cast<WPARAM>(result), thread))
        FreeHttpResult(result);
    return kWorkerPosted;
}

// The registry of running workers. Only the UI thread changes it; workers
// never take its lock.
struct WorkerNode {
    HANDLE thread;
    uint32_t threadId;
    uint32_t quitMessage;  // posted to the thread at shutdown when not 0
};

CRITICAL_SECTION WorkerListSection;
bool WorkerListReady = false;
std::vector<WorkerNode> WorkerThreadList;

class WorkerListLock {
public:
    WorkerListLock() { EnterCriticalSection(&WorkerListSection); }
    ~WorkerListLock() { LeaveCriticalSection(&WorkerListSection); }
    WorkerListLock(const WorkerListLock&) = delete;
    WorkerListLock& operator=(const WorkerListLock&) = delete;
};

}  // namespace

void FreeHttpResult(HttpResult* result)
{
    if (!result)
        return;
    free(result->data);
    free(result);
}

bool StartAsyncRequest(uint32_t kind, const char* url, const char* extraHeaders, bool compressed,
                       HWND targetWindow, UINT message, uint32_t userWord)
{
    if (!url || !targetWindow || !message)
        return false;
    try {
        auto request = std::make_unique<HttpRequest>();
        request->url = url;
        if (extraHeaders)
            request->headers = extraHeaders;
        std::optional<std::string> standard = StandardHeaderLines();
        if (!standard)
            return false;
        request->headers += *standard;
        request->kind = kind;
        request->compressed = compressed;
        request->targetWindow = targetWindow;
        request->message = message;
        request->userWord = userWord;

        unsigned threadId = 0;
        // Suspended until the handle is stored: the worker posts it back.
        uintptr_t started =
            _beginthreadex(nullptr, 0, AsyncRequestThread, request.get(), CREATE_SUSPENDED, &threadId);
        if (!started)
            return false;
        HANDLE thread = reinterpret_cast<HANDLE>(started);
        request->thread = thread;
        DWORD previousCount = ResumeThread(thread);
        if (previousCount == static_cast<DWORD>(-1) || previousCount >= 2) {
            // It has run none of its code: end it before its request goes.
            TerminateThread(thread, kWorkerNoRequest);
            WaitForSingleObject(thread, INFINITE);
            CloseHandle(thread);
            return false;
        }
        request.release();  // the worker's now
        // When the node cannot be had the worker still posts; its handle
        // stays open so that no later worker can be given the same value.
        return AddWorkerThread(thread, threadId);
    } catch (const std::bad_alloc&) {
        return false;
    }
}

bool HttpGetToBuffer(HttpResult* result, const char* url, const char* headers, HWND window, UINT message)
{
    if (!result)
        return false;
    result->data = nullptr;
    result->size = 0;
    if (!url || !headers || !window || !message) {
        result->status = kHttpNotStarted;
        return false;
    }
    InternetHandle root(InternetOpenW(L"ZEL", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    if (!root) {
        result->status = kHttpNoSession;
        return false;
    }
    InternetHandle request(InternetOpenUrlA(root.get(), url, headers, static_cast<DWORD>(strlen(headers)),
                                            kOpenUrlFlags, 0));
    if (!request) {
        result->status = kHttpOpenFailed;
        return false;
    }
    DWORD announced = 0;
    DWORD fieldSize = sizeof(announced);
    if (!IsHttpOk(request.get()) ||
        !HttpQueryInfoW(request.get(), HTTP_QUERY_CONTENT_LENGTH | HTTP_QUERY_FLAG_NUMBER, &announced,
                        &fieldSize, nullptr) ||
        announced == 0) {
        result->status = kHttpBadReply;
        return false;
    }
    // The length comes from the wire: never allocate what no reply of these
    // services needs.
    void* data = announced < kMaxReplyBytes ? calloc(1, announced) : nullptr;
    if (!data) {
        result->status = kHttpNoMemory;
        return false;
    }
    // A body may arrive in several pieces; read until it is complete or
    // the server has nothing more.
    DWORD total = 0;
    bool readFailed = false;
    while (total < announced) {
        DWORD got = 0;
        if (!InternetReadFile(request.get(), static_cast<char*>(data) + total, announced - total, &got)) {
            readFailed = true;
            break;
        }
        if (got == 0)
            break;
        total += got;
    }
    request.Close();
    root.Close();
    if (readFailed || total != announced) {
        free(data);
        result->status = kHttpReadFailed;
        return !readFailed;
    }
    result->data = data;
    result->size = announced;
    result->status = kHttpOk;
    return true;
}

void InitWorkerThreadList()
{
    if (WorkerListReady)
        return;
    InitializeCriticalSection(&WorkerListSection);
    WorkerListReady = true;
}

bool AddWorkerThread(HANDLE thread, uint32_t threadId)
{
    InitWorkerThreadList();
    WorkerListLock lock;
    try {
        WorkerThreadList.push_back({thread, threadId, 0});
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

bool RemoveWorkerThread(HANDLE thread)
{
    if (!thread || !WorkerListReady)
        return false;
    WorkerListLock lock;
    auto node = std::find_if(WorkerThreadList.begin(), WorkerThreadList.end(),
                             [thread](const WorkerNode& n) { return n.thread == thread; });
    if (node == WorkerThreadList.end())
        return false;
    // The worker has posted and is about to return.
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    WorkerThreadList.erase(node);
    return true;
}

unsigned CountWorkerThreads()
{
    if (!WorkerListReady)
        return 0;
    WorkerListLock lock;
    return static_cast<unsigned>(WorkerThreadList.size());
}

void FreeWorkerThreadList()
{
    if (!WorkerListReady)
        return;
    WorkerListLock lock;
    WorkerThreadList.clear();
}

void StopAllWorkerThreads()
{
    if (!WorkerListReady)
        return;
    WorkerListLock lock;
    if (WorkerThreadList.empty())
        return;
    std::vector<HANDLE> handles;
    handles.reserve(WorkerThreadList.size());
    for (const WorkerNode& node : WorkerThreadList) {
        handles.push_back(node.thread);
        if (node.quitMessage)
            PostThreadMessageW(node.threadId, node.quitMessage, 0, 0);
    }
    // One wait takes at most MAXIMUM_WAIT_OBJECTS handles: wait in groups,
    // all of them together within the one time limit.
    DWORD begin = GetTickCount();
    for (size_t first = 0; first < handles.size(); first += MAXIMUM_WAIT_OBJECTS) {
        DWORD elapsed = GetTickCount() - begin;
        if (elapsed >= kShutdownWaitMs)
            break;
        DWORD count = static_cast<DWORD>(std::min<size_t>(MAXIMUM_WAIT_OBJECTS, handles.size() - first));
        WaitForMultipleObjects(count, handles.data() + first, TRUE, kShutdownWaitMs - elapsed);
    }
    for (HANDLE handle : handles)
        CloseHandle(handle);
    WorkerThreadList.clear();
}

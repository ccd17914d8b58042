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

// The internet session of a request in flight, shared by its worker and
// its registry node so that shutdown can close it: closing the session ends
// a call blocked on a server that accepted the request and never answers.
// Both fields are guarded by the registry's lock.
// Where closing the session does not end the blocked call, the worker
// still ends: it waits for its transfer or for the cancel event, whichever
// comes first.
struct RequestInFlight {
    HINTERNET session = nullptr;
    bool cancelled = false;
    HANDLE cancelEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);

    RequestInFlight() = default;
    ~RequestInFlight()
    {
        if (cancelEvent)
            CloseHandle(cancelEvent);
    }
    RequestInFlight(const RequestInFlight&) = delete;
    RequestInFlight& operator=(const RequestInFlight&) = delete;
};

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
    HttpResult* result = nullptr;  // made before the start, posted by the worker
    std::shared_ptr<RequestInFlight> inFlight;
};

constexpr DWORD kOpenUrlFlags =
    INTERNET_FLAG_RELOAD | INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTP | INTERNET_FLAG_PRAGMA_NOCACHE;
constexpr size_t kStandardHeaderChars = 1024;
constexpr DWORD kShutdownWaitMs = 30000;

// Thread exit codes; nobody reads them.
constexpr unsigned kWorkerPosted = 0;
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

bool FetchToBuffer(HttpResult* result, const char* url, const char* headers, HWND window, UINT message,
                   RequestInFlight* inFlight);

// One transfer, shared by the worker and the thread that performs it; a
// worker whose request shutdown cancelled leaves it to that thread.
struct Transfer {
    std::string url;
    std::string headers;
    HWND window = nullptr;
    UINT message = 0;
    std::shared_ptr<RequestInFlight> inFlight;
    HttpResult result = {};
    bool read = false;

    Transfer() = default;
    ~Transfer() { free(result.data); }
    Transfer(const Transfer&) = delete;
    Transfer& operator=(const Transfer&) = delete;
};

unsigned __stdcall TransferThread(void* argument)
{
    std::unique_ptr<std::shared_ptr<Transfer>> holder(static_cast<std::shared_ptr<Transfer>*>(argument));
    Transfer& transfer = **holder;
    transfer.read = FetchToBuffer(&transfer.result, transfer.url.c_str(), transfer.headers.c_str(),
                                  transfer.window, transfer.message, transfer.inFlight.get());
    return 0;
}

// The GET of a worker, on a thread of its own: a call blocked on a server
// that accepted the request and never answers must not keep the worker
// past shutdown's cancel. When no thread can be had, the worker makes the
// GET itself.
bool RunTransfer(HttpResult* result, const HttpRequest& request)
{
    RequestInFlight* inFlight = request.inFlight.get();
    std::shared_ptr<Transfer> transfer;
    std::unique_ptr<std::shared_ptr<Transfer>> holder;
    try {
        transfer = std::make_shared<Transfer>();
        transfer->url = request.url;
        transfer->headers = request.headers;
        holder = std::make_unique<std::shared_ptr<Transfer>>(transfer);
    } catch (const std::bad_alloc&) {
        transfer.reset();
    }
    uintptr_t started = 0;
    if (transfer && inFlight && inFlight->cancelEvent) {
        transfer->window = request.targetWindow;
        transfer->message = request.message;
        transfer->inFlight = request.inFlight;
        started = _beginthreadex(nullptr, 0, TransferThread, holder.get(), 0, nullptr);
    }
    if (!started)
        return FetchToBuffer(result, request.url.c_str(), request.headers.c_str(), request.targetWindow,
                             request.message, inFlight);
    holder.release();  // the transfer thread's now
    HANDLE thread = reinterpret_cast<HANDLE>(started);
    HANDLE ends[] = {thread, inFlight->cancelEvent};
    DWORD first = WaitForMultipleObjects(2, ends, FALSE, INFINITE);
    CloseHandle(thread);
    if (first != WAIT_OBJECT_0) {
        result->status = kHttpOpenFailed;
        return false;
    }
    result->status = transfer->result.status;
    result->data = transfer->result.data;
    result->size = transfer->result.size;
    transfer->result.data = nullptr;
    return transfer->read;
}

unsigned __stdcall AsyncRequestThread(void* argument)
{
    std::unique_ptr<HttpRequest> request(static_cast<HttpRequest*>(argument));
    if (!request || !request->result)
        return kWorkerNoRequest;
    HWND window = request->targetWindow;
    UINT message = request->message;
    LPARAM thread = reinterpret_cast<LPARAM>(request->thread);
    // The record this worker was registered with is the one it posts: the
    // receiver accepts no other.
    HttpResult* result = request->result;
    if (!request->url.empty() && RunTransfer(result, *request) && result->status == kHttpOk &&
        request->compressed)
        InflateResult(result);
    if (result->status != kHttpOk)
        ClearResultData(result);
    // The receiver owns the record from here; when the window is gone the
    // result would be lost, so free it rather than leak it.
    if (!PostMessageW(window, message, reinterpret_cast<WPARAM>(result), thread))
        FreeHttpResult(result);
    return request->url.empty() ? kWorkerNoRequest : kWorkerPosted;
}

// The registry of running workers. Only the UI thread adds and removes
// nodes; a worker takes the lock only to hand its session in and out.
struct WorkerNode {
    HANDLE thread;
    uint32_t threadId;
    uint32_t quitMessage;      // posted to the thread at shutdown when not 0
    const HttpResult* record;  // the result record the worker was started with
    std::shared_ptr<RequestInFlight> inFlight;
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

// The worker's side of shutdown's cancel: the session is handed in once
// open and taken back before it is closed, so that exactly one side closes
// it. A worker outside the registry (no inFlight) keeps its session alone.
bool HandInSession(RequestInFlight* inFlight, HINTERNET session)
{
    if (!inFlight)
        return true;
    WorkerListLock lock;
    if (inFlight->cancelled)
        return false;
    inFlight->session = session;
    return true;
}

// True when the session is the worker's to close; false when shutdown has
// closed it already.
bool TakeBackSession(RequestInFlight* inFlight)
{
    if (!inFlight)
        return true;
    WorkerListLock lock;
    bool ours = inFlight->session != nullptr;
    inFlight->session = nullptr;
    return ours;
}

// The root handle of one transfer, handed to the registry while it is open.
class TrackedSession {
public:
    explicit TrackedSession(RequestInFlight* inFlight)
        : inFlight_(inFlight),
          root_(InternetOpenW(L"ZEL", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0))
    {
        if (root_ && !HandInSession(inFlight_, root_.get())) {
            root_.Close();
            cancelled_ = true;
        }
    }
    ~TrackedSession() { Close(); }
    TrackedSession(const TrackedSession&) = delete;
    TrackedSession& operator=(const TrackedSession&) = delete;

    HINTERNET get() const { return root_.get(); }
    bool Cancelled() const { return cancelled_; }
    void Close()
    {
        if (!root_)
            return;
        if (TakeBackSession(inFlight_))
            root_.Close();
        else
            root_.release();
    }

private:
    RequestInFlight* inFlight_;
    InternetHandle root_;
    bool cancelled_ = false;
};

bool FetchToBuffer(HttpResult* result, const char* url, const char* headers, HWND window, UINT message,
                   RequestInFlight* inFlight)
{
    if (!result)
        return false;
    result->data = nullptr;
    result->size = 0;
    if (!url || !headers || !window || !message) {
        result->status = kHttpNotStarted;
        return false;
    }
    IdleConnectionsDrop dropOnceClosed;
    TrackedSession root(inFlight);
    if (root.Cancelled()) {
        result->status = kHttpOpenFailed;
        return false;
    }
    if (!root.get()) {
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

// Registers a worker with the record it was started with.
bool AddWorkerThread(WorkerNode node)
{
    InitWorkerThreadList();
    WorkerListLock lock;
    try {
        WorkerThreadList.push_back(std::move(node));
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

// Drops the node of a worker that never ran.
void UnregisterWorker(HANDLE thread)
{
    WorkerListLock lock;
    WorkerThreadList.erase(std::remove_if(WorkerThreadList.begin(), WorkerThreadList.end(),
                                          [thread](const WorkerNode& n) { return n.thread == thread; }),
                           WorkerThreadList.end());
}

// A suspended worker that has run none of its code ends before its request
// and record go.
void EndUnstartedWorker(HANDLE thread)
{
    TerminateThread(thread, kWorkerNoRequest);
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
}

// Closes the session of every request in flight, so that no worker stays
// blocked on a server that does not answer; later sessions are refused.
void CancelRequestsInFlight()
{
    for (const WorkerNode& node : WorkerThreadList) {
        if (!node.inFlight)
            continue;
        if (node.inFlight->session)
            InternetCloseHandle(node.inFlight->session);
        node.inFlight->session = nullptr;
        node.inFlight->cancelled = true;
        if (node.inFlight->cancelEvent)
            SetEvent(node.inFlight->cancelEvent);
    }
}

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
        request->inFlight = std::make_shared<RequestInFlight>();
        HttpResultPtr result(NewHttpResult(kind, userWord));
        if (!result)
            return false;
        request->result = result.get();

        unsigned threadId = 0;
        // Suspended until it is registered with its record: its completion
        // is accepted only for that pair.
        uintptr_t started =
            _beginthreadex(nullptr, 0, AsyncRequestThread, request.get(), CREATE_SUSPENDED, &threadId);
        if (!started)
            return false;
        HANDLE thread = reinterpret_cast<HANDLE>(started);
        request->thread = thread;
        if (!AddWorkerThread({thread, threadId, 0, result.get(), request->inFlight})) {
            EndUnstartedWorker(thread);
            return false;
        }
        DWORD previousCount = ResumeThread(thread);
        if (previousCount == static_cast<DWORD>(-1) || previousCount >= 2) {
            UnregisterWorker(thread);
            EndUnstartedWorker(thread);
            return false;
        }
        // The worker's now.
        result.release();
        request.release();
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

bool HttpGetToBuffer(HttpResult* result, const char* url, const char* headers, HWND window, UINT message)
{
    return FetchToBuffer(result, url, headers, window, message, nullptr);
}

void InitWorkerThreadList()
{
    if (WorkerListReady)
        return;
    InitializeCriticalSection(&WorkerListSection);
    WorkerListReady = true;
}

bool RemoveWorkerThread(HANDLE thread, const HttpResult* record)
{
    if (!thread || !record || !WorkerListReady)
        return false;
    WorkerListLock lock;
    auto node = std::find_if(WorkerThreadList.begin(), WorkerThreadList.end(), [&](const WorkerNode& n) {
        return n.thread == thread && n.record == record;
    });
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
    std::vector<HANDLE> handles;
    {
        WorkerListLock lock;
        if (WorkerThreadList.empty())
            return;
        handles.reserve(WorkerThreadList.size());
        for (const WorkerNode& node : WorkerThreadList) {
            handles.push_back(node.thread);
            if (node.quitMessage)
                PostThreadMessageW(node.threadId, node.quitMessage, 0, 0);
        }
        CancelRequestsInFlight();
    }
    // The lock is free during the wait: a worker whose session was closed
    // takes it once more on its way out. Nodes change only on this thread.
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
    WorkerListLock lock;
    for (HANDLE handle : handles)
        CloseHandle(handle);
    WorkerThreadList.clear();
}

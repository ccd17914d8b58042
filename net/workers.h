#pragma once

// Requests to the web service and the advertisement service that must not
// block the user interface run on a worker thread each. The worker makes one
// HTTP GET, inflates the reply when asked to, and posts an HttpResult to a
// window; the UI thread then removes the worker from the registry of
// running workers (RemoveWorkerThread) and dispatches the result by kind.
// Workers touch no catalog, page or window object: the posted result is the
// only thing that crosses back.

#include <windows.h>

#include <cstdint>
#include <memory>

// Request kinds.
enum : uint32_t {
    kRequestLogin = 1,
    kRequestSqlReply = 2,
    kRequestUpdate = 3,
    kRequestBigIcon = 4,
    kRequestSmallIcon = 5,
    kRequestUrlNotify = 6,
    kRequestNewsFeed = 7,
    kRequestAdFeed = 8,
};

// Result status values.
enum : uint32_t {
    kHttpOk = 0,
    kHttpNoSession = 2,        // InternetOpenW failed
    kHttpOpenFailed = 3,       // connection, name, TLS or request failure
    kHttpBadReply = 4,         // status not 200, or no or a zero Content-Length
    kHttpBadLengthPrefix = 5,  // compressed length prefix 0 or 16 MiB or more
    kHttpNoMemory = 6,         // reply or inflate buffer not allocated (or refused)
    kHttpReadFailed = 7,       // read failed or fewer bytes than announced
    kHttpInflateFailed = 8,    // compressed reply under 4 bytes or not inflatable
    kHttpNotStarted = 9,       // request lacked its URL, headers, window or message
};

// Replies and inflated bodies are refused at this size and above.
constexpr uint32_t kMaxReplyBytes = 0x1000000;

// What a worker posts as wParam of its message (lParam: the worker's thread
// handle). The record and data come from the C heap; the receiver owns them
// and frees them with FreeHttpResult. data is null and size 0 whenever
// status is not 0.
struct HttpResult {
    uint32_t kind;
    uint32_t status;
    void* data;
    uint32_t size;
    uint32_t userWord;
};

void FreeHttpResult(HttpResult* result);

struct HttpResultDeleter {
    void operator()(HttpResult* result) const { FreeHttpResult(result); }
};
using HttpResultPtr = std::unique_ptr<HttpResult, HttpResultDeleter>;

// Starts one GET on a worker of its own (UI thread). url and extraHeaders
// are 8-bit; extraHeaders, when not null, is complete header lines each
// ending in "\r\n", sent before the standard Affiliate, WrapperID and
// Version lines. The result goes to targetWindow as message. True when the
// worker runs and is registered.
bool StartAsyncRequest(uint32_t kind, const char* url, const char* extraHeaders, bool compressed,
                       HWND targetWindow, UINT message, uint32_t userWord);

// One GET into a fresh C-heap buffer stored in result; sets result->status.
// window and message are only checked for being set. True when the body was
// read (status 0, or 7 when it came short).
bool HttpGetToBuffer(HttpResult* result, const char* url, const char* headers, HWND window,
                     UINT message);

// The registry of running workers, under one lock; each worker is kept
// with the result record it was started with (StartAsyncRequest registers
// it), the only record its completion may carry. RemoveWorkerThread waits for the worker of that
// pair, closes its handle and unregisters it; a handle or record that does
// not belong to a registered pair is left alone (neither waited for, closed
// nor freed), and the answer is false.
bool RemoveWorkerThread(HANDLE thread, const HttpResult* record);
unsigned CountWorkerThreads();
void FreeWorkerThreadList();
void InitWorkerThreadList();

// Shutdown: closes the internet sessions of the requests in flight, so that
// no worker stays blocked on a server that never answers, then waits, at
// most 30000 ms in all, for every registered worker and empties the
// registry.
void StopAllWorkerThreads();

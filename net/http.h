#pragma once

// Asynchronous HTTP requests: each runs on a worker thread of its own and
// comes back to the requesting window as a result record posted with
// "Lorrimel_HttpRequestCompleted" (wParam = the record, lParam = the
// worker's thread handle). The receiver owns the record from then on.

#include <windows.h>

#include <cstdint>

// The result record; data and the record itself are freed with free().
struct HttpResult {
    uint32_t kind;
    uint32_t status;  // 0: the reply arrived (and was inflated)
    void* data;       // the reply bytes, not NUL-terminated; null on failure
    uint32_t size;
    uint32_t userWord;
};

// Starts a request on a worker thread; true when the worker runs.
bool StartAsyncRequest(uint32_t kind, const char* url, const char* extraHeaders, bool compressed,
                       HWND targetWindow, UINT message, uint32_t userWord);

// Waits for the worker to end, closes its handle and removes it from the
// registry of running workers. A handle the registry does not hold is left
// alone.
void RemoveWorkerThread(HANDLE thread);

// True when a GET of the address answers HTTP status 200.
bool ProbeUrl(const wchar_t* url);

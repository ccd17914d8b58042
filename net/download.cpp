#include "net/download.h"

#include "net/internet.h"
#include "shell/text.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cwchar>
#include <cwctype>
#include <future>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <system_error>
#include <thread>

namespace {

// Never from the cache, nothing written to it, no cookies, no automatic
// authentication, no dialogs. Redirects are followed here, not by WinINet,
// which would follow a loop for ever.
constexpr DWORD kGetFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_NO_COOKIES |
                            INTERNET_FLAG_NO_AUTH | INTERNET_FLAG_NO_UI | INTERNET_FLAG_PRAGMA_NOCACHE |
                            INTERNET_FLAG_NO_AUTO_REDIRECT;
constexpr DWORD kPostFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_NO_AUTO_REDIRECT;
constexpr DWORD kTransferBytes = 102400;
constexpr DWORD kUrlPartChars = 128;
// As browsers do: chains of a dozen hops still arrive, a loop ends.
constexpr int kMaxRedirects = 20;
// A reply is never followed by another on its connection: bytes a server
// writes past a body must not be read as the next request's reply.
constexpr wchar_t kRequestHeaders[] = L"Connection: close\r\n";

DWORD TransferTimeoutMs = kSyncTransferTimeoutMs;

// The handles of one request, closed request first.
struct RequestHandles {
    InternetHandle root;
    InternetHandle connection;
    InternetHandle request;
};

// The parts of an http or https URL a request is made of.
struct UrlParts {
    std::wstring host;
    std::wstring path;  // with the query, without a fragment; "/" when empty
    INTERNET_PORT port = 0;
    bool secure = false;
};

// nullopt for any other scheme or a URL without a host.
std::optional<UrlParts> SplitUrl(const wchar_t* url)
{
    URL_COMPONENTSW parts = {};
    parts.dwStructSize = sizeof(parts);
    parts.dwHostNameLength = 1;
    parts.dwUrlPathLength = 1;
    if (!InternetCrackUrlW(url, 0, 0, &parts) || !parts.lpszHostName || parts.dwHostNameLength == 0 ||
        (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS))
        return std::nullopt;
    UrlParts split;
    split.host.assign(parts.lpszHostName, parts.dwHostNameLength);
    if (parts.lpszUrlPath)
        split.path.assign(parts.lpszUrlPath, parts.dwUrlPathLength);
    split.path = split.path.substr(0, split.path.find(L'#'));
    if (split.path.empty())
        split.path = L"/";
    split.port = parts.nPort;
    split.secure = parts.nScheme == INTERNET_SCHEME_HTTPS;
    return split;
}

// Connecting, sending and each wait for more of the reply give up after the
// time limit. The limits go on the request itself: Wine's WinINet does not
// hand a root handle's limits down to the handles made under it.
bool LimitTransferTime(HINTERNET request, DWORD limitMs)
{
    for (DWORD option : {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT,
                         INTERNET_OPTION_RECEIVE_TIMEOUT}) {
        DWORD milliseconds = limitMs;
        if (!InternetSetOptionW(request, option, &milliseconds, sizeof(milliseconds)))
            return false;
    }
    return true;
}

// Opens the root handle with the agent, the connection to the URL's host
// and port, and a request for verb on its path with the time limits set;
// nothing is sent yet.
bool OpenRequest(RequestHandles& handles, const wchar_t* userAgent, const wchar_t* verb, const UrlParts& url,
                 DWORD flags, DWORD limitMs)
{
    handles.root = InternetOpenW(userAgent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
    if (!handles.root)
        return false;
    handles.connection = InternetConnectW(handles.root.get(), url.host.c_str(), url.port, nullptr, nullptr,
                                          INTERNET_SERVICE_HTTP, 0, 0);
    if (!handles.connection)
        return false;
    handles.request =
        HttpOpenRequestW(handles.connection.get(), verb, url.path.c_str(), nullptr, nullptr, nullptr, flags, 0);
    return handles.request && LimitTransferTime(handles.request.get(), limitMs);
}

// The status code of a reply, 0 when it cannot be read.
DWORD StatusCode(HINTERNET request)
{
    DWORD code = 0;
    DWORD size = sizeof(code);
    if (!HttpQueryInfoW(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &code, &size, nullptr))
        return 0;
    return code;
}

// A text header of the reply, whole whatever its length; nullopt when it
// is missing.
std::optional<std::wstring> HeaderText(HINTERNET request, DWORD query, DWORD* index = nullptr)
{
    std::wstring text(64, L'\0');
    for (;;) {
        DWORD size = static_cast<DWORD>(text.size() * sizeof(wchar_t));
        DWORD at = index ? *index : 0;
        if (HttpQueryInfoW(request, query, text.data(), &size, &at)) {
            if (index)
                *index = at;
            text.resize(size / sizeof(wchar_t));
            return text;
        }
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER)
            return std::nullopt;
        text.assign(size / sizeof(wchar_t) + 1, L'\0');
    }
}

// Where a redirect of the reply leads, resolved against the address it
// answered; nullopt when the reply is no redirect (it is then the answer).
std::optional<std::wstring> RedirectTarget(HINTERNET request, DWORD status, const std::wstring& from)
{
    if (status != HTTP_STATUS_MOVED && status != HTTP_STATUS_REDIRECT && status != HTTP_STATUS_REDIRECT_METHOD &&
        status != HTTP_STATUS_REDIRECT_KEEP_VERB && status != HTTP_STATUS_PERMANENT_REDIRECT)
        return std::nullopt;
    std::optional<std::wstring> location = HeaderText(request, HTTP_QUERY_LOCATION);
    if (!location)
        return std::nullopt;
    std::wstring target(INTERNET_MAX_URL_LENGTH, L'\0');
    DWORD chars = static_cast<DWORD>(target.size());
    if (!InternetCombineUrlW(from.c_str(), location->c_str(), target.data(), &chars, 0)) {
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER)
            return std::wstring();  // no address to go to: no answer either
        target.assign(chars + 1, L'\0');
        if (!InternetCombineUrlW(from.c_str(), location->c_str(), target.data(), &chars, 0))
            return std::wstring();
    }
    target.resize(chars);
    return target;
}

// The body's length as the reply frames it: none with a transfer coding
// (its chunks are the body, whatever Content-Length says), else the
// Content-Length. False when the reply announces two different lengths: it
// has no body that could be trusted.
bool AnnouncedLength(HINTERNET request, std::optional<uint64_t>& length)
{
    length.reset();
    if (HeaderText(request, HTTP_QUERY_TRANSFER_ENCODING))
        return true;
    DWORD index = 0;
    while (std::optional<std::wstring> text = HeaderText(request, HTTP_QUERY_CONTENT_LENGTH, &index)) {
        // A value that is no number announces nothing (it is not a length
        // of 0); blanks around a number are no part of it.
        const wchar_t* digits = text->c_str() + wcsspn(text->c_str(), L" \t");
        wchar_t* end = nullptr;
        const uint64_t value = _wcstoui64(digits, &end, 10);
        if (!iswdigit(*digits) || end[wcsspn(end, L" \t")] != L'\0')
            continue;
        if (length && *length != value)
            return false;
        length = value;
    }
    return true;
}

// What the calling thread asks of one transfer, and what the transfer
// brings back. Shared with the thread that makes it, which may outlive
// the call when the time limit passes first.
struct Transfer {
    enum class Body { None, IfOk, Always };

    std::wstring url;
    std::wstring agent;
    std::string form;  // POSTed when not empty
    Body body = Body::None;
    DWORD limitMs = 0;
    std::atomic<bool> abandoned{false};
    std::promise<void> done;

    DWORD status = 0;  // of the final reply; 0 when none came
    bool bodyWhole = false;
    std::string data;
};

// Reads the rest of the body. Each round waits once for more, so a
// transfer given up on stops at its next wait; a read never asks for bytes
// past the announced length. False when a read fails, the lengths
// conflict, or the body ends before its announced length.
bool ReadBody(HINTERNET request, Transfer& transfer)
{
    std::optional<uint64_t> announced;
    if (!AnnouncedLength(request, announced))
        return false;
    uint64_t total = 0;
    while (!transfer.abandoned && (!announced || total < *announced)) {
        DWORD available = 0;
        if (!InternetQueryDataAvailable(request, &available, 0, 0))
            return false;
        if (available == 0)
            break;
        DWORD wanted = std::min(available, kTransferBytes);
        if (announced)
            wanted = static_cast<DWORD>(std::min<uint64_t>(wanted, *announced - total));
        const size_t before = transfer.data.size();
        transfer.data.resize(before + wanted);
        DWORD got = 0;
        if (!InternetReadFile(request, &transfer.data[before], wanted, &got))
            return false;
        transfer.data.resize(before + got);
        if (got == 0)
            break;
        total += got;
    }
    return !transfer.abandoned && (!announced || *announced == total);
}

// Sends the request and follows its redirects (301, 302, 303, 307, 308)
// up to the limit; the final reply's status, and its body when wanted. A
// 303, or a 301 or 302 answering a POST, is followed with a GET, as
// browsers do.
void MakeTransfer(Transfer& transfer)
{
    std::wstring url = transfer.url;
    bool post = !transfer.form.empty();
    for (int redirects = 0; redirects <= kMaxRedirects && !transfer.abandoned; ++redirects) {
        std::optional<UrlParts> parts = SplitUrl(url.c_str());
        if (!parts)
            return;
        RequestHandles handles;
        const DWORD flags = (post ? kPostFlags : kGetFlags) | (parts->secure ? INTERNET_FLAG_SECURE : 0);
        if (!OpenRequest(handles, transfer.agent.c_str(), post ? L"POST" : L"GET", *parts, flags,
                         transfer.limitMs) ||
            !HttpSendRequestW(handles.request.get(), kRequestHeaders, static_cast<DWORD>(-1),
                              post ? transfer.form.data() : nullptr,
                              post ? static_cast<DWORD>(transfer.form.size()) : 0))
            return;
        const DWORD status = StatusCode(handles.request.get());
        std::optional<std::wstring> next = RedirectTarget(handles.request.get(), status, url);
        if (!next) {
            transfer.status = status;
            if (transfer.body == Transfer::Body::Always ||
                (transfer.body == Transfer::Body::IfOk && status == HTTP_STATUS_OK))
                transfer.bodyWhole = ReadBody(handles.request.get(), transfer);
            return;
        }
        if (next->empty())
            return;
        if (status == HTTP_STATUS_REDIRECT_METHOD ||
            (status != HTTP_STATUS_REDIRECT_KEEP_VERB && status != HTTP_STATUS_PERMANENT_REDIRECT))
            post = false;
        url = std::move(*next);
    }
}

// The thread's side: the transfer, then the connection pool emptied before
// the caller hears of the end.
void RunTransfer(Transfer& transfer)
{
    {
        IdleConnectionsDrop dropOnceClosed;
        try {
            MakeTransfer(transfer);
        } catch (const std::bad_alloc&) {
            transfer.status = 0;
            transfer.bodyWhole = false;
        }
    }
    try {
        transfer.done.set_value();
    } catch (const std::future_error&) {
    }
}

// Makes the transfer on a thread of its own and waits for it no longer
// than the time limit, whatever the server sends: a trickle holds each
// WinINet wait within the limit but the whole transfer past it, and
// closing the handles does not end a blocked WinINet call under Wine. A
// thread given up on stops at its next wait and only then lets go of the
// transfer. False when the limit passed first.
bool RunWithinLimit(Transfer::Body body, const wchar_t* url, const wchar_t* agent, const char* form,
                    std::shared_ptr<Transfer>& transfer)
{
    try {
        transfer = std::make_shared<Transfer>();
        transfer->url = url;
        transfer->agent = agent;
        transfer->form = form;
    } catch (const std::bad_alloc&) {
        return false;
    }
    transfer->body = body;
    transfer->limitMs = TransferTimeoutMs;
    std::future<void> done = transfer->done.get_future();
    try {
        std::thread([transfer] { RunTransfer(*transfer); }).detach();
    } catch (const std::system_error&) {
        RunTransfer(*transfer);  // no thread to be had: only each wait is limited
    }
    if (done.wait_for(std::chrono::milliseconds(transfer->limitMs)) == std::future_status::ready)
        return true;
    transfer->abandoned = true;
    return false;
}

struct FileCloser {
    void operator()(FILE* file) const { fclose(file); }
};

// Writes the body to filePath; a failed write leaves no partial file.
bool WriteBodyToFile(const std::string& body, const wchar_t* filePath)
{
    std::unique_ptr<FILE, FileCloser> file(_wfopen(filePath, L"wb"));
    if (!file)
        return false;
    bool written = fwrite(body.data(), 1, body.size(), file.get()) == body.size();
    if (fclose(file.release()) != 0)
        written = false;
    if (!written)
        DeleteFileW(filePath);
    return written;
}

}  // namespace

bool IsHttpOk(HINTERNET request)
{
    return StatusCode(request) == HTTP_STATUS_OK;
}

void SetSyncTransferTimeout(DWORD milliseconds)
{
    TransferTimeoutMs = milliseconds;
}

bool ProbeUrl(const wchar_t* url)
{
    if (!url)
        return false;
    std::shared_ptr<Transfer> transfer;
    return RunWithinLimit(Transfer::Body::None, url, kAgentZel, "", transfer) &&
           transfer->status == HTTP_STATUS_OK;
}

bool DownloadUrlToFile(const wchar_t* url, const wchar_t* userAgent, const wchar_t* filePath)
{
    if (!url || !userAgent || !filePath)
        return false;
    std::shared_ptr<Transfer> transfer;
    if (!RunWithinLimit(Transfer::Body::IfOk, url, userAgent, "", transfer) ||
        transfer->status != HTTP_STATUS_OK)
        return false;
    if (!transfer->bodyWhole) {
        DeleteFileW(filePath);
        return false;
    }
    return WriteBodyToFile(transfer->data, filePath);
}

bool HttpPostForm(const wchar_t* url, const wchar_t* filePath, const wchar_t* body)
{
    if (!url || !filePath || !body)
        return false;
    std::optional<UrlParts> parts = SplitUrl(url);
    if (!parts || parts->host.size() >= kUrlPartChars || parts->path.size() >= kUrlPartChars)
        return false;
    Utf8String utf8(body);
    if (!utf8.get() || !*utf8.get())
        return false;
    // Always over TLS, on the URL's own port.
    // An IPv6 address keeps its brackets.
    const bool bare = parts->host.find(L':') != std::wstring::npos && parts->host[0] != L'[';
    const std::wstring host = bare ? L"[" + parts->host + L"]" : parts->host;
    const std::wstring secureUrl = L"https://" + host + L":" + std::to_wstring(parts->port) + parts->path;
    std::shared_ptr<Transfer> transfer;
    if (!RunWithinLimit(Transfer::Body::Always, secureUrl.c_str(), kAgentManager, utf8.get(), transfer) ||
        transfer->status == 0)
        return false;
    // An error reply is stored like any other: the caller reads the text.
    if (!transfer->bodyWhole) {
        DeleteFileW(filePath);
        return false;
    }
    return WriteBodyToFile(transfer->data, filePath);
}

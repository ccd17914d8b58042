#include "net/download.h"

#include "net/internet.h"
#include "shell/text.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cwchar>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <string>

namespace {

// Never from the cache, nothing written to it, no cookies, no automatic
// authentication, no dialogs.
constexpr DWORD kGetFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_NO_COOKIES |
                            INTERNET_FLAG_NO_AUTH | INTERNET_FLAG_NO_UI | INTERNET_FLAG_PRAGMA_NOCACHE;
constexpr DWORD kPostFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_SECURE;
constexpr DWORD kTransferBytes = 102400;
constexpr DWORD kUrlPartChars = 128;

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
bool LimitTransferTime(HINTERNET request)
{
    for (DWORD option : {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT,
                         INTERNET_OPTION_RECEIVE_TIMEOUT}) {
        DWORD milliseconds = TransferTimeoutMs;
        if (!InternetSetOptionW(request, option, &milliseconds, sizeof(milliseconds)))
            return false;
    }
    return true;
}

// Opens the root handle with the agent, the connection to the URL's host
// and port, and a request for verb on its path with the time limits set;
// nothing is sent yet. Redirects are followed when the request is sent.
bool OpenRequest(RequestHandles& handles, const wchar_t* userAgent, const wchar_t* verb, const UrlParts& url,
                 DWORD flags)
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
    return handles.request && LimitTransferTime(handles.request.get());
}

// GETs url with the GET flags (over TLS for https); true when the request
// went out and a reply head came back. Not InternetOpenUrlW: it sends the
// request before its handle could be given the time limits.
bool SendGet(RequestHandles& handles, const wchar_t* url, const wchar_t* userAgent)
{
    std::optional<UrlParts> parts = SplitUrl(url);
    return parts &&
           OpenRequest(handles, userAgent, L"GET", *parts, kGetFlags | (parts->secure ? INTERNET_FLAG_SECURE : 0)) &&
           HttpSendRequestW(handles.request.get(), nullptr, 0, nullptr, 0);
}

struct FileCloser {
    void operator()(FILE* file) const { fclose(file); }
};

// The Content-Length the server announced, when it announced one.
std::optional<uint64_t> AnnouncedLength(HINTERNET request)
{
    wchar_t text[32] = {};
    DWORD size = sizeof(text);
    if (!HttpQueryInfoW(request, HTTP_QUERY_CONTENT_LENGTH, text, &size, nullptr))
        return std::nullopt;
    // A value that is no number announces nothing (it is not a length of 0).
    wchar_t* end = nullptr;
    const uint64_t length = _wcstoui64(text, &end, 10);
    if (end == text || *end)
        return std::nullopt;
    return length;
}

// How much of the body the next read may take: no more than the announced
// length leaves. Bytes past it are not the body's, and reading for them on
// a kept-alive connection waits for the server to close it.
DWORD NextReadBytes(std::optional<uint64_t> announced, uint64_t total)
{
    if (!announced)
        return kTransferBytes;
    return static_cast<DWORD>(std::min<uint64_t>(kTransferBytes, *announced - total));
}

// Writes the rest of the reply body to filePath. A failed read or write,
// or a body that ends before its announced length, leaves no partial file
// behind.
bool WriteReplyToFile(HINTERNET request, const wchar_t* filePath)
{
    std::unique_ptr<FILE, FileCloser> file(_wfopen(filePath, L"wb"));
    if (!file)
        return false;
    std::unique_ptr<char[]> buffer(new (std::nothrow) char[kTransferBytes]);
    bool written = buffer != nullptr;
    const std::optional<uint64_t> announced = AnnouncedLength(request);
    uint64_t total = 0;
    while (written && (!announced || total < *announced)) {
        DWORD got = 0;
        if (!InternetReadFile(request, buffer.get(), NextReadBytes(announced, total), &got)) {
            written = false;
            break;
        }
        if (got == 0)
            break;
        if (fwrite(buffer.get(), 1, got, file.get()) != got)
            written = false;
        total += got;
    }
    if (fclose(file.release()) != 0)
        written = false;
    if (announced && *announced != total)
        written = false;
    if (!written)
        DeleteFileW(filePath);
    return written;
}

}  // namespace

bool IsHttpOk(HINTERNET request)
{
    DWORD code = 0;
    DWORD size = sizeof(code);
    return HttpQueryInfoW(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &code, &size, nullptr) &&
           code == HTTP_STATUS_OK;
}

void SetSyncTransferTimeout(DWORD milliseconds)
{
    TransferTimeoutMs = milliseconds;
}

bool ProbeUrl(const wchar_t* url)
{
    if (!url)
        return false;
    RequestHandles handles;
    return SendGet(handles, url, kAgentZel) && IsHttpOk(handles.request.get());
}

bool DownloadUrlToFile(const wchar_t* url, const wchar_t* userAgent, const wchar_t* filePath)
{
    if (!url || !userAgent || !filePath)
        return false;
    RequestHandles handles;
    if (!SendGet(handles, url, userAgent) || !IsHttpOk(handles.request.get()))
        return false;
    return WriteReplyToFile(handles.request.get(), filePath);
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
    RequestHandles handles;
    if (!OpenRequest(handles, kAgentManager, L"POST", *parts, kPostFlags) ||
        !HttpSendRequestA(handles.request.get(), nullptr, 0, const_cast<char*>(utf8.get()),
                          static_cast<DWORD>(strlen(utf8.get()))))
        return false;
    // An error reply is stored like any other: the caller reads the text.
    return WriteReplyToFile(handles.request.get(), filePath);
}

#include "net/download.h"

#include "net/internet.h"
#include "shell/text.h"

#include <cstdint>
#include <cstdio>
#include <cwchar>
#include <cstring>
#include <memory>
#include <new>
#include <optional>

namespace {

// Never from the cache, nothing written to it, no cookies, no automatic
// authentication, no dialogs.
constexpr DWORD kGetFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_NO_COOKIES |
                            INTERNET_FLAG_NO_AUTH | INTERNET_FLAG_NO_UI | INTERNET_FLAG_PRAGMA_NOCACHE;
constexpr DWORD kPostFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_SECURE;
constexpr DWORD kTransferBytes = 102400;
constexpr DWORD kUrlPartChars = 128;

HINTERNET OpenRoot(const wchar_t* userAgent)
{
    return InternetOpenW(userAgent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
}

// A root handle and the URL opened with the GET flags; both or neither.
bool OpenUrlHandles(const wchar_t* url, const wchar_t* userAgent, InternetHandle& root,
                    InternetHandle& request)
{
    request.Close();
    root = OpenRoot(userAgent);
    if (!root)
        return false;
    request = InternetOpenUrlW(root.get(), url, nullptr, 0, kGetFlags, 0);
    if (!request) {
        root.Close();
        return false;
    }
    return true;
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
    return _wcstoui64(text, nullptr, 10);
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
    uint64_t total = 0;
    while (written) {
        DWORD got = 0;
        if (!InternetReadFile(request, buffer.get(), kTransferBytes, &got)) {
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
    if (std::optional<uint64_t> announced = AnnouncedLength(request); announced && *announced != total)
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

bool ProbeUrl(const wchar_t* url)
{
    if (!url)
        return false;
    InternetHandle root;
    InternetHandle request;
    return OpenUrlHandles(url, kAgentZel, root, request) && IsHttpOk(request.get());
}

bool DownloadUrlToFile(const wchar_t* url, const wchar_t* userAgent, const wchar_t* filePath)
{
    if (!url || !userAgent || !filePath)
        return false;
    InternetHandle root;
    InternetHandle request;
    if (!OpenUrlHandles(url, userAgent, root, request) || !IsHttpOk(request.get()))
        return false;
    return WriteReplyToFile(request.get(), filePath);
}

bool HttpPostForm(const wchar_t* url, const wchar_t* filePath, const wchar_t* body)
{
    if (!url || !filePath || !body)
        return false;
    InternetHandle root(OpenRoot(kAgentManager));
    if (!root)
        return false;
    wchar_t host[kUrlPartChars] = {};
    wchar_t path[kUrlPartChars] = {};
    URL_COMPONENTSW parts = {};
    parts.dwStructSize = sizeof(parts);
    parts.lpszHostName = host;
    parts.dwHostNameLength = kUrlPartChars;
    parts.lpszUrlPath = path;
    parts.dwUrlPathLength = kUrlPartChars;
    if (!InternetCrackUrlW(url, 0, 0, &parts))
        return false;
    InternetHandle connection(
        InternetConnectW(root.get(), host, parts.nPort, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0));
    if (!connection)
        return false;
    InternetHandle request(
        HttpOpenRequestW(connection.get(), L"POST", path, nullptr, nullptr, nullptr, kPostFlags, 0));
    if (!request)
        return false;
    Utf8String utf8(body);
    if (!utf8.get() || !*utf8.get())
        return false;
    if (!HttpSendRequestA(request.get(), nullptr, 0, const_cast<char*>(utf8.get()),
                          static_cast<DWORD>(strlen(utf8.get()))))
        return false;
    // An error reply is stored like any other: the caller reads the text.
    return WriteReplyToFile(request.get(), filePath);
}

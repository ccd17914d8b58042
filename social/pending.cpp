// STAND-INS for the web services client and the page bridge (see
// social/pending.h); each goes when its owner's code is on main.

#include "social/pending.h"

#include "shell/files.h"
#include "shell/settings.h"
#include "shell/text.h"

#include <windows.h>
#include <wininet.h>

#include <cstdio>
#include <memory>
#include <vector>

namespace {

struct InternetHandleCloser {
    void operator()(HINTERNET handle) const { InternetCloseHandle(handle); }
};
using InternetHandle = std::unique_ptr<void, InternetHandleCloser>;

constexpr DWORD kGetFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE |
                            INTERNET_FLAG_NO_COOKIES | INTERNET_FLAG_NO_AUTH | INTERNET_FLAG_NO_UI |
                            INTERNET_FLAG_PRAGMA_NOCACHE;

bool IsHttpOk(HINTERNET request)
{
    DWORD status = 0;
    DWORD size = sizeof(status);
    return HttpQueryInfoW(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size,
                          nullptr) &&
           status == 200;
}

// The reply body into filePath; a failed read or write deletes the file.
bool WriteReplyToFile(HINTERNET request, const wchar_t* filePath)
{
    FILE* file = _wfopen(filePath, L"wb");
    if (!file)
        return false;
    std::vector<char> buffer(102400);
    bool ok = true;
    for (;;) {
        DWORD read = 0;
        if (!InternetReadFile(request, buffer.data(), static_cast<DWORD>(buffer.size()), &read)) {
            ok = false;
            break;
        }
        if (read == 0)
            break;
        if (fwrite(buffer.data(), 1, read, file) != read) {
            ok = false;
            break;
        }
    }
    fclose(file);
    if (!ok)
        DeleteFileW(filePath);
    return ok;
}

}  // namespace

bool DownloadUrlToFile(const wchar_t* url, const wchar_t* userAgent, const wchar_t* filePath)
{
    if (!url || !userAgent || !filePath)
        return false;
    InternetHandle root(InternetOpenW(userAgent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    if (!root)
        return false;
    InternetHandle request(InternetOpenUrlW(root.get(), url, nullptr, 0, kGetFlags, 0));
    if (!request || !IsHttpOk(request.get()))
        return false;
    return WriteReplyToFile(request.get(), filePath);
}

bool HttpPostForm(const wchar_t* url, const wchar_t* filePath, const wchar_t* body)
{
    if (!url || !filePath || !body)
        return false;
    InternetHandle root(
        InternetOpenW(L"Quivmark Game Manager", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    if (!root)
        return false;
    wchar_t host[128] = {};
    wchar_t path[128] = {};
    URL_COMPONENTSW parts = {};
    parts.dwStructSize = sizeof(parts);
    parts.lpszHostName = host;
    parts.dwHostNameLength = ARRAYSIZE(host);
    parts.lpszUrlPath = path;
    parts.dwUrlPathLength = ARRAYSIZE(path);
    if (!InternetCrackUrlW(url, 0, 0, &parts))
        return false;
    InternetHandle connection(InternetConnectW(root.get(), host, parts.nPort, nullptr, nullptr,
                                               INTERNET_SERVICE_HTTP, 0, 0));
    if (!connection)
        return false;
    DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_SECURE;
    InternetHandle request(
        HttpOpenRequestW(connection.get(), L"POST", path, nullptr, nullptr, nullptr, flags, 0));
    if (!request)
        return false;
    Utf8String utf8(body);
    if (!utf8.get() || !*utf8.get())
        return false;
    std::string bytes = utf8.get();
    if (!HttpSendRequestA(request.get(), nullptr, 0, bytes.data(), static_cast<DWORD>(bytes.size())))
        return false;
    return WriteReplyToFile(request.get(), filePath);
}

std::wstring SocialSetting(const wchar_t* name, const wchar_t* builtInDefault)
{
    std::wstring value = builtInDefault ? builtInDefault : L"";
    const wchar_t* keyPath = GetProductKeyPath();
    HKEY key = nullptr;
    if (keyPath && RegOpenKeyExW(HKEY_CURRENT_USER, keyPath, 0, KEY_QUERY_VALUE, &key) == ERROR_SUCCESS) {
        std::optional<std::wstring> stored = ReadRegString(key, name);
        RegCloseKey(key);
        if (stored && !stored->empty())
            value = *stored;
    }
    return value;
}

bool ShowShareDialogInPage(uint32_t, uint32_t)
{
    return false;
}

// The login dialogs need the ActiveX hosting layer; until it is on main no
// dialog can be shown.
#include "social/logindialog.h"

int RunFacebookLoginDialog(const wchar_t*)
{
    return -1;
}

int RunVkontakteLoginDialog(const wchar_t*)
{
    return -1;
}

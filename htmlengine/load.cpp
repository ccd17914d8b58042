#include "load.h"

#include "com.h"

#include <wininet.h>
#include <urlmon.h>

#include <algorithm>
#include <cwctype>
#include <vector>

namespace htmlengine {
namespace {

constexpr size_t kMaxBody = 32u * 1024u * 1024u;
constexpr int kMaxRedirects = 10;

bool StartsWithNoCase(std::wstring_view s, std::wstring_view prefix)
{
    return s.size() >= prefix.size() &&
           CompareStringOrdinal(s.data(), static_cast<int>(prefix.size()), prefix.data(),
                                static_cast<int>(prefix.size()), TRUE) == CSTR_EQUAL;
}

bool EqualsNoCase(std::wstring_view a, std::wstring_view b)
{
    return a.size() == b.size() && StartsWithNoCase(a, b);
}

// Length of the scheme of `url` ("http" for "http://..."), 0 when it has
// none. One-letter schemes are drive letters, not schemes.
size_t SchemeLength(std::wstring_view url)
{
    for (size_t i = 0; i < url.size(); ++i) {
        const wchar_t c = url[i];
        if (c == L':') return i >= 2 ? i : 0;
        const bool ok = iswalpha(c) || (i > 0 && (iswdigit(c) || c == L'+' || c == L'-' || c == L'.'));
        if (!ok) return 0;
    }
    return 0;
}

int HexValue(wchar_t c)
{
    if (c >= L'0' && c <= L'9') return c - L'0';
    if (c >= L'a' && c <= L'f') return c - L'a' + 10;
    if (c >= L'A' && c <= L'F') return c - L'A' + 10;
    return -1;
}

// Decodes %XX escapes (as UTF-8 byte sequences).
std::wstring PercentDecode(std::wstring_view s)
{
    std::string bytes;
    std::wstring out;
    auto flush = [&] {
        if (!bytes.empty()) out += Widen(bytes);
        bytes.clear();
    };
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == L'%' && i + 2 < s.size() && HexValue(s[i + 1]) >= 0 && HexValue(s[i + 2]) >= 0) {
            bytes += static_cast<char>(HexValue(s[i + 1]) * 16 + HexValue(s[i + 2]));
            i += 2;
            continue;
        }
        flush();
        out += s[i];
    }
    flush();
    return out;
}

std::vector<std::wstring> Split(std::wstring_view s, wchar_t sep)
{
    std::vector<std::wstring> parts;
    size_t start = 0;
    for (;;) {
        const size_t end = s.find(sep, start);
        parts.emplace_back(s.substr(start, end == std::wstring_view::npos ? end : end - start));
        if (end == std::wstring_view::npos) break;
        start = end + 1;
    }
    return parts;
}

// Removes "." and ".." segments of a path that starts with '/'.
std::wstring NormalizePath(std::wstring_view path)
{
    std::vector<std::wstring> out;
    const auto parts = Split(path, L'/');
    for (size_t i = 1; i < parts.size(); ++i) {
        const bool last = i + 1 == parts.size();
        if (parts[i] == L".") {
            if (last) out.emplace_back();
        } else if (parts[i] == L"..") {
            if (!out.empty()) out.pop_back();
            if (last) out.emplace_back();
        } else {
            out.push_back(parts[i]);
        }
    }
    std::wstring result;
    for (const auto& p : out) result += L'/' + p;
    return result.empty() ? L"/" : result;
}

// --- res:// -------------------------------------------------------------

class Module {
public:
    explicit Module(const std::wstring& path)
        : h_(LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE)) {}
    Module(const Module&) = delete;
    Module& operator=(const Module&) = delete;
    ~Module() { if (h_) FreeLibrary(h_); }
    HMODULE get() const { return h_; }

private:
    HMODULE h_;
};

// A resource type or name as FindResourceW takes it: digits are numbers,
// "#n" is understood by FindResourceW itself, names are stored upper-case.
class ResourceId {
public:
    explicit ResourceId(std::wstring s) : text_(std::move(s))
    {
        numeric_ = !text_.empty() && text_.size() < 6 &&
                   std::all_of(text_.begin(), text_.end(), [](wchar_t c) { return iswdigit(c); });
        if (!numeric_ && !text_.empty())
            CharUpperBuffW(text_.data(), static_cast<DWORD>(text_.size()));
    }
    LPCWSTR get() const
    {
        return numeric_ ? MAKEINTRESOURCEW(std::stoi(text_)) : text_.c_str();
    }

private:
    std::wstring text_;
    bool numeric_ = false;
};

bool ReadResource(HMODULE module, const ResourceId& type, const ResourceId& name, std::string& out)
{
    HRSRC info = FindResourceW(module, name.get(), type.get());
    if (!info) return false;
    HGLOBAL handle = LoadResource(module, info);
    const void* data = handle ? LockResource(handle) : nullptr;
    const DWORD size = SizeofResource(module, info);
    if (!data) return false;
    out.assign(static_cast<const char*>(data), size);
    return true;
}

std::wstring JoinSegments(const std::vector<std::wstring>& parts, size_t count)
{
    std::wstring s;
    for (size_t i = 0; i < count; ++i) {
        if (i) s += L'/';
        s += parts[i];
    }
    return s;
}

// res://file[/type]/name: with a type part the resource has that type,
// without one it is an HTML resource (23).
LoadResult LoadResourceUrl(const std::wstring& url)
{
    LoadResult result;
    result.url = url;
    std::wstring_view rest = std::wstring_view(url).substr(6);
    // A '#' right after a '/' starts a numeric id ("#23"), any other one the
    // fragment; a query means nothing to a module.
    for (size_t i = 0; i < rest.size(); ++i) {
        if ((rest[i] == L'#' && i > 0 && rest[i - 1] != L'/') || rest[i] == L'?') {
            rest = rest.substr(0, i);
            break;
        }
    }
    auto parts = Split(rest, L'/');
    for (auto& p : parts) p = PercentDecode(p);
    const size_t n = parts.size();
    if (n < 2 || parts[n - 1].empty()) {
        result.error = INET_E_INVALID_URL;
        return result;
    }
    if (n >= 3) {
        Module module(JoinSegments(parts, n - 2));
        if (module.get()) {
            if (!ReadResource(module.get(), ResourceId(parts[n - 2]), ResourceId(parts[n - 1]), result.body))
                result.error = INET_E_RESOURCE_NOT_FOUND;
            return result;
        }
    }
    Module module(JoinSegments(parts, n - 1));
    if (!module.get() ||
        !ReadResource(module.get(), ResourceId(L"23"), ResourceId(parts[n - 1]), result.body))
        result.error = INET_E_RESOURCE_NOT_FOUND;
    return result;
}

// --- http and https -----------------------------------------------------

class InternetHandle {
public:
    explicit InternetHandle(HINTERNET h = nullptr) : h_(h) {}
    InternetHandle(const InternetHandle&) = delete;
    InternetHandle& operator=(const InternetHandle&) = delete;
    ~InternetHandle() { if (h_) InternetCloseHandle(h_); }
    HINTERNET get() const { return h_; }

private:
    HINTERNET h_;
};

struct UrlParts {
    bool secure = false;
    std::wstring host;
    INTERNET_PORT port = 0;
    std::wstring pathAndQuery;  // without the fragment
};

bool CrackHttpUrl(const std::wstring& url, UrlParts& parts)
{
    const std::wstring target(WithoutFragment(url));
    std::vector<wchar_t> host(256), path(4096), extra(4096);
    URL_COMPONENTSW c{};
    c.dwStructSize = sizeof(c);
    c.lpszHostName = host.data();
    c.dwHostNameLength = static_cast<DWORD>(host.size());
    c.lpszUrlPath = path.data();
    c.dwUrlPathLength = static_cast<DWORD>(path.size());
    c.lpszExtraInfo = extra.data();
    c.dwExtraInfoLength = static_cast<DWORD>(extra.size());
    if (!InternetCrackUrlW(target.c_str(), static_cast<DWORD>(target.size()), 0, &c)) return false;
    if (c.nScheme != INTERNET_SCHEME_HTTP && c.nScheme != INTERNET_SCHEME_HTTPS) return false;
    parts.secure = c.nScheme == INTERNET_SCHEME_HTTPS;
    parts.host.assign(c.lpszHostName, c.dwHostNameLength);
    parts.port = c.nPort;
    parts.pathAndQuery.assign(c.lpszUrlPath, c.dwUrlPathLength);
    parts.pathAndQuery.append(c.lpszExtraInfo, c.dwExtraInfoLength);
    if (parts.pathAndQuery.empty()) parts.pathAndQuery = L"/";
    return true;
}

// Only this machine is ever contacted: the engine serves tests, and tests
// use no other network.
bool IsLoopbackHost(std::wstring_view host)
{
    return EqualsNoCase(host, L"localhost") || host.starts_with(L"127.") || host == L"::1" ||
           host == L"[::1]";
}

HRESULT ErrorFromWinInet(DWORD code)
{
    switch (code) {
    case ERROR_INTERNET_NAME_NOT_RESOLVED:
        return INET_E_RESOURCE_NOT_FOUND;
    case ERROR_INTERNET_CANNOT_CONNECT:
        return INET_E_CANNOT_CONNECT;
    case ERROR_INTERNET_TIMEOUT:
        return INET_E_CONNECTION_TIMEOUT;
    case ERROR_INTERNET_INVALID_URL:
        return INET_E_INVALID_URL;
    default:
        return INET_E_DOWNLOAD_FAILURE;
    }
}

std::wstring QueryHeader(HINTERNET request, DWORD which)
{
    std::vector<wchar_t> buffer(1024);
    DWORD size = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
    if (!HttpQueryInfoW(request, which, buffer.data(), &size, nullptr)) {
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return {};
        buffer.resize(size / sizeof(wchar_t) + 1);
        if (!HttpQueryInfoW(request, which, buffer.data(), &size, nullptr)) return {};
    }
    return std::wstring(buffer.data(), size / sizeof(wchar_t));
}

std::wstring CharsetOf(std::wstring_view contentType)
{
    const auto pos = contentType.find(L"charset=");
    if (pos == std::wstring_view::npos) return {};
    std::wstring_view v = contentType.substr(pos + 8);
    if (!v.empty() && (v[0] == L'"' || v[0] == L'\'')) v.remove_prefix(1);
    size_t end = 0;
    while (end < v.size() && (iswalnum(v[end]) || v[end] == L'-' || v[end] == L'_')) ++end;
    return std::wstring(v.substr(0, end));
}

bool IsRedirect(long status)
{
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

LoadResult LoadHttpUrl(const LoadRequest& request)
{
    LoadResult result;
    InternetHandle session(InternetOpenW(L"Mozilla/4.0 (compatible; MSIE 8.0; Windows NT 6.1)",
                                         INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
    if (!session.get()) {
        result.error = INET_E_DOWNLOAD_FAILURE;
        return result;
    }
    DWORD timeout = 15000;
    InternetSetOptionW(session.get(), INTERNET_OPTION_CONNECT_TIMEOUT, &timeout, sizeof(timeout));
    InternetSetOptionW(session.get(), INTERNET_OPTION_RECEIVE_TIMEOUT, &timeout, sizeof(timeout));
    InternetSetOptionW(session.get(), INTERNET_OPTION_SEND_TIMEOUT, &timeout, sizeof(timeout));

    std::wstring url = request.url;
    bool post = !request.postData.empty();
    for (int hop = 0; hop <= kMaxRedirects; ++hop) {
        result.url = url;
        UrlParts parts;
        if (!CrackHttpUrl(url, parts)) {
            result.error = INET_E_INVALID_URL;
            return result;
        }
        if (!IsLoopbackHost(parts.host)) {
            result.error = INET_E_RESOURCE_NOT_FOUND;
            return result;
        }
        InternetHandle connection(InternetConnectW(session.get(), parts.host.c_str(), parts.port,
                                                   nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0));
        if (!connection.get()) {
            result.error = ErrorFromWinInet(GetLastError());
            return result;
        }
        DWORD flags = INTERNET_FLAG_NO_AUTO_REDIRECT | INTERNET_FLAG_RELOAD |
                      INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_NO_UI;
        if (parts.secure) flags |= INTERNET_FLAG_SECURE;
        LPCWSTR accept[] = {L"*/*", nullptr};
        InternetHandle http(HttpOpenRequestW(connection.get(), post ? L"POST" : L"GET",
                                             parts.pathAndQuery.c_str(), nullptr, nullptr, accept,
                                             flags, 0));
        if (!http.get()) {
            result.error = ErrorFromWinInet(GetLastError());
            return result;
        }
        std::wstring headers = request.headers;
        if (post && headers.find(L"Content-Type") == std::wstring::npos)
            headers += L"Content-Type: application/x-www-form-urlencoded\r\n";
        const BOOL sent = HttpSendRequestW(
            http.get(), headers.empty() ? nullptr : headers.c_str(), static_cast<DWORD>(headers.size()),
            post ? const_cast<char*>(request.postData.data()) : nullptr,
            post ? static_cast<DWORD>(request.postData.size()) : 0);
        if (!sent) {
            result.error = ErrorFromWinInet(GetLastError());
            return result;
        }
        DWORD status = 0;
        DWORD size = sizeof(status);
        if (!HttpQueryInfoW(http.get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size,
                            nullptr)) {
            result.error = INET_E_DOWNLOAD_FAILURE;
            return result;
        }
        result.status = static_cast<long>(status);
        if (IsRedirect(result.status)) {
            const std::wstring location = QueryHeader(http.get(), HTTP_QUERY_LOCATION);
            if (!location.empty()) {
                std::wstring next = ResolveUrl(url, location);
                // A redirect without a fragment keeps the one of the address
                // that was asked for.
                const auto hash = url.find(L'#');
                if (next.find(L'#') == std::wstring::npos && hash != std::wstring::npos)
                    next += url.substr(hash);
                if (result.status == 303 || ((result.status == 301 || result.status == 302) && post))
                    post = false;
                url = next;
                continue;
            }
        }
        result.charset = CharsetOf(QueryHeader(http.get(), HTTP_QUERY_CONTENT_TYPE));
        char buffer[16384];
        DWORD read = 0;
        while (InternetReadFile(http.get(), buffer, sizeof(buffer), &read) && read > 0) {
            if (result.body.size() + read > kMaxBody) {
                result.error = INET_E_DOWNLOAD_FAILURE;
                return result;
            }
            result.body.append(buffer, read);
        }
        return result;
    }
    result.error = INET_E_REDIRECT_FAILED;
    return result;
}

UINT CodePageOf(std::wstring_view charset)
{
    if (charset.empty()) return 0;
    if (EqualsNoCase(charset, L"utf-8") || EqualsNoCase(charset, L"utf8")) return CP_UTF8;
    if (EqualsNoCase(charset, L"windows-1251") || EqualsNoCase(charset, L"cp1251")) return 1251;
    if (EqualsNoCase(charset, L"koi8-r")) return 20866;
    if (EqualsNoCase(charset, L"windows-1252") || EqualsNoCase(charset, L"iso-8859-1")) return 1252;
    if (EqualsNoCase(charset, L"utf-16") || EqualsNoCase(charset, L"utf-16le")) return 1200;
    return 0;
}

std::wstring MetaCharset(const std::string& bytes)
{
    const std::string head = bytes.substr(0, 2048);
    std::wstring lower = Widen(head);
    std::transform(lower.begin(), lower.end(), lower.begin(), [](wchar_t c) { return towlower(c); });
    return CharsetOf(lower);
}

std::wstring Decode(const std::string& bytes, UINT codePage, DWORD flags)
{
    if (bytes.empty()) return {};
    const int n = MultiByteToWideChar(codePage, flags, bytes.data(), static_cast<int>(bytes.size()),
                                      nullptr, 0);
    if (n <= 0) return {};
    std::wstring out(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(codePage, flags, bytes.data(), static_cast<int>(bytes.size()), out.data(), n);
    return out;
}

}  // namespace

std::wstring_view WithoutFragment(std::wstring_view url)
{
    const auto hash = url.find(L'#');
    return hash == std::wstring_view::npos ? url : url.substr(0, hash);
}

std::wstring ResolveUrl(std::wstring_view base, std::wstring_view ref)
{
    if (ref.empty()) return std::wstring(base);
    if (SchemeLength(ref) > 0) return std::wstring(ref);
    const size_t schemeLength = SchemeLength(base);
    if (schemeLength == 0 || base.substr(schemeLength, 3) != L"://") return std::wstring(ref);
    const std::wstring_view scheme = base.substr(0, schemeLength);
    if (ref.starts_with(L"//")) return std::wstring(scheme) + L":" + std::wstring(ref);

    const std::wstring_view afterScheme = base.substr(schemeLength + 3);
    size_t authorityEnd = afterScheme.find_first_of(L"/?#");
    if (authorityEnd == std::wstring_view::npos) authorityEnd = afterScheme.size();
    const std::wstring origin(base.substr(0, schemeLength + 3 + authorityEnd));
    std::wstring_view tail = afterScheme.substr(authorityEnd);  // path?query#fragment

    if (ref[0] == L'#') return std::wstring(WithoutFragment(base)) + std::wstring(ref);
    const size_t pathEnd = std::min(tail.find_first_of(L"?#"), tail.size());
    const std::wstring_view path = tail.substr(0, pathEnd);
    if (ref[0] == L'?') return origin + std::wstring(path) + std::wstring(ref);

    std::wstring_view refPath = ref;
    std::wstring_view refRest;
    const size_t refPathEnd = ref.find_first_of(L"?#");
    if (refPathEnd != std::wstring_view::npos) {
        refPath = ref.substr(0, refPathEnd);
        refRest = ref.substr(refPathEnd);
    }
    std::wstring merged;
    if (refPath.starts_with(L'/')) {
        merged = refPath;
    } else {
        const size_t slash = path.rfind(L'/');
        merged = slash == std::wstring_view::npos ? L"/" : std::wstring(path.substr(0, slash + 1));
        merged += refPath;
    }
    return origin + NormalizePath(merged) + std::wstring(refRest);
}

LoadResult Load(const LoadRequest& request)
{
    const std::wstring& url = request.url;
    if (StartsWithNoCase(url, L"about:")) {
        LoadResult result;
        result.url = url;
        return result;
    }
    if (StartsWithNoCase(url, L"res://")) return LoadResourceUrl(url);
    if (StartsWithNoCase(url, L"http://") || StartsWithNoCase(url, L"https://")) return LoadHttpUrl(request);
    LoadResult result;
    result.url = url;
    result.error = INET_E_UNKNOWN_PROTOCOL;
    return result;
}

std::wstring DecodePage(const std::string& bytes, std::wstring_view charset)
{
    if (bytes.size() >= 3 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0)
        return Decode(bytes.substr(3), CP_UTF8, 0);
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
        static_cast<unsigned char>(bytes[1]) == 0xFE)
        return std::wstring(reinterpret_cast<const wchar_t*>(bytes.data() + 2), (bytes.size() - 2) / 2);
    UINT codePage = CodePageOf(charset);
    if (!codePage) codePage = CodePageOf(MetaCharset(bytes));
    if (codePage == 1200)
        return std::wstring(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / 2);
    if (codePage) return Decode(bytes, codePage, 0);
    std::wstring text = Decode(bytes, CP_UTF8, MB_ERR_INVALID_CHARS);
    if (!text.empty() || bytes.empty()) return text;
    return Decode(bytes, CP_ACP, 0);
}

}  // namespace htmlengine

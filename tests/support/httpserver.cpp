#include <winsock2.h>
#include <ws2tcpip.h>

#include "httpserver.h"

#include <zlib.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstring>

namespace zeltest {

namespace {

constexpr size_t kMaxHeaderBytes = 64 * 1024;

// Winsock stays started while any server or helper needs it.
class WinsockUser {
public:
    WinsockUser()
    {
        WSADATA data;
        ok_ = WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }
    ~WinsockUser()
    {
        if (ok_)
            WSACleanup();
    }
    WinsockUser(const WinsockUser&) = delete;
    WinsockUser& operator=(const WinsockUser&) = delete;

private:
    bool ok_ = false;
};

WinsockUser& Winsock()
{
    static WinsockUser user;
    return user;
}

bool EqualNoCase(const std::string& a, const std::string& b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return tolower(static_cast<unsigned char>(x)) == tolower(static_cast<unsigned char>(y));
           });
}

std::string Trim(const std::string& text)
{
    size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return std::string();
    size_t last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

const char* ReasonFor(int status)
{
    switch (status) {
    case 200: return "OK";
    case 301: return "Moved Permanently";
    case 302: return "Found";
    case 303: return "See Other";
    case 307: return "Temporary Redirect";
    case 400: return "Bad Request";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 500: return "Internal Server Error";
    case 503: return "Service Unavailable";
    default: return "Status";
    }
}

bool SendAll(SOCKET socket, const char* data, size_t size)
{
    while (size > 0) {
        int chunk = static_cast<int>(std::min<size_t>(size, 1 << 20));
        int sent = send(socket, data, chunk, 0);
        if (sent <= 0)
            return false;
        data += sent;
        size -= static_cast<size_t>(sent);
    }
    return true;
}

bool SendAll(SOCKET socket, const std::string& text)
{
    return SendAll(socket, text.data(), text.size());
}

// Reads the request line, the headers and a body of Content-Length bytes.
bool ReadRequest(SOCKET socket, SeenRequest& request)
{
    std::string received;
    size_t headerEnd = std::string::npos;
    char buffer[4096];
    while ((headerEnd = received.find("\r\n\r\n")) == std::string::npos) {
        if (received.size() > kMaxHeaderBytes)
            return false;
        int got = recv(socket, buffer, sizeof(buffer), 0);
        if (got <= 0)
            return false;
        received.append(buffer, static_cast<size_t>(got));
        // Not HTTP (a TLS hello, say): hang up at once rather than wait.
        if (!isupper(static_cast<unsigned char>(received[0])))
            return false;
    }
    std::string head = received.substr(0, headerEnd);
    std::string rest = received.substr(headerEnd + 4);

    size_t lineEnd = head.find("\r\n");
    std::string requestLine = head.substr(0, lineEnd);
    size_t firstSpace = requestLine.find(' ');
    size_t secondSpace = requestLine.find(' ', firstSpace + 1);
    if (firstSpace == std::string::npos || secondSpace == std::string::npos)
        return false;
    request.method = requestLine.substr(0, firstSpace);
    request.target = requestLine.substr(firstSpace + 1, secondSpace - firstSpace - 1);
    size_t question = request.target.find('?');
    request.path = request.target.substr(0, question);
    request.query = question == std::string::npos ? std::string() : request.target.substr(question + 1);

    size_t position = lineEnd == std::string::npos ? head.size() : lineEnd + 2;
    while (position < head.size()) {
        size_t end = head.find("\r\n", position);
        if (end == std::string::npos)
            end = head.size();
        std::string line = head.substr(position, end - position);
        size_t colon = line.find(':');
        if (colon != std::string::npos)
            request.headers.emplace_back(Trim(line.substr(0, colon)), Trim(line.substr(colon + 1)));
        position = end + 2;
    }

    size_t length = 0;
    if (std::optional<std::string> value = request.Header("Content-Length"))
        length = static_cast<size_t>(strtoull(value->c_str(), nullptr, 10));
    while (rest.size() < length) {
        int got = recv(socket, buffer, sizeof(buffer), 0);
        if (got <= 0)
            return false;
        rest.append(buffer, static_cast<size_t>(got));
    }
    request.body = rest.substr(0, length);
    return true;
}

}  // namespace

std::optional<std::string> SeenRequest::Header(const std::string& name) const
{
    for (const auto& [key, value] : headers) {
        if (EqualNoCase(key, name))
            return value;
    }
    return std::nullopt;
}

std::vector<std::string> SeenRequest::HeaderNames() const
{
    std::vector<std::string> names;
    for (const auto& header : headers)
        names.push_back(header.first);
    return names;
}

HttpReply TextReply(std::string body, int status)
{
    HttpReply reply;
    reply.status = status;
    reply.body = std::move(body);
    return reply;
}

HttpReply StatusReply(int status)
{
    return TextReply(std::string(), status);
}

HttpReply RedirectReply(int status, const std::string& location)
{
    HttpReply reply = StatusReply(status);
    reply.headers.emplace_back("Location", location);
    return reply;
}

std::string CompressedBody(const std::string& plain, uint32_t announcedLength)
{
    uLongf size = compressBound(static_cast<uLong>(plain.size()));
    std::string stream(size, '\0');
    compress2(reinterpret_cast<Bytef*>(stream.data()), &size, reinterpret_cast<const Bytef*>(plain.data()),
              static_cast<uLong>(plain.size()), Z_BEST_COMPRESSION);
    stream.resize(size);
    std::string body(4, '\0');
    for (int i = 0; i < 4; ++i)
        body[static_cast<size_t>(i)] = static_cast<char>((announcedLength >> (8 * i)) & 0xFF);
    return body + stream;
}

std::string CompressedBody(const std::string& plain)
{
    return CompressedBody(plain, static_cast<uint32_t>(plain.size()));
}

HttpReply CompressedReply(const std::string& plain)
{
    return TextReply(CompressedBody(plain));
}

HttpServer::HttpServer(Handler fallback) : HttpServer()
{
    HandleOthers(std::move(fallback));
}

HttpServer::HttpServer() : listener_(INVALID_SOCKET)
{
    Winsock();
    stopEvent_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (listener == INVALID_SOCKET)
        return;
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    int size = sizeof(address);
    if (bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
        listen(listener, SOMAXCONN) != 0 ||
        getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
        closesocket(listener);
        return;
    }
    listener_ = listener;
    port_ = ntohs(address.sin_port);
    acceptThread_ = std::thread([this] { AcceptLoop(); });
}

HttpServer::~HttpServer()
{
    Stop();
    if (stopEvent_)
        CloseHandle(stopEvent_);
}

void HttpServer::Stop()
{
    if (stopEvent_)
        SetEvent(stopEvent_);
    if (listener_ != INVALID_SOCKET) {
        closesocket(static_cast<SOCKET>(listener_));
        listener_ = INVALID_SOCKET;
    }
    if (acceptThread_.joinable())
        acceptThread_.join();
    std::vector<std::thread> connections;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (uintptr_t client : openSockets_)
            shutdown(static_cast<SOCKET>(client), SD_BOTH);
        connections.swap(connections_);
    }
    for (std::thread& connection : connections)
        connection.join();
}

std::string HttpServer::Url(const std::string& path) const
{
    return "http://127.0.0.1:" + std::to_string(port_) + "/" + path;
}

std::wstring HttpServer::WideUrl(const std::string& path) const
{
    std::string url = Url(path);
    return std::wstring(url.begin(), url.end());
}

std::wstring HttpServer::Origin() const
{
    return L"http://127.0.0.1:" + std::to_wstring(port_);
}

void HttpServer::Reply(const std::string& path, HttpReply reply)
{
    Handle(path, [reply](const SeenRequest&) { return reply; });
}

void HttpServer::Handle(const std::string& path, Handler handler)
{
    std::lock_guard<std::mutex> lock(mutex_);
    handlers_[path] = std::move(handler);
}

void HttpServer::HandleOthers(Handler fallback)
{
    std::lock_guard<std::mutex> lock(mutex_);
    fallback_ = std::move(fallback);
}

std::vector<SeenRequest> HttpServer::Requests() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
}

size_t HttpServer::CountRequests(const std::string& path) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return static_cast<size_t>(std::count_if(requests_.begin(), requests_.end(),
                                             [&](const SeenRequest& r) { return r.path == path; }));
}

std::optional<SeenRequest> HttpServer::LastRequest(const std::string& path) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto it = requests_.rbegin(); it != requests_.rend(); ++it) {
        if (it->path == path)
            return *it;
    }
    return std::nullopt;
}

void HttpServer::ClearRequests()
{
    std::lock_guard<std::mutex> lock(mutex_);
    requests_.clear();
}

bool HttpServer::WaitForRequests(const std::string& path, size_t count, DWORD timeoutMs) const
{
    std::unique_lock<std::mutex> lock(mutex_);
    return arrived_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
        return static_cast<size_t>(std::count_if(requests_.begin(), requests_.end(), [&](const SeenRequest& r) {
                   return r.path == path;
               })) >= count;
    });
}

void HttpServer::AcceptLoop()
{
    for (;;) {
        SOCKET client = accept(static_cast<SOCKET>(listener_), nullptr, nullptr);
        if (client == INVALID_SOCKET)
            return;
        std::lock_guard<std::mutex> lock(mutex_);
        if (WaitForSingleObject(stopEvent_, 0) == WAIT_OBJECT_0) {
            closesocket(client);
            return;
        }
        openSockets_.push_back(client);
        connections_.emplace_back([this, client] { Serve(client); });
    }
}

HttpReply HttpServer::ReplyFor(const SeenRequest& request)
{
    Handler handler;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        requests_.push_back(request);
        auto found = handlers_.find(request.path);
        handler = found != handlers_.end() ? found->second : fallback_;
    }
    arrived_.notify_all();
    return handler ? handler(request) : StatusReply(404);
}

void HttpServer::Serve(uintptr_t client)
{
    SeenRequest request;
    if (ReadRequest(static_cast<SOCKET>(client), request)) {
        HttpReply reply = ReplyFor(request);
        bool released = true;
        if (reply.gate) {
            HANDLE waits[] = {reply.gate, stopEvent_};
            released = WaitForMultipleObjects(2, waits, FALSE, INFINITE) == WAIT_OBJECT_0;
        }
        if (released && SendReply(client, reply) &&
            (reply.stray.empty() || (WaitForSingleObject(stopEvent_, reply.strayAfterMs) == WAIT_TIMEOUT &&
                                     SendAll(static_cast<SOCKET>(client), reply.stray))) &&
            reply.keepOpen)
            WaitForSingleObject(stopEvent_, INFINITE);
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        openSockets_.erase(std::remove(openSockets_.begin(), openSockets_.end(), client), openSockets_.end());
    }
    shutdown(static_cast<SOCKET>(client), SD_SEND);
    closesocket(static_cast<SOCKET>(client));
}

bool HttpServer::SendReply(uintptr_t client, const HttpReply& reply)
{
    SOCKET socket = static_cast<SOCKET>(client);
    std::string head = "HTTP/1.1 " + std::to_string(reply.status) + " " +
                       (reply.reason.empty() ? ReasonFor(reply.status) : reply.reason) + "\r\n";
    for (const auto& [name, value] : reply.headers)
        head += name + ": " + value + "\r\n";
    switch (reply.framing) {
    case HttpReply::Framing::ContentLength:
        head += "Content-Length: " + std::to_string(reply.announcedLength.value_or(reply.body.size())) + "\r\n";
        break;
    case HttpReply::Framing::Chunked:
        head += "Transfer-Encoding: chunked\r\n";
        break;
    case HttpReply::Framing::CloseDelimited:
        break;
    }
    head += reply.keepOpen ? "\r\n" : "Connection: close\r\n\r\n";

    std::string body = reply.body;
    if (reply.framing == HttpReply::Framing::Chunked) {
        char size[32];
        snprintf(size, sizeof(size), "%zx\r\n", body.size());
        body = body.empty() ? "0\r\n\r\n" : size + body + "\r\n0\r\n\r\n";
    }
    if (reply.trickleMs) {
        if (!SendAll(socket, head))
            return false;
        for (char c : body) {
            if (WaitForSingleObject(stopEvent_, reply.trickleMs) == WAIT_OBJECT_0 || !SendAll(socket, &c, 1))
                return false;
        }
        return true;
    }
    // The head and the (first half of the) body in one write, as a server
    // answering at once sends them.
    if (reply.pauseMs == 0 || body.size() < 2)
        return SendAll(socket, head + body);
    size_t half = body.size() / 2;
    if (!SendAll(socket, head + body.substr(0, half)))
        return false;
    if (WaitForSingleObject(stopEvent_, reply.pauseMs) == WAIT_OBJECT_0)
        return false;
    return SendAll(socket, body.data() + half, body.size() - half);
}

uint16_t UnusedLocalPort()
{
    Winsock();
    SOCKET probe = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (probe == INVALID_SOCKET)
        return 0;
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int size = sizeof(address);
    uint16_t port = 0;
    if (bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0 &&
        getsockname(probe, reinterpret_cast<sockaddr*>(&address), &size) == 0)
        port = ntohs(address.sin_port);
    closesocket(probe);
    return port;
}

namespace {

int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Percent-decoding of one form value ("+" is a blank).
std::string FormDecode(const std::string& text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '+') {
            out += ' ';
        } else if (text[i] == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 && HexValue(text[i + 2]) >= 0) {
            out += static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

}  // namespace

std::map<std::string, std::string> ParseForm(const std::string& text)
{
    std::map<std::string, std::string> fields;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find('&', start);
        if (end == std::string::npos)
            end = text.size();
        std::string pair = text.substr(start, end - start);
        if (!pair.empty()) {
            size_t eq = pair.find('=');
            fields[FormDecode(pair.substr(0, eq))] =
                eq == std::string::npos ? std::string() : FormDecode(pair.substr(eq + 1));
        }
        start = end + 1;
    }
    return fields;
}

}  // namespace zeltest

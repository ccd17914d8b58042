#include "http_server.h"

#include <ws2tcpip.h>

#include <algorithm>
#include <cctype>

namespace testkit {
namespace {

const char* ReasonOf(int status)
{
    switch (status) {
    case 200: return "OK";
    case 301: return "Moved Permanently";
    case 302: return "Found";
    case 303: return "See Other";
    case 404: return "Not Found";
    case 500: return "Internal Server Error";
    case 503: return "Service Unavailable";
    default: return "Status";
    }
}

bool SendAll(SOCKET s, const std::string& data)
{
    size_t sent = 0;
    while (sent < data.size()) {
        const int n = send(s, data.data() + sent, static_cast<int>(data.size() - sent), 0);
        if (n <= 0) return false;
        sent += static_cast<size_t>(n);
    }
    return true;
}

}  // namespace

HttpServer::HttpServer(Handler handler) : handler_(std::move(handler))
{
    WSADATA wsa;
    if (WSAStartup(MAKEWORD(2, 2), &wsa) != 0) return;
    listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (listener_ == INVALID_SOCKET) return;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    int length = sizeof(address);
    if (bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
        listen(listener_, 16) != 0 ||
        getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        closesocket(listener_);
        listener_ = INVALID_SOCKET;
        return;
    }
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { serve(); });
}

HttpServer::~HttpServer()
{
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    if (listener_ != INVALID_SOCKET) closesocket(listener_);
    WSACleanup();
}

std::wstring HttpServer::url(const std::string& path) const
{
    return L"http://127.0.0.1:" + std::to_wstring(port_) + std::wstring(path.begin(), path.end());
}

std::vector<HttpRequest> HttpServer::requests() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
}

void HttpServer::serve()
{
    while (!stop_) {
        fd_set ready;
        FD_ZERO(&ready);
        FD_SET(listener_, &ready);
        timeval wait{0, 50 * 1000};
        if (select(0, &ready, nullptr, nullptr, &wait) <= 0) continue;
        SOCKET client = accept(listener_, nullptr, nullptr);
        if (client == INVALID_SOCKET) continue;
        answer(client);
        shutdown(client, SD_SEND);
        closesocket(client);
    }
}

void HttpServer::answer(SOCKET client)
{
    std::string data;
    char buffer[4096];
    size_t headerEnd = std::string::npos;
    while ((headerEnd = data.find("\r\n\r\n")) == std::string::npos) {
        const int n = recv(client, buffer, sizeof(buffer), 0);
        if (n <= 0) return;
        data.append(buffer, static_cast<size_t>(n));
    }
    HttpRequest request;
    const std::string head = data.substr(0, headerEnd);
    size_t lineEnd = head.find("\r\n");
    const std::string first = head.substr(0, lineEnd);
    const size_t space1 = first.find(' ');
    const size_t space2 = first.find(' ', space1 + 1);
    request.method = first.substr(0, space1);
    request.target = first.substr(space1 + 1, space2 - space1 - 1);
    while (lineEnd != std::string::npos && lineEnd < head.size()) {
        const size_t next = head.find("\r\n", lineEnd + 2);
        const std::string line = head.substr(lineEnd + 2, next == std::string::npos ? std::string::npos : next - lineEnd - 2);
        const size_t colon = line.find(':');
        if (colon != std::string::npos) {
            std::string name = line.substr(0, colon);
            std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
            std::string value = line.substr(colon + 1);
            value.erase(0, value.find_first_not_of(' '));
            request.headers[name] = value;
        }
        lineEnd = next;
    }
    request.body = data.substr(headerEnd + 4);
    const auto length = request.headers.find("content-length");
    const size_t wanted = length == request.headers.end() ? 0 : std::stoul(length->second);
    while (request.body.size() < wanted) {
        const int n = recv(client, buffer, sizeof(buffer), 0);
        if (n <= 0) break;
        request.body.append(buffer, static_cast<size_t>(n));
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        requests_.push_back(request);
    }
    const HttpResponse response = handler_(request);
    std::string reply = "HTTP/1.0 " + std::to_string(response.status) + " " + ReasonOf(response.status) + "\r\n";
    reply += "Content-Type: " + response.contentType + "\r\n";
    reply += "Content-Length: " + std::to_string(response.body.size()) + "\r\n";
    reply += "Connection: close\r\n";
    for (const auto& [name, value] : response.headers) reply += name + ": " + value + "\r\n";
    reply += "\r\n";
    reply += response.body;
    SendAll(client, reply);
}

}  // namespace testkit

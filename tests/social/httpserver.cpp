#include "httpserver.h"

#include <ws2tcpip.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>

namespace zeltest {

namespace {

const char* ReasonPhrase(int status)
{
    switch (status) {
    case 200: return "OK";
    case 302: return "Found";
    case 400: return "Bad Request";
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
        int n = send(s, data.data() + sent, static_cast<int>(data.size() - sent), 0);
        if (n <= 0)
            return false;
        sent += static_cast<size_t>(n);
    }
    return true;
}

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

}  // namespace

std::string HttpRequest::Query() const
{
    size_t q = target.find('?');
    return q == std::string::npos ? std::string() : target.substr(q + 1);
}

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
            std::string name = FormDecode(pair.substr(0, eq));
            std::string value = eq == std::string::npos ? std::string() : FormDecode(pair.substr(eq + 1));
            fields[name] = value;
        }
        start = end + 1;
    }
    return fields;
}

LocalHttpServer::LocalHttpServer(Handler handler) : handler_(std::move(handler))
{
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0)
        return;
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET)
        return;
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    int length = sizeof(address);
    if (bind(s, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 || listen(s, 16) != 0 ||
        getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        closesocket(s);
        return;
    }
    port_ = ntohs(address.sin_port);
    listener_ = s;
    thread_ = std::thread([this] { Serve(); });
}

LocalHttpServer::~LocalHttpServer()
{
    if (listener_ != INVALID_SOCKET) {
        closesocket(listener_);
        if (thread_.joinable())
            thread_.join();
    }
    WSACleanup();
}

std::wstring LocalHttpServer::Origin() const
{
    return L"http://127.0.0.1:" + std::to_wstring(port_);
}

std::vector<HttpRequest> LocalHttpServer::Requests() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
}

void LocalHttpServer::ClearRequests()
{
    std::lock_guard<std::mutex> lock(mutex_);
    requests_.clear();
}

void LocalHttpServer::SetHandler(Handler handler)
{
    std::lock_guard<std::mutex> lock(mutex_);
    handler_ = std::move(handler);
}

void LocalHttpServer::Serve()
{
    for (;;) {
        SOCKET connection = accept(listener_, nullptr, nullptr);
        if (connection == INVALID_SOCKET)
            return;
        HandleConnection(connection);
        closesocket(connection);
    }
}

void LocalHttpServer::HandleConnection(SOCKET connection)
{
    std::string data;
    char buffer[8192];
    size_t headerEnd = std::string::npos;
    while (headerEnd == std::string::npos) {
        int n = recv(connection, buffer, sizeof(buffer), 0);
        if (n <= 0)
            return;
        data.append(buffer, static_cast<size_t>(n));
        headerEnd = data.find("\r\n\r\n");
    }
    HttpRequest request;
    std::string head = data.substr(0, headerEnd);
    size_t lineEnd = head.find("\r\n");
    std::string requestLine = head.substr(0, lineEnd);
    size_t sp1 = requestLine.find(' ');
    size_t sp2 = requestLine.find(' ', sp1 + 1);
    request.method = requestLine.substr(0, sp1);
    request.target = requestLine.substr(sp1 + 1, sp2 - sp1 - 1);
    size_t pos = lineEnd == std::string::npos ? head.size() : lineEnd + 2;
    while (pos < head.size()) {
        size_t end = head.find("\r\n", pos);
        if (end == std::string::npos)
            end = head.size();
        std::string line = head.substr(pos, end - pos);
        size_t colon = line.find(':');
        if (colon != std::string::npos) {
            std::string name = line.substr(0, colon);
            std::transform(name.begin(), name.end(), name.begin(),
                           [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
            size_t valueStart = line.find_first_not_of(' ', colon + 1);
            request.headers[name] = valueStart == std::string::npos ? "" : line.substr(valueStart);
        }
        pos = end + 2;
    }
    size_t contentLength = 0;
    if (auto it = request.headers.find("content-length"); it != request.headers.end())
        contentLength = static_cast<size_t>(std::strtoul(it->second.c_str(), nullptr, 10));
    request.body = data.substr(headerEnd + 4);
    while (request.body.size() < contentLength) {
        int n = recv(connection, buffer, sizeof(buffer), 0);
        if (n <= 0)
            break;
        request.body.append(buffer, static_cast<size_t>(n));
    }

    Handler handler;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        requests_.push_back(request);
        handler = handler_;
    }
    HttpResponse response = handler ? handler(request) : HttpResponse{404, "text/plain", "no handler", {}};
    std::string reply = "HTTP/1.1 " + std::to_string(response.status) + " " + ReasonPhrase(response.status) +
                        "\r\nContent-Type: " + response.contentType +
                        "\r\nContent-Length: " + std::to_string(response.body.size()) +
                        "\r\nConnection: close\r\nCache-Control: no-store\r\n";
    for (const auto& [name, value] : response.headers)
        reply += name + ": " + value + "\r\n";
    reply += "\r\n";
    if (request.method != "HEAD")
        reply += response.body;
    SendAll(connection, reply);
    shutdown(connection, SD_SEND);
}

}  // namespace zeltest

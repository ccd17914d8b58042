#pragma once

// A small HTTP server on 127.0.0.1 for the social tests: it plays the
// networks' OAuth pages and APIs, answers each request through a handler
// and remembers every request as it arrived.

#include <winsock2.h>

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace zeltest {

struct HttpRequest {
    std::string method;
    std::string target;  // path and query as sent
    std::map<std::string, std::string> headers;  // names in lower case
    std::string body;

    std::string Path() const { return target.substr(0, target.find('?')); }
    std::string Query() const;
};

struct HttpResponse {
    int status = 200;
    std::string contentType = "text/html";
    std::string body;
    std::vector<std::pair<std::string, std::string>> headers;
};

class LocalHttpServer {
public:
    using Handler = std::function<HttpResponse(const HttpRequest&)>;

    explicit LocalHttpServer(Handler handler);
    ~LocalHttpServer();
    LocalHttpServer(const LocalHttpServer&) = delete;
    LocalHttpServer& operator=(const LocalHttpServer&) = delete;

    bool Started() const { return listener_ != INVALID_SOCKET; }
    uint16_t Port() const { return port_; }
    // "http://127.0.0.1:<port>"
    std::wstring Origin() const;
    std::vector<HttpRequest> Requests() const;
    void ClearRequests();
    void SetHandler(Handler handler);

private:
    void Serve();
    void HandleConnection(SOCKET connection);

    SOCKET listener_ = INVALID_SOCKET;
    uint16_t port_ = 0;
    mutable std::mutex mutex_;
    Handler handler_;
    std::vector<HttpRequest> requests_;
    std::thread thread_;
};

// Percent-decoding of one form value ("+" is a blank).
std::string FormDecode(const std::string& text);
// name=value pairs separated by "&", decoded.
std::map<std::string, std::string> ParseForm(const std::string& text);

}  // namespace zeltest

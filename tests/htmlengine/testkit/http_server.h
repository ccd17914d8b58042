// A tiny HTTP/1.0 server on 127.0.0.1 for tests: one thread, one request
// per connection, answers made by the test's handler.
#pragma once

#include <winsock2.h>

#include <atomic>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace testkit {

struct HttpRequest {
    std::string method;
    std::string target;  // path and query as sent
    std::map<std::string, std::string> headers;  // names in lower case
    std::string body;
};

struct HttpResponse {
    int status = 200;
    std::string contentType = "text/html; charset=utf-8";
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;
};

class HttpServer {
public:
    using Handler = std::function<HttpResponse(const HttpRequest&)>;

    // Listens on an ephemeral port of 127.0.0.1 until destroyed.
    explicit HttpServer(Handler handler);
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;
    ~HttpServer();

    bool listening() const { return listener_ != INVALID_SOCKET; }
    unsigned short port() const { return port_; }
    // "http://127.0.0.1:<port><path>"
    std::wstring url(const std::string& path) const;
    // Every request served so far, in order.
    std::vector<HttpRequest> requests() const;

private:
    void serve();
    void answer(SOCKET client);

    Handler handler_;
    SOCKET listener_ = INVALID_SOCKET;
    unsigned short port_ = 0;
    std::atomic<bool> stop_{false};
    mutable std::mutex mutex_;
    std::vector<HttpRequest> requests_;
    std::thread thread_;
};

}  // namespace testkit

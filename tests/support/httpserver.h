#pragma once

// A small HTTP/1.1 server for tests: Winsock, bound to 127.0.0.1 on a port
// the system picks, run on threads of the test executable. Replies are
// scripted per path, or made by one handler for every other path; every
// request is recorded as the server saw it. Each connection serves one
// request and is closed after the reply, unless the reply keeps it open.

#include <windows.h>

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace zeltest {

struct SeenRequest {
    std::string method;
    std::string target;  // path and query as sent, e.g. "/update.php?app=x"
    std::string path;    // the target up to "?"
    std::string query;   // after "?", empty when none
    std::vector<std::pair<std::string, std::string>> headers;  // in the order received
    std::string body;

    // The first header of that name (any case), or nullopt.
    std::optional<std::string> Header(const std::string& name) const;
    // Names of the headers in the order received.
    std::vector<std::string> HeaderNames() const;
};

struct HttpReply {
    enum class Framing {
        ContentLength,  // Content-Length: the announced length (below)
        CloseDelimited, // no length: the body ends when the connection closes
        Chunked,        // Transfer-Encoding: chunked
    };

    int status = 200;
    std::string reason;  // a standard text for the status when empty
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;
    Framing framing = Framing::ContentLength;
    // The Content-Length sent when it differs from the body's size (a reply
    // that ends early announces more than it sends).
    std::optional<uint64_t> announcedLength;
    // Send the body in two halves with this pause between them.
    DWORD pauseMs = 0;
    // Hold the reply (not the request) until this event is set, e.g. to make
    // one request finish after another. The server does not own it.
    HANDLE gate = nullptr;
    // Keep the connection open after the reply, as a kept-alive one, until
    // the server stops.
    bool keepOpen = false;
    // Bytes written after the reply, in a write of their own, this long
    // after it (a notice a careless server prints past the body).
    std::string stray;
    DWORD strayAfterMs = 0;
    // Send the body one byte at a time, this long apart.
    DWORD trickleMs = 0;
};

HttpReply TextReply(std::string body, int status = 200);
// A status without body (Content-Length: 0).
HttpReply StatusReply(int status);
// A redirect to location (an absolute address or a path).
HttpReply RedirectReply(int status, const std::string& location);
// The body format of the compressed web replies: the inflated length as 4
// bytes little-endian, then the zlib stream of plain.
std::string CompressedBody(const std::string& plain);
// The same with another length in front.
std::string CompressedBody(const std::string& plain, uint32_t announcedLength);
HttpReply CompressedReply(const std::string& plain);

class HttpServer {
public:
    using Handler = std::function<HttpReply(const SeenRequest&)>;

    HttpServer();
    // Requests for paths without a reply of their own go to fallback.
    explicit HttpServer(Handler fallback);
    ~HttpServer();
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    bool Listening() const { return port_ != 0; }
    uint16_t Port() const { return port_; }
    // "http://127.0.0.1:<port>/" followed by path (given without its "/").
    std::string Url(const std::string& path = std::string()) const;
    std::wstring WideUrl(const std::string& path = std::string()) const;
    // "http://127.0.0.1:<port>", without a final "/".
    std::wstring Origin() const;

    // The reply for requests whose path (without query) is path, e.g.
    // "/update.php". Unknown paths go to the fallback handler, or get 404
    // without one.
    void Reply(const std::string& path, HttpReply reply);
    void Handle(const std::string& path, Handler handler);
    void HandleOthers(Handler fallback);

    std::vector<SeenRequest> Requests() const;
    size_t CountRequests(const std::string& path) const;
    // The last request for path; nullopt when none came.
    std::optional<SeenRequest> LastRequest(const std::string& path) const;
    void ClearRequests();
    // Waits until at least count requests for path have arrived.
    bool WaitForRequests(const std::string& path, size_t count, DWORD timeoutMs = 20000) const;

    // Stops accepting, ends every connection (releasing gates' waits) and
    // joins the threads. The destructor does it too.
    void Stop();

private:
    void AcceptLoop();
    void Serve(uintptr_t client);
    HttpReply ReplyFor(const SeenRequest& request);
    bool SendReply(uintptr_t client, const HttpReply& reply);

    uintptr_t listener_;
    uint16_t port_ = 0;
    HANDLE stopEvent_ = nullptr;
    std::thread acceptThread_;

    mutable std::mutex mutex_;
    std::map<std::string, Handler> handlers_;
    Handler fallback_;
    std::vector<SeenRequest> requests_;
    std::vector<std::thread> connections_;
    std::vector<uintptr_t> openSockets_;
    mutable std::condition_variable arrived_;  // told of every recorded request
};

// A port on 127.0.0.1 that nothing listens on (bound, then released).
uint16_t UnusedLocalPort();

// name=value pairs separated by "&", percent-decoded ("+" is a blank).
std::map<std::string, std::string> ParseForm(const std::string& text);

}  // namespace zeltest

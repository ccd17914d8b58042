#pragma once

// A TLS front for a test HttpServer: a small Python relay on the Linux side
// (tlsproxy.py, started here through Wine) that speaks TLS on its own port
// of 127.0.0.1 with a fresh self-signed certificate and hands each
// connection in plain text to the server. The certificate is made a trusted
// root of the test's Wine prefix, so WinINet accepts it.

#include <cstdint>
#include <string>

namespace zeltest {

class TlsFront {
public:
    explicit TlsFront(uint16_t targetPort);
    ~TlsFront();
    TlsFront(const TlsFront&) = delete;
    TlsFront& operator=(const TlsFront&) = delete;

    bool Started() const { return port_ != 0; }
    // "https://127.0.0.1:<port>"
    std::wstring Origin() const;

private:
    std::wstring workDir_;  // Windows path of a folder under the Linux /tmp
    uint16_t port_ = 0;
};

}  // namespace zeltest

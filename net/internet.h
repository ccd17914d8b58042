#pragma once

// WinINet handles closed on every path out. Include only where WinINet is
// used: its header does not mix with WinHTTP's in one source file.

#include <windows.h>
#include <wininet.h>

class InternetHandle {
public:
    InternetHandle() = default;
    explicit InternetHandle(HINTERNET handle) : handle_(handle) {}
    ~InternetHandle() { Close(); }
    InternetHandle(const InternetHandle&) = delete;
    InternetHandle& operator=(const InternetHandle&) = delete;
    InternetHandle& operator=(HINTERNET handle)
    {
        Close();
        handle_ = handle;
        return *this;
    }

    HINTERNET get() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr; }
    HINTERNET release()
    {
        HINTERNET handle = handle_;
        handle_ = nullptr;
        return handle;
    }
    // True when there was nothing to close or the close succeeded.
    bool Close()
    {
        if (!handle_)
            return true;
        BOOL closed = InternetCloseHandle(handle_);
        handle_ = nullptr;
        return closed != FALSE;
    }

private:
    HINTERNET handle_ = nullptr;
};

// The status code of an open request is 200.
bool IsHttpOk(HINTERNET request);

// Closes the connections WinINet keeps for reuse, in the whole process,
// when it goes: made before a transfer's handles, it acts once they are
// closed, on every way out. Wine's WinINet keeps a connection whose reply
// ended at its length even when the server wrote more after it, and hands
// those bytes to the next request to that host and port as its reply.
struct IdleConnectionsDrop {
    IdleConnectionsDrop() = default;
    ~IdleConnectionsDrop() { InternetSetOptionW(nullptr, INTERNET_OPTION_SETTINGS_CHANGED, nullptr, 0); }
    IdleConnectionsDrop(const IdleConnectionsDrop&) = delete;
    IdleConnectionsDrop& operator=(const IdleConnectionsDrop&) = delete;
};

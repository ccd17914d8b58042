#pragma once

// HTTP requests the UI thread waits for: probing an address before it is
// opened in the user's browser, downloading a reply into a file, and one
// form POST. Each call opens and closes its own WinINet handles; none
// retries. Connecting, sending, and each wait for more of the reply give up
// after the transfer time limit, so a server that never answers cannot
// freeze the window.

#include <windows.h>

// The user agent of the asynchronous requests and the address probe.
inline constexpr wchar_t kAgentZel[] = L"ZEL";
// The user agent of the form POST and the social networks' downloads.
inline constexpr wchar_t kAgentManager[] = L"Quivmark Game Manager";

// The transfer time limit, in milliseconds.
inline constexpr DWORD kSyncTransferTimeoutMs = 30000;
// Replaces the transfer time limit for the calls that follow (tests use a
// short one).
void SetSyncTransferTimeout(DWORD milliseconds);

// True when the server answers a GET of url with status 200.
bool ProbeUrl(const wchar_t* url);

// GETs url (http or https) and writes the whole body to filePath (created
// or truncated). Status 200 is required; otherwise the file is not touched.
// A failed read or write, or a body shorter than its Content-Length, deletes
// the file; bytes past the Content-Length are not part of the body.
bool DownloadUrlToFile(const wchar_t* url, const wchar_t* userAgent, const wchar_t* filePath);

// POSTs body (sent as UTF-8, no Content-Type) to url, always over TLS on
// the URL's port, and writes the reply body to filePath whatever its status
// code. Host and path must each stay under 128 characters.
bool HttpPostForm(const wchar_t* url, const wchar_t* filePath, const wchar_t* body);

#pragma once

// HTTP requests the UI thread waits for: probing an address before it is
// opened in the user's browser, downloading a reply into a file, and one
// form POST. Each call opens and closes its own WinINet handles; none
// retries. A call ends within the transfer time limit, whatever the server
// sends (silence, a trickle), so no server can freeze the window; it follows
// at most 20 redirects, and no connection is left for another request.

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
// or truncated). Status 200 is required; otherwise, and when the time limit
// passes, the file is not touched. A failed read or write, a body shorter
// than its Content-Length or a reply with two different lengths deletes the
// file; bytes past the Content-Length are not part of the body, and a
// chunked body is whole whatever Content-Length it also names.
bool DownloadUrlToFile(const wchar_t* url, const wchar_t* userAgent, const wchar_t* filePath);

// POSTs body (sent as UTF-8, no Content-Type) to url, always over TLS on
// the URL's port, and writes the reply body to filePath whatever its status
// code. Host and path must each stay under 128 characters. A redirect is
// followed to its own scheme: a 303, 301 or 302 with a GET, a 307 or 308
// with the form again.
bool HttpPostForm(const wchar_t* url, const wchar_t* filePath, const wchar_t* body);

#pragma once

// STAND-INS: what the social code needs from the web services client and
// the page bridge before those land. Each declaration goes to its owner's
// header (and its body out of social/pending.cpp) when the real code is on
// main.

#include <cstdint>
#include <string>

// Web services client: synchronous transfers on the UI thread.
// GET url and write the whole body to filePath; true on status 200.
bool DownloadUrlToFile(const wchar_t* url, const wchar_t* userAgent, const wchar_t* filePath);
// POST body (sent as UTF-8) to url, always over TLS on the URL's port, and
// write the reply body to filePath whatever the reply's status; true when
// the exchange completed.
bool HttpPostForm(const wchar_t* url, const wchar_t* filePath, const wchar_t* body);

// Web services client: a deployment value under the current user's
// "Software\<product name>" key (a REG_SZ value of that name), or
// builtInDefault when it is absent or empty.
std::wstring SocialSetting(const wchar_t* name, const wchar_t* builtInDefault);

// Page bridge: calls the main page's inShowShareDialog(gameId, network);
// true when the page function was invoked.
bool ShowShareDialogInPage(uint32_t gameId, uint32_t network);

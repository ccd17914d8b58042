#pragma once

// Handlers of the web replies the page bridge starts or owns, picked by the
// completion handler of the main window by request kind. Each runs on the
// UI thread and neither keeps nor frees the result. Reply bytes are not
// NUL-terminated by contract and are never read past their size.

#include "net/workers.h"

#include <windows.h>

#include <jansson.h>

#include <string>

// Kind 1, the account login: SQL run on the catalog in one transaction;
// failures reach the page as message codes (the transfer status, 2 for an
// empty reply, 1 for a reply of one byte).
void OnLoginResult(const HttpResult* result, HWND window);
// Kind 2: SQL run on the catalog; a failed or empty reply shows message 101
// and brings the window up.
void OnSqlReply(const HttpResult* result, HWND window);
// Kinds 4 ("BIG") and 5 ("SMALL"): the icon stored in the icon library as
// resource "S<game id>.PIC", language neutral.
void WriteGameIconResource(const HttpResult* result, HWND window);
// Kind 7: a news item shown once in a balloon and recorded in table news.
void StoreNewsFeed(const HttpResult* result, HWND window);
// Kind 8: the advertisement's click and image addresses handed to the page.
void StoreAdFeed(const HttpResult* result, HWND window);

// One parsed JSON document of the advertisement service.
class AdReplyJson {
public:
    // A null text gives no document.
    explicit AdReplyJson(const char* text);
    ~AdReplyJson();
    AdReplyJson(const AdReplyJson&) = delete;
    AdReplyJson& operator=(const AdReplyJson&) = delete;

    bool Parsed() const { return root_ != nullptr; }
    // Null without a document or member.
    json_t* Member(const char* key) const;
    // "click_url", a JSON string.
    bool ClickUrl(std::string& url) const;
    // "img", an object, and its "src", a JSON string.
    bool ImageUrl(std::string& url) const;

private:
    json_t* root_ = nullptr;
};

#pragma once

// The handlers of the replies that come back to the main window, by request
// kind. Each receives the record and the main window and neither keeps nor
// frees the record.

#include "net/http.h"

#include <windows.h>

void OnLoginResult(HttpResult* result, HWND window);           // kind 1
void OnSqlReply(HttpResult* result, HWND window);              // kind 2
void OnUpdateResult(HttpResult* result, HWND window);          // kind 3
// Kind 4 is written as resource type "BIG", kind 5 as "SMALL".
void WriteGameIconResource(HttpResult* result, HWND window);
void StoreNewsFeed(HttpResult* result, HWND window);           // kind 7
void StoreAdFeed(HttpResult* result, HWND window);             // kind 8

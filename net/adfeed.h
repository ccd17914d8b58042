#pragma once

// The advertisement request: sent when the page initialises its window and
// whenever it saves the last selected game, at most once in 30 seconds, and
// only in brands that show advertisements. The reply (kind 8) goes to
// window and is turned into a page call by StoreAdFeed.

#include <windows.h>

#include <cstdint>

constexpr int64_t kAdRequestSpacingSeconds = 30;

void RequestAdFeed(HWND window);
// The same at a given time (seconds since 1970); true when a request was
// started.
bool RequestAdFeedAt(HWND window, int64_t now);

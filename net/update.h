#pragma once

// The periodic catalog update: a one-shot timer (id 1) of the main window
// starts a check; the web service answers with SQL that is run on the
// catalog, the newest new game is announced in a balloon, and the timer is
// armed again. Only brands with the update timer flag check at all.

#include "net/workers.h"

#include <windows.h>

#include <optional>
#include <string>

constexpr UINT_PTR kUpdateTimerId = 1;
// Minimum delays: after a page load, and after a completed check.
constexpr int kUpdateDelayAfterPageLoad = 300;
constexpr int kUpdateDelayAfterCheck = 3600;

// Seconds until the option update says the next check is due (negative
// when past); 0 without the option or the catalog.
int GetUpdateDelay();
// "Games: <ids of the games with name and description>\r\n", or
// "Games: 0\r\n" when there are none.
std::string BuildGamesHeader();

// Arms timer 1 of window for the due delay, at least minimumSeconds (brands
// with the update timer flag only). The period armed in milliseconds, 0
// when none was.
UINT ArmUpdateTimer(HWND window, int minimumSeconds);

// Sends the update request; its reply comes to window as
// "Lorrimel_HttpRequestCompleted" and goes to OnUpdateResult.
void CheckForUpdates(HWND window);

// The handler of the update reply (kind 3); runs its statements on the
// catalog, announces the newest new game and arms the next check. Neither
// keeps nor frees the result.
void OnUpdateResult(const HttpResult* result, HWND window);

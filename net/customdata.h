#pragma once

// Extra data from the web service for a few games: a key the page can
// show and the context menu can copy. The data of all of them is kept in
// the custom column of one game's row.

#include <cstdint>
#include <string>

constexpr uint32_t CustomDataGameId = 310;

// True exactly for the games 310, 407 and 643.
bool IsCustomDataGame(uint32_t id);

// The "key" of the stored custom data; false (key empty) when there is
// none.
bool GetGameCustomKey(std::wstring& key);

// Downloads the custom data and stores it; true only when a reply with a
// running service was stored. Failures reach the page as message 400
// (nothing stored) or 401 (the service has stopped; the reply is stored).
bool FetchGameCustomData();
// The storing half of FetchGameCustomData, given the reply text.
bool StoreGameCustomReply(const char* reply);

#pragma once

// The custom SQL functions of the catalog connection. trgopt and trggms
// turn an option or game row into values for the page-feeding hooks; the
// triggers call them for every change and the full page feed selects them
// over whole tables. tme and allcat serve SQL written by the program and
// by the web service.

#include <sqlite3.h>

#include <cstdint>

// Registers allcat, tme, trgopt and trggms on a connection.
void RegisterCatalogFunctions(sqlite3* db);

// trggms takes its values in this order, 17 in all; every caller (the
// triggers, the full feed) passes exactly that many.
constexpr int kTrggmsArgumentCount = 17;

// The status words the page tests for: one blank, then "hide " for a
// hidden game that is not installed or "inst " for an installed one. An
// installed game is never reported hidden. A shown or installed game's
// affiliate of -1 reaches the page as 0.
struct GameStatus {
    char words[8];
    int32_t affiliate;
};
GameStatus ComposeGameStatusWords(int32_t show, int32_t inst, int32_t affiliate);

// allcat builds its text in a buffer of this size; a longer result is
// SQLite's too-big error rather than a silently shortened text.
constexpr size_t kAllcatBufferBytes = 4100;

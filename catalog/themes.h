#pragma once

// Catalog lookups keyed by a theme name or a path. The name or path is
// always bound as a parameter, never pasted into the SQL text: a theme
// called O'Neil or an icon library under C:\Users\O'Brien is stored and
// found exactly.

#include "catalog/storage.h"

// The newest version number of the selected theme (option theme): -1 when
// the catalog cannot be opened or no theme is selected, 0 when the catalog
// holds no theme of that name.
int LookupThemeVersion();

// Selects the newest module of the named theme into stmt. True when a row
// came back; the module's bytes are then stmt.ColumnBlob(0), valid until
// stmt is stepped, prepared again or finalized.
bool SelectNewestThemeModule(sqlite3* db, const wchar_t* themeName, Statement& stmt);

// Hands one option row that is not stored (the icon library path, the
// program version) to the option hook: "select trgopt(?1,?2)".
bool FeedOptionRowToHook(sqlite3* db, const wchar_t* name, const wchar_t* value);

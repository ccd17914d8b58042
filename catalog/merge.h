#pragma once

// Catalog data that arrives as whole SQLite files. An import database
// carries SQL statements for the catalog (table zelsql) and tables whose
// rows are merged into the catalog's tables of the same name; a newer
// database may carry a renumbering of game ids, applied once. Rows are
// written through ordinary statements with the import's values bound to
// them, so the catalog's triggers fire for every row, as for any other
// write.

#include <sqlite3.h>

// Runs the import's zelsql statements on the catalog, merges its games
// (a known game keeps its installation state) and copies its other
// tables, all in one catalog transaction. A missing file or one that is
// not a database changes nothing.
void MergeUpdateDatabase(const char* pathUtf8);

// Renumbers catalog games from the newer database's games (id, old_id)
// and records the option newdb = 1.
void RenumberGamesFromDatabase(const char* pathUtf8);

// Copies every row of one import table into the catalog table of the same
// name ("insert or replace").
void CopyTableRows(sqlite3* importDb, const char* table, sqlite3* catalogDb);

// Merges the import's games table: a new game is inserted whole; a known
// game takes only its descriptive columns from the import.
void MergeGamesTable(sqlite3* importDb, sqlite3* catalogDb);

#pragma once

// The catalog's schema as this build wants it: tables created when
// missing, columns of older catalogs added with their defaults, the
// page-feeding triggers dropped and made anew, table t emptied. Run on
// every open of the catalog.

#include <sqlite3.h>

// withOldNumbering: the brand that keeps the older game numbering (brand
// 0) has the columns old_id and utm, and its game triggers pass utm.
void UpdateCatalogSchema(sqlite3* db, bool withOldNumbering);

#include "catalog/merge.h"

#include "catalog/catalog.h"
#include "catalog/options.h"
#include "catalog/storage.h"
#include "shell/brand.h"

#include <windows.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <new>
#include <span>
#include <string>
#include <vector>

namespace {

// Blob values of an import database start with one marker byte.
enum BlobMarker : unsigned char {
    kBlobRaw = 0,         // the bytes follow as they are
    kBlobCompressed = 1,  // 4-byte little-endian length, then a zlib stream
};

// One import value as the catalog receives it. Values are bound to
// prepared statements, which writes exactly what the value's SQL literal
// would (the same integers, texts and blob bytes, so the same rows and the
// same trigger calls), keeps every bit of a float, whose text form has
// only 15 digits, and lets infinities through, which have no literal.
struct ColumnValue {
    int type = SQLITE_NULL;  // SQLITE_NULL: the column is not written
    sqlite3_int64 integer = 0;
    double real = 0;
    const char* text = nullptr;  // the import row's, valid until its next step
    const unsigned char* blob = nullptr;
    size_t blobSize = 0;
    std::vector<unsigned char> inflated;  // the bytes of a compressed blob
};

// The blob's bytes; false when a compressed blob does not inflate to
// exactly its stated length (its row is then not written at all).
bool ReadBlobValue(const unsigned char* data, size_t size, ColumnValue& value)
{
    value.type = SQLITE_BLOB;
    switch (data[0]) {
    case kBlobRaw:
        value.blob = data + 1;
        value.blobSize = size - 1;
        return true;
    case kBlobCompressed: {
        if (size < 5)
            return false;
        uLongf stated = static_cast<uLongf>(data[1]) | static_cast<uLongf>(data[2]) << 8 |
                        static_cast<uLongf>(data[3]) << 16 | static_cast<uLongf>(data[4]) << 24;
        value.inflated.resize(stated > 0 ? stated : 1);
        uLongf length = stated;
        if (uncompress(value.inflated.data(), &length, data + 5, static_cast<uLong>(size - 5)) != Z_OK ||
            length != stated)
            return false;
        value.blob = value.inflated.data();
        value.blobSize = length;
        return true;
    }
    default:
        // An unknown marker writes an empty blob.
        value.blobSize = 0;
        return true;
    }
}

// The values of one import row, by column position; a column without a
// value (null, a text without pointer, an empty blob) is not written.
class RowValues {
public:
    // False when the row must not be written (a broken compressed blob, or
    // memory ran out while reading). With `only`, just those columns are
    // read and the others count as absent, so a column that is not
    // written cannot hold the row back.
    bool Read(sqlite3_stmt* row, int columns, std::span<const int> only = {})
    {
        values_.resize(static_cast<size_t>(columns));
        try {
            for (int i = 0; i < columns; ++i) {
                ColumnValue& value = values_[static_cast<size_t>(i)];
                value.type = SQLITE_NULL;
                if (only.size() != 0 && std::find(only.begin(), only.end(), i) == only.end())
                    continue;
                if (!ReadColumn(row, i, value))
                    return false;
            }
        } catch (const std::bad_alloc&) {
            return false;
        }
        return true;
    }
    bool Present(int column) const
    {
        return column >= 0 && static_cast<size_t>(column) < values_.size() &&
               values_[static_cast<size_t>(column)].type != SQLITE_NULL;
    }
    // Binds a present column's value to parameter `index` of stmt.
    void Bind(sqlite3_stmt* stmt, int index, int column) const
    {
        const ColumnValue& value = values_[static_cast<size_t>(column)];
        switch (value.type) {
        case SQLITE_INTEGER:
            sqlite3_bind_int64(stmt, index, value.integer);
            break;
        case SQLITE_FLOAT:
            sqlite3_bind_double(stmt, index, value.real);
            break;
        case SQLITE_TEXT:
            sqlite3_bind_text(stmt, index, value.text, -1, SQLITE_STATIC);
            break;
        default:
            // A blob of no bytes is still an empty blob, not a null.
            if (value.blobSize == 0)
                sqlite3_bind_zeroblob(stmt, index, 0);
            else
                sqlite3_bind_blob64(stmt, index, value.blob, value.blobSize, SQLITE_STATIC);
            break;
        }
    }

private:
    static bool ReadColumn(sqlite3_stmt* row, int column, ColumnValue& value)
    {
        switch (sqlite3_column_type(row, column)) {
        case SQLITE_INTEGER:
            value.type = SQLITE_INTEGER;
            value.integer = sqlite3_column_int64(row, column);
            return true;
        case SQLITE_FLOAT:
            value.type = SQLITE_FLOAT;
            value.real = sqlite3_column_double(row, column);
            return true;
        case SQLITE_TEXT:
            // The text as far as its first NUL, as a literal would hold it.
            value.text = reinterpret_cast<const char*>(sqlite3_column_text(row, column));
            if (value.text)
                value.type = SQLITE_TEXT;
            return true;
        case SQLITE_BLOB: {
            const void* data = sqlite3_column_blob(row, column);
            int size = sqlite3_column_bytes(row, column);
            if (!data || size <= 0)
                return true;
            return ReadBlobValue(static_cast<const unsigned char*>(data), static_cast<size_t>(size), value);
        }
        default:
            return true;
        }
    }

    std::vector<ColumnValue> values_;
};

// Prepared statements of one walk, one for each set of columns that rows
// fill: rows of one shape share their statement and differ only in the
// values bound to it. A statement the catalog cannot take (a column it
// lacks) is kept as an empty holder, so its rows are skipped, as their
// text would fail.
class ShapeStatements {
public:
    explicit ShapeStatements(sqlite3* db) : db_(db) {}
    // The statement for the shape; made from sql() the first time.
    template <typename MakeSql>
    sqlite3_stmt* For(const std::string& shape, MakeSql sql)
    {
        auto found = statements_.find(shape);
        if (found == statements_.end()) {
            auto holder = std::make_unique<Statement>();
            holder->Prepare(db_, sql().c_str());
            found = statements_.emplace(shape, std::move(holder)).first;
        }
        return found->second->Handle();
    }

private:
    sqlite3* db_;
    std::map<std::string, std::unique_ptr<Statement>> statements_;
};

// Steps a statement whose values are bound, with the busy retry, and
// makes it ready for the next row; its failure is ignored, as the walk
// goes on.
void RunBound(sqlite3_stmt* stmt)
{
    for (;;) {
        int rc = sqlite3_step(stmt);
        if (rc == SQLITE_BUSY || rc == SQLITE_LOCKED) {
            sqlite3_reset(stmt);
            Sleep(kBusyRetrySleepMs);
        } else if (rc != SQLITE_ROW) {
            break;
        }
    }
    // The bound texts and blobs belong to the import row: none outlives it.
    sqlite3_reset(stmt);
    sqlite3_clear_bindings(stmt);
}

// The import's column names, quoted for use in the catalog's SQL, and
// their positions.
class ColumnNameList {
public:
    explicit ColumnNameList(sqlite3_stmt* stmt)
    {
        int count = sqlite3_column_count(stmt);
        for (int i = 0; i < count; ++i) {
            const char* name = sqlite3_column_name(stmt, i);
            names_.emplace_back(name ? name : "");
            quoted_.push_back(QuoteIdentifier(name ? name : ""));
        }
    }
    int Count() const { return static_cast<int>(names_.size()); }
    // The position of a column by its exact name; -1 when the import lacks it.
    int Find(const char* name) const
    {
        for (size_t i = 0; i < names_.size(); ++i) {
            if (names_[i] == name)
                return static_cast<int>(i);
        }
        return -1;
    }
    const std::string& Quoted(int column) const { return quoted_[static_cast<size_t>(column)]; }

private:
    std::vector<std::string> names_;
    std::vector<std::string> quoted_;
};

// Writes the row with "insert or replace into <table>(<names>)values(...)"
// over every column it fills.
void InsertRow(ShapeStatements& statements, const std::string& quotedTable, const ColumnNameList& columns,
               const RowValues& row)
{
    std::string shape;
    for (int i = 0; i < columns.Count(); ++i)
        shape += row.Present(i) ? '1' : '0';
    if (shape.find('1') == std::string::npos)
        return;
    sqlite3_stmt* stmt = statements.For(shape, [&] {
        std::string names;
        std::string values;
        for (int i = 0; i < columns.Count(); ++i) {
            if (!row.Present(i))
                continue;
            names += (names.empty() ? "" : ",") + columns.Quoted(i);
            values += values.empty() ? "?" : ",?";
        }
        return "insert or replace into " + quotedTable + "(" + names + ")values(" + values + ")";
    });
    if (!stmt)
        return;
    int index = 0;
    for (int i = 0; i < columns.Count(); ++i) {
        if (row.Present(i))
            row.Bind(stmt, ++index, i);
    }
    RunBound(stmt);
}

// Runs "update games set <name>=<value>,... where id=<id>" over those of
// the assigned columns that the row fills; nothing when it fills none.
void UpdateGameRow(ShapeStatements& statements, const ColumnNameList& columns, const RowValues& row,
                   std::span<const int> assigned, sqlite3_int64 id)
{
    std::string shape;
    for (int column : assigned)
        shape += row.Present(column) ? '1' : '0';
    if (shape.find('1') == std::string::npos)
        return;
    sqlite3_stmt* stmt = statements.For(shape, [&] {
        std::string assignments;
        for (int column : assigned) {
            if (row.Present(column))
                assignments += (assignments.empty() ? "" : ",") + columns.Quoted(column) + "=?";
        }
        return "update games set " + assignments + " where id=?";
    });
    if (!stmt)
        return;
    int index = 0;
    for (int column : assigned) {
        if (row.Present(column))
            row.Bind(stmt, ++index, column);
    }
    // The id as the import row holds it. Cut to 32 bits it would name
    // another game of the catalog (4294967297 is game 1), whose row the
    // import would then update or renumber.
    sqlite3_bind_int64(stmt, index + 1, id);
    RunBound(stmt);
}

// One prepared statement with a single id parameter, for a whole walk.
class IdStatement {
public:
    IdStatement(sqlite3* db, const char* sql) { stmt_.Prepare(db, sql); }
    void Run(sqlite3_int64 id)
    {
        if (sqlite3_stmt* stmt = stmt_.Handle()) {
            sqlite3_bind_int64(stmt, 1, id);
            RunBound(stmt);
        }
    }

private:
    Statement stmt_;
};

bool StartsWith(const char* text, const char* prefix)
{
    return strncmp(text, prefix, strlen(prefix)) == 0;
}

// Whether the catalog holds a game, asked through one prepared statement
// for a whole walk.
class GameLookup {
public:
    explicit GameLookup(sqlite3* catalogDb)
    {
        stmt_.PrepareWithRetry(catalogDb, "select 1 from games where id=?1");
    }
    bool Has(sqlite3_int64 id)
    {
        sqlite3_stmt* stmt = stmt_.Handle();
        if (!stmt)
            return false;
        sqlite3_reset(stmt);
        sqlite3_bind_int64(stmt, 1, id);
        bool found = sqlite3_step(stmt) == SQLITE_ROW;
        sqlite3_reset(stmt);
        return found;
    }

private:
    Statement stmt_;
};

}  // namespace

void CopyTableRows(sqlite3* importDb, const char* table, sqlite3* catalogDb)
{
    if (!importDb || !table || !catalogDb)
        return;
    std::string quotedTable = QuoteIdentifier(table);
    Statement select;
    if (!select.Prepare(importDb, ("select * from " + quotedTable).c_str()))
        return;
    ColumnNameList columns(select.Handle());
    if (columns.Count() == 0)
        return;
    ShapeStatements inserts(catalogDb);
    RowValues row;
    while (select.StepRow()) {
        if (!row.Read(select.Handle(), columns.Count()))
            continue;
        try {
            InsertRow(inserts, quotedTable, columns, row);
        } catch (const std::bad_alloc&) {
            continue;
        }
    }
}

void MergeGamesTable(sqlite3* importDb, sqlite3* catalogDb)
{
    if (!importDb || !catalogDb)
        return;
    Statement select;
    if (!select.PrepareWithRetry16(importDb, L"select * from games"))
        return;
    ColumnNameList columns(select.Handle());
    int idColumn = columns.Find("id");
    if (columns.Count() < 2 || idColumn < 0)
        return;

    // A known game takes only these columns from the import, so it keeps
    // its installation state, launches, custom data and icon.
    std::vector<int> updated;
    if (GetBrandId() == 0) {
        updated.push_back(columns.Find("old_id"));
        updated.push_back(columns.Find("utm"));
    }
    for (const char* name : {"ident", "name", "desc", "release", "show", "size", "itunes_id",
                             "itunes_id_free", "itunes_id_ipad", "itunes_id_ipad_free"})
        updated.push_back(columns.Find(name));

    GameLookup known(catalogDb);
    IdStatement placeholder(catalogDb, "insert or ignore into games(id) values(?1)");
    ShapeStatements inserts(catalogDb);
    ShapeStatements updates(catalogDb);
    RowValues row;
    const std::string quotedGames = "games";
    while (select.StepRow()) {
        // A row without an id names no game: it would make a new one.
        if (sqlite3_column_type(select.Handle(), idColumn) == SQLITE_NULL)
            continue;
        sqlite3_int64 id = sqlite3_column_int64(select.Handle(), idColumn);
        // Asked before anything is written: an "insert or ignore" of a
        // known game would still fire the insert trigger and push an empty
        // row of it to the page.
        const bool isKnown = known.Has(id);
        if (!row.Read(select.Handle(), columns.Count(),
                      isKnown ? std::span<const int>(updated) : std::span<const int>()))
            continue;
        try {
            if (isKnown) {
                UpdateGameRow(updates, columns, row, updated, id);
            } else {
                // A new game gets its row in two steps, the bare id first,
                // so the game stands even when the import's full row does
                // not fit this catalog; the page hears of each step.
                placeholder.Run(id);
                InsertRow(inserts, quotedGames, columns, row);
            }
        } catch (const std::bad_alloc&) {
            continue;
        }
    }
}

void MergeUpdateDatabase(const char* pathUtf8)
{
    sqlite3* catalogDb = GetCatalogDb();
    if (!catalogDb)
        return;
    DatabaseHandle importDb;
    if (!OpenAndCheckExistingDatabase(pathUtf8, importDb.out()))
        return;

    // One transaction, holding the write lock from its start: another
    // process sees the merge whole or not at all, and no two writers can
    // end up waiting for each other.
    const bool ownTransaction = BeginImmediate(catalogDb);
    {
        Statement sql;
        if (sql.Prepare(importDb.get(), "select q from zelsql")) {
            while (sql.StepRow()) {
                if (const char* text = sql.ColumnText(0))
                    ExecEachWithRetry(catalogDb, text);
                // A statement of the import may have ended the merge's
                // transaction: what follows is held whole again.
                if (ownTransaction && sqlite3_get_autocommit(catalogDb))
                    BeginImmediate(catalogDb);
            }
        }
    }
    std::vector<std::string> tables;
    {
        Statement names;
        if (names.Prepare(importDb.get(), "select name from sqlite_master where type='table'")) {
            while (names.StepRow()) {
                if (const char* name = names.ColumnText(0))
                    tables.emplace_back(name);
            }
        }
    }
    for (const std::string& table : tables) {
        // Table names compare as SQLite compares them: "Games" is games.
        if (sqlite3_stricmp(table.c_str(), "games") == 0)
            MergeGamesTable(importDb.get(), catalogDb);
        else if (!StartsWith(table.c_str(), "zel") && !StartsWith(table.c_str(), "sqlite_"))
            CopyTableRows(importDb.get(), table.c_str(), catalogDb);
    }
    CommitOrRollBack(catalogDb);
}

void RenumberGamesFromDatabase(const char* pathUtf8)
{
    sqlite3* catalogDb = GetCatalogDb();
    if (!catalogDb)
        return;
    DatabaseHandle newerDb;
    if (!OpenAndCheckExistingDatabase(pathUtf8, newerDb.out()))
        return;
    Statement select;
    // A database without a games table (an empty file opens as one) is no
    // newer catalog: the catalog is not marked renumbered by it.
    if (!select.PrepareWithRetry16(newerDb.get(), L"select * from games order by id desc"))
        return;
    {
        ColumnNameList columns(select.Handle());
        int idColumn = columns.Find("id");
        int oldIdColumn = columns.Find("old_id");
        GameLookup known(catalogDb);
        ShapeStatements updates(catalogDb);
        IdStatement remove(catalogDb, "delete from games where id = ?1");
        RowValues row;
        const int idColumns[] = {idColumn, oldIdColumn};
        while (columns.Count() >= 2 && idColumn >= 0 && select.StepRow()) {
            sqlite3_int64 newId = sqlite3_column_int64(select.Handle(), idColumn);
            sqlite3_int64 oldId = oldIdColumn >= 0 ? sqlite3_column_int64(select.Handle(), oldIdColumn) : 0;
            if (oldId == 0 || !row.Read(select.Handle(), columns.Count(), idColumns))
                continue;
            try {
                UpdateGameRow(updates, columns, row, idColumns, oldId);
            } catch (const std::bad_alloc&) {
                continue;
            }
            // The old row goes only when the game already stands under
            // another, new number (the renumbering found that id taken).
            // A game whose number stayed only records its old number; when
            // the update failed for another reason (a catalog without
            // old_id), the game is kept.
            if (oldId != newId && known.Has(newId))
                remove.Run(oldId);
        }
    }
    SetOptionUtf8(catalogDb, "newdb", "1");
}

#include "catalog/merge.h"

#include "catalog/catalog.h"
#include "catalog/options.h"
#include "catalog/storage.h"
#include "shell/brand.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <span>
#include <string>
#include <vector>

namespace {

// The growable text in which one statement is built. The first-item flag
// decides whether a comma goes before the next listed item.
class SqlTextBuffer {
public:
    void AppendChar(char c)
    {
        Reserve(1);
        text_ += c;
    }
    void AppendText(const char* text, bool doubleQuotes = false)
    {
        size_t length = strlen(text);
        Reserve(length);
        if (!doubleQuotes) {
            text_.append(text, length);
            return;
        }
        for (const char* p = text; *p; ++p) {
            if (*p == '\'')
                text_ += '\'';
            text_ += *p;
        }
    }
    void Append(const std::string& text)
    {
        Reserve(text.size());
        text_ += text;
    }
    void AppendUInt(uint32_t value) { Append(std::to_string(value)); }
    void Reset()
    {
        text_.clear();
        first_ = true;
    }
    // Appends "," unless nothing has been listed yet.
    void ListSeparator()
    {
        if (!first_)
            AppendChar(',');
        first_ = false;
    }
    bool Empty() const { return first_; }
    const char* Text() const { return text_.c_str(); }

private:
    // Statements grow in 64 KiB steps: rows with large blobs (theme
    // modules, pictures) need no limit on the text.
    void Reserve(size_t more)
    {
        constexpr size_t kStep = 65536;
        size_t needed = text_.size() + more + 1;
        if (needed > text_.capacity())
            text_.reserve((needed + kStep - 1) / kStep * kStep);
    }

    std::string text_;
    bool first_ = true;
};

// Blob values of an import database start with one marker byte.
enum BlobMarker : unsigned char {
    kBlobRaw = 0,         // the bytes follow as they are
    kBlobCompressed = 1,  // 4-byte little-endian length, then a zlib stream
};

void AppendHex(std::string& out, const unsigned char* data, size_t size)
{
    static const char kDigits[] = "0123456789ABCDEF";
    out.reserve(out.size() + size * 2 + 3);
    out += "X'";
    for (size_t i = 0; i < size; ++i) {
        out += kDigits[data[i] >> 4];
        out += kDigits[data[i] & 0x0F];
    }
    out += '\'';
}

// The blob's literal; false when a compressed blob does not inflate to
// exactly its stated length (its row is then not written at all).
bool RenderBlobLiteral(const unsigned char* data, size_t size, std::string& literal)
{
    switch (data[0]) {
    case kBlobRaw:
        AppendHex(literal, data + 1, size - 1);
        return true;
    case kBlobCompressed: {
        if (size < 5)
            return false;
        uLongf stated = static_cast<uLongf>(data[1]) | static_cast<uLongf>(data[2]) << 8 |
                        static_cast<uLongf>(data[3]) << 16 | static_cast<uLongf>(data[4]) << 24;
        std::vector<unsigned char> inflated(stated > 0 ? stated : 1);
        uLongf length = stated;
        if (uncompress(inflated.data(), &length, data + 5, static_cast<uLong>(size - 5)) != Z_OK ||
            length != stated)
            return false;
        AppendHex(literal, inflated.data(), length);
        return true;
    }
    default:
        literal = "X''";
        return true;
    }
}

// The literals of one import row, by column position; a column without a
// literal (null, a text without pointer, an empty blob) is not listed.
class RowLiterals {
public:
    // False when the row must not be written (a broken compressed blob, or
    // memory ran out while rendering). With `only`, just those columns are
    // rendered and the others count as absent, so a column that is not
    // written cannot hold the row back.
    bool Render(sqlite3_stmt* row, int columns, std::span<const int> only = {})
    {
        literals_.resize(static_cast<size_t>(columns));
        present_.assign(static_cast<size_t>(columns), false);
        try {
            for (int i = 0; i < columns; ++i) {
                if (only.size() != 0 && std::find(only.begin(), only.end(), i) == only.end())
                    continue;
                std::string& literal = literals_[static_cast<size_t>(i)];
                literal.clear();
                if (!RenderColumnLiteral(row, i, literal))
                    return false;
                present_[static_cast<size_t>(i)] = !literal.empty();
            }
        } catch (const std::bad_alloc&) {
            return false;
        }
        return true;
    }
    bool Present(int column) const
    {
        return column >= 0 && static_cast<size_t>(column) < present_.size() &&
               present_[static_cast<size_t>(column)];
    }
    const std::string& Literal(int column) const { return literals_[static_cast<size_t>(column)]; }

private:
    static bool RenderColumnLiteral(sqlite3_stmt* row, int column, std::string& literal)
    {
        switch (sqlite3_column_type(row, column)) {
        case SQLITE_INTEGER:
        case SQLITE_FLOAT:
            literal = reinterpret_cast<const char*>(sqlite3_column_text(row, column));
            return true;
        case SQLITE_TEXT: {
            const char* text = reinterpret_cast<const char*>(sqlite3_column_text(row, column));
            if (!text)
                return true;
            literal += '\'';
            for (const char* p = text; *p; ++p) {
                if (*p == '\'')
                    literal += '\'';
                literal += *p;
            }
            literal += '\'';
            return true;
        }
        case SQLITE_BLOB: {
            const void* data = sqlite3_column_blob(row, column);
            int size = sqlite3_column_bytes(row, column);
            if (!data || size <= 0)
                return true;
            return RenderBlobLiteral(static_cast<const unsigned char*>(data),
                                     static_cast<size_t>(size), literal);
        }
        default:
            return true;
        }
    }

    std::vector<std::string> literals_;
    std::vector<bool> present_;
};

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

// "insert or replace into <table>(<names>)values(<literals>)" from every
// listed column of the row.
void BuildInsertStatement(const char* quotedTable, const ColumnNameList& columns,
                          const RowLiterals& row, SqlTextBuffer& statement, SqlTextBuffer& values)
{
    statement.Reset();
    values.Reset();
    statement.AppendText("insert or replace into ");
    statement.AppendText(quotedTable);
    statement.AppendChar('(');
    values.AppendText(")values(");
    for (int i = 0; i < columns.Count(); ++i) {
        if (!row.Present(i))
            continue;
        values.ListSeparator();
        values.Append(row.Literal(i));
        statement.ListSeparator();
        statement.Append(columns.Quoted(i));
    }
    statement.AppendText(values.Text());
    statement.AppendChar(')');
}

// Appends "<name>=<literal>" for a column the import row has and fills.
void AppendColumnAssignment(const ColumnNameList& columns, const RowLiterals& row, int column,
                            SqlTextBuffer& statement)
{
    if (!row.Present(column))
        return;
    statement.ListSeparator();
    statement.Append(columns.Quoted(column));
    statement.AppendChar('=');
    statement.Append(row.Literal(column));
}

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

// The id as the import row holds it. Cut to 32 bits it would name another
// game of the catalog (4294967297 is game 1), whose row the import would
// then update, renumber or delete.
std::string IdText(sqlite3_int64 id)
{
    return std::to_string(id);
}

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
    RowLiterals row;
    SqlTextBuffer statement;
    SqlTextBuffer values;
    while (select.StepRow()) {
        if (!row.Render(select.Handle(), columns.Count()))
            continue;
        try {
            BuildInsertStatement(quotedTable.c_str(), columns, row, statement, values);
        } catch (const std::bad_alloc&) {
            continue;
        }
        ExecOneWithRetry(statement.Text(), catalogDb);
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
    RowLiterals row;
    SqlTextBuffer statement;
    SqlTextBuffer values;
    while (select.StepRow()) {
        // A row without an id names no game: it would make a new one.
        if (sqlite3_column_type(select.Handle(), idColumn) == SQLITE_NULL)
            continue;
        sqlite3_int64 id = sqlite3_column_int64(select.Handle(), idColumn);
        // Asked before anything is written: an "insert or ignore" of a
        // known game would still fire the insert trigger and push an empty
        // row of it to the page.
        const bool isKnown = known.Has(id);
        if (!row.Render(select.Handle(), columns.Count(),
                        isKnown ? std::span<const int>(updated) : std::span<const int>()))
            continue;
        try {
            if (isKnown) {
                statement.Reset();
                statement.AppendText("update games set ");
                SqlTextBuffer assignments;
                for (int column : updated)
                    AppendColumnAssignment(columns, row, column, assignments);
                if (assignments.Empty())
                    continue;
                statement.AppendText(assignments.Text());
                statement.AppendText(" where id=");
                statement.Append(IdText(id));
            } else {
                BuildInsertStatement("games", columns, row, statement, values);
            }
        } catch (const std::bad_alloc&) {
            continue;
        }
        // A new game gets its row in two steps, the bare id first, so the
        // game stands even when the import's full row does not fit this
        // catalog; the page hears of each step.
        if (!isKnown)
            ExecOneWithRetry(("insert or ignore into games(id) values(" + IdText(id) + ")").c_str(),
                             catalogDb);
        ExecOneWithRetry(statement.Text(), catalogDb);
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
        RowLiterals row;
        const int idColumns[] = {idColumn, oldIdColumn};
        while (columns.Count() >= 2 && idColumn >= 0 && select.StepRow()) {
            sqlite3_int64 newId = sqlite3_column_int64(select.Handle(), idColumn);
            sqlite3_int64 oldId = oldIdColumn >= 0 ? sqlite3_column_int64(select.Handle(), oldIdColumn) : 0;
            if (oldId == 0 || !row.Render(select.Handle(), columns.Count(), idColumns))
                continue;
            SqlTextBuffer statement;
            statement.AppendText("update games set ");
            SqlTextBuffer assignments;
            AppendColumnAssignment(columns, row, idColumn, assignments);
            AppendColumnAssignment(columns, row, oldIdColumn, assignments);
            statement.AppendText(assignments.Text());
            statement.AppendText(" where id =");
            statement.Append(IdText(oldId));
            ExecOneWithRetry(statement.Text(), catalogDb);
            // The old row goes only when the game already stands under
            // another, new number (the renumbering found that id taken).
            // A game whose number stayed only records its old number; when
            // the update failed for another reason (a catalog without
            // old_id), the game is kept.
            if (oldId != newId && known.Has(newId))
                ExecOneWithRetry(("delete from games where id = " + IdText(oldId)).c_str(), catalogDb);
        }
    }
    SetOptionUtf8(catalogDb, "newdb", "1");
}

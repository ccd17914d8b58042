#pragma once

// The thin layer every SQLite access goes through. Its one policy: whenever
// SQLite answers busy (5) or locked (6) the same call is made again, after
// a 50 ms sleep, for as long as it takes. Other processes (installers, a
// second copy) may hold the catalog for a while; the UI thread waits.

#include <sqlite3.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

constexpr int kBusyRetrySleepMs = 50;

// One prepared statement; finalized before the next prepare and on
// destruction, so no path leaks it.
class Statement {
public:
    Statement() = default;
    ~Statement() { Finalize(); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    bool PrepareWithRetry(sqlite3* db, const char* sql);
    bool PrepareWithRetry16(sqlite3* db, const wchar_t* sql);
    // For an empty holder: the same without finalizing first.
    bool Prepare(sqlite3* db, const char* sql);
    bool Prepare16(sqlite3* db, const wchar_t* sql);
    // Prepare with retry, then one step: true only on SQLITE_ROW. The
    // statement stays in the holder for the column accessors.
    bool PrepareAndStep(sqlite3* db, const char* sql);
    bool PrepareAndStep16(sqlite3* db, const wchar_t* sql);
    // Prepares the first statement of a text that may hold several, with
    // the busy retry; *tail is where the next one begins. A text of only
    // white space or comments leaves the holder empty and succeeds.
    bool PrepareFirst(sqlite3* db, const char* sql, const char** tail);

    // 0 and SQLITE_CONSTRAINT count as success. Empty afterwards whatever
    // the result.
    int Finalize();

    // Binds are static: the caller keeps the text alive until the step.
    bool BindText(int index, const char* text);
    bool BindText16(int index, const wchar_t* text);
    // Integers are unsigned 32-bit values widened to 64 bits.
    bool BindInt(int index, uint32_t value);
    bool BindInt64(int64_t value);
    bool BindBlob(int index, const void* data, int size);

    // Every step is made again after 50 ms while SQLite answers busy or
    // locked, so a catalog that another process is writing is waited for,
    // never read as one without rows. The program's own transactions take
    // the write lock at their start, so two writers never wait for each
    // other. Failed() then tells an error from the end of the rows.
    bool StepDone();  // SQLITE_DONE or SQLITE_ROW
    bool StepRow();   // SQLITE_ROW only
    // Whether the last prepare or step ended in an error (not in a row or
    // the end of the rows).
    bool Failed() const { return failed_; }

    int ColumnInt(int column) const;
    int64_t ColumnInt64(int column) const;
    const wchar_t* ColumnText16(int column) const;
    const char* ColumnText(int column) const;
    struct Blob {
        const void* data = nullptr;
        int size = 0;
    };
    Blob ColumnBlob(int column) const;

    sqlite3_stmt* Handle() const { return stmt_; }
    bool Empty() const { return stmt_ == nullptr; }

private:
    int Step();

    sqlite3_stmt* stmt_ = nullptr;
    bool failed_ = false;
};

// A read cursor over one query. Row() is the statement the column
// accessors read; null when the cursor has no current row.
class QueryCursor {
public:
    explicit QueryCursor(sqlite3* db) : db_(db) {}

    // Prepares with the busy retry; the current row or null. Null after
    // an error as well: Failed() tells the two apart.
    Statement* Select(const wchar_t* sql);
    Statement* Next();
    bool Failed() const { return stmt_.Failed(); }

    // The game-record projection (catalog/games.h).
    Statement* SelectGameById(uint32_t id);
    Statement* SelectGamesWhere(const wchar_t* condition);

    Statement& Stmt() { return stmt_; }

private:
    sqlite3* db_;
    Statement stmt_;
};

// Runs every statement of one SQL text (several may follow each other,
// separated by ";") on its own, so each is applied exactly once:
// - a statement that meets a busy or locked catalog is made again after
//   the sleep, and only that statement;
// - a statement that fails is skipped, and the ones after it still run;
// - outside a transaction, a statement that writes runs inside a
//   transaction of its own that holds the write lock from its start: a
//   busy answer can then only come before it runs or at its commit, never
//   after its triggers have told the page of rows that are then undone;
//   ("vacuum" and pragmas, which cannot do their work inside one, run on
//   their own as before);
// - a text's own plain "begin" takes the write lock at once as well, so
//   that two writers never wait for each other; so does a "savepoint"
//   that begins a transaction, and releasing its outermost savepoint
//   commits that transaction, as SQLite does.
// Text from outside (web replies, imported statements) goes through here.
// A transaction the text opened and left open (a "begin" without a
// "commit", or a commit that failed) is rolled back at its end, so the
// connection never stays inside it.
void ExecEachWithRetry(sqlite3* db, const char* text);

// Runs a block of SQL texts separated by single NUL bytes and ended by an
// empty text, each as ExecEachWithRetry does; a failing statement is
// skipped and never stops the rest. A transaction opened by the block is
// closed by its end: it may begin in one text and commit in a later one.
// When length is given the walk never reads past it, so a block from
// outside that lacks its final NUL is safe.
void ExecWithRetry(sqlite3* db, const char* block, size_t length = SIZE_MAX);

// "begin immediate" with the busy retry: true once the transaction holds
// the write lock.
bool BeginImmediate(sqlite3* db);
// Commits the open transaction, waiting out readers with the busy retry;
// when the commit still fails the transaction is rolled back. True when
// nothing is left uncommitted; with no transaction open it does nothing.
bool CommitOrRollBack(sqlite3* db);

// One statement with the busy retry; the last result code, 1 for a null
// argument.
int ExecOneWithRetry(const char* sql, sqlite3* db);

// First column of the first row as a UTF-8 copy; nullopt for no row, a
// null or empty text. Busy steps re-prepare at once, without sleeping.
std::optional<std::string> QueryString(sqlite3* db, const char* sql);
// First column of the first row as an integer; 0 for no row or database.
int QueryInt(sqlite3* db, const char* sql);

// Prepare with retry, one step (DONE or ROW), finalize.
bool ExecStatement(sqlite3* db, const char* sql);
bool ExecStatement16(sqlite3* db, const wchar_t* sql);

// sqlite3_open_v2, read-write and create. A failed open closes what SQLite
// handed back and leaves *db null.
int OpenDatabase(const char* pathUtf8, sqlite3** db);
// Opens and reads the first row of sqlite_master, which fails for a file
// that is not a database; then the handle is closed and false returned.
// A probe that meets a lock held by another connection waits for it: a
// busy file is not a broken one.
bool OpenAndCheckDatabase(const char* pathUtf8, sqlite3** db);

// The same for a file that must already exist (an import or mapping
// database named from outside): a missing file is not created and the
// result is false.
bool OpenAndCheckExistingDatabase(const char* pathUtf8, sqlite3** db);

// Whether SQLite's quick check finds the open database whole: false for a
// file cut short or with broken pages (or when the check cannot run).
bool IsDatabaseIntact(sqlite3* db);

// A table, column or trigger name from outside, quoted for SQL text.
std::string QuoteIdentifier(const char* name);

// Owns one connection (import databases, game packages).
class DatabaseHandle {
public:
    DatabaseHandle() = default;
    ~DatabaseHandle() { Close(); }
    DatabaseHandle(const DatabaseHandle&) = delete;
    DatabaseHandle& operator=(const DatabaseHandle&) = delete;
    sqlite3* get() const { return db_; }
    sqlite3** out() { Close(); return &db_; }
    void Close();

private:
    sqlite3* db_ = nullptr;
};

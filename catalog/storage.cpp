#include "catalog/storage.h"

#include <windows.h>

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

namespace {

bool IsBusy(int rc)
{
    return rc == SQLITE_BUSY || rc == SQLITE_LOCKED;
}

// Calls `call` until SQLite stops answering busy or locked, sleeping
// between tries.
template <typename Call>
int RetryWhileBusy(Call call)
{
    for (;;) {
        int rc = call();
        if (!IsBusy(rc))
            return rc;
        Sleep(kBusyRetrySleepMs);
    }
}

}  // namespace

bool Statement::Prepare(sqlite3* db, const char* sql)
{
    failed_ = !db || !sql ||
              RetryWhileBusy([&] { return sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr); }) != SQLITE_OK;
    return !failed_;
}

bool Statement::Prepare16(sqlite3* db, const wchar_t* sql)
{
    failed_ = !db || !sql ||
              RetryWhileBusy([&] { return sqlite3_prepare16_v2(db, sql, -1, &stmt_, nullptr); }) != SQLITE_OK;
    return !failed_;
}

bool Statement::PrepareWithRetry(sqlite3* db, const char* sql)
{
    Finalize();
    return Prepare(db, sql);
}

bool Statement::PrepareWithRetry16(sqlite3* db, const wchar_t* sql)
{
    Finalize();
    return Prepare16(db, sql);
}

bool Statement::PrepareFirst(sqlite3* db, const char* sql, const char** tail)
{
    Finalize();
    failed_ = !db || !sql || !tail ||
              RetryWhileBusy([&] { return sqlite3_prepare_v2(db, sql, -1, &stmt_, tail); }) != SQLITE_OK;
    return !failed_;
}

bool Statement::PrepareAndStep(sqlite3* db, const char* sql)
{
    return PrepareWithRetry(db, sql) && StepRow();
}

bool Statement::PrepareAndStep16(sqlite3* db, const wchar_t* sql)
{
    return PrepareWithRetry16(db, sql) && StepRow();
}

int Statement::Finalize()
{
    if (!stmt_)
        return SQLITE_OK;
    int rc = sqlite3_finalize(stmt_);
    stmt_ = nullptr;
    return rc == SQLITE_CONSTRAINT ? SQLITE_OK : rc;
}

bool Statement::BindText(int index, const char* text)
{
    return stmt_ && text && sqlite3_bind_text(stmt_, index, text, -1, SQLITE_STATIC) == SQLITE_OK;
}

bool Statement::BindText16(int index, const wchar_t* text)
{
    return stmt_ && text && sqlite3_bind_text16(stmt_, index, text, -1, SQLITE_STATIC) == SQLITE_OK;
}

bool Statement::BindInt(int index, uint32_t value)
{
    return stmt_ && index >= 1 &&
           sqlite3_bind_int64(stmt_, index, static_cast<sqlite3_int64>(value)) == SQLITE_OK;
}

bool Statement::BindInt64(int64_t value)
{
    return stmt_ && sqlite3_bind_int64(stmt_, 1, value) == SQLITE_OK;
}

bool Statement::BindBlob(int index, const void* data, int size)
{
    return stmt_ && sqlite3_bind_blob(stmt_, index, data, size, SQLITE_STATIC) == SQLITE_OK;
}

int Statement::Step()
{
    const int rc = stmt_ ? RetryWhileBusy([&] { return sqlite3_step(stmt_); }) : SQLITE_MISUSE;
    failed_ = rc != SQLITE_ROW && rc != SQLITE_DONE;
    return rc;
}

bool Statement::StepDone()
{
    Step();
    return !failed_;
}

bool Statement::StepRow()
{
    return Step() == SQLITE_ROW;
}

int Statement::ColumnInt(int column) const
{
    return stmt_ ? sqlite3_column_int(stmt_, column) : 0;
}

int64_t Statement::ColumnInt64(int column) const
{
    return stmt_ ? sqlite3_column_int64(stmt_, column) : 0;
}

const wchar_t* Statement::ColumnText16(int column) const
{
    return stmt_ ? static_cast<const wchar_t*>(sqlite3_column_text16(stmt_, column)) : nullptr;
}

const char* Statement::ColumnText(int column) const
{
    return stmt_ ? reinterpret_cast<const char*>(sqlite3_column_text(stmt_, column)) : nullptr;
}

Statement::Blob Statement::ColumnBlob(int column) const
{
    if (!stmt_)
        return {};
    sqlite3_column_type(stmt_, column);
    Blob blob;
    blob.data = sqlite3_column_blob(stmt_, column);
    blob.size = sqlite3_column_bytes(stmt_, column);
    return blob;
}

Statement* QueryCursor::Select(const wchar_t* sql)
{
    if (!stmt_.PrepareWithRetry16(db_, sql))
        return nullptr;
    return stmt_.StepRow() ? &stmt_ : nullptr;
}

Statement* QueryCursor::Next()
{
    return stmt_.StepRow() ? &stmt_ : nullptr;
}

namespace {

// Skips white space and SQL comments.
const char* SkipSpace(const char* p)
{
    for (;;) {
        while (*p && isspace(static_cast<unsigned char>(*p)))
            ++p;
        if (p[0] == '-' && p[1] == '-') {
            while (*p && *p != '\n')
                ++p;
        } else if (p[0] == '/' && p[1] == '*') {
            const char* end = strstr(p + 2, "*/");
            p = end ? end + 2 : p + strlen(p);
        } else {
            return p;
        }
    }
}

// The keyword at *p, lower-cased; *p moves past it.
std::string NextKeyword(const char** p)
{
    const char* start = SkipSpace(*p);
    const char* end = start;
    while (isalpha(static_cast<unsigned char>(*end)))
        ++end;
    *p = end;
    std::string word(start, end);
    for (char& c : word)
        c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    return word;
}

// "begin", "begin transaction" or "begin deferred": a transaction that
// would take the write lock only at its first write, and could then wait
// for a writer that waits for it.
bool IsDeferredBegin(const char* sql)
{
    if (NextKeyword(&sql) != "begin")
        return false;
    std::string mode = NextKeyword(&sql);
    return mode != "immediate" && mode != "exclusive";
}

// Statements that cannot run, or cannot do their work, inside a
// transaction: they keep running on their own.
bool RunsOnlyOutsideTransactions(const char* sql)
{
    std::string first = NextKeyword(&sql);
    return first == "vacuum" || first == "pragma";
}

// The pieces of SQL text that decide where a statement ends: ";", white
// space (comments count as such), the few words that open and close a
// trigger's body, and everything else.
enum class Token { Semicolon, Space, Explain, Create, Temp, Trigger, End, Other };

// Letters, digits, "_", "$" and every byte of a multi-byte character, as
// in SQLite's bare names.
bool IsNameByte(char c)
{
    const unsigned char byte = static_cast<unsigned char>(c);
    return (byte >= '0' && byte <= '9') || (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') ||
           byte == '_' || byte == '$' || byte >= 0x80;
}

Token WordToken(const char* word, size_t length)
{
    static const struct {
        const char* text;
        Token token;
    } kWords[] = {{"explain", Token::Explain}, {"create", Token::Create},   {"temp", Token::Temp},
                  {"temporary", Token::Temp},  {"trigger", Token::Trigger}, {"end", Token::End}};
    for (const auto& known : kWords) {
        if (strlen(known.text) == length && sqlite3_strnicmp(word, known.text, static_cast<int>(length)) == 0)
            return known.token;
    }
    return Token::Other;
}

// Reads the token at p (not the end of the text): where the next one
// begins, or null when a literal, a quoted name or a comment is still open
// at the end of the text. A literal's doubled quote reads as two literals
// in a row, which ends nowhere else; a backslash escapes nothing.
const char* ReadToken(const char* p, Token* token)
{
    const char c = *p;
    *token = Token::Other;
    switch (c) {
    case ';':
        *token = Token::Semicolon;
        return p + 1;
    case ' ':
    case '\t':
    case '\n':
    case '\r':
    case '\f':
        *token = Token::Space;
        return p + 1;
    case '-':
        if (p[1] != '-')
            return p + 1;
        *token = Token::Space;
        p = strchr(p, '\n');
        return p ? p + 1 : nullptr;
    case '/':
        if (p[1] != '*')
            return p + 1;
        *token = Token::Space;
        p = strstr(p + 2, "*/");
        return p ? p + 2 : nullptr;
    case '\'':
    case '"':
    case '`':
    case '[':
        p = strchr(p + 1, c == '[' ? ']' : c);
        return p ? p + 1 : nullptr;
    default:
        break;
    }
    if (!IsNameByte(c))
        return p + 1;
    const char* end = p + 1;
    while (IsNameByte(*end))
        ++end;
    *token = WordToken(p, static_cast<size_t>(end - p));
    return end;
}

// How far a statement has come. A ";" ends it, except inside the body of
// a "create [temp] trigger" (after an "explain" too): that ends only at an
// "end" that directly follows a ";" of the body, and the ";" after it.
enum class Reading { Start, Plain, Explain, Create, Body, BodySemicolon, BodyEnd, Complete };

Reading NextReading(Reading reading, Token token)
{
    switch (reading) {
    case Reading::Start:
    case Reading::Explain:
        if (token == Token::Space)
            return reading;
        if (token == Token::Create)
            return Reading::Create;
        if (reading == Reading::Start && token == Token::Explain)
            return Reading::Explain;
        // "explain query plan create trigger": the words between keep it.
        if (reading == Reading::Explain && token == Token::Other)
            return reading;
        break;
    case Reading::Create:
        if (token == Token::Space || token == Token::Temp)
            return reading;
        if (token == Token::Trigger)
            return Reading::Body;
        break;
    case Reading::Body:
        return token == Token::Semicolon ? Reading::BodySemicolon : reading;
    case Reading::BodySemicolon:
        if (token == Token::Semicolon || token == Token::Space)
            return reading;
        return token == Token::End ? Reading::BodyEnd : Reading::Body;
    case Reading::BodyEnd:
        if (token == Token::Space)
            return reading;
        return token == Token::Semicolon ? Reading::Complete : Reading::Body;
    case Reading::Plain:
    case Reading::Complete:
        break;
    }
    return token == Token::Semicolon ? Reading::Complete : Reading::Plain;
}

// Where the statement that starts at sql ends, found without preparing it
// (a statement that does not prepare gives no reliable tail): just after
// the first ";" that completes it as SQLite's sqlite3_complete reads it,
// else the end of the text. One pass: skipping any number of statements
// costs time linear in the text.
const char* EndOfStatement(const char* sql)
{
    Reading reading = Reading::Start;
    const char* p = sql;
    while (*p) {
        Token token;
        const char* next = ReadToken(p, &token);
        if (!next)
            break;
        reading = NextReading(reading, token);
        if (reading == Reading::Complete)
            return next;
        p = next;
    }
    return p + strlen(p);
}

// Steps a statement to its end; a busy or locked answer resets it and
// makes the step again after the sleep. The last result.
int StepToEnd(sqlite3_stmt* stmt)
{
    for (;;) {
        int rc = sqlite3_step(stmt);
        while (rc == SQLITE_ROW)
            rc = sqlite3_step(stmt);
        if (!IsBusy(rc))
            return rc;
        sqlite3_reset(stmt);
        Sleep(kBusyRetrySleepMs);
    }
}

// A name as SQLite reads it: bare, or quoted with "", '', `` (a doubled
// quote standing for one) or []; *p moves past it.
struct SqlName {
    std::string text;
    bool quoted = false;
};

SqlName NextName(const char** p)
{
    const char* at = SkipSpace(*p);
    SqlName name;
    const char open = *at;
    if (open == '"' || open == '\'' || open == '`' || open == '[') {
        const char close = open == '[' ? ']' : open;
        name.quoted = true;
        for (++at; *at; ++at) {
            if (*at == close) {
                if (close == ']' || at[1] != close) {
                    ++at;
                    break;
                }
                ++at;  // a doubled quote stands for one
            }
            name.text += *at;
        }
    } else {
        while (IsNameByte(*at))
            name.text += *at++;
    }
    *p = at;
    return name;
}

bool IsWord(const SqlName& name, const char* word)
{
    return !name.quoted && sqlite3_stricmp(name.text.c_str(), word) == 0;
}

// What a statement does to the savepoints of a transaction, and to which.
struct SavepointStatement {
    enum Step { kNone, kOpen, kRelease, kRollBackTo } step = kNone;
    std::string name;
};

// "savepoint NAME", "release [savepoint] NAME" and
// "rollback [transaction [NAME]] to [savepoint] NAME".
SavepointStatement ReadSavepointStatement(const char* sql)
try {
    SavepointStatement statement;
    SqlName word = NextName(&sql);
    if (IsWord(word, "savepoint")) {
        statement.step = SavepointStatement::kOpen;
    } else if (IsWord(word, "release")) {
        statement.step = SavepointStatement::kRelease;
    } else if (IsWord(word, "rollback")) {
        word = NextName(&sql);
        if (IsWord(word, "transaction")) {
            word = NextName(&sql);
            if (!IsWord(word, "to"))
                word = NextName(&sql);
        }
        if (!IsWord(word, "to"))
            return {};
        statement.step = SavepointStatement::kRollBackTo;
    } else {
        return {};
    }
    SqlName name = NextName(&sql);
    if (statement.step != SavepointStatement::kOpen && IsWord(name, "savepoint"))
        name = NextName(&sql);
    statement.name = std::move(name.text);
    return statement;
} catch (const std::bad_alloc&) {
    return {};
}

// The savepoints open in a transaction that a text's "savepoint" began.
// SQLite commits such a transaction when its outermost savepoint is
// released; begun here as "begin immediate" (for the write lock), it is
// committed here at that moment instead.
class BegunBySavepoint {
public:
    // Follows a statement that ran to its end; began: it was a savepoint
    // that the transaction was just begun for.
    void Follow(sqlite3* db, const SavepointStatement& statement, bool began)
    {
        if (began)
            names_.clear();
        else if (names_.empty())
            return;
        try {
            switch (statement.step) {
            case SavepointStatement::kOpen:
                names_.push_back(statement.name);
                break;
            case SavepointStatement::kRelease:
                if (PopTo(statement.name, false) && names_.empty())
                    CommitOrRollBack(db);
                break;
            case SavepointStatement::kRollBackTo:
                PopTo(statement.name, true);
                break;
            case SavepointStatement::kNone:
                break;
            }
        } catch (const std::bad_alloc&) {
        }
    }
    // The transaction ended by other means (commit, rollback, an error).
    void Ended() { names_.clear(); }

private:
    // Drops the savepoints above the latest one of that name, and that one
    // too unless kept; false when none has the name (nothing changes).
    bool PopTo(const std::string& name, bool keep)
    {
        for (size_t at = names_.size(); at-- > 0;) {
            if (sqlite3_stricmp(names_[at].c_str(), name.c_str()) == 0) {
                names_.resize(keep ? at + 1 : at);
                return true;
            }
        }
        return false;
    }

    std::vector<std::string> names_;
};

void RunPrepared(sqlite3* db, Statement& stmt, BegunBySavepoint& savepoints)
{
    const char* sql = sqlite3_sql(stmt.Handle());
    if (!sql)
        sql = "";
    if (IsDeferredBegin(sql)) {
        BeginImmediate(db);
        return;
    }
    const SavepointStatement savepoint = ReadSavepointStatement(sql);
    // A savepoint outside a transaction begins one, deferred: it takes the
    // write lock at once, as a plain "begin" here does.
    const bool begins = savepoint.step == SavepointStatement::kOpen && sqlite3_get_autocommit(db);
    if (begins && !BeginImmediate(db))
        return;
    const bool ownTransaction = sqlite3_get_autocommit(db) && !sqlite3_stmt_readonly(stmt.Handle()) &&
                                !RunsOnlyOutsideTransactions(sql) && BeginImmediate(db);
    const bool ran = StepToEnd(stmt.Handle()) == SQLITE_DONE;
    stmt.Finalize();
    if (ownTransaction)
        CommitOrRollBack(db);
    if (begins && !ran)
        ExecOneWithRetry("rollback", db);
    if (sqlite3_get_autocommit(db))
        savepoints.Ended();
    else if (ran)
        savepoints.Follow(db, savepoint, begins);
}

void RunEachStatement(sqlite3* db, const char* text, BegunBySavepoint& savepoints)
{
    const char* next = text;
    while (*next) {
        Statement stmt;
        const char* tail = nullptr;
        if (!stmt.PrepareFirst(db, next, &tail)) {
            next = EndOfStatement(next);
            continue;
        }
        if (!tail || tail <= next)
            return;
        if (!stmt.Empty())
            RunPrepared(db, stmt, savepoints);
        next = tail;
    }
}

// Rolls back a transaction that was not open before a text ran and is
// open after it.
void RollBackWhatWasLeftOpen(sqlite3* db, bool wasInTransaction)
{
    if (!wasInTransaction && !sqlite3_get_autocommit(db))
        ExecOneWithRetry("rollback", db);
}

}  // namespace

void ExecEachWithRetry(sqlite3* db, const char* text)
{
    if (!db || !text)
        return;
    const bool wasInTransaction = !sqlite3_get_autocommit(db);
    BegunBySavepoint savepoints;
    RunEachStatement(db, text, savepoints);
    RollBackWhatWasLeftOpen(db, wasInTransaction);
}

void ExecWithRetry(sqlite3* db, const char* block, size_t length)
{
    if (!db || !block)
        return;
    const bool wasInTransaction = !sqlite3_get_autocommit(db);
    BegunBySavepoint savepoints;
    size_t pos = 0;
    while (pos < length && block[pos] != '\0') {
        size_t end = pos;
        while (end < length && block[end] != '\0')
            ++end;
        if (end >= length) {
            // The last text is not NUL-terminated inside the block: run a
            // terminated copy rather than reading past the end.
            try {
                std::string last(block + pos, end - pos);
                RunEachStatement(db, last.c_str(), savepoints);
            } catch (const std::bad_alloc&) {
            }
            break;
        }
        RunEachStatement(db, block + pos, savepoints);
        pos = end + 1;
    }
    RollBackWhatWasLeftOpen(db, wasInTransaction);
}

bool BeginImmediate(sqlite3* db)
{
    return ExecOneWithRetry("begin immediate", db) == SQLITE_OK;
}

bool CommitOrRollBack(sqlite3* db)
{
    if (!db || sqlite3_get_autocommit(db))
        return true;
    if (ExecOneWithRetry("commit", db) == SQLITE_OK)
        return true;
    ExecOneWithRetry("rollback", db);
    return false;
}

int ExecOneWithRetry(const char* sql, sqlite3* db)
{
    if (!sql || !db)
        return 1;
    return RetryWhileBusy([&] { return sqlite3_exec(db, sql, nullptr, nullptr, nullptr); });
}

namespace {

// Prepares and steps the legacy way; while the step answers busy or
// locked the statement is prepared again at once. Returns the step result
// with the statement still held.
int PrepareAndStepUntilNotBusy(sqlite3* db, const char* sql, sqlite3_stmt** stmt)
{
    for (;;) {
        *stmt = nullptr;
        if (sqlite3_prepare(db, sql, -1, stmt, nullptr) != SQLITE_OK) {
            sqlite3_finalize(*stmt);
            *stmt = nullptr;
            return SQLITE_ERROR;
        }
        int rc = sqlite3_step(*stmt);
        if (!IsBusy(rc))
            return rc;
        sqlite3_finalize(*stmt);
    }
}

}  // namespace

std::optional<std::string> QueryString(sqlite3* db, const char* sql)
{
    if (!db || !sql)
        return std::nullopt;
    sqlite3_stmt* stmt = nullptr;
    std::optional<std::string> result;
    if (PrepareAndStepUntilNotBusy(db, sql, &stmt) == SQLITE_ROW) {
        const char* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0));
        if (text && *text)
            result = text;
    }
    sqlite3_finalize(stmt);
    return result;
}

int QueryInt(sqlite3* db, const char* sql)
{
    if (!db || !sql)
        return 0;
    sqlite3_stmt* stmt = nullptr;
    int value = 0;
    if (PrepareAndStepUntilNotBusy(db, sql, &stmt) == SQLITE_ROW)
        value = sqlite3_column_int(stmt, 0);
    sqlite3_finalize(stmt);
    return value;
}

bool ExecStatement(sqlite3* db, const char* sql)
{
    Statement stmt;
    return stmt.PrepareWithRetry(db, sql) && stmt.StepDone();
}

bool ExecStatement16(sqlite3* db, const wchar_t* sql)
{
    Statement stmt;
    return stmt.PrepareWithRetry16(db, sql) && stmt.StepDone();
}

int OpenDatabase(const char* pathUtf8, sqlite3** db)
{
    if (!db)
        return 1;
    *db = nullptr;
    if (!pathUtf8)
        return 1;
    int rc = sqlite3_open_v2(pathUtf8, db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    if (rc != SQLITE_OK) {
        sqlite3_close(*db);
        *db = nullptr;
    }
    return rc;
}

namespace {

// Reads the first row of sqlite_master, which fails for a file that is not
// a database; the handle is closed then.
bool CheckOpenedDatabase(sqlite3** db)
{
    if (RetryWhileBusy([&] {
            return sqlite3_exec(*db, "select * from sqlite_master limit 0,1", nullptr, nullptr, nullptr);
        }) != SQLITE_OK) {
        sqlite3_close(*db);
        *db = nullptr;
        return false;
    }
    return true;
}

}  // namespace

bool OpenAndCheckDatabase(const char* pathUtf8, sqlite3** db)
{
    return OpenDatabase(pathUtf8, db) == SQLITE_OK && CheckOpenedDatabase(db);
}

bool IsDatabaseIntact(sqlite3* db)
{
    // A writer elsewhere may be committing: its lock is waited for, as for
    // every other statement.
    Statement check;
    if (!db || !check.PrepareWithRetry(db, "pragma quick_check(1)") || !check.StepDone())
        return false;
    const char* answer = check.ColumnText(0);
    return answer && strcmp(answer, "ok") == 0;
}

bool OpenAndCheckExistingDatabase(const char* pathUtf8, sqlite3** db)
{
    if (!db)
        return false;
    *db = nullptr;
    if (!pathUtf8)
        return false;
    if (sqlite3_open_v2(pathUtf8, db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
        sqlite3_close(*db);
        *db = nullptr;
        return false;
    }
    return CheckOpenedDatabase(db);
}

std::string QuoteIdentifier(const char* name)
{
    std::string quoted = "\"";
    for (const char* p = name; *p; ++p) {
        if (*p == '"')
            quoted += '"';
        quoted += *p;
    }
    quoted += '"';
    return quoted;
}

void DatabaseHandle::Close()
{
    if (db_) {
        sqlite3_close(db_);
        db_ = nullptr;
    }
}

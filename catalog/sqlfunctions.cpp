#include "catalog/sqlfunctions.h"

#include "catalog/catalog.h"

#include <cstring>
#include <ctime>
#include <new>
#include <string>

namespace {

const wchar_t* ValueText16(sqlite3_value* value)
{
    return static_cast<const wchar_t*>(sqlite3_value_text16(value));
}

void Allcat(sqlite3_context* context, int argc, sqlite3_value** argv)
{
    char buffer[kAllcatBufferBytes];
    size_t length = 0;
    for (int i = 0; i < argc; ++i) {
        const char* text = reinterpret_cast<const char*>(sqlite3_value_text(argv[i]));
        if (!text)
            continue;
        // Each piece ends at its first NUL, like the text it stands for.
        size_t piece = strlen(text);
        if (piece > sizeof(buffer) - 1 - length) {
            sqlite3_result_error_toobig(context);
            return;
        }
        memcpy(buffer + length, text, piece);
        length += piece;
    }
    buffer[length] = '\0';
    sqlite3_result_text(context, buffer, -1, SQLITE_TRANSIENT);
}

void Tme(sqlite3_context* context, int, sqlite3_value**)
{
    sqlite3_result_int64(context, static_cast<sqlite3_int64>(time(nullptr)));
}

// Set while an "authid" statement runs. That statement may itself write
// the authid option (a statement that stores itself again, say); run once
// more from inside, it would start over without end and overflow the stack.
bool g_runningAuthIdSql = false;

class AuthIdSqlRun {
public:
    AuthIdSqlRun() { g_runningAuthIdSql = true; }
    ~AuthIdSqlRun() { g_runningAuthIdSql = false; }
    AuthIdSqlRun(const AuthIdSqlRun&) = delete;
    AuthIdSqlRun& operator=(const AuthIdSqlRun&) = delete;
};

void Trgopt(sqlite3_context* context, int, sqlite3_value** argv)
{
    // An "authid" row carries SQL for the catalog; it runs on the
    // connection that wrote the row, its failure leaves no trace. A write
    // made by that SQL reaches the page like any other but runs nothing.
    const char* name8 = reinterpret_cast<const char*>(sqlite3_value_text(argv[0]));
    if (name8 && strcmp(name8, "authid") == 0 && !g_runningAuthIdSql) {
        const char* sql = reinterpret_cast<const char*>(sqlite3_value_text(argv[1]));
        // Nothing may be thrown back into SQLite: a copy that cannot be
        // made is a run that fails.
        if (sql) {
            try {
                std::string copy(sql);
                AuthIdSqlRun running;
                sqlite3_exec(sqlite3_context_db_handle(context), copy.c_str(), nullptr, nullptr, nullptr);
            } catch (const std::bad_alloc&) {
            }
        }
    }
    if (OptionRowHook)
        OptionRowHook(ValueText16(argv[0]), ValueText16(argv[1]));
    sqlite3_result_null(context);
}

// Argument places of trggms.
enum TrggmsArg {
    kId, kAfl, kName, kDesc, kRelease, kRating, kInst, kShow, kRuns, kPicture, kCustom,
    kItunesId, kItunesIdFree, kItunesIdIpad, kItunesIdIpadFree, kTrack, kUtm,
};

void Trggms(sqlite3_context* context, int, sqlite3_value** argv)
{
    sqlite3_result_null(context);
    uint32_t id = static_cast<uint32_t>(sqlite3_value_int64(argv[kId]));
    if (id == 0)
        return;
    if (GamePictureHook) {
        const void* picture = sqlite3_value_blob(argv[kPicture]);
        int bytes = sqlite3_value_bytes(argv[kPicture]);
        if (picture && bytes > 0)
            GamePictureHook(id, picture, static_cast<uint32_t>(bytes));
    }
    if (!GameRowHook)
        return;
    GameStatus status = ComposeGameStatusWords(sqlite3_value_int(argv[kShow]),
                                               sqlite3_value_int(argv[kInst]),
                                               sqlite3_value_int(argv[kAfl]));
    GameRowHook(id, status.affiliate, ValueText16(argv[kName]), ValueText16(argv[kDesc]),
                status.words, sqlite3_value_int(argv[kRelease]), sqlite3_value_int(argv[kRating]),
                sqlite3_value_int(argv[kInst]), sqlite3_value_int(argv[kRuns]),
                ValueText16(argv[kCustom]), ValueText16(argv[kItunesId]),
                ValueText16(argv[kItunesIdFree]), ValueText16(argv[kItunesIdIpad]),
                ValueText16(argv[kItunesIdIpadFree]), sqlite3_value_int(argv[kTrack]),
                ValueText16(argv[kUtm]));
}

}  // namespace

GameStatus ComposeGameStatusWords(int32_t show, int32_t inst, int32_t affiliate)
{
    GameStatus status{" ", affiliate};
    if (show == 0 && inst == 0) {
        strcat(status.words, "hide ");
        return status;
    }
    if (inst != 0)
        strcat(status.words, "inst ");
    if (status.affiliate == -1)
        status.affiliate = 0;
    return status;
}

void RegisterCatalogFunctions(sqlite3* db)
{
    sqlite3_create_function(db, "allcat", -1, SQLITE_UTF8, nullptr, Allcat, nullptr, nullptr);
    sqlite3_create_function(db, "tme", 0, SQLITE_UTF8, nullptr, Tme, nullptr, nullptr);
    sqlite3_create_function(db, "trgopt", 2, SQLITE_UTF8, nullptr, Trgopt, nullptr, nullptr);
    sqlite3_create_function(db, "trggms", kTrggmsArgumentCount, SQLITE_UTF8, nullptr, Trggms,
                            nullptr, nullptr);
}

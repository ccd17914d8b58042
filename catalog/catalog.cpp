#include "catalog/catalog.h"

#include "catalog/schema.h"
#include "catalog/sqlfunctions.h"
#include "catalog/storage.h"
#include "shell/brand.h"

#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

OptionRowHookFn OptionRowHook = nullptr;
GameRowHookFn GameRowHook = nullptr;
GamePictureHookFn GamePictureHook = nullptr;

namespace {

constexpr size_t kCatalogPathBytes = 2048;
constexpr DWORD kPathChars = 1024;

char CatalogDbPath[kCatalogPathBytes];
sqlite3* CatalogDb = nullptr;

constexpr char kCreateGames[] =
    "create table if not exists games(id integer primary key not null,ident varchar(64),"
    "name varchar(256),desc text,release integer,rating real,afl integer,dwn integer,"
    "inst integer,exec varchar(128),updn integer default'1',type integer default'2',"
    "show integer,uninstall text,size integer,path varchar(512),url text,dst text,"
    "act integer,icnsml blob,runs integer,purchased_time integer default'0',custom text,"
    "price integer default'0',brand text)";

constexpr const char* kOldNumberingColumns[] = {
    "alter table games add old_id integer default'0'",
    "alter table games add utm text",
};

// Adding a column that exists fails harmlessly: that is how an older
// catalog is brought up to date.
constexpr const char* kAddedColumns[] = {
    "alter table games add updn integer default'1'",
    "alter table games add url text",
    "alter table games add dst text",
    "alter table games add act integer",
    "alter table games add runs integer",
    "alter table games add icnsml blob",
    "alter table games add purchased_time integer default'0'",
    "alter table games add custom text",
    "alter table games add price integer default'0'",
    "alter table games add brand text",
    "alter table games add itunes_id text null",
    "alter table games add itunes_id_free text null",
    "alter table games add itunes_id_ipad text null",
    "alter table games add itunes_id_ipad_free text null",
    "alter table games add track integer default 0",
};

constexpr const char* kOtherTables[] = {
    "create table if not exists adv(id integer primary key,w integer,h integer,d blob,"
    "t integer,s integer,e integer,c integer,n integer default'0')",
    "create table if not exists advlog(id integer,g integer,a integer,t integer,"
    "p integer default'0')",
    "create table if not exists opt(var varchar(64)primary key,val text)",
    "create table if not exists themes(k varchar(64) primary key,t varchar(48),v integer,d blob)",
    "create table if not exists news(id varchar(128) primary key)",
    "create table if not exists t(a)",
};

constexpr char kOptionTrigger[] =
    "create trigger if not exists on_tbl_opt_update after insert on opt for each row "
    "begin insert into t(a)values(trgopt(new.var,new.val));end";

// The game triggers hand trggms the row in its fixed argument order; the
// picture goes only with an insert, utm only where the column exists.
std::string GameTriggerBody(bool withPicture, bool withUtm)
{
    std::string body =
        "begin insert into t(a)values(trggms(new.id,new.afl,new.name,new.desc,new.release,"
        "new.rating,new.inst,new.show,new.runs,";
    body += withPicture ? "new.icnsml" : "null";
    body += ",new.custom,new.itunes_id,new.itunes_id_free,new.itunes_id_ipad,"
            "new.itunes_id_ipad_free,new.track,";
    body += withUtm ? "new.utm" : "null";
    body += "));end";
    return body;
}

std::string GameInsertTrigger(bool withUtm)
{
    return "create trigger if not exists on_game_insert before insert on games for each row " +
           GameTriggerBody(true, withUtm);
}

std::string GameUpdateTrigger(bool withUtm)
{
    return "create trigger if not exists on_game_update after update of afl,type,show,rating,"
           "inst,dwn,act,runs,purchased_time,custom on games for each row " +
           GameTriggerBody(false, withUtm);
}

// Every trigger goes, whatever its name, so a catalog written by another
// build always ends up with this build's triggers.
void DropAllTriggers(sqlite3* db)
{
    std::vector<std::string> names;
    {
        Statement stmt;
        if (!stmt.PrepareWithRetry(db, "select name from sqlite_master where type='trigger'"))
            return;
        while (stmt.StepRow()) {
            if (const char* name = stmt.ColumnText(0); name && *name)
                names.emplace_back(name);
        }
    }
    for (const std::string& name : names)
        ExecStatement(db, ("drop trigger " + QuoteIdentifier(name.c_str())).c_str());
}

std::string WideToUtf8(const wchar_t* text)
{
    int bytes = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0)
        return {};
    std::string utf8(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8.data(), bytes, nullptr, nullptr);
    utf8.resize(static_cast<size_t>(bytes) - 1);
    return utf8;
}

// The word that follows prefix in a schema statement: the name of the
// table, column or trigger it makes.
std::string NameAfter(const char* sql, const char* prefix)
{
    const size_t start = strlen(prefix);
    if (strncmp(sql, prefix, start) != 0)
        return {};
    const char* name = sql + start;
    return std::string(name, strcspn(name, " ("));
}

// "'a','b'" for an SQL "in" list; the names are this file's own.
std::string NameList(const std::vector<std::string>& names)
{
    std::string list;
    for (const std::string& name : names)
        list += (list.empty() ? "'" : ",'") + name + "'";
    return list;
}

// Whether the catalog already has every table, column and trigger that the
// schema update would add; read without writing anything.
bool HasCurrentSchema(sqlite3* db, bool withOldNumbering)
{
    std::vector<std::string> tables{NameAfter(kCreateGames, "create table if not exists ")};
    for (const char* sql : kOtherTables)
        tables.push_back(NameAfter(sql, "create table if not exists "));
    std::vector<std::string> columns;
    auto addColumns = [&](const auto& statements) {
        for (const char* sql : statements)
            columns.push_back(NameAfter(sql, "alter table games add "));
    };
    addColumns(kAddedColumns);
    if (withOldNumbering)
        addColumns(kOldNumberingColumns);
    std::vector<std::string> triggers{NameAfter(kOptionTrigger, "create trigger if not exists "),
                                      NameAfter(GameInsertTrigger(false).c_str(), "create trigger if not exists "),
                                      NameAfter(GameUpdateTrigger(false).c_str(), "create trigger if not exists ")};
    const std::string sql =
        "select (select count(*) from sqlite_master where type='table' and name in(" + NameList(tables) +
        "))=" + std::to_string(tables.size()) +
        " and (select count(*) from pragma_table_info('games') where name in(" + NameList(columns) +
        "))=" + std::to_string(columns.size()) +
        " and (select count(*) from sqlite_master where type='trigger' and name in(" + NameList(triggers) +
        "))=" + std::to_string(triggers.size());
    return QueryInt(db, sql.c_str()) == 1;
}

}  // namespace

void UpdateCatalogSchema(sqlite3* db, bool withOldNumbering)
{
    // The whole update runs in one transaction that holds the write lock
    // from its start: another process never sees the catalog without its
    // triggers, and a writer elsewhere is waited for instead of making
    // single statements fail.
    ExecOneWithRetry("begin immediate", db);
    DropAllTriggers(db);
    ExecStatement(db, kCreateGames);
    if (withOldNumbering) {
        for (const char* sql : kOldNumberingColumns)
            ExecStatement(db, sql);
    }
    for (const char* sql : kAddedColumns)
        ExecStatement(db, sql);
    for (const char* sql : kOtherTables)
        ExecStatement(db, sql);
    ExecStatement(db, "delete from t");
    ExecStatement(db, kOptionTrigger);
    ExecStatement(db, GameInsertTrigger(withOldNumbering).c_str());
    ExecStatement(db, GameUpdateTrigger(withOldNumbering).c_str());
    ExecOneWithRetry("commit", db);
}

bool SetCatalogDbPath(const wchar_t* fileName)
{
    if (!fileName || CatalogDbPath[0] != '\0')
        return false;
    std::wstring pattern = L"%APPDATA%\\";
    pattern += fileName;
    wchar_t path[kPathChars];
    DWORD needed = ExpandEnvironmentStringsW(pattern.c_str(), path, kPathChars);
    if (needed == 0 || needed > kPathChars)
        return false;
    // Only makes sure the file exists: a new catalog starts as an empty,
    // hidden file.
    HANDLE file = CreateFileW(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE,
                              nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(file);
    std::string utf8 = WideToUtf8(path);
    if (utf8.empty() || utf8.size() >= kCatalogPathBytes)
        return false;
    memcpy(CatalogDbPath, utf8.c_str(), utf8.size() + 1);
    return true;
}

const char* GetCatalogDbPath()
{
    return CatalogDbPath;
}

namespace {

// onlyReading: a run that only reads leaves a current catalog exactly as it
// is. Any other open writes (the schema update), and writing into a file
// that is cut short or has broken pages spreads the damage, so such a
// catalog is left as it is and counts as one that cannot be opened. An
// older catalog gains its missing parts on every open.
bool OpenCatalog(bool onlyReading)
{
    if (CatalogDb)
        return true;
    if (CatalogDbPath[0] == '\0')
        return false;
    sqlite3* db = nullptr;
    if (!OpenAndCheckDatabase(CatalogDbPath, &db))
        return false;
    const bool brand0 = GetBrandId() == 0;
    const bool writes = !onlyReading || !HasCurrentSchema(db, brand0);
    if (writes && !IsDatabaseIntact(db)) {
        sqlite3_close(db);
        return false;
    }
    RegisterCatalogFunctions(db);
    if (writes)
        UpdateCatalogSchema(db, brand0);
    CatalogDb = db;
    return true;
}

}  // namespace

bool OpenCatalogDb()
{
    return OpenCatalog(false);
}

bool OpenCatalogForReading()
{
    return OpenCatalog(true);
}

sqlite3* GetCatalogDb()
{
    if (!CatalogDb)
        OpenCatalogDb();
    return CatalogDb;
}

bool CloseCatalogDb()
{
    if (!CatalogDb)
        return true;
    if (sqlite3_close(CatalogDb) != SQLITE_OK)
        return false;
    CatalogDb = nullptr;
    return true;
}

bool InstallCatalogHooks(OptionRowHookFn optionRow, GameRowHookFn gameRow,
                         GamePictureHookFn gamePicture)
{
    bool open = GetCatalogDb() != nullptr;
    OptionRowHook = optionRow;
    GameRowHook = gameRow;
    GamePictureHook = gamePicture;
    return open;
}

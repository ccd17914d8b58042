#include "shell/maintenance.h"

#include "catalog/catalog.h"
#include "catalog/games.h"
#include "catalog/merge.h"
#include "catalog/options.h"
#include "catalog/storage.h"
#include "shell/brand.h"
#include "shell/cmdline.h"
#include "shell/text.h"

#include <cstdio>
#include <cstring>
#include <cwchar>

// ---------------------------------------------------------------------------
// Catalog actions: theme, affiliate, database import, installed query.
// ---------------------------------------------------------------------------

void SetThemeFromSwitch(const wchar_t* theme)
{
    sqlite3* db = GetCatalogDb();
    Utf8String name(theme);
    if (!db || !name.get())
        return;
    // A name that would make the statement with it written in 1024
    // characters or more is refused, as every formatted statement is.
    constexpr size_t kStatementChars = 1024;
    constexpr char kStatementWithoutName[] = "insert or replace into opt(var,val)values('theme','')";
    if (sizeof(kStatementWithoutName) - 1 + strlen(name.get()) >= kStatementChars)
        return;
    // The name comes from an installer's command line: it is bound, so a
    // name with a quote in it is stored exactly as given.
    Statement stmt;
    if (stmt.PrepareWithRetry(db, "insert or replace into opt(var,val)values('theme',?1)") &&
        stmt.BindText(1, name.get()))
        stmt.StepDone();
}

void SetAffiliateFromSwitch(uint32_t affiliate)
{
    char sql[96];
    snprintf(sql, sizeof(sql), "insert or replace into opt(var,val)values('affiliate','%u')",
             static_cast<unsigned>(affiliate));
    ExecOneWithRetry(sql, GetCatalogDb());
}

void ImportDatabaseFromSwitch(const wchar_t* path)
{
    Utf8String pathUtf8(path);
    if (!pathUtf8.get() || !*pathUtf8.get())
        return;
    // A catalog of the older numbering is renumbered once, before the
    // merge, so the import's ids already match.
    if (IsSwitchGiven(L'n') && GetOptionInt(L"newdb") != 1)
        RenumberGamesFromDatabase(pathUtf8.get());
    if (IsSwitchGiven(L'v') || GetBrandId() != 0)
        MergeUpdateDatabase(pathUtf8.get());
}

int QueryGameInstalled(uint32_t id)
{
    sqlite3* db = GetCatalogDb();
    QueryCursor cursor(db);
    Statement* row = nullptr;
    if (GetBrandId() != 0) {
        row = cursor.SelectGameById(id);
    } else if (!IsSwitchGiven(L'v')) {
        // The caller counts in the older numbering.
        wchar_t condition[32];
        swprintf(condition, 32, L"old_id=%u", static_cast<unsigned>(id));
        row = cursor.SelectGamesWhere(condition);
    } else if (GetOptionInt(L"newdb") == 1) {
        row = cursor.SelectGameById(id);
    } else {
        // The catalog still counts the older way: the caller must name the
        // mapping database, which has to exist and be one.
        std::optional<std::wstring> mapping = GetSwitchString(L'b');
        if (!mapping)
            return -1;
        Utf8String mappingUtf8(mapping->c_str());
        DatabaseHandle check;
        if (!OpenAndCheckExistingDatabase(mappingUtf8.get(), check.out()))
            return -1;
        char sql[64];
        snprintf(sql, sizeof(sql), "select old_id from games where id='%u'", static_cast<unsigned>(id));
        row = cursor.SelectGameById(static_cast<uint32_t>(QueryInt(db, sql)));
    }
    return row && GameRecord::Inst(*row) != 0 ? 3 : 10;
}

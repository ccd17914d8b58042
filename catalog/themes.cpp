#include "catalog/themes.h"

#include "catalog/catalog.h"
#include "catalog/options.h"

namespace {

bool BindTextCopy16(Statement& stmt, int index, const wchar_t* text)
{
    return text && sqlite3_bind_text16(stmt.Handle(), index, text, -1, SQLITE_TRANSIENT) == SQLITE_OK;
}

}  // namespace

int LookupThemeVersion()
{
    sqlite3* db = GetCatalogDb();
    if (!db)
        return -1;
    OptionValue theme(db, L"theme");
    const wchar_t* name = theme.GetText();
    if (!name)
        return -1;
    Statement stmt;
    if (!stmt.PrepareWithRetry(db, "select v from themes where t=?1 order by v desc limit 0,1") ||
        !BindTextCopy16(stmt, 1, name) || !stmt.StepRow())
        return 0;
    return stmt.ColumnInt(0);
}

bool SelectNewestThemeModule(sqlite3* db, const wchar_t* themeName, Statement& stmt)
{
    return stmt.PrepareWithRetry(db, "select d from themes where t=?1 order by v desc limit 0,1") &&
           BindTextCopy16(stmt, 1, themeName) && stmt.StepRow();
}

bool FeedOptionRowToHook(sqlite3* db, const wchar_t* name, const wchar_t* value)
{
    Statement stmt;
    return stmt.PrepareWithRetry(db, "select trgopt(?1,?2)") && BindTextCopy16(stmt, 1, name) &&
           BindTextCopy16(stmt, 2, value) && stmt.StepDone();
}

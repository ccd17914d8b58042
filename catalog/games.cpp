#include "catalog/games.h"

#include <cwchar>

namespace {

constexpr wchar_t kGameRecordSelect[] =
    L"select id, ident, name, desc, release, rating, afl, dwn, inst, exec, type, show, "
    L"uninstall, size, path, act, custom, price, brand, track from games where";

constexpr size_t kSqlBufferChars = 1024;

}  // namespace

Statement* QueryCursor::SelectGameById(uint32_t id)
{
    wchar_t condition[32];
    swprintf(condition, 32, L"id=%u", id);
    return SelectGamesWhere(condition);
}

Statement* QueryCursor::SelectGamesWhere(const wchar_t* condition)
{
    if (!condition)
        return nullptr;
    wchar_t sql[kSqlBufferChars];
    int length = swprintf(sql, kSqlBufferChars, L"%ls %ls", kGameRecordSelect, condition);
    if (length < 1 || length > static_cast<int>(kSqlBufferChars) - 1)
        return nullptr;
    return Select(sql);
}

namespace GameRecord {

uint32_t Id(const Statement& row) { return static_cast<uint32_t>(row.ColumnInt64(GameColumn::Id)); }
const wchar_t* Ident(const Statement& row) { return row.ColumnText16(GameColumn::Ident); }
const wchar_t* Name(const Statement& row) { return row.ColumnText16(GameColumn::Name); }
const wchar_t* Desc(const Statement& row) { return row.ColumnText16(GameColumn::Desc); }
int Inst(const Statement& row) { return row.ColumnInt(GameColumn::Inst); }
const wchar_t* Uninstall(const Statement& row) { return row.ColumnText16(GameColumn::Uninstall); }
bool IsShown(const Statement& row) { return row.ColumnInt(GameColumn::Show) > 0; }
const char* Custom(const Statement& row) { return row.ColumnText(GameColumn::Custom); }
const wchar_t* Brand(const Statement& row) { return row.ColumnText16(GameColumn::Brand); }

}  // namespace GameRecord

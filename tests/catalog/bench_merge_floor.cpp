// The floor of the merge benchmark (bench_merge.cpp): every row of the
// import's games table written into the catalog with one prepared
// "insert or replace" and bound values, in one transaction, with the
// catalog's custom functions so that its triggers run as in the program.
//
//   bench_merge_floor CATALOG IMPORT

#include "catalog/catalog.h"
#include "catalog/sqlfunctions.h"

#include <sqlite3.h>
#include <windows.h>

#include <string>

// The page-feeding hook slots the functions call: empty, as in the
// program's maintenance runs.
OptionRowHookFn OptionRowHook = nullptr;
GameRowHookFn GameRowHook = nullptr;
GamePictureHookFn GamePictureHook = nullptr;

namespace {

std::string Utf8(const wchar_t* text)
{
    int bytes = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string utf8(bytes > 0 ? static_cast<size_t>(bytes) : 1, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8.data(), bytes, nullptr, nullptr);
    utf8.resize(utf8.size() - 1);
    return utf8;
}

int RunFloor(const wchar_t* catalogPath, const wchar_t* importPath)
{
    sqlite3* catalog = nullptr;
    sqlite3* import = nullptr;
    if (sqlite3_open_v2(Utf8(catalogPath).c_str(), &catalog, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK ||
        sqlite3_open_v2(Utf8(importPath).c_str(), &import, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK)
        return 1;
    RegisterCatalogFunctions(catalog);
    sqlite3_stmt* select = nullptr;
    sqlite3_prepare_v2(import, "select * from games", -1, &select, nullptr);
    int columns = sqlite3_column_count(select);
    std::string names;
    std::string params;
    for (int i = 0; i < columns; ++i) {
        names += (i ? "," : "") + std::string(sqlite3_column_name(select, i));
        params += (i ? ",?" : "?") + std::to_string(i + 1);
    }
    sqlite3_stmt* insert = nullptr;
    std::string sql = "insert or replace into games(" + names + ")values(" + params + ")";
    sqlite3_exec(catalog, "begin", nullptr, nullptr, nullptr);
    sqlite3_prepare_v2(catalog, sql.c_str(), -1, &insert, nullptr);
    while (sqlite3_step(select) == SQLITE_ROW) {
        for (int i = 0; i < columns; ++i)
            sqlite3_bind_value(insert, i + 1, sqlite3_column_value(select, i));
        sqlite3_step(insert);
        sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    sqlite3_finalize(select);
    int rc = sqlite3_exec(catalog, "commit", nullptr, nullptr, nullptr);
    sqlite3_close(import);
    sqlite3_close(catalog);
    return rc == SQLITE_OK ? 0 : 2;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    return argc == 3 ? RunFloor(argv[1], argv[2]) : 1;
}

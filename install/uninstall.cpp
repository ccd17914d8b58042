#include "install/uninstall.h"

#include "catalog/catalog.h"
#include "catalog/games.h"
#include "catalog/storage.h"
#include "shell/files.h"

#include <windows.h>

#include <cstdio>
#include <cwchar>

namespace {

// A file is deleted; a folder goes with everything below it.
void DeletePath(const wchar_t* path)
{
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(path, &found);
    if (search == INVALID_HANDLE_VALUE)
        return;
    FindClose(search);
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        DeleteDirectoryTree(path);
    else
        DeleteFileW(path);
}

void DeleteUninstallEntry(const std::wstring& entry)
{
    if (entry.empty())
        return;
    const wchar_t* path = entry.c_str() + 1;
    switch (entry[0]) {
    case L'D':
    case L'd':
        DeleteDirectoryTree(path);
        break;
    case L'L':
    case L'l':
        DeletePath(path);
        break;
    default:
        break;
    }
}

// Ids are stored as unsigned numbers: one above 2147483647 is read by the
// same number it is reset with.
void ResetGameRow(sqlite3* catalog, int32_t gameId)
{
    char sql[256];
    snprintf(sql, sizeof(sql),
             "update games set type=2, afl=null, path=null, inst=null, exec=null, uninstall=null, "
             "runs=null, price=0 where id=%u",
             static_cast<uint32_t>(gameId));
    ExecOneWithRetry(sql, catalog);
}

}  // namespace

bool IsUninstallListPath(const wchar_t* path)
{
    return path && !wcschr(path, L';');
}

bool IsUninstallListPath(const std::optional<std::wstring>& path)
{
    return path && IsUninstallListPath(path->c_str());
}

bool DeleteUninstallList(const wchar_t* list)
{
    if (!list)
        return false;
    std::wstring entries = list;
    size_t start = 0;
    while (start < entries.size()) {
        size_t end = entries.find(L';', start);
        if (end == std::wstring::npos)
            end = entries.size();
        DeleteUninstallEntry(entries.substr(start, end - start));
        start = end + 1;
    }
    return true;
}

bool UninstallGameIn(sqlite3* catalog, int32_t gameId)
{
    std::optional<std::wstring> list;
    {
        QueryCursor cursor(catalog);
        Statement* row = cursor.SelectGameById(static_cast<uint32_t>(gameId));
        if (!row)
            return false;
        // The list as it stood before the reset clears it.
        if (const wchar_t* text = GameRecord::Uninstall(*row))
            list = text;
    }
    ResetGameRow(catalog, gameId);
    if (!list)
        return false;
    return DeleteUninstallList(list->c_str());
}

bool UninstallGame(int32_t gameId)
{
    return UninstallGameIn(GetCatalogDb(), gameId);
}

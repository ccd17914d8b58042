#include "install/uninstall.h"

#include "catalog/catalog.h"
#include "catalog/games.h"
#include "catalog/storage.h"
#include "shell/files.h"

#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <cwctype>

namespace {

constexpr DWORD kPathChars = 1024;

bool IsSeparator(wchar_t c)
{
    return c == L'\\' || c == L'/';
}

// A folder that an installation made lies below a drive or a share, and
// its path is a full one. The list's paths come from installers and the
// registry: a drive's or a share's root there (a game installed straight
// into C:\, a "Dir" of "C:\.") would take the whole drive with it, and a
// relative path would name whatever folder the uninstalling process
// happens to stand in.
bool IsRemovableFolder(const wchar_t* path)
{
    const bool drive = iswalpha(path[0]) && path[1] == L':' && IsSeparator(path[2]);
    const bool share = IsSeparator(path[0]) && IsSeparator(path[1]) && path[2] != L'?' && path[2] != L'.';
    if (!drive && !share)
        return false;
    wchar_t full[kPathChars];
    DWORD length = GetFullPathNameW(path, kPathChars, full, nullptr);
    if (length == 0 || length >= kPathChars)
        return false;
    while (length > 0 && full[length - 1] == L'\\')
        full[--length] = L'\0';
    // Components after the root: "C:" is the root of a drive,
    // "\\server\share" the root of a share.
    int components = 0;
    for (wchar_t* part = full; *part;) {
        while (IsSeparator(*part))
            ++part;
        if (!*part)
            break;
        ++components;
        while (*part && !IsSeparator(*part))
            ++part;
    }
    return components > (drive ? 1 : 2);
}

void DeleteFolderTree(const wchar_t* path)
{
    if (IsRemovableFolder(path))
        DeleteDirectoryTree(path);
}

// A file is deleted; a folder goes with everything below it.
void DeletePath(const wchar_t* path)
{
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(path, &found);
    if (search == INVALID_HANDLE_VALUE)
        return;
    FindClose(search);
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        DeleteFolderTree(path);
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
        DeleteFolderTree(path);
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

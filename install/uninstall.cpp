#include "install/uninstall.h"

#include "catalog/catalog.h"
#include "catalog/games.h"
#include "catalog/storage.h"
#include "install/shortcuts.h"
#include "shell/com.h"
#include "shell/errorlog.h"
#include "shell/files.h"

#include <windows.h>
#include <knownfolders.h>
#include <objbase.h>
#include <shlobj.h>

#include <cstdio>
#include <cwchar>
#include <cwctype>
#include <vector>

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

// Folders of the system and of the user. An uninstall list never takes one
// of them, nor a folder holding one, as a whole, whatever the list says:
// a list written by an older version or another tool may name the folder
// a game was installed into when that folder was the user's own.
std::vector<std::wstring> SystemFolders()
{
    static const KNOWNFOLDERID* const kFolders[] = {
        &FOLDERID_Profile,         &FOLDERID_UserProfiles,   &FOLDERID_Desktop,
        &FOLDERID_Documents,       &FOLDERID_RoamingAppData, &FOLDERID_LocalAppData,
        &FOLDERID_ProgramData,     &FOLDERID_ProgramFiles,   &FOLDERID_ProgramFilesX86,
        &FOLDERID_Windows,         &FOLDERID_Programs,       &FOLDERID_StartMenu,
        &FOLDERID_Public,          &FOLDERID_CommonPrograms, &FOLDERID_CommonStartMenu,
        &FOLDERID_PublicDesktop,   &FOLDERID_PublicDocuments, &FOLDERID_System,
    };
    std::vector<std::wstring> folders;
    for (const KNOWNFOLDERID* id : kFolders) {
        PWSTR path = nullptr;
        if (SUCCEEDED(SHGetKnownFolderPath(*id, 0, nullptr, &path)) && path)
            folders.emplace_back(path);
        CoTaskMemFree(path);
    }
    return folders;
}

// Where an uninstall must not reach.
struct UninstallGuard {
    std::vector<std::wstring> systemFolders;
    // Folders of the other installed games: they and everything in them stay.
    std::vector<std::wstring> otherGames;
    // The game whose shortcuts may go; 0: any shortcut the list names.
    uint32_t gameId = 0;
    sqlite3* catalog = nullptr;
    std::wstring programsFolder;
};

enum class EntryOutcome {
    kDone,     // gone, or nothing that may be deleted was there
    kKept,     // holds or is another installed game's folder: stays recorded
    kFailed,   // could not be deleted (in use, denied): stays recorded
};

bool HoldsSystemFolder(const wchar_t* path, const UninstallGuard& guard)
{
    for (const std::wstring& folder : guard.systemFolders) {
        if (IsSameOrBelow(folder.c_str(), path))
            return true;
    }
    return false;
}

EntryOutcome DeleteFolderTree(const wchar_t* path, const UninstallGuard& guard)
{
    if (!IsRemovableFolder(path))
        return EntryOutcome::kDone;
    if (HoldsSystemFolder(path, guard)) {
        LogMessage(L"Uninstall: %ls is a folder of the system or the user and stays", path);
        return EntryOutcome::kDone;
    }
    std::vector<std::wstring> keep;
    for (const std::wstring& game : guard.otherGames) {
        if (IsSameOrBelow(path, game.c_str()))
            return EntryOutcome::kKept;
        if (IsSameOrBelow(game.c_str(), path))
            keep.push_back(game);
    }
    // A game's own menu folder goes only with a shortcut of the game in it.
    if (guard.gameId && !guard.programsFolder.empty() && IsSameOrBelow(path, guard.programsFolder.c_str()) &&
        !FolderHoldsShortcutOfGame(guard.catalog, path, guard.gameId))
        return EntryOutcome::kDone;
    if (DeleteDirectoryTree(path, keep))
        return EntryOutcome::kDone;
    return keep.empty() ? EntryOutcome::kFailed : EntryOutcome::kKept;
}

bool IsShortcutFile(const wchar_t* path)
{
    const size_t length = wcslen(path);
    return length > 4 && _wcsicmp(path + length - 4, L".lnk") == 0;
}

EntryOutcome DeleteListedFile(const wchar_t* path, const UninstallGuard& guard)
{
    // A shortcut of that name may be the user's or another game's.
    if (guard.gameId && IsShortcutFile(path) && !IsShortcutOfGame(guard.catalog, path, guard.gameId))
        return EntryOutcome::kDone;
    return DeleteFileForced(path) ? EntryOutcome::kDone : EntryOutcome::kFailed;
}

// A file is deleted; a folder goes with everything below it.
EntryOutcome DeletePath(const wchar_t* path, const UninstallGuard& guard)
{
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(path, &found);
    if (search == INVALID_HANDLE_VALUE)
        return EntryOutcome::kDone;
    FindClose(search);
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        return DeleteFolderTree(path, guard);
    return DeleteListedFile(path, guard);
}

EntryOutcome DeleteUninstallEntry(const std::wstring& entry, const UninstallGuard& guard)
{
    if (entry.empty())
        return EntryOutcome::kDone;
    const wchar_t* path = entry.c_str() + 1;
    switch (entry[0]) {
    case L'D':
    case L'd':
        return DeleteFolderTree(path, guard);
    case L'L':
    case L'l':
        return DeletePath(path, guard);
    default:
        return EntryOutcome::kDone;
    }
}

// Deletes what the list names; the entries that are still there come back,
// each ending in ";".
std::wstring DeleteEntries(const wchar_t* list, const UninstallGuard& guard)
{
    std::wstring remaining;
    for (const std::wstring& entry : UninstallListEntries(list)) {
        switch (DeleteUninstallEntry(entry, guard)) {
        case EntryOutcome::kDone:
            break;
        case EntryOutcome::kKept:
            LogMessage(L"Uninstall: %ls holds another installed game and stays", entry.c_str() + 1);
            remaining += entry + L";";
            break;
        case EntryOutcome::kFailed:
            LogMessage(L"Uninstall: %ls could not be removed; it stays listed for the next uninstall",
                       entry.c_str() + 1);
            remaining += entry + L";";
            break;
        }
    }
    return remaining;
}

// The install folders of the installed games other than gameId.
std::vector<std::wstring> OtherInstalledGameFolders(sqlite3* catalog, int32_t gameId)
{
    std::vector<std::wstring> folders;
    Statement rows;
    if (!rows.PrepareWithRetry(catalog, "select path from games where inst is not null and inst<>0 and "
                                        "path is not null and id<>?") ||
        !rows.BindInt(1, static_cast<uint32_t>(gameId)))
        return folders;
    while (rows.StepRow()) {
        if (const wchar_t* path = rows.ColumnText16(0)) {
            if (NormalisedFullPath(path))
                folders.emplace_back(path);
        }
    }
    return folders;
}

std::wstring ProgramsFolder()
{
    wchar_t folder[MAX_PATH + 1] = {};
    if (!SHGetSpecialFolderPathW(nullptr, folder, CSIDL_PROGRAMS, FALSE))
        return std::wstring();
    return folder;
}

// Entries that could not go are written back, so that the next uninstall
// of the game finishes the job.
void KeepRemainingEntries(sqlite3* catalog, int32_t gameId, const std::wstring& remaining)
{
    Statement update;
    if (!update.PrepareWithRetry16(catalog, L"update games set uninstall=?1 where id=?2") ||
        !update.BindText16(1, remaining.c_str()) || !update.BindInt(2, static_cast<uint32_t>(gameId)) ||
        !update.StepDone())
        LogMessage(L"Uninstall: the remaining entries of game %u could not be recorded",
                   static_cast<uint32_t>(gameId));
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

std::vector<std::wstring> UninstallListEntries(const std::wstring& list)
{
    std::vector<std::wstring> entries;
    for (size_t start = 0; start < list.size();) {
        size_t end = list.find(L';', start);
        if (end == std::wstring::npos)
            end = list.size();
        if (end - start > 1)
            entries.push_back(list.substr(start, end - start));
        start = end + 1;
    }
    return entries;
}

bool DeleteUninstallList(const wchar_t* list)
{
    if (!list)
        return false;
    UninstallGuard guard;
    guard.systemFolders = SystemFolders();
    DeleteEntries(list, guard);
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
    ComApartment apartment;  // shortcuts are read to tell whose they are
    UninstallGuard guard;
    guard.systemFolders = SystemFolders();
    guard.otherGames = OtherInstalledGameFolders(catalog, gameId);
    guard.gameId = static_cast<uint32_t>(gameId);
    guard.catalog = catalog;
    guard.programsFolder = ProgramsFolder();
    const std::wstring remaining = DeleteEntries(list->c_str(), guard);
    if (!remaining.empty())
        KeepRemainingEntries(catalog, gameId, remaining);
    return true;
}

bool UninstallGame(int32_t gameId)
{
    return UninstallGameIn(GetCatalogDb(), gameId);
}

#include "install/uninstall.h"

#include "catalog/catalog.h"
#include "catalog/games.h"
#include "catalog/storage.h"
#include "install/shortcuts.h"
#include "install/staging.h"
#include "shell/com.h"
#include "shell/errorlog.h"
#include "shell/files.h"

#include <windows.h>
#include <shlobj.h>

#include <algorithm>
#include <cwchar>
#include <cwctype>
#include <utility>
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

// Where an uninstall must not reach.
struct UninstallGuard {
    // Keys (files.h) of the folders of the system and of the user: an
    // uninstall list never takes one of them, nor a folder holding one, as
    // a whole, whatever the list says. A list written by an older version
    // or another tool may name the folder a game was installed into when
    // that folder was the user's own.
    std::vector<std::wstring> knownFolders;
    // Keys of what the other games hold (sorted): their folders and what
    // their lists name stay, with the folders that lead to them.
    std::vector<std::wstring> held;
    // The game whose shortcuts may go; 0: any shortcut the list names.
    uint32_t gameId = 0;
    sqlite3* catalog = nullptr;
    std::optional<std::wstring> programsFolder;  // key
};

enum class EntryOutcome {
    kDone,     // gone, or nothing that may be deleted was there
    kKept,     // holds or is what another game holds: stays recorded
    kFailed,   // could not be deleted (in use, denied): stays recorded
};

bool ContainsKey(const std::vector<std::wstring>& sorted, const std::wstring& key)
{
    return std::binary_search(sorted.begin(), sorted.end(), key);
}

// Where the keys of a sorted list that lie below key (not key itself)
// begin; they run while they start with prefix.
std::vector<std::wstring>::const_iterator FirstKeyBelow(const std::vector<std::wstring>& sorted,
                                                        const std::wstring& key, std::wstring* prefix)
{
    *prefix = key.back() == L'\\' ? key : key + L'\\';
    return std::lower_bound(sorted.begin(), sorted.end(), *prefix);
}

std::vector<std::wstring> KeysBelow(const std::vector<std::wstring>& sorted, const std::wstring& key)
{
    std::wstring prefix;
    std::vector<std::wstring> below;
    for (auto it = FirstKeyBelow(sorted, key, &prefix);
         it != sorted.end() && it->compare(0, prefix.size(), prefix) == 0; ++it)
        below.push_back(*it);
    return below;
}

// Whether key is, or holds, a key of the sorted list.
bool HoldsAnyKey(const std::vector<std::wstring>& sorted, const std::wstring& key)
{
    std::wstring prefix;
    const auto below = FirstKeyBelow(sorted, key, &prefix);
    return ContainsKey(sorted, key) || (below != sorted.end() && below->compare(0, prefix.size(), prefix) == 0);
}

void SortKeys(std::vector<std::wstring>& keys)
{
    std::sort(keys.begin(), keys.end());
    keys.erase(std::unique(keys.begin(), keys.end()), keys.end());
}

bool HoldsKnownFolder(const std::wstring& key, const UninstallGuard& guard)
{
    return std::any_of(guard.knownFolders.begin(), guard.knownFolders.end(),
                       [&](const std::wstring& folder) { return IsKeySameOrBelow(folder, key); });
}

// A folder inside another game's is this game's own (a game installed into
// another's folder): only what the other games hold, and the folders that
// lead to it, stays.
EntryOutcome DeleteFolderTree(const wchar_t* path, const UninstallGuard& guard)
{
    const std::optional<std::wstring> key = PathKey(path);
    if (!key || !IsRemovableFolder(path))
        return EntryOutcome::kDone;
    if (HoldsKnownFolder(*key, guard)) {
        LogMessage(L"Uninstall: %ls is a folder of the system or the user and stays", path);
        return EntryOutcome::kDone;
    }
    if (ContainsKey(guard.held, *key))
        return EntryOutcome::kKept;
    const std::vector<std::wstring> keep = KeysBelow(guard.held, *key);
    // A game's own menu folder goes only with a shortcut of the game in it.
    if (guard.gameId && guard.programsFolder && IsKeySameOrBelow(*key, *guard.programsFolder) &&
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
    if (const std::optional<std::wstring> key = PathKey(path); key && ContainsKey(guard.held, *key))
        return EntryOutcome::kKept;
    return DeleteFileForced(path) ? EntryOutcome::kDone : EntryOutcome::kFailed;
}

// A file is deleted; a folder goes with everything below it. A file the
// game wrote over another game's (shared) stays while another game holds
// it or a folder it lies in; a folder found in its place is not that file.
EntryOutcome DeletePath(const wchar_t* path, const UninstallGuard& guard, bool shared)
{
    if (shared) {
        if (const std::optional<std::wstring> key = PathKey(path); key && LiesWithinAnyKey(guard.held, *key))
            return EntryOutcome::kKept;
    }
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(path, &found);
    if (search == INVALID_HANDLE_VALUE)
        return EntryOutcome::kDone;
    FindClose(search);
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        return shared ? EntryOutcome::kDone : DeleteFolderTree(path, guard);
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
        return DeletePath(path, guard, false);
    case kSharedFileEntry:
        return DeletePath(path, guard, true);
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
            LogMessage(L"Uninstall: %ls holds what another game holds and stays", entry.c_str() + 1);
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

// A list that an installation recorded before it wrote its first file and
// that no registration has replaced yet.
constexpr char kPendingListCondition[] = "(uninstall glob 'P*' or uninstall glob '*;P*')";

bool IsPathEntry(const std::wstring& entry)
{
    return entry[0] == kPendingEntry || entry[0] == kSharedFileEntry || wcschr(L"DdLl", entry[0]);
}

// The keys of the paths a list names (every letter that names one; without
// the pending mark's target when withTarget is false).
void AddListedKeys(const wchar_t* list, std::vector<std::wstring>& keys, bool withTarget = true)
{
    if (!list)
        return;
    for (const std::wstring& entry : UninstallListEntries(list)) {
        if (!IsPathEntry(entry) || (!withTarget && entry[0] == kPendingEntry))
            continue;
        if (std::optional<std::wstring> key = PathKey(entry.c_str() + 1))
            keys.push_back(*key);
    }
}

// What the games other than gameId hold: an installed game its folder and
// what its list names; a game whose installation was cut short what its
// pending list names. Without their targets: only what their lists name
// as brought by them. nullopt when the catalog could not be read: an
// uninstall that does not know them must delete nothing.
std::optional<std::vector<std::wstring>> OtherGamesPaths(sqlite3* catalog, uint32_t gameId, bool withTargets)
{
    const std::string sql = std::string("select path, uninstall from games where id<>? and ((inst is not null and "
                                        "inst<>0) or ") + kPendingListCondition + ")";
    Statement rows;
    if (!rows.PrepareWithRetry(catalog, sql.c_str()) || !rows.BindInt(1, gameId))
        return std::nullopt;
    std::vector<std::wstring> keys;
    while (rows.StepRow()) {
        if (std::optional<std::wstring> key = withTargets ? PathKey(rows.ColumnText16(0)) : std::nullopt)
            keys.push_back(*key);
        AddListedKeys(rows.ColumnText16(1), keys, withTargets);
    }
    if (rows.Failed())
        return std::nullopt;
    SortKeys(keys);
    return keys;
}

UninstallGuard GuardFor(sqlite3* catalog, uint32_t gameId, const std::vector<std::wstring>& knownFolders,
                        std::vector<std::wstring> held)
{
    UninstallGuard guard;
    guard.knownFolders = knownFolders;
    guard.held = std::move(held);
    guard.gameId = gameId;
    guard.catalog = catalog;
    wchar_t programs[MAX_PATH + 1] = {};
    if (SHGetSpecialFolderPathW(nullptr, programs, CSIDL_PROGRAMS, FALSE))
        guard.programsFolder = PathKey(programs);
    return guard;
}

// A run of the game's installation cut short (killed while it wrote or
// placed files) left temporaries and spares beside the files it replaced.
// Those of listed files in the game's install folder go with them; the
// folders listed go whole anyway.
void DeleteSparesOfListedFiles(const std::vector<std::wstring>& entries, const wchar_t* installDir)
{
    const std::optional<std::wstring> folder = PathKey(installDir);
    if (!folder)
        return;
    std::vector<std::wstring> files;
    for (const std::wstring& entry : entries) {
        if (!wcschr(L"Ll", entry[0]) && entry[0] != kSharedFileEntry)
            continue;
        const wchar_t* path = entry.c_str() + 1;
        const DWORD attributes = GetFileAttributesW(path);
        const std::optional<std::wstring> key = PathKey(path);
        if ((attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) && key &&
            IsKeySameOrBelow(*key, *folder))
            files.push_back(NormalisedFullPath(path).value_or(path));
    }
    DeleteSparesBeside(files);
}

// The game stops being installed only once its files are gone: an
// uninstall cut short (a shutdown, a crash) leaves it installed with its
// list, and the next uninstall finishes the job. What could not go is
// written back as the game's list.
bool ResetGameRow(sqlite3* catalog, uint32_t gameId, const std::wstring& remaining)
{
    Statement reset;
    if (reset.PrepareWithRetry16(catalog, L"update games set type=2, afl=null, path=null, inst=null, exec=null, "
                                          L"uninstall=?1, runs=null, price=0 where id=?2") &&
        (remaining.empty() || reset.BindText16(1, remaining.c_str())) && reset.BindInt(2, gameId) &&
        reset.StepDone())
        return true;
    LogMessage(L"Uninstall: the catalog row of game %u could not be reset", gameId);
    return false;
}

// Games uninstalled before this one may have kept entries because they
// held what this one held (freed, sorted keys); those may go now. A
// pending list is left to its own installation or uninstall.
void DeleteEntriesFreedBy(sqlite3* catalog, uint32_t gameId, const std::vector<std::wstring>& freed,
                          const std::vector<std::wstring>& knownFolders)
{
    if (freed.empty())
        return;
    // The lists retried are of games neither installed nor pending, which
    // hold nothing: one reading of what the others hold serves them all.
    const std::optional<std::vector<std::wstring>> others = OtherGamesPaths(catalog, gameId, true);
    if (!others)
        return;
    std::vector<std::pair<uint32_t, std::wstring>> lists;
    {
        const std::string sql = std::string("select id, uninstall from games where inst is null and "
                                            "uninstall is not null and id<>? and not ") + kPendingListCondition;
        Statement rows;
        if (!rows.PrepareWithRetry(catalog, sql.c_str()) || !rows.BindInt(1, gameId))
            return;
        while (rows.StepRow())
            lists.emplace_back(static_cast<uint32_t>(rows.ColumnInt64(0)), rows.ColumnText16(1));
    }
    for (const auto& [id, list] : lists) {
        std::wstring held;
        std::wstring rest;
        for (const std::wstring& entry : UninstallListEntries(list)) {
            const std::optional<std::wstring> key = PathKey(entry.c_str() + 1);
            (key && (HoldsAnyKey(freed, *key) || LiesWithinAnyKey(freed, *key)) ? held : rest) += entry + L";";
        }
        if (held.empty())
            continue;
        const std::wstring remaining =
            rest + DeleteEntries(held.c_str(), GuardFor(catalog, id, knownFolders, *others));
        if (!StoreUninstallList(catalog, id, remaining.empty() ? nullptr : remaining.c_str()))
            LogMessage(L"Uninstall: the remaining entries of game %u could not be recorded", id);
    }
}

}  // namespace

bool LiesWithinAnyKey(const std::vector<std::wstring>& sorted, const std::wstring& key)
{
    if (ContainsKey(sorted, key))
        return true;
    // The folders leading to key, with and without the separator that ends
    // a drive's root.
    for (size_t slash = key.rfind(L'\\'); slash != std::wstring::npos && slash > 0;
         slash = key.rfind(L'\\', slash - 1)) {
        if (ContainsKey(sorted, key.substr(0, slash)) || ContainsKey(sorted, key.substr(0, slash + 1)))
            return true;
    }
    return false;
}

std::optional<std::vector<std::wstring>> PathsOtherGamesBrought(sqlite3* catalog, uint32_t gameId)
{
    return OtherGamesPaths(catalog, gameId, false);
}

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

bool ReadUninstallList(sqlite3* catalog, uint32_t gameId, std::optional<std::wstring>* list)
{
    Statement row;
    if (!row.PrepareWithRetry(catalog, "select uninstall from games where id=?") || !row.BindInt(1, gameId))
        return false;
    const wchar_t* text = row.StepRow() ? row.ColumnText16(0) : nullptr;
    *list = text ? std::optional<std::wstring>(text) : std::nullopt;
    return !row.Failed();
}

bool StoreUninstallList(sqlite3* catalog, uint32_t gameId, const wchar_t* list)
{
    Statement update;
    return update.PrepareWithRetry16(catalog, L"update games set uninstall=?1 where id=?2") &&
           (!list || update.BindText16(1, list)) && update.BindInt(2, gameId) && update.StepDone();
}

bool DeleteUninstallList(const wchar_t* list)
{
    if (!list)
        return false;
    UninstallGuard guard;
    guard.knownFolders = KnownFolderKeys();
    DeleteEntries(list, guard);
    return true;
}

bool UninstallGameIn(sqlite3* catalog, int32_t gameId)
{
    const uint32_t id = static_cast<uint32_t>(gameId);
    std::optional<std::wstring> list;
    std::optional<std::wstring> installDir;
    {
        QueryCursor cursor(catalog);
        Statement* row = cursor.SelectGameById(id);
        if (!row)
            return false;
        if (const wchar_t* text = GameRecord::Uninstall(*row))
            list = text;
        if (const wchar_t* path = row->ColumnText16(GameColumn::Path))
            installDir = path;
    }
    ComApartment apartment;  // shortcuts are read to tell whose they are
    const std::vector<std::wstring> knownFolders = KnownFolderKeys();
    std::wstring remaining;
    if (list) {
        std::optional<std::vector<std::wstring>> others = OtherGamesPaths(catalog, id, true);
        if (!others) {
            LogMessage(L"Uninstall: the catalog could not be read; game %u stays as it is", id);
            return false;
        }
        if (installDir)
            DeleteSparesOfListedFiles(UninstallListEntries(*list), installDir->c_str());
        remaining = DeleteEntries(list->c_str(), GuardFor(catalog, id, knownFolders, std::move(*others)));
    }
    if (!ResetGameRow(catalog, id, remaining))
        return false;
    std::vector<std::wstring> freed;
    if (installDir) {
        if (std::optional<std::wstring> key = PathKey(installDir->c_str()))
            freed.push_back(*key);
    }
    AddListedKeys(list ? list->c_str() : nullptr, freed);
    SortKeys(freed);
    DeleteEntriesFreedBy(catalog, id, freed, knownFolders);
    return list.has_value();
}

bool UninstallGame(int32_t gameId)
{
    return UninstallGameIn(GetCatalogDb(), gameId);
}

std::optional<std::vector<uint32_t>> GamesToUninstall(sqlite3* catalog)
{
    const std::string sql = std::string("select id from games where inst is not null or ") + kPendingListCondition;
    Statement rows;
    if (!rows.PrepareWithRetry(catalog, sql.c_str()))
        return std::nullopt;
    std::vector<uint32_t> ids;
    while (rows.StepRow())
        ids.push_back(static_cast<uint32_t>(rows.ColumnInt64(0)));
    return rows.Failed() ? std::nullopt : std::optional<std::vector<uint32_t>>(ids);
}

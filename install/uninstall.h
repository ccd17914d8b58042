#pragma once

// Uninstall lists: what an installation left behind, kept in the game's
// uninstall column. Entries are separated by ";", each a letter and a full
// path: "D" (or "d") a folder to delete with everything below it, "L" (or
// "l") a file, or a folder with everything below it. Other letters and
// empty entries are ignored; "P" marks the list of an installation that
// has begun and not yet been registered (it names the target): a run cut
// short leaves it, and another game's uninstall then leaves that target
// and what the list names alone. "S" names a file the installation wrote
// over one that another game brought: it goes with the last game that
// brought it (older readers of the list, ignoring the letter, leave it to
// that game's list).

#include <sqlite3.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

constexpr wchar_t kPendingEntry = L'P';
constexpr wchar_t kSharedFileEntry = L'S';

// A path that can stand in an uninstall list: present and without ";",
// which would split it into entries of its own.
bool IsUninstallListPath(const wchar_t* path);
bool IsUninstallListPath(const std::optional<std::wstring>& path);

// The list's entries, each a letter and its path, without the ";" that
// ends them; empty entries and a letter without a path are left out.
std::vector<std::wstring> UninstallListEntries(const std::wstring& list);

// Reads the game's uninstall column (nullopt: NULL, or no row). False when
// the catalog could not be read: a list written without the earlier one
// would lose what it named.
bool ReadUninstallList(sqlite3* catalog, uint32_t gameId, std::optional<std::wstring>* list);
// Writes the game's uninstall column (null: NULL) and nothing else.
bool StoreUninstallList(sqlite3* catalog, uint32_t gameId, const wchar_t* list);

// The keys (files.h) of what the lists of the games other than gameId,
// installed or with a pending list, name as brought by them, sorted.
// nullopt when the catalog could not be read.
std::optional<std::vector<std::wstring>> PathsOtherGamesBrought(sqlite3* catalog, uint32_t gameId);
// Whether key is, or lies below, a key of the sorted list.
bool LiesWithinAnyKey(const std::vector<std::wstring>& sorted, const std::wstring& key);

// Deletes what the list names; failed deletions are skipped. False only
// for a null list.
bool DeleteUninstallList(const wchar_t* list);

// Deletes what the game's uninstall list names, then marks the game not
// installed (type 2; afl, path, inst, exec and runs null; price 0) with
// what could not go yet as its list (else null). What the other installed
// games hold, and what pending lists name, stays; entries that games
// uninstalled earlier kept because they held this game's paths go now.
// False when the game has no row or no list, or when the catalog could
// not be read (then nothing is deleted and the row stays as it was).
bool UninstallGame(int32_t gameId);
// The games that uninstalling every game takes: the installed ones and
// those whose installation was cut short (a pending list). nullopt when
// the catalog could not be read.
std::optional<std::vector<uint32_t>> GamesToUninstall(sqlite3* catalog);
// The same on a given catalog connection.
bool UninstallGameIn(sqlite3* catalog, int32_t gameId);

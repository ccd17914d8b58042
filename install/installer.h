#pragma once

// Installing one game from a game package: the tree written into the
// target directory, the shortcuts made where the brand asks for them, and
// the catalog row that marks the game installed.

#include "install/installjob.h"

#include <sqlite3.h>

#include <cstdint>

// Opens the package, writes its tree into targetDir and hands each job it
// makes to notify (first an interim one, then the final one). True when
// the final job is installed (kJobInstalled); the caller reads the outcome
// from the held job. Before the first file is written, the entries of the
// tree are recorded in the game's catalog row (which a game the catalog
// lacks gets from the package), without marking it installed, so that a
// run cut short leaves nothing unrecorded (the list is marked pending
// until the registration). A failed installation removes what it wrote
// and puts the row back.
bool InstallGamePackage(uint32_t gameId, const wchar_t* packagePath, const wchar_t* targetDir,
                        CInstallNotify* notify);

// Turns an installed job into the game's catalog row (directory, executable,
// uninstall list, figures from the package and the command line). Returns
// the job's state unchanged when it is not kJobInstalled, kJobRegisterFailed
// when the row could not be written, else kJobInstalled.
int32_t RegisterInstalledGame(InstallJob* job);
// The same on a given catalog connection.
int32_t RegisterInstalledGameIn(sqlite3* catalog, InstallJob* job);

// The uninstall list of an installed job: its tree's entries (by default
// "D<dir>;"), then "L<desktop link>;L<menu entry>;" where a missing path
// adds nothing. A target folder that held anything before, or that is a
// folder of the system or the user, is not the game's: in place of the "D"
// entry, one "L" entry names each folder the installation made and each
// file it added to a folder that was there.
std::wstring UninstallListForJob(const InstallJob& job);

// Puts the game's catalog row back as it stood before the installation
// recorded its tree's entries there (or removes the row it added), so that
// a failed installation leaves the catalog as it was.
void ForgetTreeEntries(sqlite3* catalog, InstallJob& job);

// The list to store when the game's earlier list was earlier (null: none):
// list first, then every entry of the earlier one that still names
// something on disk and that list does not name already, so that a
// reinstall, into the same folder or another, leaves nothing unrecorded.
// The earlier list's pending mark is not carried over.
std::wstring MergeUninstallLists(const std::wstring& list, const wchar_t* earlier);

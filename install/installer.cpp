#include "install/installer.h"

#include "catalog/catalog.h"
#include "catalog/options.h"
#include "catalog/storage.h"
#include "install/loader.h"
#include "install/package.h"
#include "install/shortcuts.h"
#include "install/uninstall.h"
#include "shell/brand.h"
#include "shell/cmdline.h"
#include "shell/errorlog.h"
#include "shell/files.h"
#include "shell/settings.h"
#include "shell/text.h"

#include <windows.h>
#include <objbase.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <new>
#include <unordered_set>
#include <vector>

namespace {

constexpr uint32_t kAllBitsAffiliate = 0xFFFFFFFF;

// The package must exist: opening a missing file would create an empty
// database in its place.
bool OpenPackage(const wchar_t* packagePath, DatabaseHandle* package)
{
    Utf8String path(packagePath);
    return path.get() && OpenAndCheckExistingDatabase(path.get(), package->out());
}

// The game's root directory: the top-level directory named after its
// ident; 0 (the level above the top-level directories) when none is.
uint32_t RootDirectoryId(sqlite3* package, const std::optional<std::wstring>& ident)
{
    if (!ident)
        return 0;
    Utf8String identUtf8(ident->c_str());
    if (!identUtf8.get())
        return 0;
    std::string sql = "select id from zeldir where p=0 and n='";
    for (const char* p = identUtf8.get(); *p; ++p) {
        sql.push_back(*p);
        if (*p == '\'')
            sql.push_back('\'');
    }
    sql.push_back('\'');
    return static_cast<uint32_t>(QueryInt(package, sql.c_str()));
}

// The loader of brand 5 shows a progress bar: each file written moves it
// by 10000 / the number of files. Other brands count nothing.
int32_t ProgressStep(sqlite3* package, uint32_t packageGameId, const wchar_t* installDir, uint32_t root)
{
    if (GetBrandId() != 5)
        return 0;
    ReportLoaderProgress(packageGameId, 0);
    int32_t total = CountPackageFiles(package, installDir, root);
    if (total <= 0)
        return 0;
    return std::max<int32_t>(static_cast<int32_t>(kProgressComplete) / total, 1);
}

// With the current numbering, brand 0's shortcuts carry the game's new id.
uint32_t ShortcutGameId(uint32_t packageGameId)
{
    if (GetBrandId() != 0 || !IsNewNumbering())
        return packageGameId;
    char sql[96];
    snprintf(sql, sizeof(sql), "select id from games where old_id='%u'", packageGameId);
    uint32_t current = static_cast<uint32_t>(QueryInt(GetCatalogDb(), sql));
    return current ? current : packageGameId;
}

void MakeShortcutsAfterInstall(uint32_t gameId, const std::optional<std::wstring>& ident,
                               const std::optional<std::wstring>& iconPath, InstallJob& job)
{
    CWrapConfig* config = GetWrapConfig();
    if (!config || !config->shortcutsAfterInstall)
        return;
    const std::optional<std::wstring>& icon = iconPath ? iconPath : job.execPath;
    HRESULT com = CoInitialize(nullptr);
    CreateGameShortcuts(gameId, job.name ? job.name->c_str() : nullptr, ident ? ident->c_str() : nullptr,
                        icon ? icon->c_str() : nullptr, &job.desktopLink, &job.menuEntry);
    if (SUCCEEDED(com))
        CoUninitialize();
}

std::optional<std::wstring> ColumnCopy(const Statement& row, int column)
{
    const wchar_t* text = row.ColumnText16(column);
    return text ? std::optional<std::wstring>(text) : std::nullopt;
}

// A null text stays unbound, so its column becomes NULL.
bool BindOptionalText(Statement& stmt, int index, const std::optional<std::wstring>& text)
{
    return !text || stmt.BindText16(index, text->c_str());
}

// nullopt when the catalog could not be read.
std::optional<bool> GameRowExists(sqlite3* catalog, uint32_t gameId)
{
    Statement row;
    if (!row.PrepareWithRetry(catalog, "select 1 from games where id=?") || !row.BindInt(1, gameId))
        return std::nullopt;
    const bool exists = row.StepRow();
    return row.Failed() ? std::nullopt : std::optional<bool>(exists);
}

// A game the catalog does not know yet gets its row from the package, so
// that it can be seen, started and removed like any other. Only the
// package's own game gets one: a package installed under another id than
// its own, for a game the catalog does not have, fails the installation
// rather than leave a game on disk that nothing records.
bool AddGameRow(sqlite3* catalog, const InstallJob& job)
{
    if (job.packageGameId != job.gameId)
        return false;
    Statement insert;
    return insert.PrepareWithRetry16(catalog, L"insert or ignore into games(id, ident, name, show) "
                                              L"values(?1, ?2, ?3, 1)") &&
           insert.BindInt(1, job.gameId) && BindOptionalText(insert, 2, job.ident) &&
           BindOptionalText(insert, 3, job.name) && insert.StepDone();
}

bool EnsureGameRow(sqlite3* catalog, const InstallJob& job)
{
    const std::optional<bool> exists = GameRowExists(catalog, job.gameId);
    return exists && (*exists || AddGameRow(catalog, job));
}

// A file written over one that another game brought is listed as shared:
// it stays while a game that brought it is installed, whichever goes
// first, and goes with the last of them. One written over a file of the
// user's stays the user's, as before.
int32_t AddSharedFileEntries(sqlite3* catalog, uint32_t gameId, const std::vector<std::wstring>& replaced,
                             std::wstring* entries)
{
    if (replaced.empty() || !catalog)
        return kPackageWritten;
    const std::optional<std::vector<std::wstring>> brought = PathsOtherGamesBrought(catalog, gameId);
    if (!brought)
        return kJobRegisterFailed;
    for (const std::wstring& path : replaced) {
        const std::optional<std::wstring> key = PathKey(path.c_str());
        if (key && IsUninstallListPath(path.c_str()) && LiesWithinAnyKey(*brought, *key))
            *entries += kSharedFileEntry + path + L";";
    }
    return kPackageWritten;
}

// The uninstall entries of the tree about to be written. A target folder
// that is missing or empty becomes the game's own ("D"). One that holds
// anything, that cannot be listed (it may hold anything), or that is or
// holds a folder of the system or the user (Documents, Music, the
// temporary folder ...) even when empty, stays what it was: only what the
// installation adds to it is listed, and the folders it did not make are
// looked into. A missing folder holds none of those, and one whose path a
// known folder will take later is still never taken whole by an uninstall:
// it is spared the listing of the known folders.
int32_t PlanTreeEntries(sqlite3* package, const wchar_t* targetDir, uint32_t root, sqlite3* catalog,
                        uint32_t gameId, std::wstring* entries)
{
    const std::optional<std::wstring> key = PathKey(targetDir);
    const bool missing = IsMissingPath(targetDir);
    const std::vector<std::wstring> known = missing ? std::vector<std::wstring>() : KnownFolderKeys();
    const bool holdsKnown = key && std::any_of(known.begin(), known.end(), [&](const std::wstring& folder) {
        return IsKeySameOrBelow(folder, *key);
    });
    if (key && !holdsKnown && (missing || IsFolderEmpty(targetDir).value_or(false))) {
        *entries = L"D" + std::wstring(targetDir) + L";";
        return kPackageWritten;
    }
    std::vector<std::wstring> added;
    std::vector<std::wstring> replaced;
    const int32_t result = PlanPackageDirectory(package, targetDir, root, known, &added, &replaced);
    entries->clear();
    for (const std::wstring& path : added) {
        if (IsUninstallListPath(path.c_str()))
            *entries += L"L" + path + L";";
    }
    return result == kPackageWritten ? AddSharedFileEntries(catalog, gameId, replaced, entries) : result;
}

// Before the first file is written, the game's catalog row takes the
// entries of the tree beside those it had, while the game's installed
// state and everything else stay as they are. A run cut short (killed, a
// shutdown) then leaves nothing unrecorded: the next run of the
// installation keeps those entries as a reinstall keeps the earlier ones,
// and an uninstall removes what they name. The list is marked pending,
// with the target, until the registration replaces it: another game's
// uninstall leaves what it names alone. Without a catalog there is nothing
// to record in, and the registration fails later.
bool RecordTreeEntries(sqlite3* catalog, InstallJob& job, const wchar_t* targetDir)
{
    if (!catalog)
        return true;
    const std::optional<bool> exists = GameRowExists(catalog, job.gameId);
    if (!exists || !ReadUninstallList(catalog, job.gameId, &job.earlierList))
        return false;
    job.rowAdded = !*exists;
    if (job.rowAdded && !AddGameRow(catalog, job))
        return false;
    job.entriesRecorded = true;
    const std::wstring pending = kPendingEntry + std::wstring(targetDir) + L";";
    const std::wstring list = MergeUninstallLists(pending + job.treeEntries.value_or(std::wstring()),
                                                  job.earlierList ? job.earlierList->c_str() : nullptr);
    return StoreUninstallList(catalog, job.gameId, list.c_str());
}

// Everything between the opened package and the final job's state.
int32_t InstallFromPackage(sqlite3* package, const wchar_t* targetDir, InstallJob& job)
{
    Statement gameRow;
    if (!gameRow.Prepare16(package, L"select id, ident, name, exec, icon, release from games") ||
        !gameRow.StepRow())
        return kJobNoGameRow;
    const uint32_t packageGameId = static_cast<uint32_t>(gameRow.ColumnInt(0));
    const std::optional<std::wstring> ident = ColumnCopy(gameRow, 1);
    job.name = ColumnCopy(gameRow, 2);
    job.ident = ident;
    job.packageGameId = packageGameId;
    const int32_t execFileId = gameRow.ColumnInt(3);
    const int32_t iconFileId = gameRow.ColumnInt(4);
    job.release = static_cast<uint32_t>(gameRow.ColumnInt(5));

    // A package without a price column installs with price 0.
    Statement priceRow;
    if (priceRow.PrepareWithRetry16(package, L"select price from games where id=?") &&
        priceRow.BindInt(1, packageGameId) && priceRow.StepRow())
        job.price = static_cast<uint32_t>(priceRow.ColumnInt(0));

    job.installDir = targetDir;
    const uint32_t root = RootDirectoryId(package, ident);
    ResetPackageWalk();
    const SharedPackageIndex sharedIndex(package);
    const int32_t step = ProgressStep(package, packageGameId, targetDir, root);

    // A package cut short is refused before the catalog hears of it.
    if (!PackageFileComplete(package))
        return kPackageListingFailed;
    sqlite3* catalog = GetCatalogDb();
    std::wstring entries;
    int32_t result = PlanTreeEntries(package, targetDir, root, catalog, job.gameId, &entries);
    if (result != kPackageWritten)
        return result;
    job.treeEntries = entries;
    if (!RecordTreeEntries(catalog, job, targetDir)) {
        ForgetTreeEntries(catalog, job);
        return kJobRegisterFailed;
    }

    std::optional<std::wstring> iconPath;
    result = ExtractPackageDirectory(package, targetDir, root, execFileId, iconFileId, &job.execPath, &iconPath,
                                     step);
    if (result != kPackageWritten) {
        // A target that existed before (a folder of the user's) keeps what
        // it held; only what this installation wrote goes.
        RemoveExtractedFiles();
        ForgetTreeEntries(catalog, job);
        return result;
    }
    MakeShortcutsAfterInstall(ShortcutGameId(packageGameId), ident, iconPath, job);
    ReportLoaderProgress(0, kProgressComplete);
    return kJobInstalled;
}

// Switch o names the installer that started us; the partner's installers
// (…_ya.exe) mark the game with the all-bits affiliate.
uint32_t AffiliateForRegistration(const InstallJob& job)
{
    std::optional<std::wstring> installer = GetSwitchString(L'o');
    if (installer && !installer->empty()) {
        std::optional<std::wstring> exe = ExeNameFromCommandLine(installer->c_str());
        constexpr wchar_t kPartnerSuffix[] = L"_ya.exe";
        constexpr size_t kSuffixChars = 7;
        if (exe && exe->size() > kSuffixChars &&
            exe->compare(exe->size() - kSuffixChars, kSuffixChars, kPartnerSuffix) == 0)
            return kAllBitsAffiliate;
    }
    return job.affiliate;
}

}  // namespace

std::wstring UninstallListForJob(const InstallJob& job)
{
    auto piece = [](const std::optional<std::wstring>& path) {
        return IsUninstallListPath(path) ? *path : std::wstring();
    };
    const std::wstring tree = job.treeEntries ? *job.treeEntries : L"D" + piece(job.installDir) + L";";
    return tree + L"L" + piece(job.desktopLink) + L";L" + piece(job.menuEntry) + L";";
}

void ForgetTreeEntries(sqlite3* catalog, InstallJob& job)
{
    if (!catalog || !job.entriesRecorded)
        return;
    job.entriesRecorded = false;
    if (!job.rowAdded) {
        StoreUninstallList(catalog, job.gameId, job.earlierList ? job.earlierList->c_str() : nullptr);
        return;
    }
    Statement remove;
    if (!remove.PrepareWithRetry(catalog, "delete from games where id=? and inst is null") ||
        !remove.BindInt(1, job.gameId) || !remove.StepDone())
        LogMessage(L"Install: the catalog row of game %u could not be taken back", job.gameId);
}

std::wstring MergeUninstallLists(const std::wstring& list, const wchar_t* earlier)
{
    std::wstring merged = list;
    if (!earlier)
        return merged;
    // Each path once, by any spelling; one that is no full path is
    // compared as it is written.
    auto keyOf = [](const std::wstring& entry) {
        return PathKey(entry.c_str() + 1).value_or(L"?" + entry.substr(1));
    };
    // A pending mark names its target, not something to delete.
    std::unordered_set<std::wstring> named;
    for (const std::wstring& entry : UninstallListEntries(list)) {
        if (entry[0] != kPendingEntry)
            named.insert(keyOf(entry));
    }
    // An earlier pending mark belongs to a run that is over: this list
    // says whether one is pending now.
    for (const std::wstring& entry : UninstallListEntries(earlier)) {
        if (entry[0] == kPendingEntry || GetFileAttributesW(entry.c_str() + 1) == INVALID_FILE_ATTRIBUTES ||
            !named.insert(keyOf(entry)).second)
            continue;
        // A list of the older layout does not end in a separator.
        if (!merged.empty() && merged.back() != L';')
            merged += L';';
        merged += entry + L";";
    }
    return merged;
}

bool InstallGamePackage(uint32_t gameId, const wchar_t* packagePath, const wchar_t* targetDir,
                        CInstallNotify* notify)
{
    if (!gameId || !packagePath || !targetDir || !notify)
        return false;
    std::unique_ptr<InstallJob> job(new (std::nothrow) InstallJob());
    if (!job) {
        notify->SetPayload(nullptr);
        return false;
    }
    job->gameId = gameId;
    DatabaseHandle package;
    if (!OpenPackage(packagePath, &package)) {
        job->state = kJobOpenFailed;
        notify->SetPayload(job.release());
        return false;
    }
    job->state = kJobPackageOpen;
    notify->SetPayload(job.release());

    std::unique_ptr<InstallJob> finalJob(new (std::nothrow) InstallJob());
    if (!finalJob) {
        notify->SetPayload(nullptr);
        return false;
    }
    finalJob->gameId = gameId;
    finalJob->state = InstallFromPackage(package.get(), targetDir, *finalJob);
    package.Close();
    finalJob->gameId = gameId;
    finalJob->packagePath = packagePath;
    const bool installed = finalJob->state == kJobInstalled;
    notify->SetPayload(finalJob.release());
    return installed;
}

int32_t RegisterInstalledGameIn(sqlite3* catalog, InstallJob* job)
{
    if (!job)
        return kJobRegisterFailed;
    if (job->state != kJobInstalled)
        return job->state;
    if (!EnsureGameRow(catalog, *job)) {
        job->state = kJobRegisterFailed;
        return job->state;
    }
    std::optional<std::wstring> earlierList;
    if (!ReadUninstallList(catalog, job->gameId, &earlierList)) {
        job->state = kJobRegisterFailed;
        return job->state;
    }
    const std::wstring uninstallList =
        MergeUninstallLists(UninstallListForJob(*job), earlierList ? earlierList->c_str() : nullptr);
    const uint32_t affiliate = AffiliateForRegistration(*job);
    // Type 1 marks the game installed: the launcher starts only such games,
    // and the carry-over of older products leaves them alone.
    // Only brand 0's catalog has the utm column.
    const bool withUtm = GetBrandId() == 0;
    const wchar_t* sql =
        withUtm ? L"update games set type=1, dwn=NULL, act=NULL, inst=tme(), path=?1, uninstall=?2, exec=?3, "
                  L"release=?4, afl=?5, price=?6, brand=?7, track=?8, utm=?9 where id=?10"
                : L"update games set type=1, dwn=NULL, act=NULL, inst=tme(), path=?1, uninstall=?2, exec=?3, "
                  L"release=?4, afl=?5, price=?6, brand=?7, track=?8 where id=?9";
    Statement update;
    bool ok = update.PrepareWithRetry16(catalog, sql) && BindOptionalText(update, 1, job->installDir) &&
              update.BindText16(2, uninstallList.c_str()) && BindOptionalText(update, 3, job->execPath) &&
              update.BindInt(4, job->release) && update.BindInt(5, affiliate) && update.BindInt(6, job->price) &&
              BindOptionalText(update, 7, job->brand) && update.BindInt(8, job->track);
    if (ok && withUtm)
        ok = BindOptionalText(update, 9, job->utm) && update.BindInt(10, job->gameId);
    else if (ok)
        ok = update.BindInt(9, job->gameId);
    job->state = ok && update.StepDone() ? kJobInstalled : kJobRegisterFailed;
    return job->state;
}

int32_t RegisterInstalledGame(InstallJob* job)
{
    return RegisterInstalledGameIn(GetCatalogDb(), job);
}

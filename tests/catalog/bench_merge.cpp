// Benchmark, run by hand (not a test), e.g. from the worktree:
//   ZEL_PREFIX=scratch tools/winebed/winebed run build/x86_64/winebed
//     build/x86_64/tests/catalog/bench_merge.exe
// Reports, in rows per second:
//  - merging an import database of 10,000 games and 1,000 rows of another
//    table into a fresh catalog, and again into a catalog that knows every
//    game (the update path);
//  - the same rows inserted directly with prepared statements in one
//    transaction on a catalog with the same schema and triggers;
//  - the full page feed: trggms selected over 10,000 games, with a hook
//    that only counts.

#include "catalog/catalog.h"
#include "catalog/merge.h"
#include "catalog/schema.h"
#include "catalog/sqlfunctions.h"
#include "testdb.h"

#include <algorithm>
#include <cstdio>
#include <string>

using namespace testing_catalog;

namespace {

constexpr int kGames = 10000;
constexpr int kOtherRows = 1000;
constexpr int kTotalRows = kGames + kOtherRows;

double Now()
{
    LARGE_INTEGER counter;
    LARGE_INTEGER frequency;
    QueryPerformanceCounter(&counter);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

std::string Description(int i)
{
    std::string text = "Game number " + std::to_string(i) + ": ";
    while (text.size() < 240)
        text += "a hidden-object adventure with it's own puzzles; ";
    return text;
}

std::vector<unsigned char> Picture(int i)
{
    std::vector<unsigned char> bytes(256);
    for (size_t k = 0; k < bytes.size(); ++k)
        bytes[k] = static_cast<unsigned char>(i + static_cast<int>(k));
    return bytes;
}

// Binds the values of one game or one advertisement row.
void BindGame(sqlite3_stmt* stmt, int i)
{
    std::string ident = "game" + std::to_string(i);
    std::string name = "Game " + std::to_string(i);
    std::string desc = Description(i);
    sqlite3_bind_int(stmt, 1, i + 1);
    sqlite3_bind_text(stmt, 2, ident.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(stmt, 3, name.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(stmt, 4, desc.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_int(stmt, 5, i % 40);
    sqlite3_bind_double(stmt, 6, 3.5 + (i % 3));
    sqlite3_bind_int(stmt, 7, 1);
    sqlite3_bind_int(stmt, 8, 100000 + i);
    sqlite3_bind_int(stmt, 9, i % 7);
}

void BindAdvertisement(sqlite3_stmt* stmt, int i, const std::vector<unsigned char>& picture)
{
    sqlite3_bind_int(stmt, 1, i + 1);
    sqlite3_bind_int(stmt, 2, 120);
    sqlite3_bind_int(stmt, 3, 60);
    sqlite3_bind_blob(stmt, 4, picture.data(), static_cast<int>(picture.size()), SQLITE_TRANSIENT);
    sqlite3_bind_int(stmt, 5, i);
}

constexpr char kInsertGame[] =
    "insert into games(id,ident,name,desc,release,rating,show,size,afl) values(?1,?2,?3,?4,?5,?6,?7,?8,?9)";
constexpr char kInsertAdvertisement[] = "insert into adv(id,w,h,d,t) values(?1,?2,?3,?4,?5)";

void MakeImportDatabase(const std::wstring& path)
{
    TestDb db(path);
    db.Exec("create table games(id integer primary key,ident text,name text,desc text,release integer,"
            "rating real,show integer,size integer,afl integer);"
            "create table adv(id integer primary key,w integer,h integer,d blob,t integer);"
            "begin");
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(db.get(), kInsertGame, -1, &stmt, nullptr);
    for (int i = 0; i < kGames; ++i) {
        BindGame(stmt, i);
        sqlite3_step(stmt);
        sqlite3_reset(stmt);
    }
    sqlite3_finalize(stmt);
    sqlite3_prepare_v2(db.get(), kInsertAdvertisement, -1, &stmt, nullptr);
    for (int i = 0; i < kOtherRows; ++i) {
        // Import blobs carry their marker byte (0: raw bytes follow).
        std::vector<unsigned char> marked{0};
        std::vector<unsigned char> picture = Picture(i);
        marked.resize(picture.size() + 1);
        std::copy(picture.begin(), picture.end(), marked.begin() + 1);
        BindAdvertisement(stmt, i, marked);
        sqlite3_step(stmt);
        sqlite3_reset(stmt);
    }
    sqlite3_finalize(stmt);
    db.Exec("commit");
}

// The same rows straight into a catalog with the program's schema.
double DirectInserts(const std::wstring& path)
{
    TestDb db(path);
    RegisterCatalogFunctions(db.get());
    UpdateCatalogSchema(db.get(), true);
    double start = Now();
    db.Exec("begin");
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(db.get(), kInsertGame, -1, &stmt, nullptr);
    for (int i = 0; i < kGames; ++i) {
        BindGame(stmt, i);
        sqlite3_step(stmt);
        sqlite3_reset(stmt);
    }
    sqlite3_finalize(stmt);
    sqlite3_prepare_v2(db.get(), kInsertAdvertisement, -1, &stmt, nullptr);
    for (int i = 0; i < kOtherRows; ++i) {
        BindAdvertisement(stmt, i, Picture(i));
        sqlite3_step(stmt);
        sqlite3_reset(stmt);
    }
    sqlite3_finalize(stmt);
    db.Exec("commit");
    double seconds = Now() - start;
    if (db.Int("select count(*) from games") != kGames || db.Int("select count(*) from adv") != kOtherRows)
        printf("direct inserts: row counts are wrong\n");
    return seconds;
}

int feedRows = 0;

void CountGameRow(uint32_t, int32_t, const wchar_t*, const wchar_t*, const char*, int32_t, int32_t, int32_t,
                  int32_t, const wchar_t*, const wchar_t*, const wchar_t*, const wchar_t*, const wchar_t*, int32_t,
                  const wchar_t*)
{
    ++feedRows;
}

void Report(const char* what, int rows, double seconds)
{
    printf("%-58s %6d rows %8.3f s %10.0f rows/s\n", what, rows, seconds, rows / seconds);
}

}  // namespace

int wmain()
{
    TempDir dir(L"bench");
    SetEnvironmentVariableW(L"APPDATA", dir.path().c_str());
    if (!SetCatalogDbPath(L"base.db") || !GetCatalogDb()) {
        printf("cannot open the catalog\n");
        return 1;
    }
    std::wstring import = dir.File(L"import.db");
    MakeImportDatabase(import);
    std::string importUtf8 = Utf8(import);
    InstallCatalogHooks(nullptr, CountGameRow, nullptr);

    // Each figure is the best of a few rounds: the machine is shared.
    constexpr int kRounds = 3;
    double fresh = 1e9, known = 1e9, direct = 1e9, feed = 1e9;
    for (int round = 0; round < kRounds; ++round) {
        CloseCatalogDb();
        std::wstring catalog = dir.File(L"base.db");
        SetFileAttributesW(catalog.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(catalog.c_str());
        GetCatalogDb();
        double start = Now();
        MergeUpdateDatabase(importUtf8.c_str());
        fresh = std::min(fresh, Now() - start);
        start = Now();
        MergeUpdateDatabase(importUtf8.c_str());
        known = std::min(known, Now() - start);
        direct = std::min(direct, DirectInserts(dir.File(L"direct" + std::to_wstring(round) + L".db")));
        feedRows = 0;
        start = Now();
        sqlite3_exec(GetCatalogDb(),
                     "select trggms(id,afl,name,desc,release,rating,inst,show,runs,null,custom,itunes_id,"
                     "itunes_id_free,itunes_id_ipad,itunes_id_ipad_free,track,utm) from games",
                     nullptr, nullptr, nullptr);
        feed = std::min(feed, Now() - start);
    }
    Report("merge into a fresh catalog (new games)", kTotalRows, fresh);
    Report("merge again (every game known: update path)", kTotalRows, known);
    Report("direct prepared inserts, one transaction", kTotalRows, direct);
    Report("full feed: trggms over every game (counting hook)", feedRows, feed);

    TestDb check(dir.File(L"base.db"));
    printf("catalog now holds %lld games and %lld adv rows\n",
           static_cast<long long>(check.Int("select count(*) from games")),
           static_cast<long long>(check.Int("select count(*) from adv")));
    check.Close();
    CloseCatalogDb();
    return 0;
}

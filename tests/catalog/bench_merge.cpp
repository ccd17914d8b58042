// Benchmark, run by hand (not a test): whole runs of zel.exe merging an
// import of 20,000 games ("b <import> v 1 e 1"), first into a catalog that
// knows none of them, then into one that knows them all, each side by side
// with a floor program: one prepared "insert or replace" with bound values
// over the same rows, in one transaction, on the same catalog with the
// same triggers. Prints floor time / zel.exe time (1.0: as fast as the
// floor), the median of three rounds in alternating order.
//
// The floor is bench_merge_floor.exe beside this program.
//
// Then imported statements, run as the web replies are: 30,000 inserts
// that all fail to prepare (they name a column the catalog lacks), and one
// statement with a stray apostrophe before 30,000 good inserts (its open
// literal takes the rest of the text). The floor of both is the same
// zel.exe importing the 30,000 good inserts alone: skipping must cost no
// more than running.
//
// ZEL_BENCH_PROGRAM (a Windows path) times another zel.exe than the build's.

#include "catalog/catalog.h"
#include "catalog/schema.h"
#include "catalog/sqlfunctions.h"
#include "driver.h"
#include "sidebyside.h"
#include "testdb.h"

#include <cstdio>
#include <string>

using namespace testing_catalog;

namespace {

constexpr int kGames = 20000;
constexpr double kGoalNew = 0.6;
constexpr double kGoalKnown = 1.0;
constexpr int kReplyStatements = 30000;
constexpr double kGoalSkipped = 0.8;

std::string Description(int i)
{
    std::string text = "Game number " + std::to_string(i) + ": ";
    while (text.size() < 240)
        text += "a hidden-object adventure with it's own puzzles; ";
    return text;
}

void MakeImportDatabase(const std::wstring& path)
{
    TestDb db(path);
    db.Exec("create table games(id integer primary key,ident text,name text,desc text,release integer,"
            "rating real,show integer,size integer,afl integer,old_id integer,utm text);"
            "begin");
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(db.get(),
                       "insert into games values(?1,?2,?3,?4,?5,?6,?7,?8,?9,?10,?11)", -1, &stmt, nullptr);
    for (int i = 0; i < kGames; ++i) {
        std::string ident = "game" + std::to_string(i);
        std::string name = "Game " + std::to_string(i);
        std::string desc = Description(i);
        std::string utm = "utm_source=bench&game=" + std::to_string(i);
        sqlite3_bind_int(stmt, 1, i + 1);
        sqlite3_bind_text(stmt, 2, ident.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(stmt, 3, name.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(stmt, 4, desc.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_int(stmt, 5, i % 40);
        sqlite3_bind_double(stmt, 6, 3.5 + i / 7.0);
        sqlite3_bind_int(stmt, 7, 1);
        sqlite3_bind_int(stmt, 8, 100000 + i);
        sqlite3_bind_int(stmt, 9, i % 7);
        sqlite3_bind_int(stmt, 10, 50000 + i);
        sqlite3_bind_text(stmt, 11, utm.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_step(stmt);
        sqlite3_reset(stmt);
    }
    sqlite3_finalize(stmt);
    db.Exec("commit");
}

// One insert per game; column is the name of the third column.
std::string ReplyInserts(const char* column)
{
    std::string text;
    for (int i = 1; i <= kReplyStatements; ++i) {
        std::string id = std::to_string(i);
        text += "insert into games(id,name," + std::string(column) + ") values(" + id + ",'Game " + id + "',1);";
    }
    return text;
}

// An import whose only content is one text of statements.
void MakeStatementImport(const std::wstring& path, const std::string& text)
{
    TestDb db(path);
    db.Exec("create table zelsql(q text)");
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(db.get(), "insert into zelsql values(?1)", -1, &stmt, nullptr);
    sqlite3_bind_text(stmt, 1, text.c_str(), static_cast<int>(text.size()), SQLITE_STATIC);
    sqlite3_step(stmt);
    sqlite3_finalize(stmt);
}

std::wstring Quoted(const std::wstring& text)
{
    return L"\"" + text + L"\"";
}

int64_t CountGames(const std::wstring& catalog)
{
    TestDb db(catalog);
    return db.Int("select count(*) from games");
}

class MergeBench {
public:
    MergeBench()
    {
        SetEnvironmentVariableW(L"APPDATA", dir_.path().c_str());
        floor_ = zeltest::TestExeDir() + L"\\bench_merge_floor.exe";
        wchar_t program[MAX_PATH] = {};
        std::wstring source = GetEnvironmentVariableW(L"ZEL_BENCH_PROGRAM", program, MAX_PATH)
                                  ? std::wstring(program)
                                  : zeltest::BuiltProgramPath();
        program_ = dir_.File(L"zel.exe");
        CopyFileW(source.c_str(), program_.c_str(), FALSE);
        import_ = dir_.File(L"import.db");
        MakeImportDatabase(import_);
        // A catalog with the program's schema and triggers, and the same
        // catalog after the import.
        empty_ = dir_.File(L"empty.db");
        {
            TestDb db(empty_);
            RegisterCatalogFunctions(db.get());
            UpdateCatalogSchema(db.get(), true);
        }
        known_ = dir_.File(L"known.db");
        PutCatalog(empty_);
        Timed(Quoted(floor_) + L" " + Quoted(catalog_) + L" " + Quoted(import_), 0, kGames);
        CopyFileW(catalog_.c_str(), known_.c_str(), FALSE);
        MakeStatementImport(goodStatements_, ReplyInserts("show"));
        MakeStatementImport(failingStatements_, ReplyInserts("nosuch"));
        MakeStatementImport(strayApostrophe_,
                            "insert into games(id,name) values(0,'Assassin's Creed');" + ReplyInserts("show"));
    }

    // One run on a fresh copy of the template catalog.
    std::optional<double> Floor(const std::wstring& templ)
    {
        PutCatalog(templ);
        return Timed(Quoted(floor_) + L" " + Quoted(catalog_) + L" " + Quoted(import_), 0, kGames);
    }
    std::optional<double> Program(const std::wstring& templ)
    {
        PutCatalog(templ);
        return Import(import_, kGames);
    }
    // The statement imports, each into the empty catalog.
    std::optional<double> GoodStatements() { return ImportIntoEmpty(goodStatements_, kReplyStatements); }
    std::optional<double> FailingStatements() { return ImportIntoEmpty(failingStatements_, 0); }
    std::optional<double> StrayApostrophe() { return ImportIntoEmpty(strayApostrophe_, 0); }

    const std::wstring& Empty() const { return empty_; }
    const std::wstring& Known() const { return known_; }

private:
    void PutCatalog(const std::wstring& templ)
    {
        SetFileAttributesW(catalog_.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(catalog_.c_str());
        CopyFileW(templ.c_str(), catalog_.c_str(), FALSE);
    }
    std::optional<double> Import(const std::wstring& import, int64_t expectedGames)
    {
        return Timed(Quoted(program_) + L" b " + Quoted(import) + L" v 1 e 1", 11, expectedGames);
    }
    std::optional<double> ImportIntoEmpty(const std::wstring& import, int64_t expectedGames)
    {
        PutCatalog(empty_);
        return Import(import, expectedGames);
    }
    std::optional<double> Timed(const std::wstring& commandLine, DWORD expectedCode, int64_t expectedGames)
    {
        std::optional<zeltest::TimedRun> run = zeltest::TimeCommand(commandLine);
        if (!run || run->exitCode != expectedCode) {
            printf("run failed (exit code %lu): %ls\n", run ? run->exitCode : 0ul, commandLine.c_str());
            return std::nullopt;
        }
        if (int64_t games = CountGames(catalog_); games != expectedGames) {
            printf("the catalog holds %lld games after: %ls\n", static_cast<long long>(games), commandLine.c_str());
            return std::nullopt;
        }
        return run->seconds;
    }

    TempDir dir_{L"bench-merge"};
    std::wstring floor_;
    std::wstring program_;
    std::wstring import_;
    std::wstring empty_;
    std::wstring known_;
    std::wstring goodStatements_ = dir_.File(L"good-statements.db");
    std::wstring failingStatements_ = dir_.File(L"failing-statements.db");
    std::wstring strayApostrophe_ = dir_.File(L"stray-apostrophe.db");
    std::wstring catalog_ = dir_.File(L"base.db");
};

}  // namespace

int wmain()
{
    MergeBench bench;
    using zeltest::CompareSideBySide;
    zeltest::PrintComparison(
        "b: merge 20,000 new games",
        CompareSideBySide([&] { return bench.Floor(bench.Empty()); }, [&] { return bench.Program(bench.Empty()); }),
        kGoalNew);
    zeltest::PrintComparison(
        "b: merge the same games again (all known)",
        CompareSideBySide([&] { return bench.Floor(bench.Known()); }, [&] { return bench.Program(bench.Known()); }),
        kGoalKnown);
    zeltest::PrintComparison(
        "b: 30,000 statements that fail to prepare",
        CompareSideBySide([&] { return bench.GoodStatements(); }, [&] { return bench.FailingStatements(); }),
        kGoalSkipped);
    zeltest::PrintComparison(
        "b: a stray apostrophe before 30,000 inserts",
        CompareSideBySide([&] { return bench.GoodStatements(); }, [&] { return bench.StrayApostrophe(); }),
        kGoalSkipped);
    return 0;
}

// Benchmark, run by hand (not a test): whole runs of zel.exe answering
// whether a game is installed ("z 3"), side by side with a program that
// does nothing (bench_nothing.exe, the cost of starting a process). Prints
// floor time / zel.exe time (1.0: as fast as starting a process), the
// median of three rounds in alternating order, each round the total of a
// batch of runs.
//
// ZEL_BENCH_PROGRAM (a Windows path) times another zel.exe than the build's.

#include "catalog/sqlfunctions.h"
#include "driver.h"
#include "sidebyside.h"
#include "testdb.h"

#include <cstdio>
#include <string>

using namespace testing_catalog;

namespace {

constexpr int kRunsPerRound = 20;
constexpr double kGoal = 0.7;

std::wstring Quoted(const std::wstring& text)
{
    return L"\"" + text + L"\"";
}

// kRunsPerRound runs of one command line; their total seconds, or nullopt
// when one ended with another code.
std::optional<double> TimeBatch(const std::wstring& commandLine, DWORD expectedCode)
{
    double total = 0;
    for (int i = 0; i < kRunsPerRound; ++i) {
        std::optional<zeltest::TimedRun> run = zeltest::TimeCommand(commandLine);
        if (!run || run->exitCode != expectedCode) {
            printf("run failed (exit code %lu): %ls\n", run ? run->exitCode : 0ul, commandLine.c_str());
            return std::nullopt;
        }
        total += run->seconds;
    }
    return total;
}

}  // namespace

int wmain()
{
    TempDir dir(L"bench-query");
    SetEnvironmentVariableW(L"APPDATA", dir.path().c_str());
    wchar_t program[MAX_PATH] = {};
    std::wstring source = GetEnvironmentVariableW(L"ZEL_BENCH_PROGRAM", program, MAX_PATH)
                              ? std::wstring(program)
                              : zeltest::BuiltProgramPath();
    std::wstring zel = dir.File(L"zel.exe");
    CopyFileW(source.c_str(), zel.c_str(), FALSE);
    std::wstring nothing = zeltest::TestExeDir() + L"\\bench_nothing.exe";

    // A catalog the program made, holding a few hundred games, one of them
    // installed (the query counts in the older numbering: old_id 3).
    std::optional<zeltest::TimedRun> made = zeltest::TimeCommand(Quoted(zel) + L" t classic e 1");
    if (!made || made->exitCode != 12) {
        printf("cannot make a catalog with %ls (exit code %lu)\n", zel.c_str(), made ? made->exitCode : 0ul);
        return 1;
    }
    {
        TestDb db(dir.File(L"base.db"));
        RegisterCatalogFunctions(db.get());
        std::string rows = "begin;";
        for (int i = 1; i <= 500; ++i)
            rows += "insert into games(id,name,desc,show,old_id) values(" + std::to_string(i + 1000) + ",'Game " +
                    std::to_string(i) + "','" + std::string(200, 'd') + "',1," + std::to_string(i) + ");";
        rows += "update games set inst=1600000000 where old_id=3;commit;";
        db.Exec(rows);
    }

    zeltest::PrintComparison("z: query whether a game is installed",
                             zeltest::CompareSideBySide([&] { return TimeBatch(Quoted(nothing), 0); },
                                                        [&] { return TimeBatch(Quoted(zel) + L" z 3", 3); }),
                             kGoal);
    return 0;
}

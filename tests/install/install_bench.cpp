// Benchmark (not a test): whole runs of the shipped program installing a
// package (switch i), side by side with the floor program (install_floor:
// the same zlib streams inflated from plain files into files through 64 KiB
// buffers), in alternating order, each the median of its rounds.
//
//   tools/winebed/winebed run build/i686/winebed build/i686/tests/install/install_bench.exe [rounds]
//
// Two packages: 24 files of 2 MiB (half inline zlib streams, half streams
// chained in 64 KiB pieces) and 2,000 files of 8 KiB in 40 folders (the
// same mix). It prints, per package, the median times, the ratio floor /
// program (1.0: as fast as the floor) and the program's peak private
// memory. The manager it runs has a catalog with a theme, as an installed
// one has, so the per-file search for the partner loader's dialog is paid
// as in the field.

#include "driver.h"
#include "testcatalog.h"
#include "testfiles.h"
#include "testpackage.h"

#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr size_t kChainPieceBytes = 65536;
constexpr wchar_t kProduct[] = L"zel";
constexpr DWORD kRunTimeoutMs = 600000;

struct Workload {
    const char* name;
    uint32_t gameId;
    int files;
    size_t fileBytes;
    int folders;
};

std::string FileData(const Workload& work, int i)
{
    return testfiles::SampleBytes(work.fileBytes, static_cast<uint32_t>(work.gameId * 10000 + i));
}

// The package and, for the floor, each file's zlib stream in a plain file.
void Generate(const Workload& work, const std::wstring& package, const std::wstring& streams)
{
    CreateDirectoryW(streams.c_str(), nullptr);
    testpackage::Package p(package);
    p.AddGame(work.gameId, std::string("bench"), std::string("Bench"), 1, 0, 1);
    p.AddDir(1, std::string("bench"), 0);
    for (int folder = 0; folder < work.folders; ++folder)
        p.AddDir(10 + folder, "dir" + std::to_string(folder), 1);
    for (int i = 0; i < work.files; ++i) {
        std::string data = FileData(work, i);
        std::string stream = testpackage::Deflate(data);
        zeltest::WriteFileBytes(streams + L"\\" + std::to_wstring(i) + L".z", stream);
        std::string name = "file" + std::to_string(i) + ".dat";
        int64_t folder = 10 + i % work.folders;
        if (i % 2 == 0) {
            p.AddFile(i + 1, name, static_cast<int64_t>(data.size()), stream, folder);
        } else {
            std::vector<testpackage::OptionalBytes> pieces;
            for (const std::string& piece : testpackage::SplitEvery(stream, kChainPieceBytes))
                pieces.push_back(piece);
            p.AddFile(i + 1, name, static_cast<int64_t>(data.size()), std::nullopt, folder, p.AddChain(pieces));
        }
    }
}

bool TreeMatches(const Workload& work, const std::wstring& target)
{
    for (int i = 0; i < work.files; ++i) {
        std::wstring path = target + L"\\dir" + std::to_wstring(i % work.folders) + L"\\file" + std::to_wstring(i) +
                            L".dat";
        if (zeltest::ReadFileBytes(path) != FileData(work, i))
            return false;
    }
    return true;
}

struct RunResult {
    bool ok = false;
    double seconds = 0;
    size_t peakPrivate = 0;
};

// Starts a program and waits for it, sampling its private memory.
RunResult RunProcess(const std::wstring& exe, const std::wstring& arguments, const std::wstring& dir,
                     DWORD expectedExit)
{
    RunResult result;
    std::wstring commandLine = L"\"" + exe + L"\" " + arguments;
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    LARGE_INTEGER frequency;
    LARGE_INTEGER start;
    LARGE_INTEGER end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    if (!CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, dir.c_str(), &startup,
                        &process))
        return result;
    DWORD waited = 0;
    for (;;) {
        PROCESS_MEMORY_COUNTERS counters = {};
        counters.cb = sizeof(counters);
        if (GetProcessMemoryInfo(process.hProcess, &counters, sizeof(counters)))
            result.peakPrivate = std::max(result.peakPrivate, static_cast<size_t>(counters.PeakPagefileUsage));
        if (WaitForSingleObject(process.hProcess, 10) == WAIT_OBJECT_0)
            break;
        waited += 10;
        if (waited > kRunTimeoutMs) {
            TerminateProcess(process.hProcess, 1);
            WaitForSingleObject(process.hProcess, INFINITE);
            break;
        }
    }
    QueryPerformanceCounter(&end);
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    result.ok = code == expectedExit;
    result.seconds = static_cast<double>(end.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart);
    return result;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

class Bench {
public:
    bool Prepare()
    {
        manager_ = scratch_.File(L"manager");
        CreateDirectoryW(manager_.c_str(), nullptr);
        program_ = manager_ + L"\\zel.exe";
        if (!CopyFileW(zeltest::BuiltProgramPath().c_str(), program_.c_str(), FALSE))
            return false;
        catalogPath_ = zeltest::AppDataDir() + L"\\base.db";
        DeleteFileW(catalogPath_.c_str());
        zeltest::SetProductKey(kProduct, manager_, 0x4000000);
        // A first run makes the catalog; the test theme goes in.
        if (!RunProcess(program_, L"z 1", manager_, 10).ok)
            return false;
        testcatalog::CatalogFile catalog(catalogPath_);
        catalog.ExecWithBlob("insert into themes(k, t, v, d) values('testtheme', 'testtheme', 1, ?)",
                             zeltest::ReadFileBytes(zeltest::TestExeDir() + L"\\testtheme.dll"));
        catalog.Exec("insert or replace into opt(var, val) values('theme', 'testtheme')");
        return true;
    }

    ~Bench()
    {
        zeltest::DeleteProductKey(kProduct);
        DeleteFileW(catalogPath_.c_str());
    }

    void Measure(const Workload& work, int rounds)
    {
        const std::wstring package = scratch_.File(std::to_wstring(work.gameId) + L"_bench.db");
        const std::wstring streams = scratch_.File(L"streams" + std::to_wstring(work.gameId));
        const std::wstring target = scratch_.File(L"target");
        Generate(work, package, streams);
        {
            testcatalog::CatalogFile catalog(catalogPath_);
            catalog.Exec("insert or replace into games(id, name, type, show) values(" + std::to_string(work.gameId) +
                         ", 'Bench', 2, 1)");
        }
        const std::wstring floor = zeltest::TestExeDir() + L"\\install_floor.exe";
        const std::wstring install = L"i \"" + package + L"\" w \"" + target + L"\" v 1";
        const std::wstring floorArguments = L"\"" + streams + L"\" \"" + target + L"\" " +
                                            std::to_wstring(work.files) + L" " + std::to_wstring(work.folders);
        std::vector<double> programTimes;
        std::vector<double> floorTimes;
        size_t peak = 0;
        bool ok = true;
        for (int round = 0; round < rounds; ++round) {
            for (int turn = 0; turn < 2; ++turn) {
                const bool programTurn = (round + turn) % 2 == 0;
                zeltest::RemoveTree(target);
                RunResult run = programTurn ? RunProcess(program_, install, manager_, 1)
                                            : RunProcess(floor, floorArguments, scratch_.path(), 0);
                // The first round checks what both wrote.
                ok = ok && run.ok && (round > 0 || TreeMatches(work, target));
                (programTurn ? programTimes : floorTimes).push_back(run.seconds);
                if (programTurn)
                    peak = std::max(peak, run.peakPrivate);
            }
        }
        zeltest::RemoveTree(target);
        zeltest::RemoveTree(streams);
        DeleteFileW(package.c_str());
        const double programSeconds = Median(programTimes);
        const double floorSeconds = Median(floorTimes);
        printf("%-28s %10.3f %10.3f %7.2f %14.1f%s\n", work.name, programSeconds, floorSeconds,
               programSeconds > 0 ? floorSeconds / programSeconds : 0.0, static_cast<double>(peak) / 1048576.0,
               ok ? "" : "  (FAILED)");
        fflush(stdout);
    }

private:
    zeltest::TempDir scratch_{L"ibench"};
    std::wstring manager_;
    std::wstring program_;
    std::wstring catalogPath_;
};

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    const int rounds = argc > 1 && _wtoi(argv[1]) > 0 ? _wtoi(argv[1]) : 3;
    Bench bench;
    if (!bench.Prepare()) {
        printf("the program could not be prepared\n");
        return 1;
    }
    printf("median of %d rounds, alternating order; ratio = floor / program\n\n", rounds);
    printf("%-28s %10s %10s %7s %14s\n", "package", "program s", "floor s", "ratio", "private MB");
    const Workload workloads[] = {
        {"24 files of 2 MiB", 901, 24, 2u << 20, 4},
        {"2000 files of 8 KiB", 902, 2000, 8u << 10, 40},
    };
    for (const Workload& work : workloads)
        bench.Measure(work, rounds);
    return 0;
}

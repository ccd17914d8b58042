// Benchmark (not a test): whole runs of the shipped program installing a
// package (switch i), side by side with the floor program (install_floor:
// the same zlib streams inflated from plain files into files through 64 KiB
// buffers), in alternating order, each the median of its rounds.
//
//   tools/winebed/winebed run build/i686/winebed build/i686/tests/install/install_bench.exe
//
// Two packages: 24 files of 2 MiB (half inline zlib streams, half streams
// chained in 64 KiB pieces) and 2,000 files of 8 KiB in 40 folders (the
// same mix). It prints, per package, the median times, the ratio floor /
// program (1.0: as fast as the floor) and the program's peak private
// memory, which must stay under 32 MB whatever the package size. The manager it runs has a catalog with a theme, as an installed
// one has, so the per-file search for the partner loader's dialog is paid
// as in the field.

#include "driver.h"
#include "sidebyside.h"
#include "testcatalog.h"
#include "testfiles.h"
#include "testpackage.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr size_t kChainPieceBytes = 65536;
constexpr wchar_t kProduct[] = L"zel";

struct Workload {
    const char* name;
    double goal;
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

std::wstring Quoted(const std::wstring& text)
{
    return L"\"" + text + L"\"";
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
        std::optional<zeltest::TimedRun> made = zeltest::TimeCommand(Quoted(program_) + L" z 1");
        if (!made || made->exitCode != 10)
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

    void Measure(const Workload& work)
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
        const std::wstring floor = Quoted(zeltest::TestExeDir() + L"\\install_floor.exe") + L" " + Quoted(streams) +
                                   L" " + Quoted(target) + L" " + std::to_wstring(work.files) + L" " +
                                   std::to_wstring(work.folders);
        const std::wstring install = Quoted(program_) + L" i " + Quoted(package) + L" w " + Quoted(target) + L" v 1";
        size_t floorPeak = 0;
        size_t peak = 0;
        // One timed run into an empty target; the first run of each side
        // checks what it wrote.
        auto step = [&](const std::wstring& commandLine, DWORD expectedCode, size_t& sidePeak) -> std::optional<double> {
            zeltest::RemoveTree(target);
            const bool first = sidePeak == 0;
            std::optional<zeltest::TimedRun> run = zeltest::TimeCommand(commandLine);
            if (!run || run->exitCode != expectedCode || (first && !TreeMatches(work, target)))
                return std::nullopt;
            sidePeak = std::max<size_t>({sidePeak, run->peakPrivateBytes, 1});
            return run->seconds;
        };
        zeltest::Comparison comparison = zeltest::CompareSideBySide([&] { return step(floor, 0, floorPeak); },
                                                                    [&] { return step(install, 1, peak); });
        zeltest::RemoveTree(target);
        zeltest::RemoveTree(streams);
        DeleteFileW(package.c_str());
        zeltest::PrintComparison(work.name, comparison, work.goal);
        printf("%-44s peak private memory of zel.exe %.1f MB (limit 32)\n", "", static_cast<double>(peak) / 1048576.0);
        fflush(stdout);
    }

private:
    zeltest::TempDir scratch_{L"ibench"};
    std::wstring manager_;
    std::wstring program_;
    std::wstring catalogPath_;
};

}  // namespace

int wmain()
{
    Bench bench;
    if (!bench.Prepare()) {
        printf("the program could not be prepared\n");
        return 1;
    }
    const Workload workloads[] = {
        {"i: install 24 files of 2 MiB", 0.85, 901, 24, 2u << 20, 4},
        {"i: install 2,000 files of 8 KiB", 0.9, 902, 2000, 8u << 10, 40},
    };
    for (const Workload& work : workloads)
        bench.Measure(work);
    return 0;
}

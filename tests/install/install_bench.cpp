// Benchmark (not a test): installs generated game packages of a few
// thousand files and about 200 MB, stored, zlib inline and zlib chained,
// and reports throughput and peak working set beside the same data inflated
// by zlib straight into files with large buffers.
//
//   install_bench [megabytes [runs]]    (default 200 MB, best of 3 runs)
//
// Each measured step runs in a child process of its own, so its peak
// working set is its own. Disk write-back makes single runs noisy: each
// step is run several times and the fastest run is reported.

#include "catalog/storage.h"
#include "install/installer.h"
#include "testfiles.h"
#include "testpackage.h"

#include <windows.h>
#include <psapi.h>
#include <zlib.h>

#include <cstdio>
#include <algorithm>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace {

constexpr uint32_t kGameId = 900;
constexpr size_t kChainPieceBytes = 65536;
constexpr size_t kBaselineBufferBytes = 1 << 20;

enum class Mode { Stored, Inline, Chained };

const wchar_t* ModeName(Mode mode)
{
    switch (mode) {
    case Mode::Stored:
        return L"stored";
    case Mode::Inline:
        return L"inline";
    case Mode::Chained:
        return L"chained";
    }
    return L"?";
}

// File sizes from 1 KB to about 140 KB, with a few large ones, adding up
// to the wanted total.
std::vector<size_t> FileSizes(size_t totalBytes)
{
    std::vector<size_t> sizes;
    uint32_t state = 12345;
    size_t sum = 0;
    while (sum < totalBytes) {
        state = state * 1664525u + 1013904223u;
        size_t size = (sizes.size() % 500 == 499) ? 4u << 20 : 1024 + (state >> 8) % (140 * 1024);
        size = std::min(size, totalBytes - sum);
        sizes.push_back(size);
        sum += size;
    }
    return sizes;
}

void Generate(const std::wstring& path, Mode mode, size_t totalBytes)
{
    testpackage::Package p(path);
    p.AddGame(kGameId, std::string("bench"), std::string("Bench"), 1, 0, 1);
    p.AddDir(1, std::string("bench"), 0);
    const int kDirs = 40;
    for (int d = 0; d < kDirs; ++d)
        p.AddDir(10 + d, "dir" + std::to_string(d), d < 8 ? 1 : 10 + d % 8);
    std::vector<size_t> sizes = FileSizes(totalBytes);
    for (size_t i = 0; i < sizes.size(); ++i) {
        std::string data = testfiles::SampleBytes(sizes[i], static_cast<uint32_t>(i));
        std::string name = "file" + std::to_string(i) + ".dat";
        int64_t dir = 10 + static_cast<int64_t>(i % kDirs);
        int64_t id = static_cast<int64_t>(i) + 1;
        switch (mode) {
        case Mode::Stored:
            p.AddStored(id, name, data, dir);
            break;
        case Mode::Inline:
            p.AddDeflated(id, name, data, dir);
            break;
        case Mode::Chained: {
            std::vector<testpackage::OptionalBytes> pieces;
            for (const std::string& piece : testpackage::SplitEvery(testpackage::Deflate(data), kChainPieceBytes))
                pieces.push_back(piece);
            p.AddFile(id, name, static_cast<int64_t>(data.size()), std::nullopt, dir, p.AddChain(pieces));
            break;
        }
        }
    }
}

double Seconds(LARGE_INTEGER from, LARGE_INTEGER to)
{
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(to.QuadPart - from.QuadPart) / static_cast<double>(frequency.QuadPart);
}

size_t PeakWorkingSet()
{
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof(counters);
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof(counters));
    return counters.PeakWorkingSetSize;
}

unsigned long long TreeBytes(const std::wstring& root)
{
    unsigned long long total = 0;
    for (const std::wstring& relative : testfiles::ListTree(root)) {
        WIN32_FILE_ATTRIBUTE_DATA data;
        if (GetFileAttributesExW((root + L"\\" + relative).c_str(), GetFileExInfoStandard, &data) &&
            !(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            total += (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    }
    return total;
}

void WriteResult(const std::wstring& resultPath, double seconds, size_t peak, bool ok)
{
    FILE* file = _wfopen(resultPath.c_str(), L"w");
    if (!file)
        return;
    fprintf(file, "%d %.6f %zu\n", ok ? 1 : 0, seconds, peak);
    fclose(file);
}

int RunInstall(const std::wstring& package, const std::wstring& target, const std::wstring& resultPath)
{
    LARGE_INTEGER start;
    LARGE_INTEGER end;
    QueryPerformanceCounter(&start);
    CInstallNotify notify;
    bool ok = InstallGamePackage(kGameId, package.c_str(), target.c_str(), &notify);
    QueryPerformanceCounter(&end);
    WriteResult(resultPath, Seconds(start, end), PeakWorkingSet(), ok);
    return ok ? 0 : 1;
}

// The same tree written the plain way: one pass over the rows, data
// inflated into a large buffer and written in large blocks.
class Baseline {
public:
    explicit Baseline(sqlite3* db) : db_(db), buffer_(kBaselineBufferBytes) {}

    bool Run(const std::wstring& target)
    {
        dirs_[1] = target;
        CreateDirectoryW(target.c_str(), nullptr);
        Statement dirs;
        if (!dirs.PrepareWithRetry(db_, "select id, n, p from zeldir order by id"))
            return false;
        while (dirs.StepRow()) {
            int64_t id = dirs.ColumnInt64(0);
            if (id == 1)
                continue;
            std::wstring path = dirs_[dirs.ColumnInt64(2)] + L"\\" + dirs.ColumnText16(1);
            CreateDirectoryW(path.c_str(), nullptr);
            dirs_[id] = path;
        }
        Statement files;
        if (!files.PrepareWithRetry(db_, "select n, d, chunk, compress, p from zelfls"))
            return false;
        chunk_.PrepareWithRetry(db_, "select data, next from chunks where rowid=?");
        while (files.StepRow()) {
            std::wstring path = dirs_[files.ColumnInt64(4)] + L"\\" + files.ColumnText16(0);
            HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
            if (file == INVALID_HANDLE_VALUE)
                return false;
            const char* compress = files.ColumnText(3);
            bool stored = compress && strcmp(compress, "no") == 0;
            Statement::Blob data = files.ColumnBlob(1);
            int64_t chunk = files.ColumnInt64(2);
            bool ok = stored ? Write(file, data.data, static_cast<size_t>(data.size)) : Inflate(file, data, chunk);
            CloseHandle(file);
            if (!ok)
                return false;
        }
        return true;
    }

private:
    bool Write(HANDLE file, const void* data, size_t size)
    {
        DWORD written = 0;
        return WriteFile(file, data, static_cast<DWORD>(size), &written, nullptr) && written == size;
    }

    bool InflatePiece(z_stream& stream, HANDLE file, const void* data, size_t size, int* rc)
    {
        stream.next_in = static_cast<Bytef*>(const_cast<void*>(data));
        stream.avail_in = static_cast<uInt>(size);
        do {
            stream.next_out = buffer_.data();
            stream.avail_out = static_cast<uInt>(buffer_.size());
            *rc = inflate(&stream, Z_NO_FLUSH);
            if (*rc != Z_OK && *rc != Z_STREAM_END && *rc != Z_BUF_ERROR)
                return false;
            size_t produced = buffer_.size() - stream.avail_out;
            if (produced && !Write(file, buffer_.data(), produced))
                return false;
        } while (stream.avail_out == 0 && *rc != Z_STREAM_END);
        return true;
    }

    bool Inflate(HANDLE file, const Statement::Blob& inlineData, int64_t chunk)
    {
        z_stream stream = {};
        inflateInit(&stream);
        int rc = Z_OK;
        bool ok = true;
        if (!chunk) {
            ok = InflatePiece(stream, file, inlineData.data, static_cast<size_t>(inlineData.size), &rc);
        } else {
            while (ok && chunk) {
                sqlite3_reset(chunk_.Handle());
                sqlite3_bind_int64(chunk_.Handle(), 1, chunk);
                if (sqlite3_step(chunk_.Handle()) != SQLITE_ROW)
                    return false;
                Statement::Blob piece = chunk_.ColumnBlob(0);
                ok = InflatePiece(stream, file, piece.data, static_cast<size_t>(piece.size), &rc);
                chunk = chunk_.ColumnInt64(1);
            }
        }
        inflateEnd(&stream);
        return ok && rc == Z_STREAM_END;
    }

    sqlite3* db_;
    std::vector<Bytef> buffer_;
    std::map<int64_t, std::wstring> dirs_;
    Statement chunk_;
};

int RunBaseline(const std::wstring& package, const std::wstring& target, const std::wstring& resultPath)
{
    LARGE_INTEGER start;
    LARGE_INTEGER end;
    QueryPerformanceCounter(&start);
    DatabaseHandle db;
    bool ok = OpenAndCheckDatabase(zeltest::Utf8(package).c_str(), db.out()) && Baseline(db.get()).Run(target);
    db.Close();
    QueryPerformanceCounter(&end);
    WriteResult(resultPath, Seconds(start, end), PeakWorkingSet(), ok);
    return ok ? 0 : 1;
}

struct Measure {
    bool ok = false;
    double seconds = 0;
    size_t peak = 0;
};

// Runs this program again with a step and reads what it measured.
Measure RunChild(const std::wstring& step, const std::wstring& package, const std::wstring& target,
                 const std::wstring& resultPath)
{
    wchar_t self[MAX_PATH + 1] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH + 1);
    std::wstring commandLine = L"\"" + std::wstring(self) + L"\" " + step + L" \"" + package + L"\" \"" + target +
                               L"\" \"" + resultPath + L"\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    Measure measure;
    if (!CreateProcessW(self, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return measure;
    WaitForSingleObject(process.hProcess, INFINITE);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    FILE* file = _wfopen(resultPath.c_str(), L"r");
    if (!file)
        return measure;
    int ok = 0;
    if (fscanf(file, "%d %lf %zu", &ok, &measure.seconds, &measure.peak) == 3)
        measure.ok = ok == 1;
    fclose(file);
    return measure;
}

// The fastest of several runs of a step; the peak working set is the
// largest seen.
Measure BestOf(int runs, const std::wstring& step, const std::wstring& package, const std::wstring& target,
               const std::wstring& resultPath, unsigned long long* written)
{
    Measure best;
    for (int run = 0; run < runs; ++run) {
        Measure measure = RunChild(step, package, target, resultPath);
        *written = TreeBytes(target);
        zeltest::RemoveTree(target);
        if (run == 0 || (measure.ok && measure.seconds < best.seconds)) {
            size_t peak = std::max(best.peak, measure.peak);
            best = measure;
            best.peak = peak;
        } else {
            best.peak = std::max(best.peak, measure.peak);
        }
    }
    return best;
}

int RunAll(size_t megabytes, int runs)
{
    zeltest::TempDir scratch(L"bench");
    const size_t totalBytes = megabytes << 20;
    printf("%zu MB in %zu files per package\n\n", megabytes, FileSizes(totalBytes).size());
    printf("%-8s %10s %10s %9s %9s %12s %12s %7s\n", "package", "pkg MB", "install s", "MB/s", "zlib MB/s",
           "peak WS MB", "zlib WS MB", "ratio");
    for (Mode mode : {Mode::Stored, Mode::Inline, Mode::Chained}) {
        const std::wstring package = scratch.File(std::wstring(L"900_") + ModeName(mode) + L".db");
        Generate(package, mode, totalBytes);
        WIN32_FILE_ATTRIBUTE_DATA info;
        GetFileAttributesExW(package.c_str(), GetFileExInfoStandard, &info);
        double packageMb = static_cast<double>(info.nFileSizeLow + (static_cast<double>(info.nFileSizeHigh) * 4294967296.0)) / 1048576.0;

        const std::wstring target = scratch.File(L"target");
        unsigned long long written = 0;
        unsigned long long baselineWritten = 0;
        Measure install = BestOf(runs, L"install", package, target, scratch.File(L"result.txt"), &written);
        Measure baseline = BestOf(runs, L"zlib", package, target, scratch.File(L"result.txt"), &baselineWritten);
        DeleteFileW(package.c_str());

        const double mb = static_cast<double>(totalBytes) / 1048576.0;
        double installRate = install.seconds > 0 ? mb / install.seconds : 0;
        double baselineRate = baseline.seconds > 0 ? mb / baseline.seconds : 0;
        printf("%-8ls %10.1f %10.2f %9.1f %9.1f %12.1f %12.1f %7.2f%s\n", ModeName(mode), packageMb, install.seconds,
               installRate, baselineRate, static_cast<double>(install.peak) / 1048576.0,
               static_cast<double>(baseline.peak) / 1048576.0, baselineRate > 0 ? installRate / baselineRate : 0,
               install.ok && baseline.ok && written == totalBytes && baselineWritten == totalBytes ? ""
                                                                                                   : "  (FAILED)");
        fflush(stdout);
    }
    printf("\nratio = install throughput / plain zlib throughput\n");
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc == 5 && wcscmp(argv[1], L"install") == 0)
        return RunInstall(argv[2], argv[3], argv[4]);
    if (argc == 5 && wcscmp(argv[1], L"zlib") == 0)
        return RunBaseline(argv[2], argv[3], argv[4]);
    size_t megabytes = argc > 1 ? static_cast<size_t>(_wtoi(argv[1])) : 200;
    int runs = argc > 2 ? _wtoi(argv[2]) : 3;
    return RunAll(megabytes ? megabytes : 200, runs > 0 ? runs : 3);
}

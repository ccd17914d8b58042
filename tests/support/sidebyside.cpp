#include "sidebyside.h"

#include <psapi.h>

#include <algorithm>
#include <cstdio>

namespace zeltest {

namespace {

double Median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

}  // namespace

double NowSeconds()
{
    LARGE_INTEGER counter;
    LARGE_INTEGER frequency;
    QueryPerformanceCounter(&counter);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

std::optional<TimedRun> TimeCommand(const std::wstring& commandLine)
{
    std::wstring line = commandLine;
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    double start = NowSeconds();
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return std::nullopt;
    TimedRun run;
    do {
        PROCESS_MEMORY_COUNTERS counters = {};
        counters.cb = sizeof(counters);
        if (GetProcessMemoryInfo(process.hProcess, &counters, sizeof(counters)))
            run.peakPrivateBytes = std::max(run.peakPrivateBytes, static_cast<size_t>(counters.PeakPagefileUsage));
    } while (WaitForSingleObject(process.hProcess, 10) == WAIT_TIMEOUT);
    run.seconds = NowSeconds() - start;
    GetExitCodeProcess(process.hProcess, &run.exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return run;
}

double Comparison::MedianFloor() const
{
    return Median(floorSeconds);
}

double Comparison::MedianProgram() const
{
    return Median(programSeconds);
}

double Comparison::MedianRatio() const
{
    return Median(ratios);
}

Comparison CompareSideBySide(const TimedStep& floor, const TimedStep& program, int rounds)
{
    Comparison comparison;
    for (int round = 0; round < rounds; ++round) {
        std::optional<double> floorSeconds;
        std::optional<double> programSeconds;
        if (round % 2 == 0) {
            floorSeconds = floor();
            programSeconds = floorSeconds ? program() : std::nullopt;
        } else {
            programSeconds = program();
            floorSeconds = programSeconds ? floor() : std::nullopt;
        }
        if (!floorSeconds || !programSeconds || *programSeconds <= 0)
            break;
        comparison.floorSeconds.push_back(*floorSeconds);
        comparison.programSeconds.push_back(*programSeconds);
        comparison.ratios.push_back(*floorSeconds / *programSeconds);
    }
    return comparison;
}

void PrintComparison(const char* what, const Comparison& comparison, double goal)
{
    if (comparison.Failed()) {
        printf("%-44s FAILED (a run did not complete)\n", what);
        return;
    }
    printf("%-44s floor %7.3f s  zel.exe %7.3f s  ratio %.2f  (goal %.2f, %zu rounds)\n", what,
           comparison.MedianFloor(), comparison.MedianProgram(), comparison.MedianRatio(), goal,
           comparison.ratios.size());
    fflush(stdout);
}

}  // namespace zeltest

#pragma once

// Side-by-side timing for the benchmark programs (never for tests): a
// floor and the program do the same work in one run, in alternating order,
// and the median of the rounds is reported as floor time / program time,
// so 1.0 means as fast as the floor.

#include <windows.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace zeltest {

// Seconds on the performance counter.
double NowSeconds();

// Starts a command line, waits for its end and times it from start to end,
// sampling its peak private memory on the way.
struct TimedRun {
    double seconds = 0;
    DWORD exitCode = 0;
    size_t peakPrivateBytes = 0;
};
std::optional<TimedRun> TimeCommand(const std::wstring& commandLine);

// One timed step: prepares what it needs untimed, runs, and returns the
// seconds of the run, or nullopt when the run failed.
using TimedStep = std::function<std::optional<double>()>;

struct Comparison {
    std::vector<double> floorSeconds;
    std::vector<double> programSeconds;
    std::vector<double> ratios;  // per round: floor / program
    double MedianFloor() const;
    double MedianProgram() const;
    double MedianRatio() const;
    bool Failed() const { return ratios.empty(); }
};

// rounds rounds of both steps; odd rounds run the floor first, even rounds
// the program. Stops at the first failed step (Failed() then holds when no
// round completed).
Comparison CompareSideBySide(const TimedStep& floor, const TimedStep& program, int rounds = 3);

// One line: what, the medians, the ratio and the goal.
void PrintComparison(const char* what, const Comparison& comparison, double goal);

}  // namespace zeltest

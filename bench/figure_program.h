#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace fwu::bench {

// How long a piece of work took: on the wall clock, and in CPU time of the whole process (user
// and system, every thread), which tells how many cores it kept busy.
struct Timing {
    std::chrono::steady_clock::duration wall{};
    std::chrono::nanoseconds cpu{};
};

// What one run of a figure measured. Only the work being measured is timed: setting up the
// device and the window and checking the outcome are not.
struct RunMeasurement {
    Timing timing;
    std::uint64_t units = 0;
    std::uint64_t transfers = 0;
};

// One figure of the table. A run throws std::runtime_error when the work did not get done.
struct Figure {
    std::string name;
    std::chrono::microseconds latencyPerTransfer{0};
    std::function<RunMeasurement()> run;
};

// The main of a figure program: `--figure NAME --runs N` runs that figure N times and prints
// its result line on standard output; `--list` prints the names of its figures. Each figure
// runs in a process of its own, so the peak resident memory reported is that figure's.
int runFigureProgram(int argc, char** argv, const std::vector<Figure>& figures);

// The CPU time the process has used so far, user and system, over all its threads.
std::chrono::nanoseconds processCpuTime();

template <typename Work>
Timing timed(Work&& work) {
    const auto cpuStart = processCpuTime();
    const auto start = std::chrono::steady_clock::now();
    work();
    const auto wall = std::chrono::steady_clock::now() - start;
    return {wall, processCpuTime() - cpuStart};
}

}  // namespace fwu::bench

#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace fwu::bench {

// What one run of a figure measured. Only the work being measured is timed: setting up the
// device and the window and checking the outcome are not.
struct RunMeasurement {
    std::chrono::steady_clock::duration elapsed{};
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

template <typename Work>
std::chrono::steady_clock::duration timed(Work&& work) {
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::steady_clock::now() - start;
}

}  // namespace fwu::bench

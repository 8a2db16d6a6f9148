#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace fwu::bench {

// What a figure process hands back to the driver, as one line on its standard output.
struct FigureResult {
    std::string name;
    std::uint64_t units = 0;      // write-record reports, or blocks for the dump, per run
    std::uint64_t transfers = 0;  // feature transfers per run, start, erase and finish included
    std::uint64_t latencyMicroseconds = 0;  // the simulated device's time per transfer
    std::vector<double> runSeconds;         // one entry per run, in the order they ran
    long peakResidentKiB = 0;               // of the whole process, over all its runs
    std::vector<double> runCpuSeconds;      // the process's CPU time over each run, in order
};

double medianSeconds(const FigureResult& result);
double medianCpuSeconds(const FigureResult& result);

std::string formatResultLine(const FigureResult& result);
// Nothing for a line that is not a result line (the figure's own diagnostics).
std::optional<FigureResult> parseResultLine(const std::string& line);

}  // namespace fwu::bench

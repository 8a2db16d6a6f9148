#include "bench/figure_program.h"

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <psapi.h>
#else
#include <sys/resource.h>
#include <time.h>
#endif

#include <algorithm>
#include <cstdlib>
#include <iostream>
#include <optional>
#include <stdexcept>

#include "bench/figure_result.h"

namespace fwu::bench {
namespace {

constexpr int UsageError = 2;
constexpr int FigureFailed = 1;

struct Arguments {
    bool list = false;
    std::string figure;
    int runs = 1;
};

std::optional<Arguments> parseArguments(int argc, char** argv) {
    Arguments arguments;
    for (int index = 1; index < argc; ++index) {
        const std::string option = argv[index];
        const bool hasValue = index + 1 < argc;
        if (option == "--list") {
            arguments.list = true;
        } else if (option == "--figure" && hasValue) {
            arguments.figure = argv[++index];
        } else if (option == "--runs" && hasValue) {
            arguments.runs = std::atoi(argv[++index]);
        } else {
            return std::nullopt;
        }
    }
    if (!arguments.list && (arguments.figure.empty() || arguments.runs < 1))
        return std::nullopt;
    return arguments;
}

long peakResidentKiB() {
#ifdef _WIN32
    PROCESS_MEMORY_COUNTERS counters{};
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
    return static_cast<long>(counters.PeakWorkingSetSize / 1024);
#else
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;  // kilobytes on Linux
#endif
}

}  // namespace

std::chrono::nanoseconds processCpuTime() {
#ifdef _WIN32
    FILETIME creation{}, exit{}, kernel{}, user{};
    GetProcessTimes(GetCurrentProcess(), &creation, &exit, &kernel, &user);
    const auto ticks = [](const FILETIME& time) {  // 100 ns each
        return (static_cast<std::int64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
    };
    return std::chrono::nanoseconds((ticks(kernel) + ticks(user)) * 100);
#else
    timespec time{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &time);
    return std::chrono::seconds(time.tv_sec) + std::chrono::nanoseconds(time.tv_nsec);
#endif
}

namespace {

FigureResult measure(const Figure& figure, int runs) {
    FigureResult result;
    result.name = figure.name;
    result.latencyMicroseconds = static_cast<std::uint64_t>(figure.latencyPerTransfer.count());
    for (int run = 0; run < runs; ++run) {
        const RunMeasurement measured = figure.run();
        result.units = measured.units;
        result.transfers = measured.transfers;
        result.runSeconds.push_back(std::chrono::duration<double>(measured.timing.wall).count());
        result.runCpuSeconds.push_back(std::chrono::duration<double>(measured.timing.cpu).count());
    }
    result.peakResidentKiB = peakResidentKiB();
    return result;
}

}  // namespace

int runFigureProgram(int argc, char** argv, const std::vector<Figure>& figures) {
    const auto arguments = parseArguments(argc, argv);
    if (!arguments) {
        std::cerr << "usage: " << argv[0] << " --figure NAME [--runs N] | --list\n";
        return UsageError;
    }
    if (arguments->list) {
        for (const Figure& figure : figures)
            std::cout << figure.name << '\n';
        return 0;
    }
    const auto figure = std::find_if(figures.begin(), figures.end(), [&](const Figure& candidate) {
        return candidate.name == arguments->figure;
    });
    if (figure == figures.end()) {
        std::cerr << "no figure " << arguments->figure << " here (--list names them)\n";
        return UsageError;
    }
    try {
        std::cout << formatResultLine(measure(*figure, arguments->runs)) << std::endl;
    } catch (const std::exception& error) {
        std::cerr << figure->name << ": " << error.what() << '\n';
        return FigureFailed;
    }
    return 0;
}

}  // namespace fwu::bench

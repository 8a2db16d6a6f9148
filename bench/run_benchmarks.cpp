// make bench: runs every figure in a process of its own, prints the table and writes it, with
// the machine it ran on, to a Markdown file.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "bench/machine_info.h"
#include "bench/results_table.h"

namespace fwu::bench {
namespace {

constexpr int UsageError = 2;
// Above it at the start, other work on the machine shows in the figures.
constexpr double QuietLoad = 1.5;

enum class Program { Headless, Window, Win32Window };

struct PlannedFigure {
    FigureDescription description;
    Program program;
    bool withLatency;  // the long end-to-end runs: fewer of them
    bool slow;         // minutes per run: fewer of them
};

std::vector<PlannedFigure> plan() {
    using Kind = Target::Kind;
    const Target none;
    const Target perReport{Kind::HostMicrosecondsPerUnit, 5.0};
    const Target perBlock{Kind::HostMicrosecondsPerUnit, 30.0};
    const Target nearFloor{Kind::PercentOverFloor, 5.0};
    const Target sideBySide{Kind::PercentOverFloor, 10.0};
    const Target sideBySideOnOneCore{Kind::PercentOverFloor, 5.0, 1.0};
    return {
        {{"raw", "write-record reports through `device/` alone", "report", none},
         Program::Headless,
         false,
         false},
        {{"update-headless", "the update of a 1 MiB image, a host that does nothing", "report",
          none},
         Program::Headless,
         false,
         false},
        {{"update-window", "the same update through `frmMain`, started by a click", "report",
          perReport},
         Program::Window,
         false,
         false},
        {{"dump-headless", "the flash dump, a host that does nothing", "block", none},
         Program::Headless,
         false,
         false},
        {{"dump-window", "the flash dump through `frmMain` (1,048,576 advances)", "block",
          perBlock},
         Program::Window,
         false,
         false},
        {{"dump-window-literal",
          "the dump through `frmMain`, the bar repainted and the events processed at every "
          "advance",
          "block", none},
         Program::Window,
         false,
         true},
        {{"update-window-1ms", "`update-window` at 1 ms per transfer, end to end", "report",
          nearFloor},
         Program::Window,
         true,
         false},
        {{"dump-window-1ms", "`dump-window` at 1 ms per transfer, end to end", "block", nearFloor},
         Program::Window,
         true,
         false},
        {{"update-8-devices",
          "eight devices at 1 ms per transfer, each updated with a 1 MiB image by the command "
          "line's `--simulate --all`, end to end",
          "report", sideBySide},
         Program::Headless,
         true,
         false},
        {{"update-64-devices", "`update-8-devices` with 64 devices", "report", sideBySideOnOneCore},
         Program::Headless,
         true,
         false},
        {{"update-127-devices", "`update-8-devices` with 127 devices, a full USB bus", "report",
          none},
         Program::Headless,
         true,
         false},
        {{"update-win32", "the update through the Win32 `frmMain` under Wine, started by a click",
          "report", perReport},
         Program::Win32Window,
         false,
         false},
        {{"dump-win32", "the flash dump through the Win32 `frmMain` under Wine", "block", perBlock},
         Program::Win32Window,
         false,
         false},
        {{"dump-win32-literal",
          "the dump through the Win32 `frmMain`, the bar repainted and the messages processed at "
          "every advance",
          "block", none},
         Program::Win32Window,
         false,
         true},
        {{"update-win32-1ms", "`update-win32` at 1 ms per transfer, end to end", "report",
          nearFloor},
         Program::Win32Window,
         true,
         false},
        {{"dump-win32-1ms", "`dump-win32` at 1 ms per transfer, end to end", "block", nearFloor},
         Program::Win32Window,
         true,
         false},
    };
}

struct Arguments {
    int runs = 7;
    int slowRuns = 3;
    int latencyRuns = 3;
    std::set<std::string> only;
    std::optional<std::filesystem::path> output;
    std::optional<std::filesystem::path> findings;
    std::string displayNote;  // what runs the display, when the caller knows
    // The Win32 window's figure program, run under Wine; its figures are left out without it.
    std::optional<std::filesystem::path> win32Figures;
};

std::set<std::string> splitNames(const std::string& list) {
    std::set<std::string> names;
    std::istringstream stream(list);
    std::string name;
    while (std::getline(stream, name, ','))
        names.insert(name);
    return names;
}

std::optional<Arguments> parseArguments(int argc, char** argv) {
    Arguments arguments;
    for (int index = 1; index < argc; ++index) {
        const std::string option = argv[index];
        if (index + 1 >= argc)
            return std::nullopt;
        const std::string value = argv[++index];
        if (option == "--runs")
            arguments.runs = std::atoi(value.c_str());
        else if (option == "--slow-runs")
            arguments.slowRuns = std::atoi(value.c_str());
        else if (option == "--latency-runs")
            arguments.latencyRuns = std::atoi(value.c_str());
        else if (option == "--only")
            arguments.only = splitNames(value);
        else if (option == "--output")
            arguments.output = value;
        else if (option == "--findings")
            arguments.findings = value;
        else if (option == "--display-note")
            arguments.displayNote = value;
        else if (option == "--win32-figures")
            arguments.win32Figures = value;
        else
            return std::nullopt;
    }
    if (arguments.runs < 1 || arguments.slowRuns < 1 || arguments.latencyRuns < 1)
        return std::nullopt;
    return arguments;
}

void printUsage(const char* program) {
    std::cerr << "usage: " << program
              << " [--runs N] [--slow-runs N] [--latency-runs N] [--only NAME,...]\n"
                 "       [--output results.md] [--findings notes.md] [--display-note TEXT]\n"
                 "       [--win32-figures fwu_bench_win32.exe]\n"
                 "Runs each figure N times in a process of its own (the window figures need a "
                 "display;\nthe Win32 window's run under Wine) and prints the medians as a "
                 "table.\n";
}

std::string quoted(const std::string& text) {
    std::string quoted = "'";
    for (const char character : text)
        quoted += character == '\'' ? std::string("'\\''") : std::string(1, character);
    return quoted + "'";
}

std::filesystem::path programFolder() {
    return std::filesystem::read_symlink("/proc/self/exe").parent_path();
}

std::string programCommand(Program program, const Arguments& arguments) {
    switch (program) {
        case Program::Headless:
            return quoted((programFolder() / "fwu_bench_headless").string());
        case Program::Window:
            return quoted((programFolder() / "fwu_bench_window").string());
        case Program::Win32Window:
            break;
    }
    return "wine " + quoted(arguments.win32Figures->string());
}

// The first line that `command` prints, without its line end; empty when it cannot run.
std::string firstLineOf(const std::string& command) {
    FILE* output = popen(command.c_str(), "r");
    if (!output)
        return {};
    char line[512] = "";
    const bool read = std::fgets(line, sizeof line, output) != nullptr;
    pclose(output);
    std::string text = read ? line : "";
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    return text;
}

std::optional<FigureResult> runFigure(const PlannedFigure& figure, int runs,
                                      const Arguments& arguments) {
    const std::string command = programCommand(figure.program, arguments) + " --figure " +
                                figure.description.name + " --runs " + std::to_string(runs);
    std::cerr << "running " << figure.description.name << " (" << runs
              << (runs == 1 ? " run" : " runs") << ")..." << std::endl;
    FILE* output = popen(command.c_str(), "r");
    if (!output)
        return std::nullopt;
    std::optional<FigureResult> result;
    char line[4096];
    while (std::fgets(line, sizeof line, output)) {
        if (auto parsed = parseResultLine(line))
            result = parsed;
    }
    if (pclose(output) != 0)
        return std::nullopt;
    return result;
}

int runsFor(const PlannedFigure& figure, const Arguments& arguments) {
    if (figure.withLatency)
        return arguments.latencyRuns;
    return figure.slow ? arguments.slowRuns : arguments.runs;
}

std::string readFile(const std::filesystem::path& path) {
    std::ifstream file(path);
    std::ostringstream contents;
    contents << file.rdbuf();
    return contents.str();
}

std::string targetsSummary(const std::vector<TableRow>& rows) {
    std::ostringstream text;
    for (const TableRow& row : rows) {
        const auto met = meetsTarget(row);
        if (row.description.target.kind == Target::Kind::None)
            continue;
        text << "- `" << row.description.name << "`: "
             << (!met   ? "no result"
                 : *met ? "met"
                        : "missed")
             << '\n';
    }
    return text.str();
}

constexpr const char* buildDescription() {
#ifdef NDEBUG
    return "Release";
#else
    return "with assertions, not optimised for speed: the figures overstate the cost";
#endif
}

std::string report(const std::vector<TableRow>& rows, const Arguments& arguments,
                   const std::string& loadBefore, const std::string& loadAfter, bool busy) {
    std::ostringstream text;
    text << "# Benchmarks\n\n"
         << "Written by `make bench` (the programs in `bench/`). Each figure runs "
            "in a process of its own, so its peak resident memory is its own; each is the median "
            "of the runs given. The device is the simulated one: without latency it answers at "
            "once, so a run's time is the host's whole cost (the simulated device's own "
            "bookkeeping included, which makes it an upper bound); with 1 ms per transfer, the "
            "host's cost is the time beyond the floor, transfers × 1 ms. The `update-N-devices` "
            "figures count the reports of all their devices, and their floor is one device's "
            "transfers × 1 ms, since the devices work side by side: it is the shortest time one "
            "device's update can take. CPU time is the figure process's own, user and system over "
            "all its threads, in the timed work (the X server's and Wine's work is not in it); "
            "cores busy is the median CPU time over the median run, at most the number of "
            "logical processors.\n\n"
         << "- Date: " << utcDate() << '\n'
         << "- Processor: " << cpuModel() << ", " << processorCount() << " logical processors, "
         << kernelRelease() << '\n'
         << "- Build: " << buildDescription() << '\n'
         << "- Display of the window figures: " << displayDescription()
         << (arguments.displayNote.empty() ? "" : ", " + arguments.displayNote) << '\n';
    if (arguments.win32Figures) {
        text << "- The Win32 window's figures: its mingw-w64 Release build under "
             << firstLineOf("wine --version 2>/dev/null") << " on the same display, at 96 DPI\n";
    }
    text << "- Load average (1, 5, 15 min): " << loadBefore << " at the start, " << loadAfter
         << " at the end, which counts the benchmarks' own work (the window figures keep the "
            "program and the X server busy)";
    if (busy)
        text << ". The machine was busy with other work when they started: the figures carry "
                "some of it";
    text << "\n\n"
         << formatTable(rows) << '\n'
         << "Host µs per report or block: the median run over its write-record reports (the "
            "update, 26,215 of them) or its blocks (the dump: each block is one block read, 32 "
            "progress advances and 33 requests for a pass of event processing). The share is of "
            "a 1 ms transfer.\n\n"
         << "Targets (reported, not asserted):\n\n"
         << targetsSummary(rows) << "\nEvery run, in the order they ran:\n\n"
         << formatRunTimes(rows);
    if (arguments.findings)
        text << '\n' << readFile(*arguments.findings);
    return text.str();
}

}  // namespace
}  // namespace fwu::bench

int main(int argc, char** argv) {
    using namespace fwu::bench;
    const auto arguments = parseArguments(argc, argv);
    if (!arguments) {
        printUsage(argv[0]);
        return UsageError;
    }
    const std::string loadBefore = loadAverages();
    const bool busy = oneMinuteLoad() > QuietLoad;
    std::vector<TableRow> rows;
    bool allRan = true;
    for (const PlannedFigure& figure : plan()) {
        if (!arguments->only.empty() && !arguments->only.contains(figure.description.name))
            continue;
        if (figure.program == Program::Win32Window && !arguments->win32Figures)
            continue;
        TableRow row{figure.description,
                     runFigure(figure, runsFor(figure, *arguments), *arguments)};
        allRan = allRan && row.result.has_value();
        rows.push_back(row);
    }
    const std::string loadAfter = loadAverages();

    std::cout << formatTable(rows);
    if (arguments->output) {
        std::ofstream file(*arguments->output, std::ios::trunc);
        file << report(rows, *arguments, loadBefore, loadAfter, busy);
        if (!file.flush()) {
            std::cerr << "cannot write " << arguments->output->string() << '\n';
            return 1;
        }
        std::cerr << "wrote " << arguments->output->string() << '\n';
    }
    return allRan ? 0 : 1;
}

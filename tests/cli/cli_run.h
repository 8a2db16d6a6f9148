#pragma once

// The command line run in the test process, on the simulated device its --simulate option makes.
#include <chrono>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "cli/application.h"
#include "platform/hid_platform.h"
#include "simulator/demo_setup.h"
#include "simulator/simulated_bus.h"
#include "tests/firmware/operations_fixture.h"

namespace fwu::cli::test {

namespace fs = std::filesystem;
using firmware::testing::imageBytes;
using firmware::testing::TempFolder;
using firmware::testing::writeFile;
using simulator::SimulatedBus;

// Every run uses the bus's own clock and no latency, so waits and the dump take no real time.
inline const std::string FastBus = "clock=virtual;latency-us=0;";
inline constexpr int Success = 0, Failed = 1, Usage = 2, NoDevice = 3, FileProblem = 4;

// The bus --simulate makes from `settings`, parsed as the variable's text is, without putting
// them into the process's environment.
inline std::shared_ptr<SimulatedBus> simulatedBus(const std::string& settings,
                                                  std::string& problem) {
    const auto parsed = simulator::parseDemoSettings(settings);
    if (!parsed.settings) {
        problem = parsed.error;
        return nullptr;
    }
    return simulator::makeDemoBus(*parsed.settings);
}

inline std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> result;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);)
        result.push_back(line);
    return result;
}

// A run of the command line in the test process, in a folder of its own holding image.bin.
struct CliRun {
    TempFolder folder;
    int status = -1;
    std::ostringstream out, err;
    std::shared_ptr<SimulatedBus> bus;

    // @name: a file in the test's folder.
    std::string substitute(std::string text) const {
        for (std::size_t at; (at = text.find('@')) != std::string::npos;)
            text.replace(at, 1, (folder.path() / "").string());
        return text;
    }

    // With `given`, the run is on that bus instead of the one --simulate makes. `prepare` puts
    // files in the folder; `sleep` asks the system to stay awake. With `terminalRows`, standard
    // error is a terminal of that many rows.
    CliRun(const std::string& argumentText, const std::string& simulation,
           std::shared_ptr<SimulatedBus> given = nullptr,
           const std::function<void(const fs::path&)>& prepare = {},
           const std::function<std::unique_ptr<platform::SleepInhibitor>()>& sleep = {},
           std::optional<std::size_t> terminalRows = {}) {
        std::vector<std::string> arguments;
        std::istringstream words(substitute(argumentText));
        for (std::string word; words >> word;)
            arguments.push_back(word);
        writeFile(folder.path() / "image.bin", imageBytes(85));
        if (prepare)
            prepare(folder.path());
        const auto makePlatform =
            [&](bool simulate, std::string& problem) -> std::shared_ptr<platform::HidPlatform> {
            if (!simulate)
                return platform::makeSystemPlatform();
            bus = given ? given : simulatedBus(FastBus + simulation, problem);
            if (bus)  // the bus of --simulate keeps none unless asked
                bus->setTranscriptRecording(true);
            return bus;
        };
        const Environment environment{out,
                                      err,
                                      terminalRows.has_value(),
                                      makePlatform,
                                      [&] { return std::optional(folder.path()); },
                                      [] {
                                          using namespace std::chrono;
                                          return sys_days{2026y / 5 / 4} + 3h + 2min + 1234ms;
                                      },
                                      sleep,
                                      terminalRows.value_or(0)};
        const std::vector<std::string_view> views(arguments.begin(), arguments.end());
        status = run(views, environment);
    }
};

}  // namespace fwu::cli::test

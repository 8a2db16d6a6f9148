#pragma once

// The command line run in the test process, on the simulated device its --simulate option makes.
#include <chrono>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "cli/application.h"
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

inline void setSimulation(const std::string& settings) {
#ifdef _WIN32
    _putenv((std::string(simulator::SimulationVariable) + "=" + settings).c_str());
#else
    setenv(simulator::SimulationVariable, settings.c_str(), 1);
#endif
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

    // With `given`, the run is on that bus instead of the one --simulate makes; `prepare` sets up
    // the folder before it.
    CliRun(const std::string& argumentText, const std::string& simulation,
           std::shared_ptr<SimulatedBus> given = nullptr,
           const std::function<void(const fs::path&)>& prepare = {}) {
        std::vector<std::string> arguments;
        std::istringstream words(substitute(argumentText));
        for (std::string word; words >> word;)
            arguments.push_back(word);
        writeFile(folder.path() / "image.bin", imageBytes(85));
        if (prepare)
            prepare(folder.path());
        setSimulation(FastBus + simulation);
        const auto makePlatform = [&](bool simulate, std::string& problem) {
            auto made = given ? given : processEnvironment().makePlatform(simulate, problem);
            bus = std::dynamic_pointer_cast<SimulatedBus>(made);
            return made;
        };
        const Environment environment{out,
                                      err,
                                      false,
                                      makePlatform,
                                      [&] { return std::optional(folder.path()); },
                                      [] {
                                          using namespace std::chrono;
                                          return sys_days{2026y / 5 / 4} + 3h + 2min + 1234ms;
                                      }};
        const std::vector<std::string_view> views(arguments.begin(), arguments.end());
        status = run(views, environment);
    }
};

}  // namespace fwu::cli::test

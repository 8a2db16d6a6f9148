#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <string_view>

#include "platform/hid_platform.h"
#include "platform/sleep_inhibitor.h"

namespace fwu::cli {

// What the program needs from the process it runs in; tests give their own.
struct Environment {
    std::ostream& out;
    std::ostream& err;
    // Standard error is a terminal that takes the control sequences of a progress board.
    bool errIsTerminal = false;
    // The backend: the system's, or with `simulate` the simulated bus. Nothing, with `problem`
    // set, when it cannot be made.
    std::function<std::shared_ptr<platform::HidPlatform>(bool simulate, std::string& problem)>
        makePlatform;
    std::function<std::optional<std::filesystem::path>()> programFolder;
    // The time of day, for the start time of each result.
    std::function<std::chrono::system_clock::time_point()> wallClock =
        std::chrono::system_clock::now;
    // What asks the system not to sleep while firmware is written; unset, it is not asked.
    std::function<std::unique_ptr<platform::SleepInhibitor>()> makeSleepInhibitor = {};
    // The rows of that terminal; 0 when it does not say.
    std::size_t terminalRows = 0;
};

// The streams, the backends and the program folder of the running process.
Environment processEnvironment();

// Runs the command line (the arguments after the program name); returns the exit status.
int run(std::span<const std::string_view> arguments, const Environment& environment);

}  // namespace fwu::cli

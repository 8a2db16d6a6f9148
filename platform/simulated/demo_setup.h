#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/simulated/simulated_bus.h"

// The simulated bus as the front ends' --simulate option sets it up: a bus on the real clock
// with one application-mode device at about 1 ms per transfer. Tests and demonstrations change
// it through an environment variable of `key=value` items separated by semicolons, e.g.
//   FIRMWARE_UPDATE_SIMULATION="latency-us=0;fail-transfers-from=12"
namespace fwu::platform::simulated {

inline constexpr const char* SimulationVariable = "FIRMWARE_UPDATE_SIMULATION";

struct DemoSettings {
    SimulatedBus::Clock clock = SimulatedBus::Clock::Real;
    std::chrono::microseconds latency{1000};
    std::size_t deviceCount = 1;
    DeviceMode mode = DeviceMode::Application;
    std::optional<std::uint16_t> featureReportLength;
    std::optional<std::chrono::milliseconds> reenumerationDelay = std::chrono::milliseconds(300);
    std::optional<std::uint64_t> failTransfersFrom;
    std::optional<std::uint64_t> unplugAtRequest;
    bool permissionDenied = false;
    bool foreignDevice = false;  // a keyboard ahead of the devices, which the search passes over
    // Raises SIGINT as the report with this index (from 0, counting every report on the bus)
    // is recorded, as a user pressing Ctrl-C at that moment would. Uses the bus's transcript
    // observer.
    std::optional<std::uint64_t> interruptAt;
};

struct DemoSettingsResult {
    std::optional<DemoSettings> settings;
    std::string error;  // what is wrong with the text, when settings is empty
};

// Parses the items strictly: an unknown key, a missing or surplus value, a value out of range
// or a key given twice is an error naming the item.
DemoSettingsResult parseDemoSettings(std::string_view text);

// The settings from the environment variable; the defaults when it is unset.
DemoSettingsResult demoSettingsFromEnvironment();

std::unique_ptr<SimulatedBus> makeDemoBus(const DemoSettings& settings);

// A text listing the keys the variable accepts, for help output.
std::string demoSettingsHelp();

}  // namespace fwu::platform::simulated

#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "cli/command_line.h"
#include "cli/exit_status.h"
#include "device/device_directory.h"

namespace fwu::cli {

// What one command did on one device: a line of the summary, of --json and of --log.
struct DeviceResult {
    device::FoundDevice device;  // as it was found before the command ran
    std::string finalPath;       // where the device was when the command ended
    std::string finalArrival{};  // and its arrival there (InterfaceEntry::arrival)
    Command command = Command::List;
    std::string outcome;  // "succeeded", "transfer-failed", "refused", ...
    ExitStatus status = ExitStatus::Success;
    std::string message;
    std::uint64_t bytes = 0;
    double seconds = 0;
    std::chrono::system_clock::time_point started;

    bool succeeded() const { return status == ExitStatus::Success; }
};

}  // namespace fwu::cli

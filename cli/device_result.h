#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "cli/command_line.h"
#include "cli/exit_status.h"
#include "device/device_directory.h"
#include "platform/sha256.h"

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
    // The SHA-256 of the image the command read, for the commands that read one.
    std::optional<platform::Sha256Digest> imageSha256;
    // What the person was told besides the outcome (the system would not stay awake).
    std::vector<std::string> notices;

    bool succeeded() const { return status == ExitStatus::Success; }
};

}  // namespace fwu::cli

#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "cli/device_result.h"
#include "cli/progress_display.h"
#include "cli/session.h"
#include "device/device_directory.h"
#include "platform/hid_platform.h"

namespace fwu::cli {

// One worker's share of the program: the backend it talks through (traced or not), where its
// progress shows and where its messages go.
struct WorkerOutput {
    platform::HidPlatform& platform;
    ProgressView& progress;
    std::ostream& messages;
};

struct DeviceTarget {
    device::FoundDevice device;
    // The link takes this device and no other. Chosen among others, an upgrade follows it
    // through its restart by its serial number; otherwise it takes the first bootloader that
    // comes, as the window does.
    bool chosen = false;
};

// Runs the command on one device with its own link, host and operations, and with
// `update --verify` the verify after a successful update: one result per command run.
// Failures are shown on the worker's messages as they happen; the success messages are in the
// results, for the caller to show.
std::vector<DeviceResult> runDeviceCommand(const Session& session, const DeviceTarget& target,
                                           WorkerOutput& output);

// The result for a device the command was not run on, and why.
DeviceResult refusedResult(const Session& session, const device::FoundDevice& device,
                           std::string message);

}  // namespace fwu::cli

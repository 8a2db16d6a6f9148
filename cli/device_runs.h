#pragma once

#include <vector>

#include "cli/device_command.h"
#include "cli/device_result.h"
#include "cli/exit_status.h"
#include "cli/session.h"
#include "device/device_directory.h"

namespace fwu::cli {

// What one run of the command on its devices came to.
struct RoundResult {
    ExitStatus status = ExitStatus::Success;
    std::vector<DeviceResult> results;
};

// The command on `device`, one of the supported devices `present`, shown as the command line
// always has: progress and failures on standard error, the success message on standard output
// (unless --quiet or --json).
RoundResult runOnOneDevice(const Session& session, const device::FoundDevice& device,
                           const std::vector<device::FoundDevice>& present);

// The command on each of `devices` at once, one worker per device, each with its own link, host
// and operations; `present` is every supported device connected. On a terminal the progress is
// a board of one line per device, elsewhere lines prefixed with the device's path; a summary of
// one line per device ends it. Success only when every device succeeded.
RoundResult runOnAllDevices(const Session& session, const std::vector<device::FoundDevice>& devices,
                            const std::vector<device::FoundDevice>& present);

}  // namespace fwu::cli

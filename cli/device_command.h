#pragma once

#include "cli/application.h"
#include "cli/command_line.h"
#include "cli/exit_status.h"
#include "platform/hid_platform.h"

namespace fwu::cli {

// Runs one of the device operations (every command but `list`): finds the device, runs the
// operation with progress and Ctrl-C, and reports the result.
ExitStatus runOperationCommand(const Options& options, platform::HidPlatform& platform,
                               const Environment& environment);

}  // namespace fwu::cli

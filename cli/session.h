#pragma once

#include <ostream>

#include "cli/application.h"
#include "cli/command_line.h"
#include "cli/interrupt.h"
#include "cli/result_lines.h"
#include "firmware/operations.h"
#include "firmware/program_files.h"
#include "platform/hid_platform.h"

namespace fwu::cli {

// What every run of a device command shares, set up before anything is sent: the options, the
// process's streams, the backend, the open trace file and result lines, Ctrl-C, the files and
// the operations' settings.
struct Session {
    const Options& options;
    const Environment& environment;
    platform::HidPlatform& backend;
    std::ostream* trace;  // the trace file, with --trace
    ResultLines& results;
    const InterruptCatcher& interrupts;
    firmware::ProgramFiles files;
    firmware::OperationSettings settings;
};

}  // namespace fwu::cli

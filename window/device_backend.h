#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "firmware/program_files.h"
#include "firmware/sleep_guard.h"
#include "platform/file_stream.h"
#include "platform/hid_platform.h"
#include "platform/tracing_platform.h"

namespace fwu::window {

// The devices the window works with, as its command line chooses them.
struct BackendChoice {
    bool simulate = false;  // the simulated bus instead of the system's devices
    std::optional<std::filesystem::path> traceFile;  // every report is also written here
};

// The HID platform of the window, with the trace around it when one was asked for, and the
// system's guard against sleep while firmware is written.
class DeviceBackend {
  public:
    // The backend, or nothing with `problem` set to what the person must be told. The trace
    // file may be none of the program's `files`.
    static std::unique_ptr<DeviceBackend> open(const BackendChoice& choice,
                                               const firmware::ProgramFiles& files,
                                               std::string& problem);

    platform::HidPlatform& platform() { return tracing_ ? *tracing_ : *devices_; }
    firmware::SleepGuard& sleepGuard() { return sleepGuard_; }

  private:
    std::unique_ptr<platform::HidPlatform> devices_;
    std::optional<platform::FileStream> traceStream_;
    std::optional<platform::TracingPlatform> tracing_;
    firmware::SleepGuard sleepGuard_{platform::makeSystemSleepInhibitor()};
};

}  // namespace fwu::window

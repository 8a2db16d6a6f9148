#pragma once

#include <chrono>
#include <mutex>
#include <optional>
#include <ostream>
#include <string>

#include "cli/device_result.h"
#include "device/device_directory.h"
#include "platform/line_log.h"

namespace fwu::cli {

// A result as one line of JSON: the device's path, serial number and IDs, the command, the
// outcome, the exit status and its meaning, the message, the bytes moved, the seconds taken,
// the start time in UTC, and for a command that uses an image, the image's SHA-256 (null when it
// was not read).
std::string resultJson(const DeviceResult& result);
// A device as `list --json` shows it.
std::string deviceJson(const device::FoundDevice& device);
// "2026-05-04T03:02:01.234Z".
std::string utcTimestamp(std::chrono::system_clock::time_point time);

// Hands each line to standard output (with --json) and appends it to the log (with --log),
// one line at a time, from any worker.
class ResultLines {
  public:
    ResultLines(std::ostream* out, std::optional<platform::LineLog> log);

    void write(const std::string& line);
    // What went wrong appending to the log, once something did.
    std::optional<std::string> logProblem() const;

  private:
    std::ostream* out_;
    std::optional<platform::LineLog> log_;
    std::optional<std::string> logProblem_;
    mutable std::mutex mutex_;
};

}  // namespace fwu::cli

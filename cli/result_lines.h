#pragma once

#include <chrono>
#include <filesystem>
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
// A device as `list --json` shows it, with whether another program holds it, and which.
std::string deviceJson(const device::FoundDevice& device);
// "2026-05-04T03:02:01.234Z".
std::string utcTimestamp(std::chrono::system_clock::time_point time);

// Appends each line to the log (with --log), then hands it to standard output (with --json),
// one line at a time, from any worker: the log first, so that a line is kept even when what
// reads standard output has gone. A line the log did not take is told on `err` at once, with
// the line itself, and the next line is tried again.
class ResultLines {
  public:
    struct Log {
        platform::LineLog file;
        std::filesystem::path path;
    };
    ResultLines(std::ostream* out, std::optional<Log> log, std::ostream& err);

    void write(const std::string& line);
    // True once a line was not appended to the log.
    bool logIncomplete() const;

  private:
    std::ostream* out_;
    std::optional<Log> log_;
    std::ostream& err_;
    bool logIncomplete_ = false;
    mutable std::mutex mutex_;
};

}  // namespace fwu::cli

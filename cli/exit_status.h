#pragma once

#include <string_view>

namespace fwu::cli {

// The program's exit status, as --help documents it.
enum class ExitStatus {
    Success = 0,
    OperationFailed = 1,  // the device did not accept, answer, match or come back, was held by
                          // another program, or the operation was cancelled
    Usage = 2,            // bad command line or simulation settings, or no device chosen
    NoDevice = 3,         // no supported device found
    FileProblem = 4,      // an image, the dump file, the trace file or the log file
};

// What the status means, in the words of --help.
constexpr std::string_view exitStatusMeaning(ExitStatus status) {
    switch (status) {
        case ExitStatus::Success:
            return "success";
        case ExitStatus::OperationFailed:
            return "the operation failed";
        case ExitStatus::Usage:
            return "bad usage";
        case ExitStatus::NoDevice:
            return "no supported device found";
        case ExitStatus::FileProblem:
            return "a file cannot be used";
    }
    return "";
}

}  // namespace fwu::cli

#pragma once

namespace fwu::cli {

// The program's exit status, as --help documents it.
enum class ExitStatus {
    Success = 0,
    OperationFailed = 1,  // the device did not accept, answer or come back; or cancelled
    Usage = 2,            // bad command line or simulation settings
    NoDevice = 3,         // no supported device found
    FileProblem = 4,      // an image, the dump file or the trace file cannot be used
};

}  // namespace fwu::cli

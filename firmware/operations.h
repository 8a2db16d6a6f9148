#pragma once

#include <chrono>
#include <cstddef>
#include <string>

#include "device/protocol.h"
#include "firmware/program_files.h"

namespace fwu::device {
class DeviceLink;
}

namespace fwu::firmware {

class OperationHost;

enum class Outcome {
    Succeeded,
    NoDevice,        // no device detected: nothing was sent
    Busy,            // another operation is running: nothing was done
    ReportTooShort,  // the device's feature report cannot carry the operation's reports
    FileProblem,     // an image or the dump file: missing, unreadable, not writable, too large
    TransferFailed,  // a report was not accepted or not answered
    TimedOut,        // the device did not come back in bootloader mode
    Mismatch,        // the device's flash differs from the image it was to hold
    Cancelled,
};

struct OperationResult {
    Outcome outcome = Outcome::Succeeded;
    std::string message;  // what happened and what to do; empty on success and for NoDevice
};

struct OperationSettings {
    std::chrono::milliseconds upgradeWaitLimit{30000};
    std::chrono::milliseconds upgradeWaitPeriod{100};
    std::size_t dumpBlockCount = protocol::BlockCount;  // fewer only in tests
};

// The operations of the program over one device link, reporting to one host.
class FirmwareOperations {
  public:
    FirmwareOperations(device::DeviceLink& link, OperationHost& host, ProgramFiles files,
                       OperationSettings settings = {});

    OperationResult update();           // Velnor.bin into the application firmware
    OperationResult download();         // Zembrix.bin into the bootloader; ends the program
    OperationResult upgrade();          // into the bootloader, wait, download; ends the program
    OperationResult dump();             // the flash into Ombrel.bin
    OperationResult verify();           // the flash read back and compared with Velnor.bin
    OperationResult eraseChip();        // one erase report without count
    OperationResult enterBootloader();  // one enter-bootloader report

    bool busy() const { return busy_; }

  private:
    device::DeviceLink& link_;
    OperationHost& host_;
    ProgramFiles files_;
    OperationSettings settings_;
    bool busy_ = false;
};

}  // namespace fwu::firmware

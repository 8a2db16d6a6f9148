#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "device/protocol.h"
#include "firmware/program_files.h"
#include "platform/sha256.h"

namespace fwu::device {
class DeviceLink;
}

namespace fwu::firmware {

class OperationHost;
class SleepGuard;

// The program's operations: the front ends choose from this list.
enum class Operation {
    Update,           // Velnor.bin into the application firmware
    Download,         // Zembrix.bin into the bootloader; ends the program
    Upgrade,          // into the bootloader, wait, download; ends the program
    Dump,             // the flash into Ombrel.bin
    Verify,           // the flash read back and compared with Velnor.bin
    EraseChip,        // one erase report without count
    EnterBootloader,  // one enter-bootloader report
};

// What an operation's progress counts.
enum class ProgressCount { Nothing, ImageBytes, FlashBytes };

// The mode the device must be in for an operation: the application firmware takes the
// bootloader's image bytes as commands, the bootloader takes every report as image bytes.
enum class RequiredMode { Application, Bootloader, Either };

// What the front ends need to know of an operation besides running it.
struct OperationFacts {
    std::optional<ProgramFile> file;  // the file it reads or writes, if any
    // It writes an image into the device, which a stop midway leaves without working firmware.
    bool writesFirmware;
    // It restarts the device into its bootloader and waits for it before it writes anything.
    bool restartsIntoBootloaderFirst;
    ProgressCount progress;
    // A device in another mode is refused before anything is sent (Outcome::WrongMode).
    RequiredMode mode;
};

const OperationFacts& factsOf(Operation operation);

// The bytes an operation's progress counts: its image's size (0 when that cannot be told), the
// flash's size, or 0 for an operation without progress.
std::uint64_t progressBytes(Operation operation, const ProgramFiles& files);

enum class Outcome {
    Succeeded,
    NoDevice,        // no device detected: nothing was sent
    Busy,            // another operation runs, or another program holds the device: nothing sent
    ReportTooShort,  // the device's feature report cannot carry the operation's reports
    FileProblem,     // an image or the dump file: missing, unreadable, not writable, too large
    TransferFailed,  // a report was not accepted or not answered
    TimedOut,        // the device did not come back in bootloader mode
    Mismatch,        // the device's flash differs from the image it was to hold
    Cancelled,
    WrongMode,  // the device is not in the mode the operation needs: nothing was sent
};

struct OperationResult {
    Outcome outcome = Outcome::Succeeded;
    std::string message;  // what happened and what to do; empty on success and for NoDevice
    // The bytes in the file an operation writes (the dump's partial file, or the dump once
    // complete); nothing for an operation that writes no file or stopped before making it.
    std::optional<std::uint64_t> bytesWritten = {};
    // The SHA-256 of the image the operation read (and sent, as far as it sent any); nothing
    // when it read none.
    std::optional<platform::Sha256Digest> imageSha256 = {};
};

// Why the last search of `link` found no device: Busy, with its message, when it passed over one
// that another program holds; otherwise NoDevice, which has no message.
OperationResult searchFailure(const device::DeviceLink& link);

struct OperationSettings {
    std::chrono::milliseconds upgradeWaitLimit{30000};
    std::chrono::milliseconds upgradeWaitPeriod{100};
    std::size_t dumpBlockCount = protocol::BlockCount;  // fewer only in tests
    // Keeps the system awake while firmware is written; none: the system is not asked.
    SleepGuard* sleepGuard = nullptr;
    // The SHA-256 the image must have to be sent or compared (the command line's --sha256), on
    // top of the checksum file beside the image; none: only that file, when it is there.
    std::optional<platform::Sha256Digest> imageSha256 = {};
};

// The operations of the program over one device link, reporting to one host.
class FirmwareOperations {
  public:
    FirmwareOperations(device::DeviceLink& link, OperationHost& host, ProgramFiles files,
                       OperationSettings settings = {});

    // Runs the operation to its end, unless one is running already (Outcome::Busy).
    OperationResult run(Operation operation);

    bool busy() const { return busy_; }

  private:
    device::DeviceLink& link_;
    OperationHost& host_;
    ProgramFiles files_;
    OperationSettings settings_;
    bool busy_ = false;
};

}  // namespace fwu::firmware

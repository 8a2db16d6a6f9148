#include "cli/device_command.h"

#include <algorithm>

#include "cli/dump_names.h"
#include "cli/messages.h"
#include "cli/terminal_host.h"
#include "device/device_link.h"
#include "firmware/messages.h"
#include "firmware/operations.h"

namespace fwu::cli {

namespace {

using firmware::FirmwareOperations;
using firmware::OperationResult;
using firmware::Outcome;

ExitStatus exitStatusFor(Outcome outcome) {
    switch (outcome) {
        case Outcome::Succeeded:
            return ExitStatus::Success;
        case Outcome::NoDevice:
            return ExitStatus::NoDevice;
        case Outcome::FileProblem:
            return ExitStatus::FileProblem;
        default:
            return ExitStatus::OperationFailed;
    }
}

std::string outcomeName(Outcome outcome) {
    switch (outcome) {
        case Outcome::Succeeded:
            return "succeeded";
        case Outcome::NoDevice:
            return "no-device";
        case Outcome::Busy:
            return "busy";
        case Outcome::ReportTooShort:
            return "report-too-short";
        case Outcome::FileProblem:
            return "file-problem";
        case Outcome::TransferFailed:
            return "transfer-failed";
        case Outcome::TimedOut:
            return "timed-out";
        case Outcome::Mismatch:
            return "mismatch";
        case Outcome::Cancelled:
            return "cancelled";
        case Outcome::WrongMode:
            return "wrong-mode";
        default:
            return "failed";
    }
}

std::string successMessage(Command command, const firmware::ProgramFiles& files,
                           const std::string& devicePath, std::uint64_t bytes) {
    using firmware::messages::displayPath;
    switch (command) {
        case Command::Update:
            return "Firmware update complete: " + displayPath(files.updateImage()) +
                   " written to " + devicePath + ".";
        case Command::Load:
            return "Bootloader-mode load complete: " + displayPath(files.downloadImage()) +
                   " written to " + devicePath + ".";
        case Command::Upgrade:
            return "Upgrade complete: " + displayPath(files.downloadImage()) + " written to " +
                   devicePath + " in bootloader mode.";
        case Command::Dump:
            return "Flash dump complete: " + std::to_string(bytes) + " bytes written to " +
                   displayPath(files.dumpFile()) + ".";
        case Command::Verify:
            return "Verify complete: the flash of " + devicePath + " matches " +
                   displayPath(files.updateImage()) + ".";
        case Command::Erase:
            return "Erase command sent to " + devicePath + ".";
        case Command::Bootloader:
            return "Bootloader-entry command sent to " + devicePath + ".";
        case Command::List:
            break;
    }
    return {};
}

std::string failureMessage(const OperationResult& result) {
    if (!result.message.empty())
        return result.message;
    return result.outcome == Outcome::NoDevice ? NoDeviceMessage
                                               : "The operation did not complete.";
}

// With --all or --repeat each device's dump goes to a file of its own.
firmware::ProgramFiles filesFor(const Session& session, const device::FoundDevice& device) {
    firmware::ProgramFiles files = session.files;
    if (dumpsToFilesOfTheirOwn(session.options))
        files.dumpFileOverride = perDeviceDumpFile(files.dumpFile(), device);
    return files;
}

// Runs the commands of one device, one after another, over one link and one host.
class DeviceRun {
  public:
    DeviceRun(const Session& session, const DeviceTarget& target, WorkerOutput& output)
        : session_(session),
          target_(target),
          output_(output),
          files_(filesFor(session, target.device)),
          link_(output.platform) {
        link_.choose({target.device.path, std::nullopt});
    }

    std::vector<DeviceResult> run() {
        const Command command = session_.options.command;
        DeviceResult result = startResult(command);
        if (!link_.findTheHid()) {
            OperationResult failure = firmware::searchFailure(link_);
            if (failure.outcome == Outcome::NoDevice) {
                failure.message = NoDeviceMessage;
                if (link_.permissionDenied())
                    failure.message += "\n" + firmware::messages::permissionDenied();
            }
            output_.messages << failure.message << '\n' << std::flush;
            return {finishResult(result, failure)};
        }
        // Alone, a device is not followed through an upgrade's restart: the upgrade takes the
        // bootloader that comes, as the window does.
        if (!target_.chosen && command == Command::Upgrade)
            link_.choose({});
        // The update closes the connection; the verification reads the device it wrote.
        const bool verify = session_.options.verifyAfterUpdate && link_.keepToOpenDevice();
        std::vector<DeviceResult> results{runCommand(command)};
        if (verify && results.back().succeeded())
            results.push_back(runCommand(Command::Verify));
        return results;
    }

  private:
    DeviceResult startResult(Command command) {
        DeviceResult result;
        result.device = target_.device;
        result.command = command;
        result.started = session_.environment.wallClock();
        startTime_ = output_.platform.monotonicTime();
        return result;
    }

    DeviceResult finishResult(DeviceResult result, const OperationResult& outcome) {
        const auto elapsed = output_.platform.monotonicTime() - startTime_;
        result.seconds = std::chrono::duration<double>(elapsed).count();
        result.outcome = outcomeName(outcome.outcome);
        result.status = exitStatusFor(outcome.outcome);
        result.message = outcome.message;
        result.imageSha256 = outcome.imageSha256;
        result.finalPath = link_.devicePath().empty() ? target_.device.path : link_.devicePath();
        result.finalArrival =
            link_.deviceArrival().empty() ? target_.device.arrival : link_.deviceArrival();
        return result;
    }

    DeviceResult runCommand(Command command) {
        DeviceResult result = startResult(command);
        const std::optional<firmware::Operation> operation = operationOf(command);
        if (!operation)
            return finishResult(std::move(result), {Outcome::Succeeded, {}});
        const std::uint64_t totalBytes = firmware::progressBytes(*operation, files_);
        host_.setProgressSubject(std::string(commandName(command)), totalBytes);
        OperationResult outcome = operations_.run(*operation);
        output_.progress.finish();
        result.notices = host_.takeNotices();
        const bool succeeded = outcome.outcome == Outcome::Succeeded;
        // What an operation put in its file, or else the progress it made.
        result.bytes = outcome.bytesWritten.value_or(succeeded ? totalBytes : host_.bytesDone());
        if (succeeded) {
            outcome.message = successMessage(command, files_, link_.devicePath(), result.bytes);
        } else {
            outcome.message = failureMessage(outcome);
            const auto& shown = host_.errorsShown();
            if (std::find(shown.begin(), shown.end(), outcome.message) == shown.end())
                output_.messages << outcome.message << '\n' << std::flush;
        }
        return finishResult(std::move(result), outcome);
    }

    const Session& session_;
    const DeviceTarget& target_;
    WorkerOutput& output_;
    const firmware::ProgramFiles files_;
    device::DeviceLink link_;
    TerminalHost host_{output_.messages, output_.progress, session_.interrupts,
                       session_.options.quiet};
    FirmwareOperations operations_{link_, host_, files_, session_.settings};
    std::chrono::milliseconds startTime_{0};
};

}  // namespace

std::vector<DeviceResult> runDeviceCommand(const Session& session, const DeviceTarget& target,
                                           WorkerOutput& output) {
    return DeviceRun(session, target, output).run();
}

DeviceResult refusedResult(const Session& session, const device::FoundDevice& device,
                           std::string message) {
    DeviceResult result;
    result.device = device;
    result.finalPath = device.path;
    result.finalArrival = device.arrival;
    result.command = session.options.command;
    result.outcome = "refused";
    result.status = ExitStatus::OperationFailed;
    result.message = std::move(message);
    result.started = session.environment.wallClock();
    return result;
}

}  // namespace fwu::cli

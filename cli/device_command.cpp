#include "cli/device_command.h"

#include <algorithm>
#include <filesystem>

#include "cli/messages.h"
#include "cli/terminal_host.h"
#include "device/device_link.h"
#include "firmware/messages.h"
#include "firmware/operations.h"

namespace fwu::cli {

namespace {

namespace fs = std::filesystem;
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
        default:
            return "failed";
    }
}

std::string successMessage(Command command, const firmware::ProgramFiles& files,
                           const std::string& devicePath) {
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
            return "Flash dump complete: " +
                   std::to_string(firmware::fileSizeOrZero(files.dumpFile())) +
                   " bytes written to " + displayPath(files.dumpFile()) + ".";
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

// A file name part made of `text`: characters other than letters, digits, '.', '-' and '_'
// become '_'.
std::string fileNamePart(const std::string& text) {
    std::string part = text;
    for (char& c : part) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                           (c >= '0' && c <= '9') || c == '.' || c == '-' || c == '_';
        if (!plain)
            c = '_';
    }
    return part;
}

// With --all or --repeat each device's dump goes to a file of its own: the device's serial
// number (or its path) joins the file's name, "Ombrel.bin" becoming "Ombrel-SN1234.bin".
firmware::ProgramFiles filesFor(const Session& session, const device::FoundDevice& device) {
    firmware::ProgramFiles files = session.files;
    const Options& options = session.options;
    if (options.command != Command::Dump || !(options.all || options.repeat))
        return files;
    const fs::path dumpFile = files.dumpFile();
    const std::string name = device.serialNumber.empty() ? device.path : device.serialNumber;
    fs::path fileName = dumpFile.stem();
    fileName += "-" + fileNamePart(name);
    fileName += dumpFile.extension();
    files.dumpFileOverride = dumpFile.parent_path() / fileName;
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
        if (target.chosen)
            link_.choose({target.device.path, std::nullopt});
    }

    std::vector<DeviceResult> run() {
        const Command command = session_.options.command;
        DeviceResult result = startResult(command);
        if (!link_.findTheHid()) {
            std::string message = NoDeviceMessage;
            if (link_.permissionDenied())
                message += "\n" + firmware::messages::permissionDenied();
            output_.messages << message << '\n' << std::flush;
            return {finishResult(result, {Outcome::NoDevice, message})};
        }
        std::vector<DeviceResult> results{runCommand(command)};
        if (session_.options.verifyAfterUpdate && results.back().succeeded())
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
        if (outcome.outcome == Outcome::Succeeded) {
            outcome.message = successMessage(command, files_, link_.devicePath());
            result.bytes = totalBytes;
        } else {
            outcome.message = failureMessage(outcome);
            const auto& shown = host_.errorsShown();
            if (std::find(shown.begin(), shown.end(), outcome.message) == shown.end())
                output_.messages << outcome.message << '\n' << std::flush;
            result.bytes = host_.bytesDone();
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
    result.command = session.options.command;
    result.outcome = "refused";
    result.status = ExitStatus::OperationFailed;
    result.message = std::move(message);
    result.started = session.environment.wallClock();
    return result;
}

}  // namespace fwu::cli

#include "cli/operation_command.h"

#include <algorithm>
#include <system_error>

#include "cli/interrupt.h"
#include "cli/messages.h"
#include "cli/progress_display.h"
#include "cli/terminal_host.h"
#include "device/device_link.h"
#include "device/protocol.h"
#include "firmware/messages.h"
#include "firmware/operations.h"

namespace fwu::cli {

namespace {

namespace fs = std::filesystem;
using firmware::FirmwareOperations;
using firmware::OperationResult;
using firmware::Outcome;

bool usesFile(Command command) {
    return command == Command::Update || command == Command::Load || command == Command::Upgrade ||
           command == Command::Dump;
}

// The program folder's files, with the command's explicit path in place of its default.
std::optional<firmware::ProgramFiles> programFiles(const Options& options,
                                                   const Environment& environment) {
    firmware::ProgramFiles files;
    if (const auto folder = environment.programFolder())
        files.folder = *folder;
    else if (usesFile(options.command) && !options.path)
        return std::nullopt;
    switch (options.command) {
        case Command::Update:
            files.updateImageOverride = options.path;
            break;
        case Command::Load:
        case Command::Upgrade:
            files.downloadImageOverride = options.path;
            break;
        case Command::Dump:
            files.dumpFileOverride = options.path;
            break;
        default:
            break;
    }
    return files;
}

std::uint64_t fileSize(const fs::path& path) {
    std::error_code error;
    const auto size = fs::file_size(path, error);
    return error ? 0 : size;
}

struct ProgressSubject {
    const char* label;
    std::uint64_t totalBytes;
};

ProgressSubject progressSubject(Command command, const firmware::ProgramFiles& files) {
    switch (command) {
        case Command::Update:
            return {"update", fileSize(files.updateImage())};
        case Command::Load:
            return {"load", fileSize(files.downloadImage())};
        case Command::Upgrade:
            return {"upgrade", fileSize(files.downloadImage())};
        case Command::Dump:
            return {"dump", protocol::FlashSize};
        default:
            return {"", 0};
    }
}

OperationResult invoke(FirmwareOperations& operations, Command command) {
    switch (command) {
        case Command::Update:
            return operations.update();
        case Command::Load:
            return operations.download();
        case Command::Upgrade:
            return operations.upgrade();
        case Command::Dump:
            return operations.dump();
        case Command::Erase:
            return operations.eraseChip();
        case Command::Bootloader:
            return operations.enterBootloader();
        case Command::List:
            break;
    }
    return {Outcome::Succeeded, {}};
}

ExitStatus exitStatusFor(Outcome outcome) {
    switch (outcome) {
        case Outcome::Succeeded:
            return ExitStatus::Success;
        case Outcome::NoDevice:
            return ExitStatus::NoDevice;
        case Outcome::FileProblem:
            return ExitStatus::FileProblem;
        case Outcome::Busy:
        case Outcome::ReportTooShort:
        case Outcome::TransferFailed:
        case Outcome::TimedOut:
        case Outcome::Cancelled:
            break;
    }
    return ExitStatus::OperationFailed;
}

std::string successMessage(Command command, const firmware::ProgramFiles& files,
                           const std::string& devicePath) {
    switch (command) {
        case Command::Update:
            return "Firmware update complete: " + files.updateImage().string() + " written to " +
                   devicePath + ".";
        case Command::Load:
            return "Bootloader-mode load complete: " + files.downloadImage().string() +
                   " written to " + devicePath + ".";
        case Command::Upgrade:
            return "Upgrade complete: " + files.downloadImage().string() + " written to " +
                   devicePath + " in bootloader mode.";
        case Command::Dump:
            return "Flash dump complete: " + std::to_string(fileSize(files.dumpFile())) +
                   " bytes written to " + files.dumpFile().string() + ".";
        case Command::Erase:
            return "Erase command sent to " + devicePath + ".";
        case Command::Bootloader:
            return "Bootloader-entry command sent to " + devicePath + ".";
        case Command::List:
            break;
    }
    return {};
}

}  // namespace

ExitStatus runOperationCommand(const Options& options, platform::HidPlatform& platform,
                               const Environment& environment) {
    const auto files = programFiles(options, environment);
    if (!files) {
        environment.err << "Cannot tell the program's folder, where the default files are. "
                           "Give the file's path on the command line.\n";
        return ExitStatus::FileProblem;
    }

    device::DeviceLink link(platform);
    if (!link.findTheHid()) {
        environment.err << NoDeviceMessage << '\n';
        if (link.permissionDenied())
            environment.err << firmware::messages::permissionDenied() << '\n';
        return ExitStatus::NoDevice;
    }

    firmware::OperationSettings settings;
    if (options.upgradeTimeout)
        settings.upgradeWaitLimit = *options.upgradeTimeout;

    const InterruptCatcher interrupts;
    ProgressDisplay progress(environment.err, environment.errIsTerminal);
    TerminalHost host(environment.err, progress, interrupts, options.quiet);
    const auto subject = progressSubject(options.command, *files);
    host.setProgressSubject(subject.label, subject.totalBytes);

    FirmwareOperations operations(link, host, *files, settings);
    const OperationResult result = invoke(operations, options.command);
    progress.finish();

    if (result.outcome == Outcome::Succeeded) {
        if (!options.quiet)
            environment.out << successMessage(options.command, *files, link.devicePath()) << '\n';
        return ExitStatus::Success;
    }
    const auto& shown = host.errorsShown();
    if (result.message.empty())
        environment.err << (result.outcome == Outcome::NoDevice ? NoDeviceMessage
                                                                : "The operation did not complete.")
                        << '\n';
    else if (std::find(shown.begin(), shown.end(), result.message) == shown.end())
        environment.err << result.message << '\n';
    return exitStatusFor(result.outcome);
}

}  // namespace fwu::cli

#include "cli/application.h"

#include <cerrno>
#include <fstream>
#include <iostream>
#include <system_error>

#include "cli/command_line.h"
#include "cli/console.h"
#include "cli/device_list.h"
#include "cli/exit_status.h"
#include "cli/messages.h"
#include "cli/operation_command.h"
#include "firmware/messages.h"
#include "platform/file_system.h"
#include "platform/simulated/demo_setup.h"
#include "platform/tracing_platform.h"

namespace fwu::cli {

namespace {

ExitStatus listDevices(platform::HidPlatform& platform, const Environment& environment) {
    const device::DeviceDirectory listing = device::findSupportedDevices(platform);
    bool anyOpened = false;
    for (const auto& device : listing.devices) {
        environment.out << deviceLine(device) << '\n';
        anyOpened = anyOpened || device.opened;
    }
    if (listing.permissionDenied)
        environment.err << firmware::messages::permissionDenied() << '\n';
    else if (listing.devices.empty())
        environment.err << NoDeviceMessage << '\n';
    return anyOpened ? ExitStatus::Success : ExitStatus::NoDevice;
}

ExitStatus runCommand(const Options& options, platform::HidPlatform& platform,
                      const Environment& environment) {
    if (options.command == Command::List)
        return listDevices(platform, environment);
    return runOperationCommand(options, platform, environment);
}

// Runs the command with every report written to the trace file.
ExitStatus runTraced(const Options& options, platform::HidPlatform& platform,
                     const Environment& environment) {
    const auto& path = *options.tracePath;
    std::ofstream trace(path, std::ios::out | std::ios::trunc);
    if (!trace) {
        const std::error_code reason(errno, std::generic_category());
        environment.err << "Cannot write the trace file " << path.string() << ": "
                        << reason.message() << ". Choose a path in a folder you can write to.\n";
        return ExitStatus::FileProblem;
    }
    platform::TracingPlatform tracing(platform, trace);
    ExitStatus status = runCommand(options, tracing, environment);
    trace.close();
    if (!trace) {
        environment.err << "The trace file " << path.string()
                        << " could not be written completely (is the disk full?).\n";
        if (status == ExitStatus::Success)
            status = ExitStatus::FileProblem;
    }
    return status;
}

int usageError(const std::string& problem, const Environment& environment) {
    environment.err << ProgramName << ": " << problem << "\nTry '" << ProgramName
                    << " --help' for more information.\n";
    return static_cast<int>(ExitStatus::Usage);
}

std::shared_ptr<platform::HidPlatform> makeProcessPlatform(bool simulate, std::string& problem) {
    if (!simulate)
        return platform::makeSystemPlatform();
    const auto settings = platform::simulated::demoSettingsFromEnvironment();
    if (!settings.settings) {
        problem = settings.error;
        return nullptr;
    }
    return platform::simulated::makeDemoBus(*settings.settings);
}

}  // namespace

Environment processEnvironment() {
    return Environment{std::cout, std::cerr, standardErrorIsTerminal(), makeProcessPlatform,
                       platform::programFolder};
}

int run(std::span<const std::string_view> arguments, const Environment& environment) {
    const ParsedCommandLine parsed = parseCommandLine(arguments);
    if (!parsed.error.empty())
        return usageError(parsed.error, environment);
    if (parsed.request == Request::ShowHelp) {
        environment.out << helpText();
        return static_cast<int>(ExitStatus::Success);
    }
    if (parsed.request == Request::ShowVersion) {
        environment.out << versionText();
        return static_cast<int>(ExitStatus::Success);
    }

    const Options& options = parsed.options;
    std::string problem;
    const auto backend = environment.makePlatform(options.simulate, problem);
    if (!backend)
        return usageError(problem, environment);
    const ExitStatus status = options.tracePath ? runTraced(options, *backend, environment)
                                                : runCommand(options, *backend, environment);
    environment.out.flush();
    return static_cast<int>(status);
}

}  // namespace fwu::cli

#include "cli/application.h"

#include <iostream>
#include <system_error>

#include "cli/checked_output.h"
#include "cli/command_line.h"
#include "cli/device_list.h"
#include "cli/device_selection.h"
#include "cli/exit_status.h"
#include "cli/messages.h"
#include "cli/result_lines.h"
#include "cli/session.h"
#include "cli/station.h"
#include "firmware/messages.h"
#include "firmware/sleep_guard.h"
#include "platform/file_stream.h"
#include "platform/file_system.h"
#include "platform/line_log.h"
#include "platform/terminal.h"
#include "simulator/chosen_platform.h"

namespace fwu::cli {

namespace {

using firmware::messages::displayPath;

ExitStatus listDevices(const Session& session) {
    const Options& options = session.options;
    ExitStatus status = ExitStatus::Success;
    const auto selection = selectionToRunOn(session, status);
    if (!selection)
        return status;
    bool anyOpened = false;
    for (const auto& device : selection->present) {
        if (!isChosen(device, options))
            continue;
        if (!options.json)
            session.environment.out << deviceLine(device) << '\n';
        session.results.write(deviceJson(device));
        anyOpened = anyOpened || device.opened;
    }
    std::ostream& err = session.environment.err;
    if (selection->permissionDenied)
        err << firmware::messages::permissionDenied() << '\n';
    else if (!anyOpened)
        err << nothingChosenMessage(*selection, options) << '\n';
    return anyOpened ? ExitStatus::Success : ExitStatus::NoDevice;
}

// The program folder's files, with the command's explicit path in place of its default.
std::optional<firmware::ProgramFiles> programFiles(const Options& options,
                                                   const Environment& environment) {
    firmware::ProgramFiles files;
    const auto folder = environment.programFolder();
    if (folder)
        files.folder = *folder;
    const std::optional<firmware::Operation> operation = operationOf(options.command);
    if (!operation || !firmware::factsOf(*operation).file)
        return files;
    if (!folder && !options.path)
        return std::nullopt;
    files.overrideOf(*firmware::factsOf(*operation).file) = options.path;
    return files;
}

// The log file, opened for appending before anything is sent to a device.
std::optional<ResultLines::Log> openLog(const std::filesystem::path& path, std::ostream& err) {
    platform::PlaceProblem problem;
    auto log = platform::LineLog::open(path, problem);
    if (!log) {
        err << firmware::messages::notWritable("append to the log file", path, problem) << '\n';
        return std::nullopt;
    }
    return ResultLines::Log{std::move(*log), path};
}

// The trace file, emptied before anything is sent to a device.
std::optional<platform::NewFile> openTrace(const std::filesystem::path& path, std::ostream& err) {
    platform::PlaceProblem problem;
    auto trace = platform::openToOverwrite(path, problem);
    if (!trace)
        err << firmware::messages::notWritable("write the trace file", path, problem) << '\n';
    return trace;
}

// The files of the command, the trace and the log in their roles: no two may be one file.
std::vector<firmware::FileRole> sessionFileRoles(const Options& options,
                                                 const firmware::ProgramFiles& files) {
    std::vector<firmware::ProgramFile> used;
    if (const auto operation = operationOf(options.command); operation && factsOf(*operation).file)
        used.push_back(*factsOf(*operation).file);
    auto roles = firmware::fileRoles(files, used);
    if (options.tracePath)
        roles.push_back({"the trace file", *options.tracePath});
    if (options.logPath)
        roles.push_back({"the log file", *options.logPath});
    return roles;
}

int usageError(const std::string& problem, const Environment& environment) {
    environment.err << ProgramName << ": " << problem << "\nTry '" << ProgramName
                    << " --help' for more information.\n";
    return static_cast<int>(ExitStatus::Usage);
}

// Sets up what the command needs before anything is sent (the files, the trace and the log),
// runs it and checks that the trace and the log were written.
ExitStatus runSession(const Options& options, platform::HidPlatform& backend,
                      const Environment& environment) {
    std::ostream& err = environment.err;
    const auto files = programFiles(options, environment);
    if (!files) {
        err << "Cannot tell the program's folder, where the default files are. Give the file's "
               "path on the command line.\n";
        return ExitStatus::FileProblem;
    }
    if (const auto clash = firmware::fileInTwoRoles(sessionFileRoles(options, *files))) {
        err << *clash << '\n';
        return ExitStatus::FileProblem;
    }
    std::optional<platform::FileStream> trace;
    if (options.tracePath) {
        auto file = openTrace(*options.tracePath, err);
        if (!file)
            return ExitStatus::FileProblem;
        trace.emplace(std::move(*file));
    }
    std::optional<ResultLines::Log> log;
    if (options.logPath && !(log = openLog(*options.logPath, err)))
        return ExitStatus::FileProblem;

    const InterruptCatcher interrupts;
    CheckedOutput out(environment.out, err);
    const Environment checked{out,
                              err,
                              environment.errIsTerminal,
                              environment.makePlatform,
                              environment.programFolder,
                              environment.wallClock,
                              environment.makeSleepInhibitor,
                              environment.terminalRows};
    ResultLines results(options.json ? &out : nullptr, std::move(log), err);
    firmware::SleepGuard sleepGuard(
        environment.makeSleepInhibitor ? environment.makeSleepInhibitor() : nullptr);
    firmware::OperationSettings settings;
    if (options.upgradeTimeout)
        settings.upgradeWaitLimit = *options.upgradeTimeout;
    settings.sleepGuard = &sleepGuard;
    settings.imageSha256 = options.imageSha256;
    const Session session{options, checked,    backend, trace ? &*trace : nullptr,
                          results, interrupts, *files,  settings};
    ExitStatus status =
        options.command == Command::List ? listDevices(session) : runOnDevices(session);
    out.flush();

    const auto failFile = [&status] {
        status = status == ExitStatus::Success ? ExitStatus::FileProblem : status;
    };
    std::error_code traceError;
    if (trace && !trace->close(traceError)) {
        err << "The trace file " << displayPath(*options.tracePath)
            << " could not be written completely: " << traceError.message() << ".\n";
        failFile();
    }
    if (results.logIncomplete() || out.failed())
        failFile();
    return status;
}

}  // namespace

Environment processEnvironment() {
    return Environment{std::cout,
                       std::cerr,
                       platform::standardErrorIsTerminal(),
                       simulator::makeChosenPlatform,
                       platform::programFolder,
                       std::chrono::system_clock::now,
                       platform::makeSystemSleepInhibitor,
                       platform::standardErrorRows()};
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
    const ExitStatus status = runSession(options, *backend, environment);
    environment.out.flush();
    return static_cast<int>(status);
}

}  // namespace fwu::cli

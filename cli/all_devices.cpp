#include <algorithm>
#include <exception>
#include <memory>
#include <optional>
#include <sstream>
#include <thread>

#include "cli/device_runs.h"
#include "cli/device_selection.h"
#include "cli/progress_board.h"
#include "cli/result_lines.h"
#include "cli/shared_output.h"
#include "platform/tracing_platform.h"

namespace fwu::cli {

namespace {

// The name a device goes by on the progress board.
std::string boardName(const device::FoundDevice& device) {
    return device.serialNumber.empty() ? device.path : device.serialNumber;
}

// The result a device's line of the summary tells: the first that failed, or the last.
const DeviceResult& decidingResult(const std::vector<DeviceResult>& results) {
    const auto failed =
        std::find_if(results.begin(), results.end(),
                     [](const DeviceResult& result) { return !result.succeeded(); });
    return failed == results.end() ? results.back() : *failed;
}

std::string oneLine(std::string text) {
    std::replace(text.begin(), text.end(), '\n', ' ');
    return text;
}

std::string summaryLine(const DeviceResult& result) {
    const std::string device =
        result.device.path +
        (result.device.serialNumber.empty() ? std::string() : " " + result.device.serialNumber);
    const std::string outcome =
        result.succeeded() ? "succeeded" : "failed (" + result.outcome + ")";
    return device + ": " + std::string(commandName(result.command)) + " " + outcome + ": " +
           oneLine(result.message);
}

using DeviceResults = std::vector<std::vector<DeviceResult>>;

// Where the workers' progress and messages go: a board on a terminal that has a row for each
// device and one for the cursor (a taller board would scroll and be redrawn in the wrong
// place), otherwise lines on standard error that each start with the device's path.
class WorkerOutputs {
  public:
    WorkerOutputs(const Session& session, const std::vector<device::FoundDevice>& devices)
        : errors_(session.environment.err) {
        const std::size_t rows = session.environment.terminalRows;
        const bool board = session.environment.errIsTerminal && !session.options.quiet &&
                           (rows == 0 || devices.size() < rows);
        if (board) {
            std::vector<std::string> names;
            for (const auto& device : devices)
                names.push_back(boardName(device));
            board_.emplace(session.environment.err, names);
        }
        for (const auto& device : devices) {
            auto lines = std::make_unique<PrefixedLineStream>(errors_, device.path + ": ");
            if (!board)
                displays_.push_back(std::make_unique<ProgressDisplay>(*lines, false));
            lines_.push_back(std::move(lines));
        }
    }

    ProgressView& progress(std::size_t index) {
        return board_ ? board_->row(index) : *displays_[index];
    }
    // On the board the messages would tear it apart: the summary carries them instead.
    std::ostream& messages(std::size_t index) {
        if (board_)
            return discarded_;
        return *lines_[index];
    }
    // The board's row keeps the device's outcome until the summary; the lines need no such note.
    void showOutcome(std::size_t index, const std::string& outcome) {
        if (board_)
            board_->row(index).note(outcome);
    }
    // Closes the board, then shows the notices it held back, which the summary does not carry.
    void close(const DeviceResults& results) {
        if (!board_)
            return;
        board_->close();
        errors_.withStream([&](std::ostream& err) {
            for (const auto& deviceResults : results) {
                for (const DeviceResult& result : deviceResults) {
                    for (const std::string& notice : result.notices)
                        err << notice << '\n';
                }
            }
        });
    }

  private:
    SharedOutput errors_;
    std::optional<ProgressBoard> board_;
    std::vector<std::unique_ptr<PrefixedLineStream>> lines_;
    std::vector<std::unique_ptr<ProgressDisplay>> displays_;
    DiscardingStream discarded_;
};

// One worker: the command on one device, through its own trace lines when there is a trace.
std::vector<DeviceResult> runWorker(const Session& session, const DeviceTarget& target,
                                    SharedOutput* trace, ProgressView& progress,
                                    std::ostream& messages) {
    std::optional<PrefixedLineStream> traceLines;
    std::optional<platform::TracingPlatform> tracing;
    if (trace) {
        traceLines.emplace(*trace, target.device.path + " ");
        tracing.emplace(session.backend, *traceLines);
    }
    WorkerOutput output{tracing ? *tracing : session.backend, progress, messages};
    try {
        return runDeviceCommand(session, target, output);
    } catch (const std::exception& error) {
        // Nothing below is meant to throw; if it does (out of memory), only this device fails.
        const std::string message =
            "The operation stopped on an internal error: " + std::string(error.what());
        messages << message << '\n' << std::flush;
        DeviceResult result = refusedResult(session, target.device, message);
        result.outcome = "failed";
        return {result};
    }
}

// Starts a worker for every device the command may run on and waits for them all.
DeviceResults runWorkers(const Session& session, const std::vector<device::FoundDevice>& devices,
                         const std::vector<device::FoundDevice>& present, WorkerOutputs& outputs) {
    const bool choose = present.size() > 1;
    std::optional<SharedOutput> trace;
    if (session.trace)
        trace.emplace(*session.trace);
    DeviceResults results(devices.size());
    std::vector<std::jthread> workers;
    for (std::size_t index = 0; index < devices.size(); ++index) {
        if (const auto refusal = refusalToRun(session.options, devices[index], present)) {
            outputs.messages(index) << *refusal << '\n' << std::flush;
            outputs.showOutcome(index, "refused");
            results[index] = {refusedResult(session, devices[index], *refusal)};
            session.results.write(resultJson(results[index].front()));
            continue;
        }
        workers.emplace_back([&, index] {
            const DeviceTarget target{devices[index], choose};
            results[index] = runWorker(session, target, trace ? &*trace : nullptr,
                                       outputs.progress(index), outputs.messages(index));
            for (const DeviceResult& result : results[index])
                session.results.write(resultJson(result));
            outputs.showOutcome(index, decidingResult(results[index]).outcome);
        });
    }
    workers.clear();  // joins them
    return results;
}

// The summary, one line per device, and the round's status.
RoundResult summarise(const Session& session, const DeviceResults& results) {
    RoundResult round;
    std::size_t succeeded = 0;
    std::ostringstream summary;
    for (const auto& deviceResults : results) {
        const DeviceResult& result = decidingResult(deviceResults);
        succeeded += result.succeeded() ? 1 : 0;
        summary << summaryLine(result) << '\n';
        round.results.insert(round.results.end(), deviceResults.begin(), deviceResults.end());
    }
    summary << succeeded << " of " << results.size() << " devices succeeded.\n";
    // With --quiet the workers' own lines have shown what failed.
    if (!session.options.quiet)
        (session.options.json ? session.environment.err : session.environment.out)
            << summary.str() << std::flush;
    round.status = succeeded == results.size() ? ExitStatus::Success : ExitStatus::OperationFailed;
    return round;
}

}  // namespace

RoundResult runOnAllDevices(const Session& session, const std::vector<device::FoundDevice>& devices,
                            const std::vector<device::FoundDevice>& present) {
    WorkerOutputs outputs(session, devices);
    const DeviceResults results = runWorkers(session, devices, present, outputs);
    outputs.close(results);
    return summarise(session, results);
}

}  // namespace fwu::cli

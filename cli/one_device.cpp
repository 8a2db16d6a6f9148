#include <optional>

#include "cli/device_runs.h"
#include "cli/device_selection.h"
#include "cli/result_lines.h"
#include "platform/tracing_platform.h"

namespace fwu::cli {

RoundResult runOnOneDevice(const Session& session, const device::FoundDevice& device,
                           const std::vector<device::FoundDevice>& present) {
    const Environment& environment = session.environment;
    if (const auto refusal = refusalToRun(session.options, device, present)) {
        environment.err << *refusal << '\n';
        const DeviceResult refused = refusedResult(session, device, *refusal);
        session.results.write(resultJson(refused));
        return {refused.status, {refused}};
    }
    const DeviceTarget target{device, present.size() > 1};
    std::optional<platform::TracingPlatform> tracing;
    if (session.trace)
        tracing.emplace(session.backend, *session.trace);
    platform::HidPlatform& platform = tracing ? *tracing : session.backend;

    ProgressDisplay progress(environment.err, environment.errIsTerminal);
    WorkerOutput output{platform, progress, environment.err};
    RoundResult round{ExitStatus::Success, runDeviceCommand(session, target, output)};
    for (const DeviceResult& result : round.results) {
        session.results.write(resultJson(result));
        if (result.succeeded() && !session.options.quiet && !session.options.json)
            environment.out << result.message << '\n';
        round.status = result.status;
    }
    return round;
}

}  // namespace fwu::cli

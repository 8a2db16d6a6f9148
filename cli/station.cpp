#include "cli/station.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <set>
#include <string>

#include "cli/device_runs.h"

namespace fwu::cli {

namespace {

using std::chrono::milliseconds;

// The longest a wait lasts before Ctrl-C is looked at again.
constexpr milliseconds WaitSlice{200};

std::string secondsText(milliseconds duration) {
    std::array<char, 32> text{};
    std::snprintf(text.data(), text.size(), "%g", static_cast<double>(duration.count()) / 1000);
    return text.data();
}

// A wait that ends after `limit` (none when zero) on the backend's clock.
class WaitLimit {
  public:
    WaitLimit(platform::HidPlatform& platform, milliseconds limit)
        : platform_(platform), limit_(limit) {
        restart();
    }

    void restart() { started_ = platform_.monotonicTime(); }
    bool passed() const { return limit_.count() > 0 && left() <= milliseconds{0}; }

    // Waits for a device to arrive or leave, for at most a slice of the time left.
    void waitForChange() {
        const milliseconds slice = limit_.count() > 0 ? std::min(WaitSlice, left()) : WaitSlice;
        platform_.waitForInterfaceChange(std::max(slice, milliseconds{0}));
    }

  private:
    milliseconds left() const { return limit_ - (platform_.monotonicTime() - started_); }

    platform::HidPlatform& platform_;
    milliseconds limit_;
    milliseconds started_{0};
};

RoundResult runRound(const Session& session, const Selection& selection,
                     const std::vector<device::FoundDevice>& devices) {
    std::ostream& err = session.environment.err;
    if (devices.empty()) {
        err << nothingChosenMessage(selection, session.options) << '\n';
        return {ExitStatus::NoDevice, {}};
    }
    if (session.options.all)
        return runOnAllDevices(session, devices, selection.present);
    if (devices.size() > 1) {
        err << severalDevicesMessage(devices) << '\n';
        return {ExitStatus::Usage, {}};
    }
    return runOnOneDevice(session, devices.front(), selection.present);
}

// The devices not yet served in their present visit.
std::vector<device::FoundDevice> unserved(const std::vector<device::FoundDevice>& devices,
                                          const std::set<std::string>& served) {
    std::vector<device::FoundDevice> fresh;
    std::copy_if(devices.begin(), devices.end(), std::back_inserter(fresh),
                 [&](const auto& device) { return !served.contains(deviceKey(device)); });
    return fresh;
}

// A served device that has left may be served again when it comes back.
void forgetDeparted(std::set<std::string>& served,
                    const std::vector<device::FoundDevice>& present) {
    std::set<std::string> presentKeys;
    for (const auto& device : present)
        presentKeys.insert(deviceKey(device));
    std::erase_if(served, [&](const std::string& key) { return !presentKeys.contains(key); });
}

// The station loop: each device that arrives is served once, until it leaves; it ends at
// Ctrl-C, or when no device arrives within --wait's limit.
ExitStatus runStationLoop(const Session& session) {
    const Options& options = session.options;
    WaitLimit idle(session.backend, options.wait.value_or(milliseconds{0}));
    std::set<std::string> served;
    std::size_t devicesServed = 0;
    bool anyFailed = false;
    bool waitShown = false;
    while (!session.interrupts.interrupted()) {
        const Selection selection = selectDevices(session.backend, options);
        forgetDeparted(served, selection.present);
        auto fresh = unserved(selection.chosen, served);
        if (!fresh.empty()) {
            if (!options.all)
                fresh.resize(1);
            const RoundResult round =
                options.all ? runOnAllDevices(session, fresh, selection.present)
                            : runOnOneDevice(session, fresh.front(), selection.present);
            for (const DeviceResult& result : round.results) {
                served.insert(deviceKey(result.device));
                device::FoundDevice after = result.device;
                after.path = result.finalPath;
                served.insert(deviceKey(after));  // where an upgrade left it
                anyFailed = anyFailed || !result.succeeded();
            }
            devicesServed += fresh.size();
            idle.restart();
            waitShown = false;
            continue;
        }
        if (idle.passed())
            break;
        if (!waitShown && !options.quiet) {
            session.environment.err << "Waiting for a device (Ctrl-C ends the loop)...\n"
                                    << std::flush;
            waitShown = true;
        }
        idle.waitForChange();
    }
    if (devicesServed == 0)
        return ExitStatus::NoDevice;
    return anyFailed ? ExitStatus::OperationFailed : ExitStatus::Success;
}

}  // namespace

std::optional<Selection> selectionToRunOn(const Session& session, ExitStatus& status) {
    const Options& options = session.options;
    Selection selection = selectDevices(session.backend, options);
    if (!options.wait)
        return selection;
    WaitLimit limit(session.backend, *options.wait);
    bool waitShown = false;
    while (selection.chosen.empty()) {
        std::ostream& err = session.environment.err;
        if (session.interrupts.interrupted()) {
            err << "Stopped waiting for a device.\n";
            status = ExitStatus::OperationFailed;
            return std::nullopt;
        }
        if (limit.passed()) {
            err << "No supported device arrived within " << secondsText(*options.wait)
                << " seconds. Connect the device and try again.\n";
            status = ExitStatus::NoDevice;
            return std::nullopt;
        }
        if (!waitShown && !options.quiet) {
            err << "Waiting for a supported device to arrive (Ctrl-C stops)...\n" << std::flush;
            waitShown = true;
        }
        limit.waitForChange();
        selection = selectDevices(session.backend, options);
    }
    return selection;
}

ExitStatus runOnDevices(const Session& session) {
    if (session.options.repeat)
        return runStationLoop(session);
    ExitStatus status = ExitStatus::Success;
    const auto selection = selectionToRunOn(session, status);
    if (!selection)
        return status;
    return runRound(session, *selection, selection->chosen).status;
}

}  // namespace fwu::cli

#include "cli/station.h"

#include <algorithm>
#include <set>
#include <string>

#include "cli/device_runs.h"
#include "firmware/messages.h"

namespace fwu::cli {

namespace {

using std::chrono::milliseconds;

// The longest a wait lasts before Ctrl-C is looked at again.
constexpr milliseconds WaitSlice{200};
// A node the system has just made may stay closed to this user until its device manager has
// applied the access rule (udev on Linux), which sends no notification of its own. So a
// supported device that cannot be opened is told of once it has stayed so this long, or at
// once when it was there from the start.
constexpr milliseconds AccessSettleTime{2000};

// A wait that ends after `limit` (none when zero) on the backend's clock.
class WaitLimit {
  public:
    WaitLimit(platform::HidPlatform& platform, milliseconds limit)
        : platform_(platform), limit_(limit) {
        restart();
    }

    void restart() { started_ = platform_.monotonicTime(); }
    bool passed() const { return limit_.count() > 0 && left() <= milliseconds{0}; }

    // Waits for a device to arrive or leave, for at most a slice of the time left. False when
    // the backend saw no change meanwhile.
    bool waitForChange() {
        const milliseconds slice = limit_.count() > 0 ? std::min(WaitSlice, left()) : WaitSlice;
        return platform_.waitForInterfaceChange(std::max(slice, milliseconds{0}));
    }

  private:
    milliseconds left() const { return limit_ - (platform_.monotonicTime() - started_); }

    platform::HidPlatform& platform_;
    milliseconds limit_;
    milliseconds started_{0};
};

// Watches the looks of a wait for a supported device that cannot be opened.
class AccessWatch {
  public:
    explicit AccessWatch(platform::HidPlatform& platform) : platform_(platform) {}

    // Notes what a look saw; true once per spell of such a device, when it is time to tell.
    bool tell(bool permissionDenied) {
        const milliseconds now = platform_.monotonicTime();
        if (permissionDenied && !denied_)
            deniedSince_ = looked_ ? now : now - AccessSettleTime;
        looked_ = true;
        denied_ = permissionDenied;
        told_ = told_ && denied_;
        if (!denied_ || told_ || now - deniedSince_ < AccessSettleTime)
            return false;
        told_ = true;
        return true;
    }
    // While such a device is there, each slice looks again, notification or not.
    bool lookAgain() const { return denied_; }

  private:
    platform::HidPlatform& platform_;
    bool looked_ = false;
    bool denied_ = false;
    bool told_ = false;
    milliseconds deniedSince_{0};
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

// The arrivals not yet served.
std::vector<device::FoundDevice> unserved(const std::vector<device::FoundDevice>& devices,
                                          const std::set<std::string>& served) {
    std::vector<device::FoundDevice> fresh;
    std::copy_if(devices.begin(), devices.end(), std::back_inserter(fresh),
                 [&](const auto& device) { return !served.contains(arrivalKey(device)); });
    return fresh;
}

// The arrivals that have left need not be remembered.
void forgetDeparted(std::set<std::string>& served,
                    const std::vector<device::FoundDevice>& present) {
    std::set<std::string> presentKeys;
    for (const auto& device : present)
        presentKeys.insert(arrivalKey(device));
    std::erase_if(served, [&](const std::string& key) { return !presentKeys.contains(key); });
}

// The station loop: each arrival of a device is served once, until it leaves; it ends at
// Ctrl-C, or when no device arrives within --wait's limit.
class StationLoop {
  public:
    explicit StationLoop(const Session& session)
        : session_(session),
          idle_(session.backend, session.options.wait.value_or(milliseconds{0})),
          access_(session.backend) {}

    ExitStatus run() {
        bool look = true;
        while (!session_.interrupts.interrupted()) {
            if (look && serveArrivals()) {
                idle_.restart();
                waitShown_ = false;
                continue;
            }
            if (idle_.passed())
                break;
            if (!waitShown_ && !session_.options.quiet) {
                session_.environment.err << "Waiting for a device (Ctrl-C ends the loop)...\n"
                                         << std::flush;
                waitShown_ = true;
            }
            look = idle_.waitForChange() || access_.lookAgain();
        }
        if (devicesServed_ == 0)
            return ExitStatus::NoDevice;
        return anyFailed_ ? ExitStatus::OperationFailed : ExitStatus::Success;
    }

  private:
    // Serves the chosen devices not served in their present visit: all at once with --all,
    // otherwise the first. False when there are none.
    bool serveArrivals() {
        const Selection selection = selectDevices(session_.backend, session_.options);
        if (access_.tell(selection.permissionDenied))
            session_.environment.err << firmware::messages::permissionDenied() << '\n';
        forgetDeparted(served_, selection.present);
        auto fresh = unserved(selection.chosen, served_);
        if (fresh.empty())
            return false;
        if (!session_.options.all)
            fresh.resize(1);
        const RoundResult round = session_.options.all
                                      ? runOnAllDevices(session_, fresh, selection.present)
                                      : runOnOneDevice(session_, fresh.front(), selection.present);
        for (const DeviceResult& result : round.results) {
            served_.insert(arrivalKey(result.device));
            device::FoundDevice after = result.device;
            after.path = result.finalPath;
            after.arrival = result.finalArrival;
            served_.insert(arrivalKey(after));  // where an upgrade left it
            anyFailed_ = anyFailed_ || !result.succeeded();
        }
        devicesServed_ += fresh.size();
        return true;
    }

    const Session& session_;
    WaitLimit idle_;
    AccessWatch access_;
    std::set<std::string> served_;
    std::size_t devicesServed_ = 0;
    bool anyFailed_ = false;
    bool waitShown_ = false;
};

}  // namespace

std::optional<Selection> selectionToRunOn(const Session& session, ExitStatus& status) {
    const Options& options = session.options;
    Selection selection = selectDevices(session.backend, options);
    if (!options.wait)
        return selection;
    WaitLimit limit(session.backend, *options.wait);
    AccessWatch access(session.backend);
    bool waitShown = false;
    while (selection.chosen.empty()) {
        std::ostream& err = session.environment.err;
        if (session.interrupts.interrupted()) {
            err << "Stopped waiting for a device.\n";
            status = ExitStatus::OperationFailed;
            return std::nullopt;
        }
        if (access.tell(selection.permissionDenied))
            return selection;  // the device there cannot be opened: said as without --wait
        if (limit.passed()) {
            err << "No supported device arrived within "
                << firmware::messages::secondsText(*options.wait)
                << ". Connect the device and try again.\n";
            status = ExitStatus::NoDevice;
            return std::nullopt;
        }
        if (!waitShown && !options.quiet) {
            err << "Waiting for a supported device to arrive (Ctrl-C stops)...\n" << std::flush;
            waitShown = true;
        }
        if (limit.waitForChange() || access.lookAgain())
            selection = selectDevices(session.backend, options);
    }
    return selection;
}

ExitStatus runOnDevices(const Session& session) {
    if (session.options.repeat)
        return StationLoop(session).run();
    ExitStatus status = ExitStatus::Success;
    const auto selection = selectionToRunOn(session, status);
    if (!selection)
        return status;
    return runRound(session, *selection, selection->chosen).status;
}

}  // namespace fwu::cli

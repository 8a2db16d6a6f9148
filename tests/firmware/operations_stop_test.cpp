// A failed transfer, an unplug, a cancel or a device that never comes back: the operation stops
// at once, says where, and reaches the state it ends in.
#include <gtest/gtest.h>

#include "operations_fixture.h"

namespace fwu::firmware::testing {
namespace {

constexpr auto Update = &FirmwareOperations::update;
constexpr auto Download = &FirmwareOperations::download;
constexpr auto Upgrade = &FirmwareOperations::upgrade;

// How a run is stopped: the request `at` fails or unplugs the device, the `at`-th advance or
// event pass cancels, or the device never comes back from the switch to its bootloader.
enum class Stop { Fail, Unplug, CancelAtAdvance, CancelAtEvents, NeverBack };

struct Case {
    const char* name;
    OperationCall run;
    Stop stop;
    std::uint64_t at;
    const char* says;
    std::size_t reportsSent;
};

// The update's image has 300 record reads: start is request 0, erase 1, record k is k + 1,
// finish 302. The download's image has 3 records.
const Case Cases[] = {
    {"update: start", Update, Stop::Fail, 0, "did not accept the start of the update", 1},
    {"update: erase", Update, Stop::Fail, 1, "did not accept the erase command", 2},
    {"update: record 17", Update, Stop::Fail, 18,
     "The device did not accept record 17 of 300. Its firmware is incomplete: run the update "
     "again.",
     19},
    {"update: unplugged", Update, Stop::Unplug, 18, "did not accept record 17 of 300", 19},
    {"update: finish", Update, Stop::Fail, 302, "did not accept the end of the update", 303},
    {"update: cancel", Update, Stop::CancelAtAdvance, 2, "after 2 of 300 records", 4},
    {"download: record 2", Download, Stop::Fail, 1, "did not accept record 2 of 3", 2},
    {"download: cancel", Download, Stop::CancelAtAdvance, 1, "cancelled after 1 of 3", 1},
    {"upgrade: never back", Upgrade, Stop::NeverBack, 0,
     "did not come back in bootloader mode within 30 seconds", 1},
    {"upgrade: wait cancelled", Upgrade, Stop::CancelAtEvents, 2, "cancelled", 1},
};

TEST(Operations, StopAtOnceSayWhereAndReachTheirFinalState) {
    for (const auto& c : Cases) {
        SCOPED_TRACE(c.name);
        OperationRig rig;
        DeviceConfig config;
        if (c.stop == Stop::Fail)
            config.faults.failTransfersFrom = c.at;
        if (c.stop == Stop::Unplug)
            config.faults.unplugAtRequest = c.at;
        config.mode = c.run == Download ? DeviceMode::Bootloader : DeviceMode::Application;
        config.reenumerationDelay.reset();
        rig.plugIn(config);
        writeFile(rig.file(UpdateImageName), imageBytes(299 * 40 + 20));
        writeFile(rig.file(DownloadImageName), imageBytes(120));
        rig.host.onCall = [&](const HostCall& call) {
            const Call counted =
                c.stop == Stop::CancelAtAdvance ? Call::AdvanceProgress : Call::ProcessEvents;
            if (c.stop >= Stop::CancelAtAdvance && call.call == counted &&
                rig.host.count(counted) == c.at)
                rig.host.cancel = true;
        };
        const auto started = rig.bus.monotonicTime();

        const OperationResult result = (rig.operations().*c.run)();

        const bool cancelled = c.stop == Stop::CancelAtAdvance || c.stop == Stop::CancelAtEvents;
        EXPECT_EQ(result.outcome, cancelled                   ? Outcome::Cancelled
                                  : c.stop == Stop::NeverBack ? Outcome::TimedOut
                                                              : Outcome::TransferFailed);
        EXPECT_NE(result.message.find(c.says), std::string::npos) << result.message;
        EXPECT_EQ(rig.reportsSent().size(), c.reportsSent);
        rig.expectNothingAfterAFailure();
        EXPECT_FALSE(rig.bus.state(rig.devicePath).finished);
        EXPECT_EQ(rig.host.texts(Call::ShowError), std::vector<std::string>{result.message});
        std::vector<Call> ending = {Call::ShowError, Call::Unload, Call::BusyChanged};
        if (c.run == Update)
            ending = {Call::ClearProgress, Call::DisableUpdateButton, Call::ClearProductAndVersion,
                      Call::ShowError, Call::BusyChanged};
        EXPECT_TRUE(rig.host.endsWith(ending));
        EXPECT_EQ(rig.bus.openHandleCount(), 0);
        if (c.stop == Stop::NeverBack) {
            EXPECT_GE(rig.bus.monotonicTime() - started, 30s);
            EXPECT_LT(rig.bus.monotonicTime() - started, 30s + 200ms);
        }
    }
}

}  // namespace
}  // namespace fwu::firmware::testing

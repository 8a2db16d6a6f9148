#include <gtest/gtest.h>

#include <algorithm>

#include "device/protocol.h"
#include "operations_fixture.h"

namespace fwu::firmware::testing {
namespace {

struct ServiceCommand {
    const char* name;
    OperationResult (FirmwareOperations::*run)();
    Bytes head;
};

const ServiceCommand ServiceCommands[] = {
    {"erase chip", &FirmwareOperations::eraseChip, {0, 4, 0, 0, 0}},
    {"bootloader",
     &FirmwareOperations::enterBootloader,
     {0, protocol::EnterBootloaderMagic[0], protocol::EnterBootloaderMagic[1],
      protocol::EnterBootloaderMagic[2], 0}},
};

TEST(ServiceCommands, SendExactlyOneReportOrReportTheFailedSend) {
    for (const auto& command : ServiceCommands) {
        for (const std::uint16_t length : {4, 65}) {
            SCOPED_TRACE(std::string(command.name) + ", report of " + std::to_string(length));
            OperationRig rig;
            rig.plugIn(rig.withReportLength(length));

            const OperationResult result = (rig.operations().*command.run)();

            EXPECT_EQ(result.outcome, Outcome::Succeeded) << result.message;
            const auto kept = std::min<std::size_t>(length, command.head.size());
            const Bytes head(command.head.begin(), command.head.begin() + static_cast<long>(kept));
            EXPECT_EQ(rig.reportsSent(), std::vector<Bytes>{expectedReport(length, head)});
            EXPECT_EQ(rig.host.sequence(),
                      (std::vector<Call>{Call::BusyChanged, Call::BusyChanged}));
            EXPECT_TRUE(rig.link.isOpen());
        }
        OperationRig failing;
        DeviceConfig config;
        config.faults.failTransfersFrom = 0;
        failing.plugIn(config);
        const OperationResult failed = (failing.operations().*command.run)();
        EXPECT_EQ(failed.outcome, Outcome::TransferFailed);
        EXPECT_EQ(failing.host.texts(Call::ShowError), std::vector<std::string>{failed.message});
    }
}

}  // namespace
}  // namespace fwu::firmware::testing

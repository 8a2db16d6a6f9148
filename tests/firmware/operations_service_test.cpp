#include <gtest/gtest.h>

#include <algorithm>

#include "device/protocol.h"
#include "operations_fixture.h"

namespace fwu::firmware::testing {
namespace {

using OperationCall = OperationResult (FirmwareOperations::*)();

struct ServiceCommand {
    const char* name;
    OperationCall run;
    Bytes head;
};

const ServiceCommand ServiceCommands[] = {
    {"erase chip", &FirmwareOperations::eraseChip, {0, 4, 0, 0, 0}},
    {"bootloader",
     &FirmwareOperations::enterBootloader,
     {0, protocol::EnterBootloaderMagic[0], protocol::EnterBootloaderMagic[1],
      protocol::EnterBootloaderMagic[2], 0}},
};

TEST(ServiceCommands, SendExactlyOneReportAndChangeNothingElse) {
    for (const std::uint16_t length : {4, 65}) {
        for (const auto& command : ServiceCommands) {
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
    }
}

TEST(ServiceCommands, RefuseAReportShorterThanFourBytesAndReportAFailedSend) {
    for (const auto& command : ServiceCommands) {
        SCOPED_TRACE(command.name);
        OperationRig shortReport;
        shortReport.plugIn(shortReport.withReportLength(3));
        const OperationResult refused = (shortReport.operations().*command.run)();
        EXPECT_EQ(refused.outcome, Outcome::ReportTooShort);
        shortReport.expectRefusedQuietly(refused);

        OperationRig failing;
        DeviceConfig config;
        config.faults.failTransfersFrom = 0;
        failing.plugIn(config);
        const OperationResult failed = (failing.operations().*command.run)();
        EXPECT_EQ(failed.outcome, Outcome::TransferFailed);
        EXPECT_EQ(failing.host.texts(Call::ShowError), std::vector<std::string>{failed.message});
    }
}

TEST(Operations, WithoutADeviceDoNothingButTheUpdatesClosingSteps) {
    struct Case {
        const char* name;
        OperationCall run;
        std::vector<Call> calls;
    };
    const std::vector<Call> onlyBusy = {Call::BusyChanged, Call::BusyChanged};
    const Case cases[] = {
        {"update",
         &FirmwareOperations::update,
         {Call::BusyChanged, Call::DisableUpdateButton, Call::ClearProductAndVersion,
          Call::BusyChanged}},
        {"download", &FirmwareOperations::download, onlyBusy},
        {"upgrade", &FirmwareOperations::upgrade, onlyBusy},
        {"dump", &FirmwareOperations::dump, onlyBusy},
        {"erase chip", &FirmwareOperations::eraseChip, onlyBusy},
        {"bootloader", &FirmwareOperations::enterBootloader, onlyBusy},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        OperationRig rig;
        rig.bus.addDevice({});  // present, but the search never ran
        writeFile(rig.file(UpdateImageName), imageBytes(80));
        writeFile(rig.file(DownloadImageName), imageBytes(80));

        const OperationResult result = (rig.operations().*c.run)();

        EXPECT_EQ(result.outcome, Outcome::NoDevice);
        EXPECT_TRUE(result.message.empty());
        EXPECT_EQ(rig.host.sequence(), c.calls);
        EXPECT_TRUE(rig.bus.transcript().empty());
        EXPECT_EQ(rig.bus.openCount(), 0);
        EXPECT_FALSE(fs::exists(rig.file(DumpFileName)));
    }
}

TEST(Operations, NoneStartsWhileAnotherRuns) {
    OperationRig rig;
    rig.plugIn();
    writeFile(rig.file(UpdateImageName), imageBytes(80));
    std::vector<OperationResult> nested;
    bool tried = false;
    rig.host.onCall = [&](const HostCall& call) {
        if (call.call != Call::AdvanceProgress || tried)
            return;
        tried = true;
        EXPECT_TRUE(rig.operations().busy());
        for (OperationCall run :
             {&FirmwareOperations::update, &FirmwareOperations::download,
              &FirmwareOperations::upgrade, &FirmwareOperations::dump,
              &FirmwareOperations::eraseChip, &FirmwareOperations::enterBootloader}) {
            nested.push_back((rig.operations().*run)());
        }
    };

    EXPECT_EQ(rig.operations().update().outcome, Outcome::Succeeded);

    ASSERT_EQ(nested.size(), 6u);
    for (const auto& result : nested) {
        EXPECT_EQ(result.outcome, Outcome::Busy);
        EXPECT_FALSE(result.message.empty());
    }
    EXPECT_EQ(rig.reportsSent().size(), 6u);  // start, erase, three records, finish
    EXPECT_EQ(rig.host.count(Call::BusyChanged), 2u);
    EXPECT_FALSE(rig.operations().busy());
}

}  // namespace
}  // namespace fwu::firmware::testing

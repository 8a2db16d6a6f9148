#include <gtest/gtest.h>

#include <cstdint>

#include "operations_fixture.h"

namespace fwu::firmware::testing {
namespace {

// Positions 0 to 8 of a report carrying `command` after the erase report announced `count`.
Bytes headWithCount(std::uint8_t command, std::int32_t count) {
    const auto value = static_cast<std::uint32_t>(count);
    return {0,
            command,
            0,
            0,
            0,
            static_cast<std::uint8_t>(value),
            static_cast<std::uint8_t>(value >> 8),
            static_cast<std::uint8_t>(value >> 16),
            static_cast<std::uint8_t>(value >> 24)};
}

TEST(Update, SendsStartEraseEveryRecordReadAndFinish) {
    struct Case {
        std::size_t imageSize;
        std::uint16_t reportLength;
        std::int32_t count;
        std::vector<float> barWidths;  // empty: not checked
    };
    const Case cases[] = {
        {80, 65, 3, {0, 1685, 3370, 5055, 0}},  // the third record holds no file bytes
        {85, 65, 3, {0, 1685, 3370, 5055, 0}},  // the third record holds bytes 81 to 85
        {30, 65, 1, {0, 5055, 0}},
        {160, 49, 5, {0, 1011, 2022, 3033, 4044, 5055, 0}},  // the shortest report that fits
        {999 * 40, 64, 1000, {}},                            // E8 03 00 00 in every report
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("image of " + std::to_string(c.imageSize) + " bytes");
        OperationRig rig;
        rig.plugIn(rig.withReportLength(c.reportLength));
        const Bytes image = imageBytes(c.imageSize);
        writeFile(rig.file(UpdateImageName), image);
        const auto before = rig.bus.monotonicTime();

        const OperationResult result = rig.operations().update();

        EXPECT_EQ(result.outcome, Outcome::Succeeded) << result.message;
        const std::size_t length = c.reportLength;
        std::vector<Bytes> expected = {expectedReport(length, {0, 1, 0, 0, 0}),
                                       expectedReport(length, headWithCount(4, c.count))};
        for (std::size_t k = 0; k < static_cast<std::size_t>(c.count); ++k)
            expected.push_back(
                expectedReport(length, headWithCount(2, c.count), recordOf(image, k)));
        expected.push_back(expectedReport(length, headWithCount(3, c.count),
                                          recordOf(image, static_cast<std::size_t>(c.count - 1))));
        EXPECT_EQ(rig.reportsSent(), expected);
        if (!c.barWidths.empty()) {
            EXPECT_EQ(rig.host.barWidths(), c.barWidths);
        }
        // The bar is cleared before the finish; the button and labels retire afterwards.
        const std::vector<Call> ending = {Call::ClearProgress, Call::DisableUpdateButton,
                                          Call::ClearProductAndVersion, Call::BusyChanged};
        EXPECT_TRUE(std::equal(ending.begin(), ending.end(), rig.host.sequence().end() - 4));
        EXPECT_TRUE(rig.bus.state(rig.devicePath).finishedComplete);
        EXPECT_TRUE(
            std::equal(image.begin(), image.end(), rig.bus.state(rig.devicePath).flash.begin()));
        // The two 2 ms pauses after start and erase, and no other wait.
        EXPECT_EQ(rig.log.sleeps(), (std::vector<std::chrono::milliseconds>{2ms, 2ms}));
        EXPECT_EQ(rig.bus.monotonicTime() - before, 4ms);
        EXPECT_EQ(rig.bus.openHandleCount(), 0);
    }
}

TEST(Update, AFailedTransferOrACancelStopsAtOnceAndReachesTheFinalState) {
    // An image of 300 record reads: start is request 0, erase 1, record k is k + 1, finish 302.
    struct Case {
        const char* name;
        std::uint64_t stopAtRequest;
        bool unplug;
        bool cancel;
        const char* says;
    };
    const Case cases[] = {
        {"start", 0, false, false, "did not accept the start of the update"},
        {"erase", 1, false, false, "did not accept the erase command"},
        {"record 17", 18, false, false,
         "The device did not accept record 17 of 300. Its firmware is incomplete: run the "
         "update again."},
        {"record 17, unplugged", 18, true, false, "did not accept record 17 of 300"},
        {"finish", 302, false, false, "did not accept the end of the update"},
        {"cancel after record 2", 4, false, true, "after 2 of 300 records"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        OperationRig rig;
        DeviceConfig config;
        if (!c.cancel)
            (c.unplug ? config.faults.unplugAtRequest : config.faults.failTransfersFrom) =
                c.stopAtRequest;
        rig.plugIn(config);
        writeFile(rig.file(UpdateImageName), imageBytes(299 * 40 + 20));
        rig.host.onCall = [&](const HostCall& call) {
            if (c.cancel && call.call == Call::AdvanceProgress && call.done == 2)
                rig.host.cancel = true;
        };

        const OperationResult result = rig.operations().update();

        EXPECT_EQ(result.outcome, c.cancel ? Outcome::Cancelled : Outcome::TransferFailed);
        EXPECT_NE(result.message.find(c.says), std::string::npos) << result.message;
        EXPECT_EQ(rig.reportsSent().size(), c.stopAtRequest + (c.cancel ? 0 : 1));
        EXPECT_EQ(rig.transfersAfterFirstFailure(), 0u);
        EXPECT_FALSE(rig.bus.state(rig.devicePath).finished);
        const std::vector<Call> ending = {Call::ClearProgress, Call::DisableUpdateButton,
                                          Call::ClearProductAndVersion, Call::ShowError,
                                          Call::BusyChanged};
        EXPECT_TRUE(std::equal(ending.begin(), ending.end(), rig.host.sequence().end() - 5));
        EXPECT_EQ(rig.bus.openHandleCount(), 0);
    }
}

TEST(Update, ReadsTheImageOnceSoTheCountAlwaysMatchesTheRecordsSent) {
    OperationRig rig;
    rig.plugIn();
    const Bytes image = imageBytes(80);
    writeFile(rig.file(UpdateImageName), image);
    // The file changes after it was counted and before the first record is sent.
    rig.host.onCall = [&](const HostCall& call) {
        if (call.call == Call::ShowProgress)
            writeFile(rig.file(UpdateImageName), imageBytes(400, 9));
    };

    EXPECT_EQ(rig.operations().update().outcome, Outcome::Succeeded);

    const auto device = rig.bus.state(rig.devicePath);
    EXPECT_EQ(device.announcedRecordCount, 3);
    EXPECT_TRUE(device.finishedComplete);
    EXPECT_TRUE(std::equal(image.begin(), image.end(), device.flash.begin()));
}

}  // namespace
}  // namespace fwu::firmware::testing

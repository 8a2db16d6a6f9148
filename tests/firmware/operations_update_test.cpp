#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "operations_fixture.h"

namespace fwu::firmware::testing {
namespace {

Bytes countBytes(std::int32_t count) {
    const auto value = static_cast<std::uint32_t>(count);
    return {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
            static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 24)};
}

// Positions 0 to 8 of a report carrying `command` after the erase report announced `count`.
Bytes headWithCount(std::uint8_t command, std::int32_t count) {
    Bytes head = {0, command, 0, 0, 0};
    const Bytes countField = countBytes(count);
    head.insert(head.end(), countField.begin(), countField.end());
    return head;
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
        OperationRig rig;  // a new bus, device and host per case
        rig.plugIn(rig.withReportLength(c.reportLength));
        const Bytes image = imageBytes(c.imageSize);
        writeFile(rig.file(UpdateImageName), image);
        const auto before = rig.bus.monotonicTime();

        const OperationResult result = rig.operations().update();

        EXPECT_EQ(result.outcome, Outcome::Succeeded) << result.message;
        const std::size_t length = c.reportLength;
        std::vector<Bytes> expected = {expectedReport(length, {0, 1, 0, 0, 0}),
                                       expectedReport(length, headWithCount(4, c.count))};
        for (std::int32_t k = 0; k < c.count; ++k) {
            expected.push_back(expectedReport(length, headWithCount(2, c.count),
                                              recordOf(image, static_cast<std::size_t>(k))));
        }
        expected.push_back(expectedReport(length, headWithCount(3, c.count),
                                          recordOf(image, static_cast<std::size_t>(c.count - 1))));
        EXPECT_EQ(rig.reportsSent(), expected);
        if (!c.barWidths.empty()) {
            EXPECT_EQ(rig.host.barWidths(), c.barWidths);
        }

        const auto device = rig.bus.state(rig.devicePath);
        EXPECT_TRUE(device.finishedComplete);
        EXPECT_TRUE(std::equal(image.begin(), image.end(), device.flash.begin()));
        // The two 2 ms pauses after start and erase, and no other wait.
        EXPECT_EQ(rig.log.sleeps(), (std::vector<std::chrono::milliseconds>{2ms, 2ms}));
        EXPECT_EQ(rig.bus.monotonicTime() - before, 4ms);
    }
}

TEST(Update, EndsWithTheButtonRetiredTheLabelsEmptiedAndTheConnectionClosed) {
    OperationRig rig;
    rig.plugIn();
    writeFile(rig.file(UpdateImageName), imageBytes(80));

    rig.operations().update();

    EXPECT_EQ(rig.host.sequence(),
              (std::vector<Call>{Call::BusyChanged, Call::ShowProgress, Call::AdvanceProgress,
                                 Call::AdvanceProgress, Call::AdvanceProgress, Call::ClearProgress,
                                 Call::DisableUpdateButton, Call::ClearProductAndVersion,
                                 Call::BusyChanged}));
    EXPECT_FALSE(rig.link.isOpen());
    EXPECT_EQ(rig.bus.openHandleCount(), 0);
    // The bar is cleared before the finish report goes out.
    const auto& transcript = rig.bus.transcript();
    ASSERT_FALSE(transcript.empty());
    EXPECT_EQ(transcript.back().bytes[1], 3);
}

TEST(Update, RefusesBeforeSendingAnythingWhenTheImageOrTheReportCannotWork) {
    struct Case {
        const char* name;
        std::function<void(const fs::path&)> prepare;
        std::uint16_t reportLength;
        Outcome outcome;
        const char* says;
    };
    const auto image = [](std::size_t size) {
        return [size](const fs::path& path) { writeFile(path, imageBytes(size)); };
    };
    const Case cases[] = {
        {"missing", [](const fs::path&) {}, 65, Outcome::FileProblem, "Cannot find"},
        {"a folder", [](const fs::path& path) { fs::create_directory(path); }, 65,
         Outcome::FileProblem, "is not a file"},
        {"empty", image(0), 65, Outcome::FileProblem, "is empty"},
#ifndef _WIN32
        // One byte more than a 32-bit count of record reads can hold; sparse, never read.
        // (Windows files are not sparse unless marked so: the size would be allocated.)
        {"past the 32-bit count",
         [](const fs::path& path) {
             writeFile(path, {});
             fs::resize_file(path, std::uintmax_t{std::numeric_limits<std::int32_t>::max()} * 40);
         },
         65, Outcome::FileProblem, "larger than"},
#endif
        {"report of 48 bytes", image(80), 48, Outcome::ReportTooShort, "at least 49"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        OperationRig rig;
        rig.plugIn(rig.withReportLength(c.reportLength));
        c.prepare(rig.file(UpdateImageName));

        const OperationResult result = rig.operations().update();

        EXPECT_EQ(result.outcome, c.outcome);
        EXPECT_NE(result.message.find(c.says), std::string::npos) << result.message;
        rig.expectRefusedQuietly(result);
        EXPECT_EQ(rig.bus.state(rig.devicePath).eraseCount, 0u);
        EXPECT_TRUE(rig.link.isOpen());  // nothing changed: the update can run once fixed
    }
}

TEST(Update, AFailedTransferStopsAtOnceAndReachesTheFinalState) {
    // An image of 300 record reads: start is request 0, erase 1, record k is k + 1, finish 302.
    struct Case {
        const char* name;
        std::uint64_t request;
        bool unplug;
        const char* says;
    };
    const Case cases[] = {
        {"start", 0, false, "did not accept the start of the update"},
        {"erase", 1, false, "did not accept the erase command"},
        {"record 17", 18, false,
         "The device did not accept record 17 of 300. Its firmware is incomplete: run the "
         "update again."},
        {"record 17, unplugged", 18, true, "did not accept record 17 of 300"},
        {"finish", 302, false, "did not accept the end of the update"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        OperationRig rig;
        DeviceConfig config;
        (c.unplug ? config.faults.unplugAtRequest : config.faults.failTransfersFrom) = c.request;
        rig.plugIn(config);
        writeFile(rig.file(UpdateImageName), imageBytes(299 * 40 + 20));

        const OperationResult result = rig.operations().update();

        EXPECT_EQ(result.outcome, Outcome::TransferFailed);
        EXPECT_NE(result.message.find(c.says), std::string::npos) << result.message;
        EXPECT_EQ(rig.reportsSent().size(), c.request + 1);
        EXPECT_EQ(rig.transfersAfterFirstFailure(), 0u);
        EXPECT_FALSE(rig.bus.state(rig.devicePath).finished);
        const auto calls = rig.host.sequence();
        const std::vector<Call> ending = {Call::ClearProgress, Call::DisableUpdateButton,
                                          Call::ClearProductAndVersion, Call::ShowError,
                                          Call::BusyChanged};
        ASSERT_GE(calls.size(), ending.size());
        EXPECT_TRUE(std::equal(ending.begin(), ending.end(), calls.end() - 5));
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
    EXPECT_EQ(device.recordsReceived, 3u);
    EXPECT_TRUE(device.finishedComplete);
    EXPECT_TRUE(std::equal(image.begin(), image.end(), device.flash.begin()));
}

TEST(Update, ACancelRequestStopsBeforeTheNextReport) {
    OperationRig rig;
    rig.plugIn();
    writeFile(rig.file(UpdateImageName), imageBytes(160));
    rig.host.onCall = [&](const HostCall& call) {
        if (call.call == Call::AdvanceProgress && call.done == 2)
            rig.host.cancel = true;
    };

    const OperationResult result = rig.operations().update();

    EXPECT_EQ(result.outcome, Outcome::Cancelled);
    EXPECT_NE(result.message.find("after 2 of 5 records"), std::string::npos) << result.message;
    EXPECT_EQ(rig.reportsSent().size(), 4u);  // start, erase, two records; no finish
    EXPECT_FALSE(rig.bus.state(rig.devicePath).finished);
    EXPECT_EQ(rig.host.count(Call::DisableUpdateButton), 1u);
    EXPECT_EQ(rig.bus.openHandleCount(), 0);
}

}  // namespace
}  // namespace fwu::firmware::testing

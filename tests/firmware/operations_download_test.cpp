#include <gtest/gtest.h>

#include <algorithm>

#include "device/protocol.h"
#include "operations_fixture.h"

namespace fwu::firmware::testing {
namespace {

// The record reports a bootloader should receive for `image`, each 65 bytes long.
std::vector<Bytes> bootloaderRecordReports(const Bytes& image) {
    std::vector<Bytes> reports;
    for (std::size_t k = 0; k * 40 < image.size(); ++k)
        reports.push_back(expectedReport(65, {0}, recordOf(image, k)));
    return reports;
}

// What a device in its bootloader should hold: whole records, the last one zero-padded.
Bytes paddedToRecords(Bytes image) {
    image.resize((image.size() + 39) / 40 * 40, 0);
    return image;
}

const Bytes EnterBootloaderReport =
    expectedReport(65, {0, protocol::EnterBootloaderMagic[0], protocol::EnterBootloaderMagic[1],
                        protocol::EnterBootloaderMagic[2]});

TEST(Download, SendsEveryRecordAPartialLastOneZeroPaddedThenEndsTheProgram) {
    struct Case {
        std::size_t imageSize;
        std::vector<float> barWidths;  // only the last one for the largest image
    };
    const Case cases[] = {
        {120, {0, 1263.75f, 2527.5f, 3791.25f}},  // a whole number of records: one step short
        {85, {0, 1685, 3370, 5055}},              // the 5 tail bytes go as a third record
        {30, {0, 5055}},
        {40, {0, 2527.5f}},
        {1'310'679, {5055}},  // the largest image the 16-bit count can hold
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("image of " + std::to_string(c.imageSize) + " bytes");
        OperationRig rig;
        rig.plugIn(rig.withReportLength(65, DeviceMode::Bootloader));
        const Bytes image = imageBytes(c.imageSize);
        writeFile(rig.file(DownloadImageName), image);

        const OperationResult result = rig.operations().download();

        EXPECT_EQ(result.outcome, Outcome::Succeeded) << result.message;
        EXPECT_EQ(rig.reportsSent(), bootloaderRecordReports(image));
        EXPECT_EQ(rig.bus.state(rig.devicePath).bootloaderImage, paddedToRecords(image));
        if (c.barWidths.size() > 1) {
            EXPECT_EQ(rig.host.barWidths(), c.barWidths);
        } else {
            EXPECT_EQ(rig.host.barWidths().back(), c.barWidths.back());
        }
        EXPECT_EQ(rig.host.sequence().back(), Call::BusyChanged);
        EXPECT_EQ(rig.host.count(Call::Unload), 1u);
        EXPECT_EQ(rig.bus.openHandleCount(), 0);
    }
}

TEST(Download, AFailedRecordStopsAtOnceAndEndsTheProgramWithAMessage) {
    OperationRig rig;
    DeviceConfig config = rig.withReportLength(65, DeviceMode::Bootloader);
    config.faults.failTransfersFrom = 1;
    rig.plugIn(config);
    writeFile(rig.file(DownloadImageName), imageBytes(120));

    const OperationResult result = rig.operations().download();

    EXPECT_EQ(result.outcome, Outcome::TransferFailed);
    EXPECT_NE(result.message.find("did not accept record 2 of 3"), std::string::npos);
    EXPECT_EQ(rig.reportsSent().size(), 2u);
    EXPECT_EQ(rig.host.texts(Call::ShowError), std::vector<std::string>{result.message});
    EXPECT_EQ(rig.host.count(Call::Unload), 1u);
    EXPECT_EQ(rig.bus.openHandleCount(), 0);
}

TEST(Upgrade, WaitsForTheBootloaderThenDownloadsTheImageAsItWasAndEndsTheProgram) {
    struct Case {
        const char* name;
        DeviceMode mode;
        bool magicTransferFails;  // the device leaves while taking the magic
        bool imageChangesDuringWait;
    };
    const Case cases[] = {
        {"from application mode", DeviceMode::Application, false, false},
        {"already in the bootloader: no magic", DeviceMode::Bootloader, false, false},
        {"the magic's transfer fails", DeviceMode::Application, true, false},
        {"the image changes during the wait", DeviceMode::Application, false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        OperationRig rig;
        DeviceConfig config = rig.withReportLength(65, c.mode);
        config.faults.bootloaderEntryTransferFails = c.magicTransferFails;
        rig.plugIn(config);
        rig.log.entries.clear();
        const Bytes image = imageBytes(c.mode == DeviceMode::Bootloader ? 85 : 120);
        writeFile(rig.file(DownloadImageName), image);
        rig.host.onCall = [&](const HostCall& call) {
            if (c.imageChangesDuringWait && call.call == Call::ProcessEvents)
                writeFile(rig.file(DownloadImageName), imageBytes(400, 5));
        };

        const OperationResult result = rig.operations().upgrade();

        EXPECT_EQ(result.outcome, Outcome::Succeeded) << result.message;
        const bool magic = c.mode == DeviceMode::Application;
        std::vector<Bytes> expected = bootloaderRecordReports(image);
        if (magic)
            expected.insert(expected.begin(), EnterBootloaderReport);
        EXPECT_EQ(rig.reportsSent(), expected);
        EXPECT_EQ(rig.bus.state(rig.devicePath).enterBootloaderCount, magic ? 1u : 0u);
        EXPECT_EQ(rig.bus.state(rig.devicePath).bootloaderImage, paddedToRecords(image));
        // After the magic (or from the first wait on, without one), each search follows a
        // 100 ms sleep and is followed by one event pass.
        const auto& entries = rig.log.entries;
        const auto waitBegins = magic ? CallLog::Kind::SetFeature : CallLog::Kind::Sleep;
        std::uint64_t searches = 0;
        for (auto entry = std::find_if(entries.begin(), entries.end(),
                                       [&](const auto& e) { return e.kind == waitBegins; }) +
                          1;
             entry != entries.end(); ++entry) {
            if (entry->kind != CallLog::Kind::Enumerate)
                continue;
            ++searches;
            EXPECT_EQ(entry[-1].kind, CallLog::Kind::Sleep);
            EXPECT_EQ(entry[-1].slept, 100ms);
        }
        EXPECT_EQ(rig.host.count(Call::ProcessEvents), searches);
        if (!magic) {
            EXPECT_EQ(rig.log.sleeps(), std::vector<std::chrono::milliseconds>{100ms});
        }

        const auto calls = rig.host.sequence();
        EXPECT_EQ(calls[1], Call::ShowUpgradeBusy);
        EXPECT_EQ(rig.host.count(Call::Unload), 1u);
        EXPECT_EQ(calls.back(), Call::BusyChanged);
        EXPECT_EQ(rig.bus.openHandleCount(), 0);
    }
}

TEST(Upgrade, GivesUpWhenTheDeviceNeverComesBackOrTheWaitIsCancelled) {
    for (const bool cancel : {false, true}) {
        SCOPED_TRACE(cancel ? "cancelled" : "never back");
        OperationRig rig;
        DeviceConfig config;
        config.reenumerationDelay.reset();
        rig.plugIn(config);
        writeFile(rig.file(DownloadImageName), imageBytes(80));
        rig.host.onCall = [&](const HostCall& call) {
            if (cancel && call.call == Call::ProcessEvents &&
                rig.host.count(Call::ProcessEvents) == 2)
                rig.host.cancel = true;
        };
        const auto started = rig.bus.monotonicTime();

        const OperationResult result = rig.operations().upgrade();

        EXPECT_EQ(result.outcome, cancel ? Outcome::Cancelled : Outcome::TimedOut);
        const char* says =
            cancel ? "cancelled" : "did not come back in bootloader mode within 30 seconds";
        EXPECT_NE(result.message.find(says), std::string::npos) << result.message;
        EXPECT_EQ(rig.reportsSent(), std::vector<Bytes>{EnterBootloaderReport});
        EXPECT_EQ(rig.host.texts(Call::ShowError), std::vector<std::string>{result.message});
        EXPECT_EQ(rig.host.count(Call::Unload), 1u);
        EXPECT_EQ(rig.bus.openHandleCount(), 0);
        const auto waited = rig.bus.monotonicTime() - started;
        if (cancel) {
            EXPECT_EQ(rig.host.count(Call::ProcessEvents), 2u);
        } else {
            EXPECT_GE(waited, 30s);
            EXPECT_LT(waited, 30s + 200ms);
        }
    }
}

}  // namespace
}  // namespace fwu::firmware::testing

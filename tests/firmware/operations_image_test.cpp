// The update, the download and the upgrade carrying an image to the device in full.
#include <gtest/gtest.h>

#include <algorithm>

#include "device/protocol.h"
#include "operations_fixture.h"

namespace fwu::firmware::testing {
namespace {

// Positions 0 to 8 of a report carrying `command` after the erase report announced `count`.
Bytes headWithCount(std::uint8_t command, std::uint32_t count) {
    Bytes head = {0, command, 0, 0, 0};
    for (int shift = 0; shift < 32; shift += 8)
        head.push_back(static_cast<std::uint8_t>(count >> shift));
    return head;
}

// The reports a bootloader should receive for `image`, each 65 bytes long, after the magic.
std::vector<Bytes> bootloaderReports(const Bytes& image, bool magic) {
    const auto& m = protocol::EnterBootloaderMagic;
    std::vector<Bytes> reports;
    if (magic)
        reports.push_back(expectedReport(65, {0, m[0], m[1], m[2]}));
    for (std::size_t k = 0; k * 40 < image.size(); ++k)
        reports.push_back(expectedReport(65, {0}, recordOf(image, k)));
    return reports;
}

TEST(Update, SendsStartEraseEveryRecordReadAndFinish) {
    struct Case {
        std::size_t imageSize;
        std::uint16_t reportLength;
        std::uint32_t count;
        std::vector<float> barWidths;  // empty: not checked
        bool imageChangesOnceCounted = false;
    };
    const Case cases[] = {
        {80, 65, 3, {0, 1685, 3370, 5055, 0}},  // the third record holds no file bytes
        {85, 65, 3, {0, 1685, 3370, 5055, 0}},  // the third record holds bytes 81 to 85
        {30, 65, 1, {0, 5055, 0}, true},        // read once: a later change never goes
        {160, 49, 5, {0, 1011, 2022, 3033, 4044, 5055, 0}},  // the shortest report that fits
        {999 * 40, 64, 1000, {}},                            // E8 03 00 00 in every report
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.imageSize);
        OperationRig rig;
        rig.plugIn(c.reportLength);
        const Bytes image = imageBytes(c.imageSize);
        writeFile(rig.file(UpdateImageName), image);
        rig.host.onCall = [&](const HostCall& call) {
            if (c.imageChangesOnceCounted && call.call == Call::ShowProgress)
                writeFile(rig.file(UpdateImageName), imageBytes(400, 9));
        };

        EXPECT_EQ(rig.operations().update().outcome, Outcome::Succeeded);

        const std::size_t length = c.reportLength;
        std::vector<Bytes> expected = {expectedReport(length, {0, 1, 0, 0, 0}),
                                       expectedReport(length, headWithCount(4, c.count))};
        for (std::size_t k = 0; k < c.count; ++k)
            expected.push_back(
                expectedReport(length, headWithCount(2, c.count), recordOf(image, k)));
        // One buffer for the whole run: the finish report keeps the count and the last record.
        expected.push_back(
            expectedReport(length, headWithCount(3, c.count), recordOf(image, c.count - 1)));
        EXPECT_EQ(rig.reportsSent(), expected);
        EXPECT_TRUE(rig.bus.state(rig.devicePath).finishedComplete);
        if (!c.barWidths.empty()) {
            EXPECT_EQ(rig.host.barWidths(), c.barWidths);
        }
        // The bar is cleared before the finish; the button and labels retire afterwards.
        EXPECT_TRUE(rig.host.endsWith({Call::ClearProgress, Call::DisableUpdateButton,
                                       Call::ClearProductAndVersion, Call::BusyChanged}));
        // The two 2 ms pauses after start and erase, and no other wait.
        EXPECT_EQ(rig.log.sleeps(), (std::vector<std::chrono::milliseconds>{2ms, 2ms}));
        EXPECT_EQ(rig.bus.openHandleCount(), 0);
    }
}

// The upgrade from application mode, from the bootloader (no magic), with the magic's transfer
// failing as the device leaves, and with the image changing during the wait; the download.
TEST(BootloaderImage, EveryRecordGoesAPartialLastOneZeroPaddedThenTheProgramEnds) {
    struct Case {
        OperationCall run;
        DeviceMode mode;
        std::size_t imageSize;
        std::vector<float> barWidths;  // empty: not checked
        bool magicTransferFails = false;
        bool imageChangesDuringWait = false;
    };
    constexpr auto Boot = DeviceMode::Bootloader;
    constexpr auto App = DeviceMode::Application;
    constexpr auto Upgrade = &FirmwareOperations::upgrade;
    constexpr auto Download = &FirmwareOperations::download;
    const Case cases[] = {
        {Download, Boot, 120, {0, 1263.75f, 2527.5f, 3791.25f}},  // one step short of full
        {Download, Boot, 85, {0, 1685, 3370, 5055}},  // the 5 tail bytes go as a third record
        {Download, Boot, 30, {0, 5055}},
        {Download, Boot, 1'310'679, {}},  // the largest image the 16-bit count can hold
        {Upgrade, App, 85, {0, 1685, 3370, 5055}},
        {Upgrade, Boot, 85, {}},
        {Upgrade, App, 85, {}, true},
        {Upgrade, App, 85, {}, false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.imageSize) + (c.run == Upgrade ? " upgrade" : ""));
        OperationRig rig;
        DeviceConfig config;
        config.mode = c.mode;
        config.faults.bootloaderEntryTransferFails = c.magicTransferFails;
        rig.plugIn(config);
        const Bytes image = imageBytes(c.imageSize);
        writeFile(rig.file(DownloadImageName), image);
        rig.host.onCall = [&](const HostCall& call) {
            if (c.imageChangesDuringWait && call.call == Call::ProcessEvents)
                writeFile(rig.file(DownloadImageName), imageBytes(400, 5));
        };

        EXPECT_EQ((rig.operations().*c.run)().outcome, Outcome::Succeeded);

        const bool magic = c.run == Upgrade && c.mode == App;
        EXPECT_EQ(rig.reportsSent(), bootloaderReports(image, magic));
        if (!c.barWidths.empty()) {
            EXPECT_EQ(rig.host.barWidths(), c.barWidths);
        }
        EXPECT_TRUE(rig.host.endsWith({Call::Unload, Call::BusyChanged}));
        EXPECT_EQ(rig.host.count(Call::Unload), 1u);
        EXPECT_EQ(rig.bus.openHandleCount(), 0);
        if (c.run == Upgrade) {
            // Each wait cycle sleeps 100 ms, searches and passes over the events once.
            const auto waits = rig.host.count(Call::ProcessEvents);
            EXPECT_EQ(rig.log.sleeps(), std::vector(waits, 100ms));
            EXPECT_EQ(waits, magic ? 3u : 1u);  // the device is back 300 ms after the magic
            EXPECT_EQ(rig.host.sequence()[1], Call::ShowUpgradeBusy);
        }
    }
}

}  // namespace
}  // namespace fwu::firmware::testing

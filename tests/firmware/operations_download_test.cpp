#include <gtest/gtest.h>

#include <algorithm>

#include "device/protocol.h"
#include "operations_fixture.h"

namespace fwu::firmware::testing {
namespace {

// What a device in its bootloader should hold after receiving `image`: whole records, the
// last one zero-padded.
Bytes paddedToRecords(const Bytes& image) {
    Bytes padded = image;
    padded.resize((image.size() + 39) / 40 * 40, 0);
    return padded;
}

std::vector<Bytes> bootloaderRecordReports(const Bytes& image, std::size_t length) {
    std::vector<Bytes> reports;
    for (std::size_t k = 0; k * 40 < image.size(); ++k)
        reports.push_back(expectedReport(length, {0}, recordOf(image, k)));
    return reports;
}

Bytes enterBootloaderReport(std::size_t length) {
    const auto& magic = protocol::EnterBootloaderMagic;
    return expectedReport(length, {0, magic[0], magic[1], magic[2]});
}

DeviceConfig inBootloader() {
    DeviceConfig config;
    config.mode = DeviceMode::Bootloader;
    return config;
}

TEST(Download, SendsEveryRecordAPartialLastOneZeroPaddedThenEndsTheProgram) {
    struct Case {
        std::size_t imageSize;
        std::vector<float> barWidths;
    };
    const Case cases[] = {
        {120, {0, 1263.75f, 2527.5f, 3791.25f}},  // a whole number of records: one step short
        {85, {0, 1685, 3370, 5055}},              // the 5 tail bytes go as a third record
        {30, {0, 5055}},
        {40, {0, 2527.5f}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("image of " + std::to_string(c.imageSize) + " bytes");
        OperationRig rig;
        rig.plugIn(inBootloader());
        const Bytes image = imageBytes(c.imageSize);
        writeFile(rig.file(DownloadImageName), image);

        const OperationResult result = rig.operations().download();

        EXPECT_EQ(result.outcome, Outcome::Succeeded) << result.message;
        EXPECT_EQ(rig.reportsSent(), bootloaderRecordReports(image, 65));
        EXPECT_EQ(rig.bus.state(rig.devicePath).bootloaderImage, paddedToRecords(image));
        EXPECT_EQ(rig.host.barWidths(), c.barWidths);
        EXPECT_EQ(rig.host.sequence().back(), Call::BusyChanged);
        EXPECT_EQ(rig.host.count(Call::Unload), 1u);
        EXPECT_EQ(rig.bus.openHandleCount(), 0);
    }
}

TEST(Download, RefusesBeforeSendingAnythingAndKeepsTheProgramRunning) {
    struct Case {
        const char* name;
        std::function<void(const fs::path&)> prepare;
        std::uint16_t reportLength;
        const char* says;
    };
    const auto image = [](std::size_t size) {
        return [size](const fs::path& path) { writeFile(path, imageBytes(size)); };
    };
    const Case cases[] = {
        {"missing", [](const fs::path&) {}, 65, "Cannot find"},
        {"a folder", [](const fs::path& path) { fs::create_directory(path); }, 65, "not a file"},
        {"empty", image(0), 65, "is empty"},
        {"past the 16-bit count", image(1'310'680), 65, "1310679 bytes"},
        {"report of 40 bytes", image(80), 40, "at least 41"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        OperationRig rig;
        rig.plugIn(rig.withReportLength(c.reportLength, DeviceMode::Bootloader));
        c.prepare(rig.file(DownloadImageName));

        const OperationResult result = rig.operations().download();

        EXPECT_NE(result.message.find(c.says), std::string::npos) << result.message;
        rig.expectRefusedQuietly(result);
        EXPECT_TRUE(rig.link.isOpen());
    }
}

TEST(Download, TakesTheLargestImageItsCountCanHold) {
    OperationRig rig;
    rig.plugIn(inBootloader());
    writeFile(rig.file(DownloadImageName), imageBytes(1'310'679));

    EXPECT_EQ(rig.operations().download().outcome, Outcome::Succeeded);
    EXPECT_EQ(rig.reportsSent().size(), 32'767u);
    EXPECT_EQ(rig.host.barWidths().back(), 5055.0f);
}

TEST(Download, AFailedRecordStopsAtOnceAndEndsTheProgramWithAMessage) {
    OperationRig rig;
    DeviceConfig config = inBootloader();
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

class UpgradeRig : public OperationRig {
  public:
    // The transcript entries sent before and after the device left application mode.
    std::vector<CallLog::Entry> callsAfterFirstSetFeature() const {
        const auto first = std::find_if(log.entries.begin(), log.entries.end(), [](const auto& e) {
            return e.kind == CallLog::Kind::SetFeature;
        });
        return {first == log.entries.end() ? first : first + 1, log.entries.end()};
    }
};

TEST(Upgrade, SwitchesTheDeviceWaitsForItsBootloaderThenDownloadsAndEndsTheProgram) {
    UpgradeRig rig;
    rig.plugIn();
    const Bytes image = imageBytes(120);
    writeFile(rig.file(DownloadImageName), image);

    const OperationResult result = rig.operations().upgrade();

    EXPECT_EQ(result.outcome, Outcome::Succeeded) << result.message;
    std::vector<Bytes> expected = {enterBootloaderReport(65)};
    for (const auto& report : bootloaderRecordReports(image, 65))
        expected.push_back(report);
    EXPECT_EQ(rig.reportsSent(), expected);
    const auto device = rig.bus.state(rig.devicePath);
    EXPECT_EQ(device.enterBootloaderCount, 1u);
    EXPECT_EQ(device.bootloaderImage, image);

    // After the magic: each search follows a 100 ms sleep, and one event pass follows each.
    const auto after = rig.callsAfterFirstSetFeature();
    ASSERT_GE(after.size(), 2u);
    EXPECT_EQ(after[0].kind, CallLog::Kind::Sleep);
    EXPECT_EQ(after[0].slept, 100ms);
    EXPECT_EQ(after[1].kind, CallLog::Kind::Enumerate);
    std::uint64_t searches = 0;
    for (std::size_t i = 0; i < after.size(); ++i) {
        if (after[i].kind != CallLog::Kind::Enumerate)
            continue;
        ++searches;
        EXPECT_EQ(after[i - 1].kind, CallLog::Kind::Sleep);
    }
    EXPECT_EQ(rig.host.count(Call::ProcessEvents), searches);

    const auto calls = rig.host.sequence();
    EXPECT_EQ(calls[1], Call::ShowUpgradeBusy);
    EXPECT_EQ(rig.host.barWidths(), (std::vector<float>{0, 1263.75f, 2527.5f, 3791.25f}));
    EXPECT_EQ(rig.host.count(Call::Unload), 1u);
    EXPECT_EQ(calls.back(), Call::BusyChanged);
    EXPECT_EQ(rig.bus.openHandleCount(), 0);
}

TEST(Upgrade, ADeviceAlreadyInItsBootloaderGetsNoMagic) {
    UpgradeRig rig;
    rig.plugIn(inBootloader());
    const Bytes image = imageBytes(85);
    writeFile(rig.file(DownloadImageName), image);

    EXPECT_EQ(rig.operations().upgrade().outcome, Outcome::Succeeded);

    EXPECT_EQ(rig.reportsSent(), bootloaderRecordReports(image, 65));
    EXPECT_EQ(rig.host.count(Call::ProcessEvents), 1u);  // found by the first wait cycle
    EXPECT_EQ(rig.log.sleeps(), std::vector<std::chrono::milliseconds>{100ms});
}

TEST(Upgrade, GoesOnToTheWaitWhenTheDeviceLeavesWhileTakingTheMagic) {
    UpgradeRig rig;
    DeviceConfig config;
    config.faults.bootloaderEntryTransferFails = true;
    rig.plugIn(config);
    const Bytes image = imageBytes(80);
    writeFile(rig.file(DownloadImageName), image);

    const OperationResult result = rig.operations().upgrade();

    EXPECT_EQ(result.outcome, Outcome::Succeeded) << result.message;
    EXPECT_FALSE(rig.bus.transcript().front().succeeded);
    EXPECT_EQ(rig.bus.state(rig.devicePath).bootloaderImage, image);
}

TEST(Upgrade, GivesUpWhenTheDeviceNeverComesBackOrTheWaitIsCancelled) {
    struct Case {
        const char* name;
        bool cancelAtSecondCycle;
        Outcome outcome;
        const char* says;
    };
    const Case cases[] = {
        {"never back", false, Outcome::TimedOut,
         "did not come back in bootloader mode within 30 seconds"},
        {"cancelled", true, Outcome::Cancelled, "cancelled"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        UpgradeRig rig;
        DeviceConfig config;
        config.reenumerationDelay.reset();
        rig.plugIn(config);
        writeFile(rig.file(DownloadImageName), imageBytes(80));
        rig.host.onCall = [&](const HostCall& call) {
            if (c.cancelAtSecondCycle && call.call == Call::ProcessEvents &&
                rig.host.count(Call::ProcessEvents) == 2) {
                rig.host.cancel = true;
            }
        };
        const auto started = rig.bus.monotonicTime();

        const OperationResult result = rig.operations().upgrade();

        EXPECT_EQ(result.outcome, c.outcome);
        EXPECT_NE(result.message.find(c.says), std::string::npos) << result.message;
        EXPECT_EQ(rig.reportsSent(), std::vector<Bytes>{enterBootloaderReport(65)});
        EXPECT_EQ(rig.host.texts(Call::ShowError), std::vector<std::string>{result.message});
        EXPECT_EQ(rig.host.count(Call::Unload), 1u);
        EXPECT_EQ(rig.bus.openHandleCount(), 0);
        const auto waited = rig.bus.monotonicTime() - started;
        if (c.cancelAtSecondCycle) {
            EXPECT_EQ(rig.host.count(Call::ProcessEvents), 2u);
        } else {
            EXPECT_GE(waited, 30s);
            EXPECT_LT(waited, 30s + 200ms);
        }
    }
}

TEST(Upgrade, ChecksTheImageBeforeSwitchingTheDevice) {
    struct Case {
        const char* name;
        std::size_t imageSize;  // 0: no image at all
    };
    const Case cases[] = {{"missing", 0}, {"past the 16-bit count", 1'310'680}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        UpgradeRig rig;
        rig.plugIn();
        if (c.imageSize > 0)
            writeFile(rig.file(DownloadImageName), imageBytes(c.imageSize));

        const OperationResult result = rig.operations().upgrade();

        EXPECT_EQ(result.outcome, Outcome::FileProblem);
        rig.expectRefusedQuietly(result);  // no busy caption, no unload
        EXPECT_EQ(rig.bus.state(rig.devicePath).mode, DeviceMode::Application);
        EXPECT_TRUE(rig.link.isOpen());
    }
}

TEST(Upgrade, DownloadsTheImageAsItWasWhenTheUpgradeStarted) {
    UpgradeRig rig;
    rig.plugIn();
    const Bytes image = imageBytes(120);
    writeFile(rig.file(DownloadImageName), image);
    rig.host.onCall = [&](const HostCall& call) {
        if (call.call == Call::ProcessEvents)
            writeFile(rig.file(DownloadImageName), imageBytes(400, 5));
    };

    EXPECT_EQ(rig.operations().upgrade().outcome, Outcome::Succeeded);
    EXPECT_EQ(rig.bus.state(rig.devicePath).bootloaderImage, image);
}

}  // namespace
}  // namespace fwu::firmware::testing

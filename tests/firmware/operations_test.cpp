// The operations that carry an image, their stops, their refusals and guards, and the two
// service commands. The dump has a file of its own.
#include <gtest/gtest.h>

#include <limits>

#include "device/protocol.h"
#include "operations_fixture.h"

namespace fwu::firmware::testing {
namespace {

constexpr auto Update = &FirmwareOperations::update;
constexpr auto Download = &FirmwareOperations::download;
constexpr auto Upgrade = &FirmwareOperations::upgrade;
constexpr auto Dump = &FirmwareOperations::dump;
constexpr auto EraseChip = &FirmwareOperations::eraseChip;
constexpr auto EnterBootloader = &FirmwareOperations::enterBootloader;
constexpr OperationCall AllOperations[] = {Update, Download,  Upgrade,
                                           Dump,   EraseChip, EnterBootloader};

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

// Without a device (no search ran) nothing is sent and nothing is said; the update retires its
// button and labels all the same.
TEST(Operations, RefuseBeforeSendingAnythingAndChangeNothing) {
    struct Case {
        const char* name;
        OperationCall run;
        std::intmax_t imageSize;     // of the operation's image; -1: none
        const char* folderAt;        // a folder planted at this path of the program's folder
        std::uint16_t reportLength;  // 0: the device was never searched for
        Outcome outcome;
        const char* says;
    };
    constexpr auto File = Outcome::FileProblem;
    constexpr auto Short = Outcome::ReportTooShort;
    constexpr auto None = Outcome::NoDevice;
    const Case cases[] = {
        {"update: missing", Update, -1, nullptr, 65, File, "Cannot find"},
        {"update: a folder", Update, -1, UpdateImageName, 65, File, "is not a file"},
        {"update: empty", Update, 0, nullptr, 65, File, "is empty"},
#ifndef _WIN32  // sparse: never read (Windows would allocate it)
        {"update: one byte past the 32-bit count", Update,
         std::intmax_t{std::numeric_limits<std::int32_t>::max()} * 40, nullptr, 65, File,
         "larger than"},
#endif
        {"update: report of 48 bytes", Update, 80, nullptr, 48, Short, "at least 49"},
        {"download: missing", Download, -1, nullptr, 65, File, "Cannot find"},
        {"download: empty", Download, 0, nullptr, 65, File, "is empty"},
        {"download: past the 16-bit count", Download, 1'310'680, nullptr, 65, File,
         "1310679 bytes"},
        {"download: report of 40 bytes", Download, 80, nullptr, 40, Short, "at least 41"},
        // The upgrade checks the image before it switches the device.
        {"upgrade: missing", Upgrade, -1, nullptr, 65, File, "Cannot find"},
        {"upgrade: past the 16-bit count", Upgrade, 1'310'680, nullptr, 65, File, "1310679 bytes"},
        {"dump: report of 35 bytes", Dump, -1, nullptr, 35, Short, "at least 36"},
        {"dump: a folder at the partial file's path", Dump, -1, "Ombrel.bin.part/in", 65, File,
         "Cannot create"},
        {"erase chip: report of 3 bytes", EraseChip, -1, nullptr, 3, Short, ""},
        {"bootloader: report of 3 bytes", EnterBootloader, -1, nullptr, 3, Short, ""},
        {"update: no device", Update, 80, nullptr, 0, None, ""},
        {"download: no device", Download, 80, nullptr, 0, None, ""},
        {"upgrade: no device", Upgrade, 80, nullptr, 0, None, ""},
        {"dump: no device", Dump, -1, nullptr, 0, None, ""},
        {"erase chip: no device", EraseChip, -1, nullptr, 0, None, ""},
        {"bootloader: no device", EnterBootloader, -1, nullptr, 0, None, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        OperationRig rig;
        if (c.reportLength > 0)
            rig.plugIn(c.reportLength,
                       c.run == Download ? DeviceMode::Bootloader : DeviceMode::Application);
        else
            rig.bus.addDevice({});
        const fs::path image = rig.file(c.run == Update ? UpdateImageName : DownloadImageName);
        if (c.imageSize >= 0) {
            writeFile(image, {});
            fs::resize_file(image, static_cast<std::uintmax_t>(c.imageSize));
        }
        if (c.folderAt)
            fs::create_directories(rig.file(c.folderAt));

        const OperationResult result = (rig.operations().*c.run)();

        EXPECT_EQ(result.outcome, c.outcome);
        EXPECT_FALSE(fs::exists(rig.file(DumpFileName)));
        if (c.outcome == None) {
            EXPECT_TRUE(result.message.empty());
            std::vector<Call> calls = {Call::BusyChanged, Call::BusyChanged};
            if (c.run == Update)
                calls.insert(calls.begin() + 1,
                             {Call::DisableUpdateButton, Call::ClearProductAndVersion});
            EXPECT_EQ(rig.host.sequence(), calls);
            EXPECT_EQ(rig.bus.openCount(), 0);
            continue;
        }
        EXPECT_NE(result.message.find(c.says), std::string::npos) << result.message;
        rig.expectRefusedQuietly(result);
        EXPECT_TRUE(rig.link.isOpen());  // nothing changed: the operation can run once fixed
    }
}

TEST(Operations, NoneStartsWhileAnotherRuns) {
    OperationRig rig;
    rig.plugIn();
    writeFile(rig.file(UpdateImageName), imageBytes(80));
    std::vector<OperationResult> nested;
    rig.host.onCall = [&](const HostCall& call) {
        if (call.call != Call::AdvanceProgress || !nested.empty())
            return;
        EXPECT_TRUE(rig.operations().busy());
        for (const auto run : AllOperations)
            nested.push_back((rig.operations().*run)());
    };

    EXPECT_EQ(rig.operations().update().outcome, Outcome::Succeeded);

    ASSERT_EQ(nested.size(), std::size(AllOperations));
    for (const auto& result : nested) {
        EXPECT_EQ(result.outcome, Outcome::Busy);
        EXPECT_FALSE(result.message.empty());
    }
    EXPECT_EQ(rig.reportsSent().size(), 6u);  // start, erase, three records, finish
    EXPECT_EQ(rig.host.count(Call::BusyChanged), 2u);
    EXPECT_FALSE(rig.operations().busy());
}

TEST(ServiceCommands, SendExactlyOneReportOrReportTheFailedSend) {
    const auto& magic = protocol::EnterBootloaderMagic;
    const std::pair<OperationCall, Bytes> commands[] = {
        {EraseChip, {0, 4, 0, 0}}, {EnterBootloader, {0, magic[0], magic[1], magic[2]}}};
    for (const auto& [run, head] : commands) {
        for (const std::uint16_t length : {4, 65, 0}) {  // 0: the transfer fails
            OperationRig rig;
            DeviceConfig config;
            config.featureReportLength = length ? length : 65;
            config.faults.failTransfersFrom = length ? std::nullopt : std::optional(0u);
            rig.plugIn(config);

            const OperationResult result = (rig.operations().*run)();

            EXPECT_EQ(result.outcome, length ? Outcome::Succeeded : Outcome::TransferFailed);
            EXPECT_EQ(rig.reportsSent(),
                      std::vector<Bytes>{expectedReport(length ? length : 65, head)});
            EXPECT_EQ(rig.host.texts(Call::ShowError).size(), length ? 0u : 1u);
            EXPECT_TRUE(rig.link.isOpen());
        }
    }
}

}  // namespace
}  // namespace fwu::firmware::testing

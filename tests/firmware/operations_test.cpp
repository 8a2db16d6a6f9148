// Every operation but the dump (which has a file of its own): the reports it sends, how it
// stops, what it refuses before it sends anything, and the guard around all of them.
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
constexpr auto App = DeviceMode::Application;
constexpr auto Boot = DeviceMode::Bootloader;

// Positions 0 to 8 of a report carrying `command` after the erase report announced `count`.
Bytes headWithCount(std::uint8_t command, std::uint32_t count) {
    Bytes head = {0, command, 0, 0, 0};
    for (int shift = 0; shift < 32; shift += 8)
        head.push_back(static_cast<std::uint8_t>(count >> shift));
    return head;
}

// What `run` sends for `image` on reports of `length` bytes, the magic first when it switches
// the device to its bootloader.
std::vector<Bytes> expectedReports(OperationCall run, std::size_t length, const Bytes& image,
                                   bool magic) {
    const auto& m = protocol::EnterBootloaderMagic;
    if (run == EraseChip || run == EnterBootloader)
        return {
            expectedReport(length, run == EraseChip ? Bytes{0, 4} : Bytes{0, m[0], m[1], m[2]})};
    std::vector<Bytes> reports;
    if (run != Update) {
        if (magic)
            reports.push_back(expectedReport(length, {0, m[0], m[1], m[2]}));
        for (std::size_t k = 0; k * 40 < image.size(); ++k)
            reports.push_back(expectedReport(length, {0}, recordOf(image, k)));
        return reports;
    }
    const auto count = static_cast<std::uint32_t>(image.size() / 40 + 1);
    reports = {expectedReport(length, {0, 1}), expectedReport(length, headWithCount(4, count))};
    for (std::size_t k = 0; k < count; ++k)
        reports.push_back(expectedReport(length, headWithCount(2, count), recordOf(image, k)));
    // One buffer for the whole run: the finish report keeps the count and the last record.
    reports.push_back(expectedReport(length, headWithCount(3, count), recordOf(image, count - 1)));
    return reports;
}

// The last calls of a run: the update retires its button and labels, the download and the
// upgrade end the program, the others leave the connection open.
std::vector<Call> endingOf(OperationCall run, bool failed) {
    std::vector<Call> ending = {Call::BusyChanged};
    if (run == Download || run == Upgrade)
        ending.insert(ending.begin(), Call::Unload);
    if (failed)
        ending.insert(ending.begin(), Call::ShowError);
    if (run == Update)
        ending.insert(ending.begin(), {Call::ClearProgress, Call::DisableUpdateButton,
                                       Call::ClearProductAndVersion});
    return ending;
}

bool leavesConnectionOpen(OperationCall run) {
    return run == EraseChip || run == EnterBootloader;
}

TEST(Operations, SendTheirReportsWhileTheBarGrows) {
    struct Case {
        OperationCall run;
        DeviceMode mode;
        std::uint16_t reportLength;
        std::size_t imageSize = 0;
        std::vector<float> barWidths = {};  // empty: not checked
        bool imageChanges = false;          // once read, which happens once
        bool magicTransferFails = false;    // the device leaves while it takes the magic
    };
    const Case cases[] = {
        {Update, App, 65, 80, {0, 1685, 3370, 5055, 0}},  // the third record holds no file bytes
        {Update, App, 65, 85, {0, 1685, 3370, 5055, 0}},  // the third record holds bytes 81 to 85
        {Update, App, 65, 30, {0, 5055, 0}, true},
        {Update, App, 49, 160, {0, 1011, 2022, 3033, 4044, 5055, 0}},  // the shortest report
        {Update, App, 64, 999 * 40, {}},  // a count of 1000: E8 03 00 00
        {Download, Boot, 65, 120, {0, 1263.75f, 2527.5f, 3791.25f}},  // one step short of full
        {Download, Boot, 65, 85, {0, 1685, 3370, 5055}},  // the 5 tail bytes zero-padded
        {Download, Boot, 65, 1'310'679, {}},  // the largest image the 16-bit count can hold
        {Upgrade, App, 65, 85, {0, 1685, 3370, 5055}},
        {Upgrade, Boot, 65, 85, {}},  // already in the bootloader: no magic
        {Upgrade, App, 65, 85, {}, true},
        {Upgrade, App, 65, 85, {}, false, true},
        {EraseChip, App, 4},
        {EraseChip, App, 65},
        {EnterBootloader, App, 4},
        {EnterBootloader, App, 65}};
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.imageSize << " bytes, case " << &c - cases);
        OperationRig rig;
        DeviceConfig config;
        config.mode = c.mode;
        config.featureReportLength = c.reportLength;
        config.faults.bootloaderEntryTransferFails = c.magicTransferFails;
        rig.plugIn(config);
        const fs::path imageFile = rig.file(c.run == Update ? UpdateImageName : DownloadImageName);
        const Bytes image = imageBytes(c.imageSize);
        writeFile(imageFile, image);
        rig.host.onCall = [&](const HostCall& call) {
            if (c.imageChanges &&
                (call.call == Call::ProcessEvents || call.call == Call::ShowProgress))
                writeFile(imageFile, imageBytes(400, 5));
        };

        EXPECT_EQ((rig.operations().*c.run)().outcome, Outcome::Succeeded);

        const bool magic = c.run == Upgrade && c.mode == App;
        EXPECT_EQ(rig.reportsSent(), expectedReports(c.run, c.reportLength, image, magic));
        if (!c.barWidths.empty()) {
            EXPECT_EQ(rig.host.barWidths(), c.barWidths);
        }
        EXPECT_TRUE(rig.host.endsWith(endingOf(c.run, false)));
        EXPECT_EQ(rig.host.count(Call::Unload), c.run == Download || c.run == Upgrade ? 1u : 0u);
        EXPECT_EQ(rig.bus.openHandleCount(), leavesConnectionOpen(c.run) ? 2 : 0);
        // The update pauses 2 ms after start and erase; each wait cycle of the upgrade sleeps
        // 100 ms, searches and passes over the events once; nothing else waits.
        const auto waits = rig.host.count(Call::ProcessEvents);
        EXPECT_EQ(rig.log.sleeps(),
                  (c.run == Update ? std::vector{2ms, 2ms} : std::vector(waits, 100ms)));
        if (c.run == Update) {
            EXPECT_TRUE(rig.bus.state(rig.devicePath).finishedComplete);
        }
        if (c.run == Upgrade) {
            EXPECT_EQ(waits, magic ? 3u : 1u);  // the device is back 300 ms after the magic
            EXPECT_EQ(rig.host.sequence()[1], Call::ShowUpgradeBusy);
        }
    }
}

// How a run is stopped: the request `at` fails or unplugs the device, the `at`-th advance or
// event pass cancels, or the device never comes back from the switch to its bootloader.
enum class Stop { Fail, Unplug, CancelAtAdvance, CancelAtEvents, NeverBack };

TEST(Operations, StopAtOnceSayWhereAndReachTheirFinalState) {
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
    const Case cases[] = {
        {"update: start", Update, Stop::Fail, 0, "did not accept the start of the update", 1},
        {"update: erase", Update, Stop::Fail, 1, "did not accept the erase command", 2},
        {"update: record 17", Update, Stop::Fail, 18,
         "The device did not accept record 17 of 300. Its firmware is incomplete: run the "
         "update again.",
         19},
        {"update: unplugged", Update, Stop::Unplug, 18, "did not accept record 17 of 300", 19},
        {"update: finish", Update, Stop::Fail, 302, "did not accept the end of the update", 303},
        {"update: cancel", Update, Stop::CancelAtAdvance, 2, "after 2 of 300 records", 4},
        {"download: record 2", Download, Stop::Fail, 1, "did not accept record 2 of 3", 2},
        {"download: cancel", Download, Stop::CancelAtAdvance, 1, "cancelled after 1 of 3", 1},
        {"upgrade: never back", Upgrade, Stop::NeverBack, 0,
         "did not come back in bootloader mode within 30 seconds", 1},
        {"upgrade: wait cancelled", Upgrade, Stop::CancelAtEvents, 2, "cancelled", 1},
        {"erase chip", EraseChip, Stop::Fail, 0, "", 1},
        {"bootloader", EnterBootloader, Stop::Fail, 0, "", 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        OperationRig rig;
        DeviceConfig config;
        if (c.stop == Stop::Fail)
            config.faults.failTransfersFrom = c.at;
        if (c.stop == Stop::Unplug)
            config.faults.unplugAtRequest = c.at;
        config.mode = c.run == Download ? Boot : App;
        config.reenumerationDelay.reset();
        rig.plugIn(config);
        writeFile(rig.file(UpdateImageName), imageBytes(299 * 40 + 20));
        writeFile(rig.file(DownloadImageName), imageBytes(120));
        const bool cancels = c.stop == Stop::CancelAtAdvance || c.stop == Stop::CancelAtEvents;
        const Call counted =
            c.stop == Stop::CancelAtAdvance ? Call::AdvanceProgress : Call::ProcessEvents;
        rig.host.onCall = [&](const HostCall& call) {
            if (cancels && call.call == counted && rig.host.count(counted) == c.at)
                rig.host.cancel = true;
        };
        const auto started = rig.bus.monotonicTime();

        const OperationResult result = (rig.operations().*c.run)();

        EXPECT_EQ(result.outcome, cancels                     ? Outcome::Cancelled
                                  : c.stop == Stop::NeverBack ? Outcome::TimedOut
                                                              : Outcome::TransferFailed);
        EXPECT_NE(result.message.find(c.says), std::string::npos) << result.message;
        EXPECT_EQ(rig.reportsSent().size(), c.reportsSent);
        EXPECT_FALSE(rig.bus.state(rig.devicePath).finished);
        EXPECT_EQ(rig.host.texts(Call::ShowError), std::vector<std::string>{result.message});
        EXPECT_TRUE(rig.host.endsWith(endingOf(c.run, true)));
        EXPECT_EQ(rig.bus.openHandleCount(), leavesConnectionOpen(c.run) ? 2 : 0);
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
        {"download: past the 16-bit count", Download, 1'310'680, nullptr, 65, File,
         "1310679 bytes"},
        {"download: report of 40 bytes", Download, 80, nullptr, 40, Short, "at least 41"},
        // The upgrade checks the image before it switches the device.
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
        {"bootloader: no device", EnterBootloader, -1, nullptr, 0, None, ""}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        OperationRig rig;
        if (c.reportLength > 0)
            rig.plugIn(c.reportLength, c.run == Download ? Boot : App);
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
        for (const auto run : {Update, Download, Upgrade, Dump, EraseChip, EnterBootloader})
            nested.push_back((rig.operations().*run)());
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

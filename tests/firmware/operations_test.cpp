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

// How a run ends: it runs through; the image file changes once read (it is read once); the
// device leaves while it takes the magic; the request `at` fails or unplugs the device; the
// `at`-th advance or event pass cancels; or the device never comes back to its bootloader.
enum class End { Done, NewImage, MagicLost, Fail, Unplug, CancelAdvance, CancelEvents, NeverBack };

TEST(Operations, SendTheirReportsOrStopAtOnceSayingWhere) {
    struct Case {
        OperationCall run;
        DeviceMode mode;
        std::uint16_t reportLength;
        std::size_t imageSize;
        End end = End::Done;
        std::uint64_t at = 0;
        std::size_t sent = 0;  // by a run that stops: the first reports of a whole run
        const char* says = "";
        std::vector<float> barWidths = {};  // empty: not checked
    };
    using enum End;
    // 11980 bytes: 300 record reads; start is request 0, erase 1, record k is k + 1, finish 302.
    const Case cases[] = {
        {Update, App, 65, 80, Done, 0, 0, "", {0, 1685, 3370, 5055, 0}},  // the last read: empty
        {Update, App, 65, 85, Done, 0, 0, "", {0, 1685, 3370, 5055, 0}},  // bytes 81 to 85
        {Update, App, 65, 30, NewImage, 0, 0, "", {0, 5055, 0}},
        {Update, App, 49, 160, Done, 0, 0, "", {0, 1011, 2022, 3033, 4044, 5055, 0}},
        {Update, App, 64, 999 * 40},  // a count of 1000: E8 03 00 00
        {Update, App, 65, 11980, Fail, 0, 1, "did not accept the start of the update"},
        {Update, App, 65, 11980, Fail, 1, 2, "did not accept the erase command"},
        {Update, App, 65, 11980, Fail, 18, 19,
         "The device did not accept record 17 of 300. Its firmware is incomplete: run the update "
         "again."},
        {Update, App, 65, 11980, Unplug, 18, 19, "did not accept record 17 of 300"},
        {Update, App, 65, 11980, Fail, 302, 303, "did not accept the end of the update"},
        {Update, App, 65, 11980, CancelAdvance, 2, 4, "after 2 of 300 records"},
        {Download, Boot, 65, 120, Done, 0, 0, "", {0, 1263.75f, 2527.5f, 3791.25f}},
        {Download, Boot, 65, 85, Done, 0, 0, "", {0, 1685, 3370, 5055}},  // the tail zero-padded
        {Download, Boot, 65, 1'310'679},  // the largest image the 16-bit count can hold
        {Download, Boot, 65, 120, Fail, 1, 2, "did not accept record 2 of 3"},
        {Download, Boot, 65, 120, CancelAdvance, 1, 1, "cancelled after 1 of 3"},
        {Upgrade, App, 65, 85, Done, 0, 0, "", {0, 1685, 3370, 5055}},
        {Upgrade, Boot, 65, 85},  // already in the bootloader: no magic
        {Upgrade, App, 65, 85, NewImage},
        {Upgrade, App, 65, 85, MagicLost},
        {Upgrade, App, 65, 85, NeverBack, 0, 1,
         "not come back in bootloader mode within 30 seconds"},
        {Upgrade, App, 65, 85, CancelEvents, 2, 1, "cancelled"},
        {EraseChip, App, 4, 0},
        {EraseChip, App, 65, 0},
        {EraseChip, App, 65, 0, Fail, 0, 1},
        {EnterBootloader, App, 4, 0},
        {EnterBootloader, App, 65, 0},
        {EnterBootloader, App, 65, 0, Fail, 0, 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << "case " << &c - cases);
        OperationRig rig;
        DeviceConfig config;
        config.mode = c.mode;
        config.featureReportLength = c.reportLength;
        config.faults.bootloaderEntryTransferFails = c.end == MagicLost;
        if (c.end == Fail)
            config.faults.failTransfersFrom = c.at;
        if (c.end == Unplug)
            config.faults.unplugAtRequest = c.at;
        if (c.end == NeverBack)
            config.reenumerationDelay.reset();
        rig.plugIn(config);
        const fs::path imageFile = rig.file(c.run == Update ? UpdateImageName : DownloadImageName);
        const Bytes image = imageBytes(c.imageSize);
        writeFile(imageFile, image);
        const Call cancelOn = c.end == CancelAdvance ? Call::AdvanceProgress : Call::ProcessEvents;
        rig.host.onCall = [&](const HostCall& call) {
            if (c.end == NewImage &&
                (call.call == Call::ProcessEvents || call.call == Call::ShowProgress))
                writeFile(imageFile, imageBytes(400, 5));
            if ((c.end == CancelAdvance || c.end == CancelEvents) && call.call == cancelOn &&
                rig.host.count(cancelOn) == c.at)
                rig.host.cancel = true;
        };
        const auto started = rig.bus.monotonicTime();

        const OperationResult result = (rig.operations().*c.run)();

        const bool stops = c.end >= Fail;
        EXPECT_EQ(result.outcome, !stops                             ? Outcome::Succeeded
                                  : c.end == Fail || c.end == Unplug ? Outcome::TransferFailed
                                  : c.end == NeverBack               ? Outcome::TimedOut
                                                                     : Outcome::Cancelled);
        EXPECT_NE(result.message.find(c.says), std::string::npos) << result.message;
        const bool magic = c.run == Upgrade && c.mode == App;
        auto expected = expectedReports(c.run, c.reportLength, image, magic);
        if (stops)
            expected.resize(c.sent);
        EXPECT_EQ(rig.reportsSent(), expected);
        if (!c.barWidths.empty()) {
            EXPECT_EQ(rig.host.barWidths(), c.barWidths);
        }
        EXPECT_EQ(rig.bus.state(rig.devicePath).finishedComplete, c.run == Update && !stops);
        EXPECT_EQ(rig.host.texts(Call::ShowError),
                  stops ? std::vector{result.message} : std::vector<std::string>{});
        EXPECT_TRUE(rig.host.endsWith(endingOf(c.run, stops)));
        EXPECT_EQ(rig.host.count(Call::Unload), c.run == Download || c.run == Upgrade ? 1u : 0u);
        EXPECT_EQ(rig.bus.openHandleCount(), leavesConnectionOpen(c.run) ? 2 : 0);
        const auto waited = rig.bus.monotonicTime() - started;
        if (c.end == NeverBack) {
            EXPECT_GE(waited, 30s);
            EXPECT_LT(waited, 30s + 200ms);
        }
        if (stops)
            continue;
        // The update pauses 2 ms after start and erase; each wait cycle of the upgrade sleeps
        // 100 ms, searches and passes over the events once; nothing else waits.
        const auto waits = rig.host.count(Call::ProcessEvents);
        EXPECT_EQ(rig.log.sleeps(),
                  (c.run == Update ? std::vector{2ms, 2ms} : std::vector(waits, 100ms)));
        if (c.run == Upgrade) {
            EXPECT_EQ(waits, magic ? 3u : 1u);  // the device is back 300 ms after the magic
            EXPECT_EQ(rig.host.sequence()[1], Call::ShowUpgradeBusy);
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
        DeviceConfig config;
        config.featureReportLength = c.reportLength;
        config.mode = c.run == Download ? Boot : App;
        if (c.reportLength > 0)
            rig.plugIn(config);
        else
            rig.bus.addDevice(config);
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
    std::vector<bool> refused;  // busy, with a message
    rig.host.onCall = [&](const HostCall& call) {
        for (const auto run : {Update, Download, Upgrade, Dump, EraseChip, EnterBootloader}) {
            if (call.call == Call::ShowProgress) {
                const auto nested = (rig.operations().*run)();
                refused.push_back(nested.outcome == Outcome::Busy && !nested.message.empty());
            }
        }
    };

    EXPECT_EQ(rig.operations().update().outcome, Outcome::Succeeded);

    EXPECT_EQ(refused, std::vector<bool>(6, true));
    EXPECT_EQ(rig.reportsSent().size(), 6u);  // start, erase, three records, finish
    EXPECT_EQ(rig.host.count(Call::BusyChanged), 2u);
    EXPECT_FALSE(rig.operations().busy());
}

}  // namespace
}  // namespace fwu::firmware::testing

// Every operation but the dump (which has a file of its own): the reports it sends, how it
// stops, what it refuses before it sends anything, and the guard around all of them.
#include <gtest/gtest.h>

#include <limits>
#include <set>

#include "device/protocol.h"
#include "fake_sleep_inhibitor.h"
#include "firmware/messages.h"
#include "firmware/sleep_guard.h"
#include "operations_fixture.h"

namespace fwu::firmware::testing {
namespace {

constexpr auto Update = Operation::Update;
constexpr auto Download = Operation::Download;
constexpr auto Upgrade = Operation::Upgrade;
constexpr auto Dump = Operation::Dump;
constexpr auto Verify = Operation::Verify;
constexpr auto EraseChip = Operation::EraseChip;
constexpr auto EnterBootloader = Operation::EnterBootloader;
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
std::vector<Bytes> expectedReports(Operation run, std::size_t length, const Bytes& image,
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
std::vector<Call> endingOf(Operation run, bool failed) {
    std::vector<Call> ending;
    if (run == Update)
        ending = {Call::ClearProgress, Call::DisableUpdateButton, Call::ClearProductAndVersion};
    if (failed)
        ending.push_back(Call::ShowError);
    if (run == Download || run == Upgrade)
        ending.push_back(Call::Unload);
    ending.push_back(Call::BusyChanged);
    return ending;
}

// How a run ends: it runs through, also when every operation is started again while it runs
// (they are refused: it is busy), or when the image file changes once read (it is read once),
// or when the device leaves while it takes the magic; or the request `at` fails or unplugs the
// device; the `at`-th advance, or event pass of the wait, cancels; the device never comes back.
enum class End { Done, Busy, NewImage, MagicLost, Fail, Unplug, Cancel, CancelWait, NeverBack };

TEST(Operations, SendTheirReportsOrStopAtOnceSayingWhere) {
    struct Case {
        Operation run;
        DeviceMode mode;
        std::uint16_t reportLength;
        std::size_t imageSize;
        End end = End::Done;
        std::uint64_t at = 0;
        std::size_t sent = 0;  // by a run that stops: the first reports of a whole run
        const char* says = "";
        const char* progressSteps = "";  // empty: not checked
    };
    using enum End;
    // 11980 bytes: 300 record reads; start is request 0, erase 1, record k is k + 1, finish 302.
    const Case cases[] = {
        {Update, App, 65, 80, Done, 0, 0, "", "shown 1/3 2/3 3/3 cleared"},  // the last read: empty
        {Update, App, 65, 85, Done, 0, 0, "", "shown 1/3 2/3 3/3 cleared"},  // bytes 81 to 85
        {Update, App, 65, 30, NewImage, 0, 0, "", "shown 1/1 cleared"},
        {Update, App, 65, 80, End::Busy},
        {Update, App, 49, 160, Done, 0, 0, "", "shown 1/5 2/5 3/5 4/5 5/5 cleared"},
        {Update, App, 64, 999 * 40},  // a count of 1000: E8 03 00 00
        {Update, App, 65, 11980, Fail, 0, 1, "did not accept the start of the update"},
        {Update, App, 65, 11980, Fail, 1, 2, "did not accept the erase command"},
        {Update, App, 65, 11980, Fail, 18, 19,
         "The device did not accept record 17 of 300. Its firmware is incomplete: run the update "
         "again."},
        {Update, App, 65, 11980, Unplug, 18, 19, "did not accept record 17 of 300"},
        {Update, App, 65, 11980, Fail, 302, 303, "did not accept the end of the update"},
        {Update, App, 65, 11980, Cancel, 2, 4, "after 2 of 300 records"},
        {Download, Boot, 65, 120, Done, 0, 0, "", "shown 1/4 2/4 3/4"},
        {Download, Boot, 65, 85, Done, 0, 0, "", "shown 1/3 2/3 3/3"},  // the tail zero-padded
        {Download, Boot, 65, 1'048'576},  // the largest image the flash holds
        {Download, Boot, 65, 120, Fail, 1, 2, "did not accept record 2 of 3"},
        {Download, Boot, 65, 120, Cancel, 1, 1, "cancelled after 1 of 3"},
        {Upgrade, App, 65, 85, Done, 0, 0, "", "shown 1/3 2/3 3/3"},
        {Upgrade, Boot, 65, 85},  // already in the bootloader: no magic
        {Upgrade, App, 65, 85, NewImage},
        {Upgrade, App, 65, 85, MagicLost},
        {Upgrade, App, 65, 85, NeverBack, 0, 1,
         "not come back in bootloader mode within 30 seconds"},
        {Upgrade, App, 65, 85, CancelWait, 2, 1, "cancelled"},
        {EraseChip, App, 4, 0},  // the shortest report; at 65 bytes, the failed send below
        {EraseChip, App, 65, 0, Fail, 0, 1},
        {EnterBootloader, App, 4, 0},
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
        const Call cancelOn = c.end == Cancel ? Call::AdvanceProgress : Call::ProcessEvents;
        rig.host.onCall = [&](const HostCall& call) {
            if (c.end == NewImage &&
                (call.call == Call::ProcessEvents || call.call == Call::ShowProgress))
                writeFile(imageFile, imageBytes(400, 5));
            for (const auto other : {Update, Download, Upgrade, Dump, EraseChip, EnterBootloader}) {
                if (c.end == End::Busy && call.call == Call::ShowProgress) {
                    const auto nested = rig.operations().run(other);
                    EXPECT_TRUE(nested.outcome == Outcome::Busy && !nested.message.empty());
                }
            }
            if ((c.end == Cancel || c.end == CancelWait) && call.call == cancelOn &&
                rig.host.count(cancelOn) == c.at)
                rig.host.cancel = true;
        };

        const OperationResult result = rig.operations().run(c.run);

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
        if (*c.progressSteps) {
            EXPECT_EQ(rig.host.progressSteps(), c.progressSteps);
        }
        EXPECT_EQ(rig.bus.state(rig.devicePath).finishedComplete, c.run == Update && !stops);
        EXPECT_EQ(rig.host.texts(Call::ShowError),
                  stops ? std::vector{result.message} : std::vector<std::string>{});
        EXPECT_TRUE(rig.host.endsWith(endingOf(c.run, stops)));
        EXPECT_EQ(rig.host.count(Call::BusyChanged), 2u);
        EXPECT_EQ(rig.host.count(Call::Unload), c.run == Download || c.run == Upgrade ? 1u : 0u);
        EXPECT_EQ(rig.bus.openHandleCount(),
                  c.run == EraseChip || c.run == EnterBootloader ? 2 : 0);
        if (stops && c.end != NeverBack)
            continue;
        // The update pauses 2 ms after start and erase; each wait cycle of the upgrade sleeps
        // 100 ms, searches and passes over the events once, for 30 s at most; nothing else waits.
        const auto waits = rig.host.count(Call::ProcessEvents);
        EXPECT_EQ(rig.log.sleeps(),
                  (c.run == Update ? std::vector{2ms, 2ms} : std::vector(waits, 100ms)));
        if (c.run == Upgrade) {
            // The device is back 300 ms after the magic, or never.
            EXPECT_EQ(waits, c.end == NeverBack ? 300u : magic ? 3u : 1u);
            EXPECT_EQ(rig.host.sequence()[1], Call::ShowUpgradeBusy);
        }
    }
}

// Without a device (no search ran) nothing is sent and nothing is said; the update retires its
// button and labels all the same.
TEST(Operations, RefuseBeforeSendingAnythingAndChangeNothing) {
    struct Case {
        Operation run;
        std::intmax_t imageSize;     // of the operation's image; -1: none
        const char* folderAt;        // a folder planted at this path of the program's folder
        std::uint16_t reportLength;  // 0: the device was never searched for
        Outcome outcome;
        const char* says;
    };
    constexpr auto File = Outcome::FileProblem;
    constexpr auto Short = Outcome::ReportTooShort;
    constexpr auto None = Outcome::NoDevice;
    const Case cases[] = {{Update, -1, nullptr, 65, File, "Cannot find"},
                          {Update, -1, UpdateImageName, 65, File, "is not a file"},
                          {Update, 0, nullptr, 65, File, "is empty"},
#ifndef _WIN32  // sparse: never read (Windows would allocate it)
                          {Update, std::intmax_t{std::numeric_limits<std::int32_t>::max()} * 40,
                           nullptr, 65, File, "larger than"},
#endif
                          // Every image written must fit into the flash.
                          {Update, 1'048'577, nullptr, 65, File, "1048576 bytes"},
                          {Update, 80, nullptr, 48, Short, "at least 49"},
                          {Download, -1, nullptr, 65, File, "Cannot find"},
                          {Download, 1'048'577, nullptr, 65, File, "1048576 bytes"},
                          {Download, 80, nullptr, 40, Short, "at least 41"},
                          // The upgrade checks the image before it switches the device.
                          {Upgrade, 1'048'577, nullptr, 65, File, "1048576 bytes"},
                          {Dump, -1, nullptr, 35, Short, "at least 36"},
                          {Verify, -1, nullptr, 65, File, "Cannot find"},
                          {Verify, 1'048'577, nullptr, 65, File, "larger than the device's flash"},
                          {Verify, 80, nullptr, 35, Short, "The verification needs"},
                          {Dump, -1, "Ombrel.bin.part/in", 65, File, "Cannot create"},
                          {EraseChip, -1, nullptr, 3, Short, ""},
                          {EnterBootloader, -1, nullptr, 3, Short, ""},
                          {Update, 80, nullptr, 0, None, ""},
                          {Download, 80, nullptr, 0, None, ""},
                          {Upgrade, 80, nullptr, 0, None, ""},
                          {Dump, -1, nullptr, 0, None, ""},
                          {Verify, 80, nullptr, 0, None, ""},
                          {EraseChip, -1, nullptr, 0, None, ""},
                          {EnterBootloader, -1, nullptr, 0, None, ""}};
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << "case " << &c - cases);
        OperationRig rig;
        DeviceConfig config;
        config.featureReportLength = c.reportLength;
        config.mode = c.run == Download ? Boot : App;
        if (c.reportLength > 0)
            rig.plugIn(config);
        else
            rig.bus.addDevice(config);
        const bool velnor = c.run == Update || c.run == Verify;
        const fs::path image = rig.file(velnor ? UpdateImageName : DownloadImageName);
        if (c.imageSize >= 0) {
            writeFile(image, {});
            fs::resize_file(image, static_cast<std::uintmax_t>(c.imageSize));
        }
        if (c.folderAt)
            fs::create_directories(rig.file(c.folderAt));

        const OperationResult result = rig.operations().run(c.run);

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

// Each operation against a device in each mode: the mode it does not write is refused before
// anything is sent, saying what to do instead, and the connection is left as it was, also when
// the verification searches for the device again; the other mode runs. The upgrade takes
// either: it switches a device in application mode first.
TEST(Operations, RefuseADeviceInTheModeTheyDoNotWrite) {
    const struct {
        Operation run;
        std::optional<DeviceMode> refused;
        const char* says;
    } cases[] = {
        {Update, Boot, "(`load` on the command line)"},
        {Download, App, "(`upgrade` on the command line)"},
        {Upgrade, std::nullopt, ""},
        {Dump, Boot, "does not answer flash reads"},
        {Verify, Boot, "does not answer flash reads"},
        {EraseChip, Boot, "The erase command is for a device in application mode."},
        {EnterBootloader, Boot, "in its bootloader already"},
    };
    for (const auto& c : cases) {
        for (const DeviceMode mode : {App, Boot}) {
            for (const bool closedFirst : {false, c.run == Verify}) {
                SCOPED_TRACE(::testing::Message() << "case " << &c - cases
                                                  << (mode == App ? " application" : " bootloader")
                                                  << (closedFirst ? ", found again" : ""));
                OperationRig rig;
                rig.settings.dumpBlockCount = 4;
                DeviceConfig config;
                config.mode = mode;
                rig.plugIn(config);
                writeFile(rig.file(UpdateImageName), imageBytes(85));
                writeFile(rig.file(DownloadImageName), imageBytes(85));
                if (closedFirst)
                    rig.link.closeConnection();

                const OperationResult result = rig.operations().run(c.run);

                if (mode != c.refused) {
                    EXPECT_NE(result.outcome, Outcome::WrongMode) << result.message;
                    EXPECT_FALSE(rig.reportsSent().empty());
                    continue;
                }
                EXPECT_EQ(result.outcome, Outcome::WrongMode);
                EXPECT_NE(result.message.find(c.says), std::string::npos) << result.message;
                EXPECT_NE(result.message.find("Nothing was sent to it."), std::string::npos);
                rig.expectRefusedQuietly(result);
                EXPECT_TRUE(rig.link.isOpen());
            }
        }
    }
}

// A device that another program holds is refused by every operation, with nothing sent; once that
// program has let go, the next run searches again and takes it. An upgrade whose device another
// program takes in bootloader mode stops at once, before the download.
TEST(Operations, RefuseADeviceThatAnotherProgramHolds) {
    const platform::DeviceHolder holder{"station", 77};
    for (const Operation run :
         {Update, Download, Upgrade, Dump, Verify, EraseChip, EnterBootloader}) {
        SCOPED_TRACE(static_cast<int>(run));
        OperationRig rig;
        DeviceConfig config;
        config.faults.heldByAnotherProgram = holder;
        rig.devicePath = rig.bus.addDevice(config);
        EXPECT_FALSE(rig.link.findTheHid());
        const OperationResult result = rig.operations().run(run);
        EXPECT_EQ(result.outcome, Outcome::Busy);
        EXPECT_EQ(result.message, messages::deviceInUse(rig.devicePath, holder));
        EXPECT_TRUE(rig.bus.transcript().empty());
        EXPECT_EQ(rig.host.texts(Call::ShowError), std::vector<std::string>{result.message});

        rig.bus.config(rig.devicePath).faults.heldByAnotherProgram.reset();
        rig.host.calls.clear();
        EXPECT_NE(rig.operations().run(run).outcome, Outcome::Busy);
        EXPECT_FALSE(rig.bus.transcript().empty() && rig.host.texts(Call::ShowError).empty());
    }

    OperationRig rig;
    writeFile(rig.file(DownloadImageName), imageBytes(80));
    rig.plugIn();
    rig.host.onCall = [&](const HostCall& call) {
        if (call.call == Call::ProcessEvents)  // waiting: the device is restarting
            rig.bus.config(rig.devicePath).faults.heldByAnotherProgram = holder;
    };
    const OperationResult result = rig.operations().run(Upgrade);
    EXPECT_EQ(result.outcome, Outcome::Busy);
    EXPECT_EQ(result.message, messages::upgradeBootloaderInUse("sim:hid1", holder));
    EXPECT_EQ(rig.reportsSent().size(), 1u) << "the magic only";
}

// A path given explicitly is named as given, and the advice is about it, never about the
// program's folder; the program's own files keep that advice.
TEST(Operations, AdviseOnAGivenPathNotOnTheProgramFolder) {
    struct Case {
        Operation run;
        const char* given;  // under the test's folder; nullptr: the program's own file
        const char* says;   // % stands for the folder of the given path
    };
    const Case cases[] = {
        {Update, "missing/nonexist.bin", "Check the path of the image file and try again."},
        {Download, "sub",
         "is not a file. Nothing was sent to the device. Give the path of the "
         "image file itself"},
        {Dump, "missing/x.bin",
         "Nothing was read from the device. The dump cannot be written in the folder %, which "
         "does not exist: choose a folder that exists and can be written"},
        {Dump, "sub/x.bin",
         "Make sure a new file can be written in the folder %, or choose a "
         "folder that can be written, then run the dump again."},
        {Update, nullptr, "Put the image file next to the program"},
        {Dump, nullptr, "Make sure the program's folder can be written"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << "case " << &c - cases);
        OperationRig rig;
        DeviceConfig config;
        config.mode = c.run == Download ? Boot : App;
        rig.plugIn(config);
        fs::create_directories(rig.file("sub/x.bin.part/in"));  // a partial file never created
        fs::create_directories(rig.file("Ombrel.bin.part/in"));
        ProgramFiles files{rig.folder.path()};
        const std::optional<fs::path> given =
            c.given ? std::optional(rig.file(c.given)) : std::nullopt;
        (c.run == Update     ? files.updateImageOverride
         : c.run == Download ? files.downloadImageOverride
                             : files.dumpFileOverride) = given;
        std::string says = c.says;
        if (const auto mark = says.find('%'); mark != std::string::npos)
            says.replace(mark, 1, messages::displayPath(given->parent_path()));

        const OperationResult result = FirmwareOperations(rig.link, rig.host, files).run(c.run);

        EXPECT_EQ(result.outcome, Outcome::FileProblem);
        EXPECT_NE(result.message.find(says), std::string::npos) << result.message;
        if (given) {
            EXPECT_NE(result.message.find(messages::displayPath(*given)), std::string::npos);
            for (const char* misleading : {"next to the program", "program's folder"})
                EXPECT_EQ(result.message.find(misleading), std::string::npos) << result.message;
        }
        rig.expectRefusedQuietly(result);
    }
}

// The system is kept awake at every report of a write and no longer: not while the box says how
// the write ended, which the person may leave open for hours.
TEST(Operations, LetTheSystemSleepAgainBeforeSayingHowTheWriteEnded) {
    for (const auto& [run, mode] : {std::pair(Update, App), std::pair(Download, Boot),
                                    std::pair(Upgrade, App), std::pair(EraseChip, App)}) {
        SCOPED_TRACE(static_cast<int>(run));
        OperationRig rig;
        DeviceConfig config;
        config.mode = mode;
        config.faults.failTransfersFrom = run == EraseChip ? 0 : 3;
        rig.plugIn(config);
        writeFile(rig.file(run == Update ? UpdateImageName : DownloadImageName), imageBytes(200));
        SleepRecord sleep;
        SleepGuard guard(std::make_unique<FakeSleepInhibitor>(sleep));
        rig.settings.sleepGuard = &guard;
        std::set<int> heldAtReports, heldAtBox;
        rig.bus.setTranscriptObserver([&](const simulator::TranscriptEntry& entry) {
            if (entry.direction == Direction::HostToDevice)
                heldAtReports.insert(sleep.held);
        });
        rig.host.onCall = [&](const HostCall& call) {
            if (call.call == Call::ShowError)
                heldAtBox.insert(sleep.held);
        };

        EXPECT_EQ(rig.operations().run(run).outcome, Outcome::TransferFailed);

        EXPECT_EQ(heldAtReports, std::set<int>{1});
        EXPECT_EQ(heldAtBox, std::set<int>{0});
    }
}

}  // namespace
}  // namespace fwu::firmware::testing

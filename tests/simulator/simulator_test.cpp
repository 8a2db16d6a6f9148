// The simulated platform: the device side of the protocol, and the bus with its faults and
// re-enumeration. Reports are built by hand, independent of the host's report builders.
#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <numeric>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "device/protocol.h"
#include "simulator/demo_setup.h"
#include "simulator/simulated_bus.h"
#include "simulator/simulated_device.h"

namespace fwu::simulator::testing {
namespace {

using Bytes = std::vector<std::uint8_t>;
using std::chrono::milliseconds;
using namespace protocol;
using namespace platform;

constexpr std::size_t ReportLength = 65;

// `length` zero bytes with each field written from its position on, cut at the end.
Bytes report(std::initializer_list<std::pair<std::size_t, Bytes>> fields,
             std::size_t length = ReportLength) {
    Bytes bytes(length, 0);
    for (const auto& [position, field] : fields) {
        for (std::size_t i = 0; i < field.size() && position + i < length; ++i)
            bytes[position + i] = field[i];
    }
    return bytes;
}

Bytes command(std::uint8_t code, std::size_t length = ReportLength) {
    return report({{CommandPosition, {code}}}, length);
}

// 40 bytes counting up from `first`, so each record and each place in it shows.
Bytes recordBytes(std::uint8_t first) {
    Bytes record(ImageRecordSize);
    std::iota(record.begin(), record.end(), first);
    return record;
}

Bytes writeRecord(std::uint8_t first, std::size_t length = ReportLength) {
    return report(
        {{CommandPosition, {WriteRecordCommand}}, {WriteRecordPosition, recordBytes(first)}},
        length);
}

Bytes bootloaderRecord(std::uint8_t first, std::size_t length = ReportLength) {
    return report({{BootloaderRecordPosition, recordBytes(first)}}, length);
}

Bytes enterBootloader(std::size_t length = ReportLength) {
    return report(
        {{CommandPosition, Bytes(EnterBootloaderMagic.begin(), EnterBootloaderMagic.end())}},
        length);
}

Bytes join(std::initializer_list<Bytes> parts) {
    Bytes joined;
    for (const Bytes& part : parts)
        joined.insert(joined.end(), part.begin(), part.end());
    return joined;
}

// Which of `reports` the device took (1) or refused (0), then where its sequence ended.
std::string play(SimulatedDevice& device, const std::vector<Bytes>& reports) {
    std::string taken;
    for (const Bytes& bytes : reports)
        taken += device.receiveSetFeature(bytes) == SetOutcome::Refused ? '0' : '1';
    const DeviceState& state = device.state();
    const auto announced = state.announcedRecordCount;
    return taken + ", announced " + (announced ? std::to_string(*announced) : "none") + ", " +
           std::to_string(state.recordsReceived) + " records" +
           (state.finishedComplete ? ", complete" : "");
}

TEST(SimulatedDevice, TakesOrRefusesEachReportAndJudgesTheSequence) {
    const Bytes S = command(StartCommand), F = command(FinishCommand), M = enterBootloader();
    const auto E = [](Bytes count, std::size_t length = ReportLength) {
        return report({{CommandPosition, {EraseCommand}}, {CountPosition, count}}, length);
    };
    const Bytes E3 = E({3, 0, 0, 0});
    const auto W = [](std::uint8_t first) { return writeRecord(first); };
    const auto R = [](std::uint8_t first) { return recordBytes(first); };
    const auto A = DeviceMode::Application;
    const struct {
        DeviceMode mode;
        std::vector<Bytes> reports;
        const char* expected;
        Bytes written;  // how the flash starts; the whole bootloader image in bootloader mode
    } rows[] = {
        // clang-format off
        {A, {S, E3, W(0), W(50), W(100), F}, "111111, announced 3, 3 records, complete",
         join({R(0), R(50), R(100), {0xFF}})},
        {A, {S, E3, W(0), W(50), F}, "11111, announced 3, 2 records", join({R(0), R(50), {0xFF}})},
        {A, {S, E3, W(0), W(0), W(0), W(0), F}, "1111111, announced 3, 4 records", {}},
        {A, {S, E({0, 0, 0, 0}), F}, "111, announced 0, 0 records, complete", {0xFF}},
        {A, {S, E(Bytes(4, 0xFF)), F}, "111, announced -1, 0 records", {}},
        {A, {S, F}, "11, announced none, 0 records", {}},
        {A, {E({0xE8, 0x03, 0, 0})}, "1, announced 1000, 0 records", {}},
        {A, {E({0, 0, 0, 0x80})}, "1, announced -2147483648, 0 records", {}},
        {A, {E({0xE8, 3, 0, 0}, 4)}, "1, announced 0, 0 records", {}},  // count cut off
        // a start begins the sequence again
        {A, {E({1, 0, 0, 0}), W(1), F, S, W(9)}, "11111, announced none, 1 records", R(9)},
        // too short, unknown, or of another report ID; then just long enough
        {A, {{}, {0}, {1, StartCommand}, command(9), writeRecord(1, 48), enterBootloader(3)},
         "000000, announced none, 0 records", {}},
        {A, {command(StartCommand, 2), writeRecord(1, 49)}, "11, announced none, 1 records", R(1)},
        {DeviceMode::Bootloader, {bootloaderRecord(1, 40), {}, bootloaderRecord(1, 41), M},
         "0011, announced none, 0 records", join({R(1), {M.begin() + 1, M.begin() + 41}})},
        // clang-format on
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(::testing::Message() << "row " << (&row - rows));
        DeviceConfig config;
        config.mode = row.mode;
        SimulatedDevice device(config, SimulatedDevice::Kind::Family);
        EXPECT_EQ(play(device, row.reports), row.expected);
        const DeviceState& state = device.state();
        const Bytes& written = row.mode == A ? state.flash : state.bootloaderImage;
        EXPECT_TRUE(std::equal(row.written.begin(), row.written.end(), written.begin()));
        EXPECT_EQ(state.bootloaderImage.size(), row.mode == A ? 0 : row.written.size());
        Bytes answer(ReportLength, 0);
        EXPECT_TRUE(row.mode == A || !device.answerGetFeature(answer)) << "a bootloader read";
    }
}

TEST(SimulatedDevice, WritesStopAtTheFlashEnd) {
    SimulatedDevice device({}, SimulatedDevice::Kind::Family);
    for (std::size_t i = 0; i < FlashSize / ImageRecordSize + 2; ++i)
        ASSERT_EQ(device.receiveSetFeature(writeRecord(7)), SetOutcome::Accepted);
    EXPECT_EQ(device.state().writePosition, FlashSize);
    const auto tail = static_cast<std::ptrdiff_t>(FlashSize % ImageRecordSize);
    const Bytes record = recordBytes(7);
    EXPECT_TRUE(
        std::equal(record.begin(), record.begin() + tail, device.state().flash.end() - tail));
}

TEST(SimulatedDevice, BlockReadsAnswerSuccessiveBlocksAmidNonZeroFiller) {
    const struct {
        std::uint16_t reportLength;
        std::size_t requestLength;
        std::optional<std::size_t> shortBlockReads;
        std::size_t delivered;
    } reads[] = {
        {65, 65, {}, 65}, {65, 66, {}, 65}, {65, 40, {}, 40}, {20, 65, {}, 20}, {65, 65, 10, 10}};
    for (const auto& read : reads) {
        SCOPED_TRACE(::testing::Message() << read.reportLength << "/" << read.requestLength);
        DeviceConfig config;
        config.featureReportLength = read.reportLength;
        config.faults.shortBlockReads = read.shortBlockReads;
        SimulatedDevice device(config, SimulatedDevice::Kind::Family);
        Bytes answer(read.requestLength, 0), empty;
        EXPECT_FALSE(device.answerGetFeature(answer)) << "a block read before any start";
        device.receiveSetFeature(command(StartCommand));
        EXPECT_FALSE(device.answerGetFeature(empty)) << "no room even for the report ID";
        device.answerGetFeature(answer);
        device.receiveSetFeature(command(StartCommand));  // reads from block 0 again
        const Bytes& flash = device.state().flash;
        const bool wholeFlash = &read == reads;
        std::set<Bytes> distinct;
        for (std::size_t block = 0; block < (wholeFlash ? BlockCount : 3); ++block) {
            std::fill(answer.begin(), answer.end(), 0);
            ASSERT_EQ(device.answerGetFeature(answer), read.delivered);
            for (std::size_t position = 1; position < answer.size(); ++position) {
                const std::size_t offset = position - BlockDataPosition;
                if (position >= read.delivered)
                    EXPECT_EQ(answer[position], 0) << position;
                else if (offset < BlockSize)
                    EXPECT_EQ(answer[position], flash[block * BlockSize + offset]);
                else
                    EXPECT_NE(answer[position], 0) << "filler at " << position;
            }
            distinct.emplace(answer.begin() + 4, answer.begin() + 36);
        }
        if (wholeFlash) {
            EXPECT_FALSE(device.answerGetFeature(answer)) << "past the flash end";
            EXPECT_EQ(flash, initialFlashContents(std::nullopt)) << "the pattern repeats";
            EXPECT_EQ(distinct.size(), BlockCount) << "every block differs";
        }
    }
}

TEST(SimulatedDevice, GivenFlashContentsArePaddedOrCut) {
    EXPECT_EQ(initialFlashContents(Bytes{1, 2, 3}), join({{1, 2, 3}, Bytes(FlashSize - 3, 0xFF)}));
    EXPECT_EQ(initialFlashContents(Bytes(FlashSize + 5, 7)), Bytes(FlashSize, 7));
}

using Paths = std::vector<std::string>;

std::string hex(const std::optional<Attributes>& ids) {
    char text[24] = "no IDs";
    if (ids)
        std::snprintf(text, sizeof text, "%04x:%04x:%04x", ids->vendorId, ids->productId,
                      ids->versionNumber);
    return text;
}

std::vector<std::string> listedPaths(SimulatedBus& bus) {
    std::vector<std::string> paths;
    for (const InterfaceEntry& entry : bus.enumerateInterfaces())
        paths.push_back(entry.path);
    return paths;
}

// What a host meets at `path`, as one line: the IDs before opening, "pathless" when the
// listing gives no path; the open's failure, or the IDs after opening where they differ, the
// feature report length and the serial number read into 6 bytes of 0xAA; then start, read,
// write, read, write, read (1 or the bytes delivered, 0 failed); the requests the device
// counted and the clock; whether it is gone a minute later. Its handle stays counted until
// closed and closes once; the transcript and its observer hold what crossed the bus.
std::string survey(SimulatedBus& bus, const std::string& path) {
    std::vector<TranscriptEntry> observed;
    bus.setTranscriptObserver([&](const TranscriptEntry& entry) { observed.push_back(entry); });
    bus.sleep(milliseconds(-5));
    const std::string ids = hex(bus.attributesWithoutOpening(path));
    std::string seen = ids + (listedPaths(bus) == Paths{path} ? ":" : " pathless:");
    const OpenResult opened = bus.open(path, OpenMode::Plain);
    if (!opened.handle) {
        return seen + (opened.error == OpenError::PermissionDenied ? " denied" : " refused") +
               (bus.openHandleCount() == 0 ? "" : " yet counted");
    }
    const Handle handle = *opened.handle;
    if (hex(bus.attributes(handle)) != ids)
        seen += " opened " + hex(bus.attributes(handle));
    seen += " " + std::to_string(bus.capabilities(handle)->featureReportByteLength) + " ";
    Bytes serial(6, 0xAA), answer(ReportLength, 0);
    if (!bus.identityString(handle, IdentityString::SerialNumber, serial))
        serial.clear();
    for (const std::uint8_t byte : serial) {
        char digits[4];
        std::snprintf(digits, sizeof digits, "%02x", byte);
        seen += digits;
    }
    seen += ";";
    for (std::size_t i = 0; i < 6; ++i) {
        const Bytes sent = i == 0 ? command(StartCommand) : writeRecord(1);
        std::optional<std::size_t> delivered;
        if (i % 2 == 0 && bus.setFeature(handle, sent))
            delivered = 1;
        if (i % 2 == 1)
            delivered = bus.getFeature(handle, answer);
        seen += " " + std::to_string(delivered.value_or(0));
        const Bytes crossed =
            i % 2 == 0 ? sent : Bytes(answer.begin(), answer.begin() + delivered.value_or(0));
        for (const TranscriptEntry& entry : {bus.transcript().at(i), observed.at(i)}) {
            EXPECT_EQ(entry.succeeded, delivered.has_value()) << i;
            EXPECT_EQ(entry.direction,
                      i % 2 == 0 ? Direction::HostToDevice : Direction::DeviceToHost);
            EXPECT_EQ(entry.bytes, crossed) << i;
            EXPECT_EQ(entry.devicePath, path);
        }
    }
    seen += "; " + std::to_string(bus.state(path).requests) + " in " +
            std::to_string(bus.monotonicTime().count()) + " ms";
    bus.sleep(milliseconds(60'000));
    const bool closedOnce = bus.openHandleCount() == 1 && bus.close(handle) && !bus.close(handle) &&
                            bus.openHandleCount() == 0;
    return seen + (listedPaths(bus).empty() ? ", gone" : "") + (closedOnce ? "" : ", handle?");
}

TEST(SimulatedBus, EachFaultOfThePlanHitsOnlyWhatItNames) {
    const std::pair<void (*)(DeviceConfig&), const char*> rows[] = {
        {[](DeviceConfig&) {}, "7a5d:0a11:0105: 65 530049004d00; 1 65 1 65 1 65; 6 in 0 ms"},
        {[](DeviceConfig& c) { c.applicationProductId = 0x0A12, c.versionNumber = 0x1234; },
         "7a5d:0a12:1234: 65 530049004d00; 1 65 1 65 1 65; 6 in 0 ms"},
        {[](DeviceConfig& c) { c.mode = DeviceMode::Bootloader; },
         "7a5d:0b1d:0105: 65 530049004d00; 1 0 1 0 1 0; 6 in 0 ms"},
        {[](DeviceConfig& c) { c.serialNumber = utf16Bytes(u"AB"); },
         "7a5d:0a11:0105: 65 410042000000; 1 65 1 65 1 65; 6 in 0 ms"},
        {[](DeviceConfig& c) {
             c.serialNumber.assign({65, 0, 0, 1});
         },
         "7a5d:0a11:0105: 65 41000001aaaa; 1 65 1 65 1 65; 6 in 0 ms"},
        {[](DeviceConfig& c) { c.featureReportLength = 40; },
         "7a5d:0a11:0105: 40 530049004d00; 1 40 1 40 1 40; 6 in 0 ms"},
        {[](DeviceConfig& c) { c.latencyPerTransfer = std::chrono::microseconds(1500); },
         "7a5d:0a11:0105: 65 530049004d00; 1 65 1 65 1 65; 6 in 9 ms"},
        {[](DeviceConfig& c) { c.faults.failTransfersFrom = 0; },
         "7a5d:0a11:0105: 65 530049004d00; 0 0 0 0 0 0; 6 in 0 ms"},
        {[](DeviceConfig& c) { c.faults.failTransfersFrom = 3; },
         "7a5d:0a11:0105: 65 530049004d00; 1 65 1 0 0 0; 6 in 0 ms"},
        {[](DeviceConfig& c) { c.faults.unplugAtRequest = 2; },
         "7a5d:0a11:0105: 65 530049004d00; 1 65 0 0 0 0; 3 in 0 ms, gone"},
        {[](DeviceConfig& c) {
             c.faults.hangAtRequest = 1, c.faults.hangDuration = milliseconds(45);
         },
         "7a5d:0a11:0105: 65 530049004d00; 1 0 1 65 1 65; 6 in 45 ms"},
        {[](DeviceConfig& c) { c.faults.failOpen = true; }, "7a5d:0a11:0105: refused"},
        {[](DeviceConfig& c) { c.faults.permissionDenied = true; }, "7a5d:0a11:0105: denied"},
        {[](DeviceConfig& c) { c.faults.failAttributes = true; },
         "no IDs: 65 530049004d00; 1 65 1 65 1 65; 6 in 0 ms"},
        {[](DeviceConfig& c) { c.faults.failIdentityStrings = true; },
         "7a5d:0a11:0105: 65 ; 1 65 1 65 1 65; 6 in 0 ms"},
        {[](DeviceConfig& c) { c.faults.noInterfacePath = true; },
         "7a5d:0a11:0105 pathless: 65 530049004d00; 1 65 1 65 1 65; 6 in 0 ms"},
        {nullptr, "1f3e:0042:0105: 0 ; 0 0 0 0 0 0; 6 in 0 ms"},  // a keyboard
    };
    for (const auto& [change, expected] : rows) {
        SimulatedBus bus;
        DeviceConfig config;
        if (change)
            change(config);
        const auto path = change ? bus.addDevice(config) : bus.addForeignDevice(0x1F3E, 0x0042);
        EXPECT_EQ(survey(bus, path), expected);
    }
}

TEST(SimulatedBus, AbsentPathsAndClosedHandlesReachNoDevice) {
    SimulatedBus bus;
    const std::string path = bus.addDevice({});
    const Handle handle = bus.open(path, OpenMode::Plain).handle.value();
    bus.unplug(path);
    for (const std::string& absent : {path, std::string{}, std::string{"sim:hid7"}}) {
        EXPECT_EQ(bus.open(absent, OpenMode::Plain).error, OpenError::NotPresent) << absent;
        EXPECT_FALSE(bus.attributesWithoutOpening(absent) || bus.state(absent).present) << absent;
    }
    EXPECT_THROW(bus.config("sim:hid7"), std::out_of_range);
    EXPECT_TRUE(bus.close(handle));
    EXPECT_FALSE(bus.setFeature(handle, command(StartCommand)) || bus.close(Handle{999}));
    EXPECT_TRUE(bus.transcript().empty()) << "a closed handle reaches no device";
    EXPECT_EQ(bus.openCount(), 1);
    int observed = 0;
    bus.setTranscriptObserver([&](const TranscriptEntry&) { ++observed; });
    bus.setTranscriptRecording(false);
    const Handle other = bus.open(bus.addDevice({}), OpenMode::Plain).handle.value();
    EXPECT_TRUE(bus.setFeature(other, command(StartCommand)) && bus.transcript().empty());
    EXPECT_EQ(observed, 1) << "the observer sees what is no longer recorded";
}

// A full USB bus: 127 devices, foreign ones among them, and no more.
TEST(SimulatedBus, HoldsAsManyDevicesAsAUsbBus) {
    SimulatedBus bus;
    for (std::size_t added = 1; added < MaxDevicesOnBus; ++added)
        bus.addForeignDevice(0x1F3E, 0x0042);
    EXPECT_EQ(bus.addDevice({}), "sim:hid126");
    EXPECT_THROW(bus.addDevice({}), std::length_error);
    EXPECT_THROW(bus.addForeignDevice(0x1F3E, 0x0042), std::length_error);
    EXPECT_EQ(bus.enumerateInterfaces().size(), MaxDevicesOnBus);
}

// The bus of --simulate keeps no transcript, which would grow with every report of a station's
// run; its observer still sees each report.
TEST(DemoSettings, TheDemoBusKeepsNoTranscript) {
    const auto bus = makeDemoBus(parseDemoSettings("clock=virtual;latency-us=0").settings.value());
    int observed = 0;
    bus->setTranscriptObserver([&](const TranscriptEntry&) { ++observed; });
    const Handle handle = bus->open("sim:hid0", OpenMode::Plain).handle.value();
    EXPECT_TRUE(bus->setFeature(handle, command(StartCommand)) && bus->transcript().empty());
    EXPECT_EQ(observed, 1);
}

// The magic sends the device away; after its delay it is back in its bootloader under a new
// path, still the same device, its request count going on, its old handle dead.
TEST(SimulatedBus, MagicSendsTheDeviceAwayAndBackInItsBootloaderUnderANewPath) {
    const struct {
        std::optional<milliseconds> delay;
        bool transferFails;
        bool unpluggedWhileAway;
        std::optional<std::uint64_t> failFrom;
    } runs[] = {{milliseconds(300), false, false, {}}, {milliseconds(0), false, false, {}},
                {std::nullopt, false, false, {}},      {milliseconds(50), true, false, {}},
                {milliseconds(300), false, true, {}},  {milliseconds(300), false, false, 2}};
    for (const auto& run : runs) {
        SCOPED_TRACE(::testing::Message() << "run " << (&run - runs));
        const auto& [delay, transferFails, unpluggedWhileAway, failFrom] = run;
        SimulatedBus bus;
        DeviceConfig config;
        config.reenumerationDelay = delay;
        config.faults.bootloaderEntryTransferFails = transferFails;
        config.faults.failTransfersFrom = failFrom;
        const std::string application = bus.addDevice(config);
        bus.addForeignDevice(0x1F3E, 0x0042);
        const Handle handle = bus.open(application, OpenMode::Plain).handle.value();
        EXPECT_EQ(bus.setFeature(handle, enterBootloader()), !transferFails);
        EXPECT_EQ(bus.state(application).enterBootloaderCount, 1u);
        EXPECT_FALSE(bus.setFeature(handle, command(StartCommand)) || bus.attributes(handle));
        if (unpluggedWhileAway)
            bus.unplug(application);
        const milliseconds wait = delay.value_or(milliseconds(60'000));
        if (wait > milliseconds(0)) {
            bus.sleep(wait - milliseconds(1));
            EXPECT_EQ(listedPaths(bus), Paths{"sim:hid1"});
            bus.sleep(milliseconds(1));
        }
        if (!delay || unpluggedWhileAway) {
            bus.sleep(milliseconds(10'000));
            EXPECT_EQ(listedPaths(bus), Paths{"sim:hid1"}) << "it stays away";
            continue;
        }
        ASSERT_EQ(listedPaths(bus), (Paths{"sim:hid1", "sim:hid2"}));
        const Handle bootloader = bus.open("sim:hid2", OpenMode::Plain).handle.value();
        EXPECT_EQ(bus.attributes(bootloader)->productId, BootloaderProductId);
        EXPECT_TRUE(bus.setFeature(bootloader, bootloaderRecord(3)));
        EXPECT_EQ(bus.setFeature(bootloader, bootloaderRecord(4)), !failFrom) << "request 2";
        EXPECT_EQ(bus.state("sim:hid2").bootloaderImage,
                  failFrom ? recordBytes(3) : join({recordBytes(3), recordBytes(4)}));
        EXPECT_FALSE(bus.state(application).present);
        EXPECT_EQ(bus.state(application).mode, DeviceMode::Bootloader) << "the same device";
        EXPECT_FALSE(bus.setFeature(handle, bootloaderRecord(5)));
    }
}

// Devices arrive and leave on the bus's clock; a wait ends at the next of them, or passes
// quietly. A restart is a departure and an arrival too. The waiting thread first catches up
// with the furthest thread.
TEST(SimulatedBus, WaitsEndWhenScheduledDevicesArriveOrLeave) {
    SimulatedBus bus;
    DeviceConfig later, never;
    later.arrivesAt = milliseconds(500), later.leavesAt = milliseconds(800);
    never.arrivesAt = milliseconds(300);
    const std::string first = bus.addDevice({});
    bus.addDevice(later);
    bus.unplug(bus.addDevice(never));  // before it arrives: it never does
    const auto wait = [&](int timeout) {
        const bool changed = bus.waitForInterfaceChange(milliseconds(timeout));
        return std::to_string(changed) + " at " + std::to_string(bus.monotonicTime().count()) +
               ": " + std::to_string(listedPaths(bus).size());
    };
    EXPECT_EQ(wait(1000), "1 at 0: 1");  // the devices of the start
    EXPECT_EQ(wait(100), "0 at 100: 1");
    EXPECT_EQ(wait(1000), "1 at 500: 2");
    EXPECT_EQ(wait(299), "0 at 799: 2");
    EXPECT_EQ(wait(1), "1 at 800: 1");
    const Handle handle = bus.open(first, OpenMode::Plain).handle.value();
    ASSERT_TRUE(bus.setFeature(handle, enterBootloader()));
    EXPECT_EQ(wait(1000), "1 at 800: 0");
    EXPECT_EQ(wait(1000), "1 at 1100: 1");
    std::thread([&] { bus.sleep(milliseconds(5000)); }).join();  // from the furthest time on
    EXPECT_EQ(bus.monotonicTime(), milliseconds(1100)) << "each thread has a time of its own";
    EXPECT_EQ(wait(0), "0 at 6100: 1");
    EXPECT_TRUE(bus.close(handle));

    SimulatedBus real(SimulatedBus::Clock::Real);  // other threads' changes end a real wait
    later.arrivesAt = milliseconds(500);           // after the first wait, even on a busy machine
    later.leavesAt.reset();
    real.addDevice(later);
    EXPECT_FALSE(real.waitForInterfaceChange(milliseconds(0)));
    EXPECT_TRUE(real.waitForInterfaceChange(milliseconds(60'000)));
    std::thread unplugging([&] { real.unplug("sim:hid0"); });
    EXPECT_TRUE(real.waitForInterfaceChange(milliseconds(60'000)));
    unplugging.join();
}

// A watch is woken at every arrival and departure, and takes each change once. On the real clock
// the bus's own thread makes a scheduled arrival happen while nobody calls the bus.
TEST(SimulatedBus, WakesItsWatchesAtEveryArrivalAndDeparture) {
    for (const auto clock : {SimulatedBus::Clock::Virtual, SimulatedBus::Clock::Real}) {
        SimulatedBus bus(clock);
        std::mutex mutex;
        std::condition_variable woken;
        int wakes = 0;
        const auto watch = bus.watchInterfaces([&] {
            const std::lock_guard lock(mutex);
            ++wakes;
            woken.notify_all();
        });
        const auto wakesAfter = [&](int least) {
            std::unique_lock lock(mutex);
            woken.wait_for(lock, std::chrono::minutes(1), [&] { return wakes >= least; });
            return wakes;
        };
        ASSERT_TRUE(watch && !watch->readableDescriptor());
        EXPECT_FALSE(watch->takeChanges()) << "nothing since it began";
        DeviceConfig later;
        later.arrivesAt = milliseconds(50);
        bus.addDevice(later);
        if (clock == SimulatedBus::Clock::Virtual) {
            bus.sleep(milliseconds(60));
            bus.monotonicTime();  // the arrival takes place as the bus is next called
        }
        EXPECT_EQ(wakesAfter(1), 1);
        EXPECT_TRUE(watch->takeChanges());
        EXPECT_FALSE(watch->takeChanges()) << "taken once";
        bus.unplug("sim:hid0");
        EXPECT_EQ(wakesAfter(2), 2);
        EXPECT_TRUE(watch->takeChanges());
    }
}

// Serial number, first failing transfer, re-enumeration delay, arrival and departure.
std::string describe(const DeviceConfig& config) {
    const auto text = [](const std::optional<milliseconds>& value) {
        return value ? std::to_string(value->count()) : "-";
    };
    const auto& failFrom = config.faults.failTransfersFrom;
    std::string serial;
    for (std::size_t i = 0; i + 1 < config.serialNumber.size() && config.serialNumber[i]; i += 2)
        serial += static_cast<char>(config.serialNumber[i]);
    return serial + " f" + (failFrom ? std::to_string(*failFrom) : "-") + " r" +
           text(config.reenumerationDelay) + " a" + std::to_string(config.arrivesAt.count()) +
           " l" + text(config.leavesAt);
}

TEST(DemoSettings, PerDeviceKeysTakeOneValueForAllOrOneItemPerDevice) {
    const std::pair<const char*, const char*> rows[] = {
        {"devices=3;serials=A,,B;fail-transfers-from=,12;reenumeration-ms=never,0",
         "A f- r- a0 l-| f12 r0 a0 l-|B f- r300 a0 l-"},
        {"devices=2;serials=X;arrive-ms=,500;leave-ms=900",
         "X f- r300 a0 l900|X f- r300 a500 l900"},
        {"devices=1;serials=A,B", "'serials' has more items (2) than there are devices (1)"},
        {"serials=A B", "serials: 'A B' is not printable ASCII"},
        {"reenumeration-ms=", "reenumeration-ms: '' is not a whole number from 0 to 600000"},
    };
    for (const auto& [text, expected] : rows) {
        const DemoSettingsResult parsed = parseDemoSettings(text);
        const auto bus = parsed.settings ? makeDemoBus(*parsed.settings) : nullptr;
        std::string devices = parsed.error;
        for (std::size_t i = 0; bus && i < parsed.settings->deviceCount; ++i)
            devices += (i ? "|" : "") + describe(bus->config("sim:hid" + std::to_string(i)));
        EXPECT_EQ(devices, (bus ? "" : std::string(SimulationVariable) + ": ") + expected) << text;
    }
}

}  // namespace
}  // namespace fwu::simulator::testing

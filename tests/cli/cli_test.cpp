// The command line run in the test process on the simulated device its --simulate option makes:
// exit status, standard output and error, and the trace file. The bytes each operation sends are
// the operations' tests' business.
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <iomanip>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>

#ifndef _WIN32
#include <sys/wait.h>

#include "tests/cli/private_system_bus.h"
#endif

#include "cli/application.h"
#include "cli/command_line.h"
#include "cli/interrupt.h"
#include "cli/progress_board.h"
#include "cli/progress_display.h"
#include "device/device_directory.h"
#include "platform/file_system.h"
#include "platform/sleep_inhibitor.h"
#include "simulator/demo_setup.h"
#include "tests/cli/cli_run.h"

namespace fwu::cli::test {
namespace {

using namespace std::chrono_literals;
using simulator::Direction;

struct Case {
    const char* arguments;   // split at spaces; @name: a file in the test's folder
    const char* simulation;  // added to FastBus
    int exitStatus;
    const char* out;   // the whole standard output; nullptr: not checked
    const char* err;   // parts of standard error, separated by '|'; "": it stays empty
    int reports = -1;  // the reports sent and answered (the trace file holds them); -1: any
};

const std::string Names = "\tSimulated Devices\tFirmware Update Test Device\tSIM-10000";
const std::string Listed = "sim:hid1\tapplication\t7a5d:0a11\t1.5" + Names +
                           "1\nsim:hid2\tapplication\t7a5d:0a12\t1.5" + Names + "2\n";
const std::string ListedBootloader = "sim:hid0\tbootloader\t7a5d:0b1d\t1.5" + Names + "1\n";
const std::string HeldBy =
    "sim:hid1\tapplication\t7a5d:0a12\t1.5" + Names + "2\tin use by firmware-update (process 99)\n";
const std::string InUse =
    " is in use by station (process 77), which may be writing to it. "
    "Nothing was sent to it. Wait until that program has finished, or close "
    "it, then try again.";
const std::string HeldRefused = "The device sim:hid0" + InUse;
const std::string UpdateProgress =
    "update: 33% (28 B of 85 B)\nupdate: 66% (56 B of 85 B)\nupdate: 100% (85 B of 85 B)\n";

const Case Cases[] = {
    {"--simulate list", "foreign-device;devices=2", Success, Listed.c_str(), ""},
    {"list --simulate", "mode=bootloader", Success, ListedBootloader.c_str(), ""},
    {"--simulate list", "no-device", NoDevice, "", "No supported device found."},
    {"--simulate list", "permission-denied", NoDevice, "sim:hid0\tapplication\t7a5d:0a11\t\t\t\t\n",
     "cannot be opened: permission denied."},
    {"--simulate --trace @trace.txt update @image.bin", "", Success,
     "Firmware update complete: @image.bin written to sim:hid0.\n", UpdateProgress.c_str(), 6},
    {"--quiet --simulate update @image.bin", "", Success, "", ""},
    {"--simulate update @image.bin", "no-device", NoDevice, "", "No supported device found."},
    // A device that another program holds: nothing sent to it, the others go on.
    {"--simulate --trace @trace.txt update @image.bin", "held-by=station:77", Failed, "",
     HeldRefused.c_str(), 0},
    {"--simulate --all update @image.bin", "devices=3;held-by=,station:77,", Failed, nullptr,
     "sim:hid1: The device sim:hid1 is in use by station (process 77)", 12},
    {"--simulate --serial SIM-100002 list", "devices=2;held-by=,firmware-update:99", Success,
     HeldBy.c_str(), ""},
    {"--simulate update @missing.bin", "", FileProblem, "", "Nothing was sent to the device."},
    {"--simulate update -- --odd.bin", "", FileProblem, "", "--odd.bin"},
    // A word that begins with '/' is a path, on Windows too.
    {"--simulate update /absent-image.bin", "", FileProblem, "", "absent-image.bin"},
    {"--simulate --trace=@trace.txt update @image.bin", "fail-transfers-from=3", Failed, "",
     "The device did not accept record 2 of 3.", 4},
    {"--simulate update @image.bin", "report-length=40", Failed, "", "at least 49 bytes"},
    {"--simulate load @image.bin", "mode=bootloader", Success,
     "Bootloader-mode load complete: @image.bin written to sim:hid0.\n", "load: 100%"},
    {"--simulate upgrade @image.bin", "", Success,
     "Upgrade complete: @image.bin written to sim:hid1 in bootloader mode.\n",
     "Waiting for the device to restart in bootloader mode"},
    {"--simulate --timeout 2 upgrade @image.bin", "reenumeration-ms=never", Failed, "",
     "did not come back in bootloader mode within 2 seconds"},
    {"upgrade --timeout=1.5 @image.bin --simulate", "reenumeration-ms=never", Failed, "",
     "within 1.5 seconds"},
    {"--simulate --trace @trace.txt dump @flash.bin", "", Success,
     "Flash dump complete: 1048576 bytes written to @flash.bin.\n",
     "dump: 10% (102.4 KiB of 1.0 MiB)\ndump: 20% (204.8 KiB of 1.0 MiB)\n", 1 + 32768},
    // Ctrl-C arrives as the 100th block read is answered (report 100 after the start report).
    {"--simulate --trace @trace.txt dump @flash.bin", "interrupt-at=100", Failed, "",
     "The dump was cancelled after 100 of 32768 blocks.", 101},
    {"--simulate dump @absent/file", "", FileProblem, "", "@absent/file.part"},
    // Choosing among several devices, or refusing to guess.
    {"--simulate --device sim:hid1 erase", "devices=2", Success,
     "Erase command sent to sim:hid1.\n", "", 1},
    {"--simulate --serial SIM-100002 --serial NONE erase", "devices=3", Success,
     "Erase command sent to sim:hid1.\n", "", 1},
    {"--simulate --serial NONE erase", "devices=2", NoDevice, "",
     "No supported device matches --serial NONE.", 0},
    {"--simulate --trace @trace.txt erase", "devices=2", Usage, "",
     "2 supported devices are connected|SIM-100002\nChoose one with --device PATH or --serial", 0},
    // Each device its own worker: one fails mid-way, one is unplugged, the third finishes.
    {"--simulate --all update @image.bin", "devices=3;fail-transfers-from=,3;unplug-at=,,4", Failed,
     "sim:hid0 SIM-100001: update succeeded: Firmware update complete: @image.bin written to "
     "sim:hid0.\nsim:hid1 SIM-100002: update failed (transfer-failed): The device did not accept "
     "record 2 of 3. Its firmware is incomplete: run the update again.\nsim:hid2 SIM-100003: "
     "update failed (transfer-failed): The device did not accept record 3 of 3. Its firmware is "
     "incomplete: run the update again.\n1 of 3 devices succeeded.\n",
     "sim:hid1: update: 33% (28 B of 85 B)\n"},
    {"--simulate --all erase", "no-device", NoDevice, "", "No supported device found."},
    {"--simulate --all upgrade @image.bin", "devices=3;serials=A,A,", Failed, nullptr,
     "sim:hid0: Not upgraded: sim:hid0 and sim:hid1 have the same serial number, A|sim:hid2: Not "
     "upgraded: sim:hid2 has no serial number",
     0},
    {"--simulate --all --trace @trace.txt dump @flash.bin", "devices=2;interrupt-at=100", Failed,
     nullptr, "sim:hid0: The dump was cancelled|sim:hid1: The dump was cancelled"},
    // Waiting for a device, and the station loop: each device once per visit.
    {"--simulate --wait=5 erase", "arrive-ms=2000", Success, "Erase command sent to sim:hid0.\n",
     "Waiting for a supported device to arrive", 1},
    {"--simulate --wait=1.5 erase", "arrive-ms=2000", NoDevice, "",
     "No supported device arrived within 1.5 seconds.", 0},
    {"--simulate --repeat --wait=3 --quiet erase",
     "devices=3;serials=A,B,A;arrive-ms=0,1000,3000;leave-ms=500,2000,", Success, "", "", 3},
    {"--simulate --repeat --wait=3 erase",
     "devices=3;serials=A,B,A;arrive-ms=0,1000,3000;leave-ms=500,2000,", Success,
     "Erase command sent to sim:hid0.\nErase command sent to sim:hid1.\nErase command sent to "
     "sim:hid2.\n",
     "Waiting for a device"},
    // Read back: the image after the update matches it, a fresh device's flash does not.
    {"--simulate --verify update @image.bin", "", Success,
     "Firmware update complete: @image.bin written to sim:hid0.\nVerify complete: the flash of "
     "sim:hid0 matches @image.bin.\n",
     "verify: 100%"},
    {"--simulate verify @image.bin", "", Failed, "", "differs from @image.bin at offset 0"},
    {"--simulate --trace @trace.txt --log @absent/log erase", "", FileProblem, "",
     "Cannot append to the log file @absent/log", 0},
    {"--simulate --trace @trace.txt erase", "", Success, "Erase command sent to sim:hid0.\n", "",
     1},
    {"--simulate bootloader", "", Success, "Bootloader-entry command sent to sim:hid0.\n", ""},
    {"--simulate --trace @absent/file erase", "", FileProblem, "",
     "Cannot write the trace file @absent/file"},
    {"--help", "", Success, nullptr, ""},
    {"--simulate", "", Usage, "", "no command given"},
    {"flash", "", Usage, "", "unknown command 'flash'"},
    {"--force update", "", Usage, "", "unknown option '--force'"},
    {"erase @image.bin", "", Usage, "", "unexpected argument"},
    {"update @image.bin @image.bin", "", Usage, "", "unexpected argument"},
    {"update --trace", "", Usage, "", "--trace: 1 required FILE missing"},
    {"--trace= update", "", Usage, "", "option --trace needs a value after '='"},
    {"--quiet=0 update", "", Usage, "", "option --quiet takes no value"},
    {"--timeout 0 upgrade", "", Usage, "", "--timeout: needs a number of seconds above 0"},
    {"erase --wait 5", "", Usage, "", "unexpected argument '5'"},
    {"--verify dump", "", Usage, "", "--verify goes with update only"},
    {"--simulate list", "latency=5", Usage, "",
     "FIRMWARE_UPDATE_SIMULATION: unknown key 'latency'"},
    {"--simulate list", "unplug-at", Usage, "", "'unplug-at' needs a value"},
    {"--simulate list", "mode=application;mode=bootloader", Usage, "", "'mode' is given twice"},
    {"--simulate list", "devices=128", Usage, "",
     "devices: '128' is not a whole number from 0 to 127"},
    {"--simulate list", "foreign-device;devices=127", Usage, "",
     "'devices' and 'foreign-device' make 128 devices, more than a bus holds (127)"},
};

// A trace line: direction, length, the bytes in upper-case hexadecimal, and whether it failed.
std::string traceLine(const simulator::TranscriptEntry& entry) {
    std::ostringstream line;
    line << (entry.direction == Direction::HostToDevice ? '>' : '<') << ' ' << entry.bytes.size()
         << std::hex << std::uppercase << std::setfill('0');
    for (const int byte : entry.bytes)
        line << ' ' << std::setw(2) << byte;
    return line.str() + (entry.succeeded ? "" : " failed");
}

// Runs the case, on `bus` when one is given, and checks what it says it checks.
void expectRun(const Case& c, std::shared_ptr<SimulatedBus> bus = nullptr) {
    SCOPED_TRACE(std::string(c.arguments) + " with " + c.simulation);
    const CliRun r(c.arguments, c.simulation, std::move(bus));
    EXPECT_EQ(r.status, c.exitStatus) << r.err.str();
    if (c.out) {
        EXPECT_EQ(r.out.str(), r.substitute(c.out));
    }
    std::istringstream parts(r.substitute(c.err));
    for (std::string part; std::getline(parts, part, '|');)
        EXPECT_NE(r.err.str().find(part), std::string::npos) << r.err.str();
    EXPECT_TRUE(*c.err || r.err.str().empty()) << r.err.str();
    if (!r.bus)
        return;
    std::vector<std::string> expected;  // with --all each line names its device
    const bool all = std::string(c.arguments).find("--all") != std::string::npos;
    for (const auto& entry : r.bus->transcript())
        expected.push_back((all ? entry.devicePath + " " : "") + traceLine(entry));
    if (c.reports >= 0) {
        EXPECT_EQ(expected.size(), static_cast<std::size_t>(c.reports));
        EXPECT_EQ(r.bus->openHandleCount(), 0);
    }
    std::ifstream trace(r.folder.path() / "trace.txt");  // text: one line ending or two
    if (!trace)
        return;
    auto traced = lines(std::string(std::istreambuf_iterator<char>(trace), {}));
    if (all) {  // the workers' lines interleave as their reports happened
        std::sort(traced.begin(), traced.end());
        std::sort(expected.begin(), expected.end());
    }
    EXPECT_EQ(traced, expected);
}

TEST(CommandLine, ExitStatusOutputAndTrace) {
    for (const auto& c : Cases)
        expectRun(c);
}

// The verification after an update reads the device the update wrote, also when another
// arrives during the update ahead of it in the listing, with its serial number or another.
TEST(CommandLine, VerifyReadsTheDeviceTheUpdateWrote) {
    const std::string bothOnHid1 =
        "Firmware update complete: @image.bin written to sim:hid1.\nVerify complete: the flash "
        "of sim:hid1 matches @image.bin.\n";
    const char* secondArrives = "devices=2;arrive-ms=3,0";  // during the update's pauses
    const Case cases[] = {
        {"--simulate --serial SIM-100002 --verify update @image.bin", secondArrives, Success,
         bothOnHid1.c_str(), "verify: 100%"},
        {"--simulate --device sim:hid1 --verify update @image.bin", secondArrives, Success,
         bothOnHid1.c_str(), "verify: 100%"},
        {"--simulate --verify update @image.bin", secondArrives, Success, bothOnHid1.c_str(),
         "verify: 100%"},
        {"--simulate --serial A --verify update @image.bin", "devices=2;serials=A,A;arrive-ms=3,0",
         Success, bothOnHid1.c_str(), "verify: 100%"},
    };
    for (const auto& c : cases)
        expectRun(c);
}

// A device in the mode the command does not write: refused with nothing sent, exit status 1,
// what to do in the message and the outcome in the JSON line (the operations' tests hold each
// mode against each operation). A device that is there but cannot be opened is said at once,
// or when it arrives during a wait, instead of waiting on.
TEST(CommandLine, RefusesTheWrongModeAndSaysWhenTheDeviceCannotBeOpened) {
    const std::string refusedErase =
        "{\"device\":\"sim:hid0\",\"serialNumber\":\"SIM-100001\",\"vendorId\":\"7a5d\","
        "\"productId\":\"0b1d\",\"command\":\"erase\",\"outcome\":\"wrong-mode\","
        "\"exitStatus\":1,\"exitMeaning\":\"the operation failed\",\"message\":\"The device is in "
        "bootloader mode, where it would take the erase command as part of an image. Nothing was "
        "sent to it. The erase command is for a device in application mode.\",\"bytes\":0,"
        "\"seconds\":0.0,\"started\":\"2026-05-04T03:02:01.234Z\"}\n";
    const std::string denied = "cannot be opened: permission denied",
                      waitedThenDenied = "Waiting for a supported device|" + denied;
    const Case cases[] = {
        {"--simulate --trace @trace.txt load @image.bin", "", Failed, "",
         "is in application mode, so the bootloader-mode download cannot write it|`upgrade`", 0},
        {"--simulate --json erase", "mode=bootloader", Failed, refusedErase.c_str(),
         "Nothing was sent to it.", 0},
        {"--simulate --wait=10 erase", "permission-denied", NoDevice, "", denied.c_str(), 0},
        {"--simulate --wait=10 erase", "permission-denied;arrive-ms=1000", NoDevice, "",
         waitedThenDenied.c_str(), 0},
        {"--simulate --repeat --wait=3 --quiet erase", "permission-denied", NoDevice, "",
         denied.c_str(), 0},
    };
    for (const auto& c : cases)
        expectRun(c);
}

// The station loop serves each arrival once: two devices that share a serial number or have
// none, one after the other or all at once. Dumps of their own go to files whose names cannot
// be the same for two serial numbers; devices whose serial numbers name one file are refused.
TEST(CommandLine, StationLoopServesEachArrivalAndDumpNamesNeverCollide) {
    const std::string erasedBoth =
        "Erase command sent to sim:hid0.\nErase command sent to sim:hid1.\n";
    const std::string dumped =
        "sim:hid0 A/1: dump succeeded: Flash dump complete: 1048576 bytes written to "
        "@flash-A_2F1.bin.\nsim:hid1 A:1: dump succeeded: Flash dump complete: 1048576 bytes "
        "written to @flash-A_3A1.bin.\nsim:hid2: dump succeeded: Flash dump complete: 1048576 "
        "bytes written to @flash-+sim_3Ahid2.bin.\n3 of 3 devices succeeded.\n";
    const Case cases[] = {
        {"--simulate --repeat --wait=1 erase", "devices=2;serials=A,A", Success, erasedBoth.c_str(),
         "Waiting for a device", 2},
        {"--simulate --repeat --wait=1 erase", "devices=2;serials=,", Success, erasedBoth.c_str(),
         "Waiting for a device", 2},
        {"--simulate --all dump @flash.bin", "devices=3;serials=A/1,A:1,", Success, dumped.c_str(),
         "sim:hid2: dump: 100%"},
        {"--simulate --all dump @flash.bin", "devices=3;serials=A,a,A", Failed, nullptr,
         "sim:hid0: Not dumped: sim:hid0 and sim:hid1 have the serial numbers A and a|sim:hid2: "
         "Not dumped: sim:hid2 and sim:hid0 have the same serial number, A",
         0},
        {"--simulate --repeat --wait=1 --quiet dump @flash.bin", "devices=2;serials=A,A", Failed,
         "", "Not dumped", 0},
    };
    for (const auto& c : cases)
        expectRun(c);

    // A device without a serial number leaves while the loop updates another, and a second one
    // comes under the path it had: a new arrival, served too.
    auto bus = std::make_shared<SimulatedBus>();
    simulator::DeviceConfig first, busy, second;
    first.serialNumber.clear(), first.leavesAt = 100ms;
    busy.serialNumber = simulator::utf16Bytes(u"B"), busy.latencyPerTransfer = 100ms;
    second.serialNumber.clear(), second.arrivesAt = 200ms, second.path = bus->addDevice(first);
    bus->addDevice(busy);
    bus->addDevice(second);
    expectRun({"--simulate --repeat --wait=1 update @image.bin", "", Success,
               "Firmware update complete: @image.bin written to sim:hid0.\nFirmware update "
               "complete: @image.bin written to sim:hid1.\nFirmware update complete: @image.bin "
               "written to sim:hid0.\n",
               "Waiting for a device", 18},
              bus);
}

// Every form of path a Windows user types, taken whole on every system: one that begins with
// "/" (from the current drive's root, as Unix-like shells on Windows write it) is never an option.
TEST(CommandLine, PathsOfEveryFormAreTakenWhole) {
    const std::string paths[] = {"/data/x.bin", R"(\data\x.bin)", R"(D:\Прошивка\x.bin)",
                                 R"(\\server\share\x.bin)", "//server/share/x.bin"};
    for (const std::string& path : paths) {
        for (const char* command : {"dump", "update"}) {
            SCOPED_TRACE(std::string(command) + " " + path);
            const std::string_view arguments[] = {command, path, "--trace", path};
            const ParsedCommandLine parsed = parseCommandLine(arguments);
            EXPECT_EQ(parsed.error, "");
            EXPECT_EQ(parsed.options.path, platform::pathFromUtf8(path));
            EXPECT_EQ(parsed.options.tracePath, platform::pathFromUtf8(path));
        }
    }
}

// Two devices restart into their bootloaders and come back in the other order (on the real
// clock, so the order is certain): each is still loaded once, by its own worker, which follows
// it by its serial number.
TEST(CommandLine, UpgradeOfAllFollowsEachDeviceBySerialNumber) {
    auto bus = std::make_shared<SimulatedBus>(SimulatedBus::Clock::Real);
    std::vector<std::string> paths;
    for (const char16_t* serial : {u"SN-4", u"SN-1"}) {
        simulator::DeviceConfig config;
        config.serialNumber = simulator::utf16Bytes(serial);
        config.reenumerationDelay = std::chrono::milliseconds(100 * (serial[3] - u'0'));
        paths.push_back(bus->addDevice(config));
    }
    const CliRun r("--simulate --all upgrade @image.bin", "", bus);
    EXPECT_EQ(r.status, Success) << r.err.str();
    EXPECT_EQ(r.out.str(), r.substitute("sim:hid0 SN-4: upgrade succeeded: Upgrade complete: "
                                        "@image.bin written to sim:hid3 in bootloader mode.\n"
                                        "sim:hid1 SN-1: upgrade succeeded: Upgrade complete: "
                                        "@image.bin written to sim:hid2 in bootloader mode.\n"
                                        "2 of 2 devices succeeded.\n"));
    const auto image = imageBytes(85);
    for (const std::string& path : paths) {
        const auto loaded = bus->state(path).bootloaderImage;
        ASSERT_GE(loaded.size(), 85u) << path;
        EXPECT_EQ(firmware::testing::Bytes(loaded.begin(), loaded.begin() + 85), image) << path;
        EXPECT_EQ(loaded.size(), 120u) << path;  // three records, once
    }
}

// Every line of standard output is a result, one per device and command; the failed update is
// followed by no verify.
TEST(CommandLine, JsonLinesCarryEachResult) {
    const CliRun r("--simulate --json --all --verify update @image.bin",
                   "devices=2;fail-transfers-from=,3");
    EXPECT_EQ(r.status, Failed);
    std::set<std::string> results;
    for (const std::string& line : lines(r.out.str())) {
        const auto json = nlohmann::json::parse(line);
        EXPECT_EQ(json["vendorId"], "7a5d");
        EXPECT_EQ(json["started"], "2026-05-04T03:02:01.234Z");
        results.insert(
            json["device"].get<std::string>() + " " + json["serialNumber"].get<std::string>() +
            " " + json["productId"].get<std::string>() + " " + json["command"].get<std::string>() +
            " " + json["outcome"].get<std::string>() + " " +
            std::to_string(json["exitStatus"].get<int>()) + " " +
            json["exitMeaning"].get<std::string>() + " " +
            std::to_string(json["bytes"].get<int>()) + " " +
            json["message"].get<std::string>().substr(0, 20));
    }
    EXPECT_EQ(results,
              (std::set<std::string>{
                  "sim:hid0 SIM-100001 0a11 update succeeded 0 success 85 Firmware update comp",
                  "sim:hid0 SIM-100001 0a11 verify succeeded 0 success 85 Verify complete: the",
                  "sim:hid1 SIM-100002 0a12 update transfer-failed 1 the operation failed 28 "
                  "The device did not a",
              }));
}

// A held device is listed as in use, and refused with the outcome `busy`; --repeat refuses it
// once per visit.
TEST(CommandLine, AHeldDeviceIsInUseAndBusy) {
    const CliRun list("--simulate --json list", "held-by=firmware-update-cli:4242");
    const auto device = nlohmann::json::parse(list.out.str());
    EXPECT_EQ(device["inUse"], true);
    EXPECT_EQ(device["holderName"], "firmware-update-cli");
    EXPECT_EQ(device["holderProcessId"], 4242);
    const CliRun update("--simulate --json update @image.bin", "held-by=firmware-update-cli:4242");
    EXPECT_EQ(nlohmann::json::parse(update.out.str())["outcome"], "busy");

    // B is there from the start until 2 s, and again from 2.5 s; A and C are served meanwhile.
    const CliRun station("--simulate --repeat --wait=3 erase",
                         "devices=4;serials=A,B,C,B;held-by=,station:77,,station:77;"
                         "arrive-ms=0,0,1000,2500;leave-ms=,2000,,");
    EXPECT_EQ(station.status, Failed);
    EXPECT_EQ(station.out.str(),
              "Erase command sent to sim:hid0.\nErase command sent to sim:hid2.\n");
    const auto refusals = lines(station.err.str());
    EXPECT_EQ(std::count_if(refusals.begin(), refusals.end(),
                            [](const std::string& line) { return line.ends_with(InUse); }),
              2)
        << station.err.str();
    EXPECT_EQ(station.bus->transcript().size(), 2u);
}

// The SHA-256 of image.bin, as sha256sum gives it.
const std::string ImageDigest = "d25826c0e20fffaf734e36193ddb61cdbb5c83f309f1f70c9f2cf6e42d282a3a";
const std::string UpperDigest = "D25826C0E20FFFAF734E36193DDB61CDBB5C83F309F1F70C9F2CF6E42D282A3A";
const std::string OtherDigest(64, '0');

// The image is used only when its SHA-256 is the one --sha256 gives and the one image.bin.sha256
// beside it gives, when that is there. A refusal sends nothing, names the image and shows both
// digests; every result line carries the SHA-256 of the image read.
TEST(CommandLine, AnImageUnlikeItsChecksumIsRefusedWithNothingSent) {
    const std::string line = ImageDigest + "  image.bin\n", other = OtherDigest + "  image.bin";
    const std::string given = "--sha256 " + ImageDigest + " ", wrong = "--sha256 " + OtherDigest;
    const struct {
        std::optional<std::string> checksumFile;  // image.bin.sha256; "/": a folder there
        std::string arguments;                    // after --simulate --quiet --json
        const char* simulation;
        int exitStatus;
        std::string says;  // in standard error; "": nothing there
    } cases[] = {
        {line, "update @image.bin", "", Success, ""},
        {ImageDigest + " *image.bin", "update @image.bin", "", Success, ""},
        {UpperDigest + "  /srv/images/image.bin\r\n", "update @image.bin", "", Success, ""},
        {"\\" + ImageDigest + "  new\\nline/image.bin\n", "update @image.bin", "", Success, ""},
        {other, "update @image.bin", "", FileProblem,
         "@image.bin is not the image that was meant: its SHA-256 is " + ImageDigest +
             ", but @image.bin.sha256 gives " + OtherDigest + ". Nothing was sent to the device."},
        {ImageDigest + "  other.bin", "update @image.bin", "", FileProblem,
         "@image.bin.sha256 is for other.bin, not for image.bin"},
        {ImageDigest + "\n", "update @image.bin", "", FileProblem, "not in the form sha256sum"},
        {line + line, "update @image.bin", "", FileProblem, "not in the form sha256sum"},
        {"/", "update @image.bin", "", FileProblem, "@image.bin.sha256 beside image.bin cannot"},
        {{}, given + "update @image.bin", "", Success, ""},
        {line, "--verify --sha256 " + UpperDigest + " update @image.bin", "", Success, ""},
        {{}, wrong + " update @image.bin", "", FileProblem, "--sha256 gives " + OtherDigest},
        {{}, wrong + " load @image.bin", "mode=bootloader", FileProblem, "--sha256 gives"},
        {{}, wrong + " upgrade @image.bin", "", FileProblem, "--sha256 gives"},
        {{}, wrong + " verify @image.bin", "", FileProblem, "--sha256 gives"},
        {other, given + "update @image.bin", "", FileProblem, "@image.bin.sha256 gives"},
        {other, "--all update @image.bin", "devices=2", Failed, "sim:hid1: @image.bin is not"},
        {{}, given + "update @missing.bin", "", FileProblem, "Cannot find @missing.bin"},
        {{}, "--sha256 " + ImageDigest.substr(1) + " update", "", Usage, "64 hexadecimal digits"},
        {{}, given + "dump", "", Usage, "--sha256 goes with update, load, upgrade and verify"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.checksumFile.value_or("no checksum file") + " " + c.arguments);
        const CliRun r("--simulate --quiet --json " + c.arguments, c.simulation, nullptr,
                       [&](const fs::path& folder) {
                           if (c.checksumFile == "/")
                               fs::create_directory(folder / "image.bin.sha256");
                           else if (c.checksumFile)
                               writeFile(folder / "image.bin.sha256",
                                         {c.checksumFile->begin(), c.checksumFile->end()});
                       });
        EXPECT_EQ(r.status, c.exitStatus) << r.err.str();
        EXPECT_NE(r.err.str().find(r.substitute(c.says)), std::string::npos) << r.err.str();
        EXPECT_TRUE(!c.says.empty() || r.err.str().empty()) << r.err.str();
        EXPECT_TRUE(!r.bus || r.bus->transcript().empty() == (c.exitStatus != Success));
        const auto results = lines(r.out.str());
        EXPECT_EQ(results.empty(), c.exitStatus == Usage);
        const bool read = c.arguments.find("missing") == std::string::npos;
        for (const std::string& result : results)
            EXPECT_EQ(nlohmann::json::parse(result)["sha256"],
                      read ? nlohmann::json(ImageDigest) : nlohmann::json(nullptr));
    }
}

#ifndef _WIN32
// With logind played on a bus of the test's own, a command that writes holds a block inhibitor
// lock from before its first report to after its last, the upgrade's wait for the bootloader
// included; one that does not write takes none. Where logind refuses only the lid switch, the
// lock is taken without it; where it refuses, the command writes and says so once; where there
// is nobody to ask, it writes and says nothing.
TEST(SleepGuard, TheSystemStaysAwakeFromTheFirstReportToTheLast) {
    const std::string lock = "Firmware Update Writing firmware to sim:hid0 block";
    const std::string lidToo = "sleep:idle:handle-lid-switch " + lock;
    const struct {
        const char* logind;  // as tests/cli/private-system-bus.sh plays it; "none": no bus
        const char* arguments;
        const char* simulation;
        std::string held;  // the one lock held at every report; "": none
        const char* says;  // in standard error, once; "": nothing there
    } cases[] = {
        {"granting", "update @image.bin", "", lidToo, ""},
        {"granting", "upgrade @image.bin", "", lidToo, ""},
        {"granting", "load @image.bin", "mode=bootloader", lidToo, ""},
        {"granting", "erase", "", lidToo, ""},
        {"granting", "bootloader", "", "", ""},
        {"refusing-lid-switch", "update @image.bin", "", "sleep:idle " + lock, ""},
        {"refusing", "--all update @image.bin", "devices=2", "",
         "The system did not promise to stay awake while the firmware is written (logind: "
         "Access denied). The write goes on"},
        {"absent", "update @image.bin", "", "", ""},
        {"none", "update @image.bin", "", "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.arguments) + " " + c.logind);
        const PrivateSystemBus system(c.logind);
        const bool asked = std::string(c.logind) != "absent" && std::string(c.logind) != "none";
        std::shared_ptr<SimulatedBus> bus =
            simulator::makeDemoBus(*simulator::parseDemoSettings(FastBus + c.simulation).settings);
        std::vector<std::string> heldAtReports;
        bus->setTranscriptObserver([&](const simulator::TranscriptEntry& entry) {
            if (entry.direction != Direction::HostToDevice)
                return;
            const auto locks = asked ? system.inhibitors() : std::vector<std::string>{};
            heldAtReports.push_back(locks.size() == 1 ? locks[0] : std::to_string(locks.size()));
        });

        const CliRun r("--simulate --quiet " + std::string(c.arguments), "", bus, {},
                       platform::makeSystemSleepInhibitor);

        EXPECT_EQ(r.status, Success) << r.err.str();
        ASSERT_FALSE(heldAtReports.empty());
        EXPECT_EQ(heldAtReports,
                  std::vector<std::string>(heldAtReports.size(), c.held.empty() ? "0" : c.held));
        const std::string err = r.err.str();
        const auto told = err.find(c.says);
        EXPECT_TRUE(*c.says ? told != std::string::npos && told == err.rfind(c.says) : err.empty())
            << err;
        if (asked) {
            EXPECT_EQ(system.inhibitors(), std::vector<std::string>{});
        }
    }
}
#endif

// The first Ctrl-C only asks the operation to stop; the next one meets the default handling and
// ends the program, for a call that does not return.
TEST(Interrupt, TheFirstCtrlCRaisesTheFlagTheSecondEndsTheProgram) {
    const InterruptCatcher catcher;
    EXPECT_FALSE(catcher.interrupted());
    std::raise(SIGINT);
    EXPECT_TRUE(catcher.interrupted());
    const auto handler = std::signal(SIGINT, SIG_IGN);
    EXPECT_EQ(handler, SIG_DFL);
}

// Control characters would act on the terminal (U+009B starts a control sequence as ESC [ does)
// or turn the line around (the bidirectional controls); other characters stay as they are.
TEST(DeviceList, ControlCharactersInANameShowAsQuestionMarks) {
    const std::pair<const char16_t*, const char*> cases[] = {
        {u"A\tB\x7F\n", "A?B??"},
        {u"SN\u009B2J\u0085\u0080", "SN?2J??"},
        {u"gpj.\u202Eexe", "gpj.?exe"},
        {u"\u061C\u200E\u200F\u2028\u2029\u202A\u202D\u2066\u2069", "?????????"},
        {u"Caf\u00E9\u00A0\u2030\u2065\u206A",
         "Caf\xC3\xA9\xC2\xA0\xE2\x80\xB0\xE2\x81\xA5\xE2\x81\xAA"},
    };
    for (const auto& [name, shown] : cases) {
        SimulatedBus bus;
        simulator::DeviceConfig config;
        config.product = simulator::utf16Bytes(name);
        bus.addDevice(config);
        const auto listing = device::findSupportedDevices(bus);
        ASSERT_EQ(listing.devices.size(), 1u);
        EXPECT_EQ(listing.devices[0].product, shown);
    }
}

// Off a terminal the progress lines show in the runs above. On a terminal one line redraws,
// with the throughput and the time left; of the million advances of a dump, only when time has
// passed, when it becomes full, and once more when it ends.
TEST(ProgressDisplay, RedrawsTheTerminalLineSparingly) {
    std::ostringstream out;
    auto now = std::chrono::steady_clock::now();
    ProgressDisplay display(out, true, [&now] { return now; });
    display.start("update", 4096);
    now += 2s;
    display.advance(1, 4);  // 1 KiB in 2 s: 3 KiB left at 512 B/s
    EXPECT_EQ(out.str(),
              "\rupdate [######------------------] 25%  1.0 KiB / 4.0 KiB  512 B/s  0:06 left");
    display.start("dump", 1048576);  // ends the update's line
    out.str("");
    for (std::int64_t block = 0; block <= 32767; ++block) {
        for (int byte = 0; byte < 32; ++byte)
            display.advance(block, 32767);
    }
    display.finish();
    const std::string text = out.str();
    EXPECT_EQ(std::count(text.begin(), text.end(), '\r'), 3);
    EXPECT_TRUE(text.ends_with("100%  1.0 MiB / 1.0 MiB\n")) << text;
}

// One line per device, redrawn in place: the cursor goes back up over every line, and no line
// is long enough to wrap, which would throw the count off.
TEST(ProgressBoard, RedrawsEveryDevicesLineInPlace) {
    std::ostringstream out;
    auto now = std::chrono::steady_clock::now();
    ProgressBoard board(out, {"SN-1", std::string(40, 'S')}, [&now] { return now; });
    board.row(0).start("update", 4096);
    board.row(1).start("dump", 1048576);
    now += 2s;
    board.row(0).advance(1, 4);
    board.row(1).note("transfer-failed");
    board.close();
    const auto drawn = lines(out.str());
    ASSERT_GE(drawn.size(), 2u);
    EXPECT_EQ(drawn[drawn.size() - 2],
              "\x1b[2A\rSN-1             update [######------------------] 25%  512 B/s  0:06 "
              "left\x1b[K");
    EXPECT_EQ(drawn.back(), "\r" + std::string(16, 'S') +
                                " dump [------------------------] 0%  transfer-failed\x1b[K");
}

// --all on a terminal draws the board only where it has a row for each device and the cursor:
// a taller board would scroll, and each redraw would land in the wrong place.
TEST(ProgressBoard, GivesWayToPrefixedLinesOnATerminalTooShortForIt) {
    const struct {
        std::size_t rows;  // 0: the terminal does not say
        bool board;
    } cases[] = {{0, true}, {4, true}, {3, false}, {1, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.rows);
        const CliRun r("--simulate --all update @image.bin", "devices=3", nullptr, {}, {}, c.rows);
        EXPECT_EQ(r.status, Success) << r.err.str();
        const std::string err = r.err.str();
        EXPECT_EQ(err.find("\x1b[") != std::string::npos, c.board) << err;
        EXPECT_EQ(err.find("sim:hid2: update: 100% (85 B of 85 B)") != std::string::npos, !c.board)
            << err;
    }
}

#ifndef _WIN32
// The built program as a process of its own, in a folder with its default files: the wiring of
// main(), the environment, the program's folder and the exit status.
TEST(Program, RunsTheCommandOnTheFilesNextToItself) {
    TempFolder folder;
    const fs::path bin = folder.path() / "bin";
    fs::create_directory(bin);
    fs::copy_file(FWU_CLI_EXECUTABLE, bin / "firmware-update-cli");
    const auto run = [&](const std::string& arguments) {
        const std::string command = std::string(simulator::SimulationVariable) +
                                    "='clock=virtual;latency-us=0' '" +
                                    (bin / "firmware-update-cli").string() + "' " + arguments +
                                    " >'" + (folder.path() / "out").string() + "' 2>/dev/null";
        const int status = std::system(command.c_str());
        const firmware::testing::Bytes out = firmware::testing::readFile(folder.path() / "out");
        return std::pair(WIFEXITED(status) ? WEXITSTATUS(status) : -1,
                         std::string(out.begin(), out.end()));
    };

    writeFile(bin / "Velnor.bin", imageBytes(85));
    const PrivateSystemBus system("granting");
    EXPECT_EQ(run("update --simulate"),
              std::pair(0, "Firmware update complete: " + (bin / "Velnor.bin").string() +
                               " written to sim:hid0.\n"));
    EXPECT_NE(system.calls().find(R"(Inhibit "sleep:idle:handle-lid-switch" "Firmware Update")"),
              std::string::npos)
        << system.calls();
}

// Two stations append to one log at once: every line stays whole, and none replaces another.
TEST(Program, TwoProgramsAppendToOneLog) {
    TempFolder folder;
    const fs::path log = folder.path() / "line.log";
    writeFile(log, {'{', '}', '\n'});
    const std::string station = std::string(simulator::SimulationVariable) +
                                "='clock=virtual;latency-us=0;devices=8' '" + FWU_CLI_EXECUTABLE +
                                "' --simulate --quiet --all --log '" + log.string() + "' erase";
    EXPECT_EQ(std::system((station + " & " + station + " & wait").c_str()), 0);
    std::ifstream file(log);
    const auto logged = lines(std::string(std::istreambuf_iterator<char>(file), {}));
    ASSERT_EQ(logged.size(), 17u);
    std::multiset<std::string> devices;
    for (const std::string& line : logged)
        devices.insert(nlohmann::json::parse(line).value("device", "earlier"));
    EXPECT_EQ(devices.count("earlier"), 1u);
    for (int device = 0; device < 8; ++device)
        EXPECT_EQ(devices.count("sim:hid" + std::to_string(device)), 2u) << device;
}
#endif

}  // namespace
}  // namespace fwu::cli::test

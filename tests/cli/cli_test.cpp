// The command line run in the test process on the simulated device its --simulate option makes:
// exit status, standard output and error, and the trace file. The bytes each operation sends are
// the operations' tests' business.
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <iomanip>
#include <sstream>

#ifndef _WIN32
#include <sys/wait.h>
#endif

#include "cli/application.h"
#include "cli/device_list.h"
#include "cli/interrupt.h"
#include "cli/progress_display.h"
#include "platform/simulated/demo_setup.h"
#include "tests/firmware/operations_fixture.h"

namespace fwu::cli::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using firmware::testing::imageBytes;
using firmware::testing::TempFolder;
using firmware::testing::writeFile;
using platform::simulated::Direction;
using platform::simulated::SimulatedBus;

// Every run uses the bus's own clock and no latency, so waits and the dump take no real time.
const std::string FastBus = "clock=virtual;latency-us=0;";
constexpr int Success = 0, Failed = 1, Usage = 2, NoDevice = 3, FileProblem = 4;

struct Case {
    const char* arguments;   // split at spaces; @name: a file in the test's folder
    const char* simulation;  // added to FastBus
    int exitStatus;
    const char* out;         // the whole standard output; nullptr: not checked
    const char* err;         // a part of standard error; "": it stays empty
    std::size_t traced = 0;  // the reports the trace file holds
};

const std::string Names = "\tSimulated Devices\tFirmware Update Test Device\tSIM-10000";
const std::string Listed = "sim:hid1\tapplication\t7a5d:0a11\t1.5" + Names +
                           "1\nsim:hid2\tapplication\t7a5d:0a12\t1.5" + Names + "2\n";
const std::string ListedBootloader = "sim:hid0\tbootloader\t7a5d:0b1d\t1.5" + Names + "1\n";
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
    {"--simulate update @missing.bin", "", FileProblem, "", "Nothing was sent to the device."},
    {"--simulate update -- --odd.bin", "", FileProblem, "", "--odd.bin"},
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
     "within 1 seconds"},
    {"--simulate --trace @trace.txt dump @flash.bin", "", Success,
     "Flash dump complete: 1048576 bytes written to @flash.bin.\n",
     "dump: 10% (102.4 KiB of 1.0 MiB)\ndump: 20% (204.8 KiB of 1.0 MiB)\n", 1 + 32768},
    // Ctrl-C arrives as the 100th block read is answered (report 100 after the start report).
    {"--simulate --trace @trace.txt dump @flash.bin", "interrupt-at=100", Failed, "",
     "The dump was cancelled after 100 of 32768 blocks.", 101},
    {"--simulate dump @absent/file", "", FileProblem, "", "@absent/file.part"},
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
    {"update --trace", "", Usage, "", "--trace needs a value"},
    {"--timeout 0 upgrade", "", Usage, "", "--timeout needs"},
    {"--simulate list", "latency=5", Usage, "",
     "FIRMWARE_UPDATE_SIMULATION: unknown key 'latency'"},
    {"--simulate list", "unplug-at", Usage, "", "'unplug-at' needs a value"},
    {"--simulate list", "mode=application;mode=bootloader", Usage, "", "'mode' is given twice"},
};

void setSimulation(const std::string& settings) {
#ifdef _WIN32
    _putenv((std::string(platform::simulated::SimulationVariable) + "=" + settings).c_str());
#else
    setenv(platform::simulated::SimulationVariable, settings.c_str(), 1);
#endif
}

// A trace line: direction, length, the bytes in upper-case hexadecimal, and whether it failed.
std::string traceLine(const platform::simulated::TranscriptEntry& entry) {
    std::ostringstream line;
    line << (entry.direction == Direction::HostToDevice ? '>' : '<') << ' ' << entry.bytes.size()
         << std::hex << std::uppercase << std::setfill('0');
    for (const int byte : entry.bytes)
        line << ' ' << std::setw(2) << byte;
    return line.str() + (entry.succeeded ? "" : " failed");
}

TEST(CommandLine, ExitStatusOutputAndTrace) {
    for (const auto& c : Cases) {
        SCOPED_TRACE(std::string(c.arguments) + " with " + c.simulation);
        TempFolder folder;
        const auto substitute = [&](std::string text) {  // @name: a file in the test's folder
            for (std::size_t at; (at = text.find('@')) != std::string::npos;)
                text.replace(at, 1, (folder.path() / "").string());
            return text;
        };
        std::vector<std::string> arguments;
        std::istringstream words(substitute(c.arguments));
        for (std::string word; words >> word;)
            arguments.push_back(word);
        writeFile(folder.path() / "image.bin", imageBytes(85));
        setSimulation(FastBus + c.simulation);
        std::shared_ptr<SimulatedBus> bus;
        const auto makePlatform = [&](bool simulate, std::string& problem) {
            auto made = processEnvironment().makePlatform(simulate, problem);
            bus = std::dynamic_pointer_cast<SimulatedBus>(made);
            return made;
        };
        std::ostringstream out, err;
        const Environment environment{out, err, false, makePlatform,
                                      [&] { return std::optional(folder.path()); }};

        const std::vector<std::string_view> views(arguments.begin(), arguments.end());
        EXPECT_EQ(run(views, environment), c.exitStatus) << err.str();

        if (c.out) {
            EXPECT_EQ(out.str(), substitute(c.out));
        }
        EXPECT_NE(err.str().find(substitute(c.err)), std::string::npos) << err.str();
        EXPECT_TRUE(*c.err || err.str().empty()) << err.str();
        if (c.traced > 0) {
            ASSERT_TRUE(bus);
            std::string expected;
            for (const auto& entry : bus->transcript())
                expected += traceLine(entry) + "\n";
            std::ifstream trace(folder.path() / "trace.txt");  // text: one line ending or two
            EXPECT_EQ(std::string(std::istreambuf_iterator<char>(trace), {}), expected);
            EXPECT_EQ(bus->transcript().size(), c.traced);
            EXPECT_EQ(bus->openHandleCount(), 0);
        }
    }
}

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

TEST(DeviceList, ControlCharactersInANameShowAsQuestionMarks) {
    SimulatedBus bus;
    platform::simulated::DeviceConfig config;
    config.product = platform::simulated::utf16Bytes(u"A\tB\x7F\n");
    bus.addDevice(config);
    const auto listing = device::findSupportedDevices(bus);
    ASSERT_EQ(listing.devices.size(), 1u);
    EXPECT_EQ(listing.devices[0].product, "A?B??");
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

#ifndef _WIN32
// The built program as a process of its own, in a folder with its default files: the wiring of
// main(), the environment, the program's folder and the exit status.
TEST(Program, RunsTheCommandOnTheFilesNextToItself) {
    TempFolder folder;
    const fs::path bin = folder.path() / "bin";
    fs::create_directory(bin);
    fs::copy_file(FWU_CLI_EXECUTABLE, bin / "firmware-update-cli");
    const auto run = [&](const std::string& arguments) {
        const std::string command = std::string(platform::simulated::SimulationVariable) +
                                    "='clock=virtual;latency-us=0' '" +
                                    (bin / "firmware-update-cli").string() + "' " + arguments +
                                    " >'" + (folder.path() / "out").string() + "' 2>/dev/null";
        const int status = std::system(command.c_str());
        const firmware::testing::Bytes out = firmware::testing::readFile(folder.path() / "out");
        return std::pair(WIFEXITED(status) ? WEXITSTATUS(status) : -1,
                         std::string(out.begin(), out.end()));
    };

    writeFile(bin / "Velnor.bin", imageBytes(85));
    EXPECT_EQ(run("update --simulate"),
              std::pair(0, "Firmware update complete: " + (bin / "Velnor.bin").string() +
                               " written to sim:hid0.\n"));
}
#endif

}  // namespace
}  // namespace fwu::cli::test

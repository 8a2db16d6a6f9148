// The built program, run as a process on the simulated device: output, exit status and files.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/cli/process_runner.h"
#include "tests/firmware/operations_fixture.h"

namespace fwu::cli::test {
namespace {

namespace fs = std::filesystem;
using firmware::testing::imageBytes;
using firmware::testing::readFile;
using firmware::testing::readLines;
using firmware::testing::TempFolder;
using firmware::testing::writeFile;

// Every run uses the bus's own clock and no latency, so waits and the dump take no real time.
const std::string FastBus = "clock=virtual;latency-us=0;";
constexpr std::size_t ImageSize = 85;  // three records, the last holding five bytes
constexpr int Success = 0, OperationFailed = 1, Usage = 2, NoDevice = 3, FileProblem = 4;

const std::string DeviceLine1 =
    "sim:hid1\tapplication\t7a5d:0a11\t1.5\tSimulated Devices\tFirmware Update Test "
    "Device\tSIM-100001\n";
const std::string DeviceLine2 =
    "sim:hid2\tapplication\t7a5d:0a12\t1.5\tSimulated Devices\tFirmware Update Test "
    "Device\tSIM-100002\n";

struct Case {
    std::vector<std::string> arguments;  // @image, @dump, @missing, @nofolder name test files
    std::string simulation;              // added to FastBus
    int exitStatus;
    std::optional<std::string> out;  // the whole standard output, when given
    std::vector<std::string> errParts;
};

const Case Cases[] = {
    {{"--simulate", "list"}, "foreign-device;devices=2", Success, DeviceLine1 + DeviceLine2, {}},
    {{"list", "--simulate"},
     "mode=bootloader",
     Success,
     "sim:hid0\tbootloader\t7a5d:0b1d\t1.5\tSimulated Devices\tFirmware Update Test "
     "Device\tSIM-100001\n",
     {}},
    {{"--simulate", "list"}, "no-device", NoDevice, "", {"No supported device found."}},
    {{"--simulate", "list"},
     "permission-denied",
     NoDevice,
     "sim:hid0\tapplication\t7a5d:0a11\t\t\t\t\n",
     {"cannot be opened: permission denied. Install the udev rule"}},

    {{"--simulate", "update", "@image"},
     "",
     Success,
     "Firmware update complete: @image written to sim:hid0.\n",
     {"update: 33% (28 B of 85 B)\nupdate: 66% (56 B of 85 B)\nupdate: 100% (85 B of 85 B)\n"}},
    {{"--quiet", "--simulate", "update", "@image"}, "", Success, "", {}},
    {{"--simulate", "update", "@image"}, "no-device", NoDevice, "", {"No supported device found."}},
    {{"--simulate", "update", "@missing"},
     "",
     FileProblem,
     "",
     {"Cannot find", "Nothing was sent to the device."}},
    {{"--simulate", "update", "@image"},
     "fail-transfers-from=3",
     OperationFailed,
     "",
     {"The device did not accept record 2 of 3."}},
    {{"--simulate", "update", "@image"},
     "report-length=40",
     OperationFailed,
     "",
     {"at least 49 bytes"}},

    {{"--simulate", "load", "@image"},
     "mode=bootloader",
     Success,
     "Bootloader-mode load complete: @image written to sim:hid0.\n",
     {"load: 100%"}},
    {{"--simulate", "upgrade", "@image"},
     "",
     Success,
     "Upgrade complete: @image written to sim:hid1 in bootloader mode.\n",
     {"Waiting for the device to restart in bootloader mode", "upgrade: 100%"}},
    {{"--simulate", "--timeout", "2", "upgrade", "@image"},
     "reenumeration-ms=never",
     OperationFailed,
     "",
     {"did not come back in bootloader mode within 2 seconds"}},

    {{"--simulate", "dump", "@dump"},
     "",
     Success,
     "Flash dump complete: 1048576 bytes written to @dump.\n",
     {"dump: 10% (102.4 KiB of 1.0 MiB)\n", "dump: 100% (1.0 MiB of 1.0 MiB)\n"}},
    {{"--simulate", "dump", "@nofolder"}, "", FileProblem, "", {"@nofolder.part"}},

    {{"--simulate", "erase"}, "", Success, "Erase command sent to sim:hid0.\n", {}},
    {{"--simulate", "bootloader"}, "", Success, "Bootloader-entry command sent to sim:hid0.\n", {}},
    {{"--simulate", "--trace", "@nofolder", "erase"},
     "",
     FileProblem,
     "",
     {"Cannot write the trace file @nofolder"}},

    {{"--help"}, "", Success, std::nullopt, {}},
    {{"--version"}, "", Success, "firmware-update-cli 1.01.0014\n", {}},
    {{"--simulate"}, "", Usage, "", {"no command given"}},
    {{"flash"}, "", Usage, "", {"unknown command 'flash'"}},
    {{"--force", "update"}, "", Usage, "", {"unknown option '--force'"}},
    {{"erase", "@image"}, "", Usage, "", {"unexpected argument"}},
    {{"update", "@image", "@image"}, "", Usage, "", {"unexpected argument"}},
    {{"update", "--trace"}, "", Usage, "", {"--trace needs a value"}},
    {{"--timeout", "0", "upgrade"}, "", Usage, "", {"--timeout needs"}},
    {{"--simulate", "list"},
     "latency=5",
     Usage,
     "",
     {"FIRMWARE_UPDATE_SIMULATION: unknown key 'latency'"}},
};

void PrintTo(const Case& c, std::ostream* os) {
    for (const auto& argument : c.arguments)
        *os << argument << ' ';
    *os << c.simulation;
}

class EndToEnd : public testing::TestWithParam<Case> {
  protected:
    std::string substitute(std::string text) const {
        const std::pair<const char*, fs::path> names[] = {
            {"@image", folder_.path() / "image.bin"},
            {"@dump", folder_.path() / "flash.bin"},
            {"@missing", folder_.path() / "missing.bin"},
            {"@nofolder", folder_.path() / "absent" / "file.bin"},
        };
        for (const auto& [name, path] : names) {
            for (std::size_t at; (at = text.find(name)) != std::string::npos;)
                text.replace(at, std::string(name).size(), path.string());
        }
        return text;
    }

    TempFolder folder_;
};

TEST_P(EndToEnd, OutputAndExitStatus) {
    const Case& c = GetParam();
    writeFile(folder_.path() / "image.bin", imageBytes(ImageSize));
    std::vector<std::string> arguments;
    for (const auto& argument : c.arguments)
        arguments.push_back(substitute(argument));

    const ProgramRun run =
        runProgram(FWU_CLI_EXECUTABLE, arguments, FastBus + c.simulation, folder_.path());

    EXPECT_EQ(run.exitStatus, c.exitStatus) << run.err;
    if (c.out) {
        EXPECT_EQ(run.out, substitute(*c.out));
    }
    for (const auto& part : c.errParts) {
        EXPECT_NE(run.err.find(substitute(part)), std::string::npos)
            << "missing: " << substitute(part) << "\nin: " << run.err;
    }
    if (c.errParts.empty() && c.exitStatus == Success) {
        EXPECT_EQ(run.err, "");
    }
}

INSTANTIATE_TEST_SUITE_P(Commands, EndToEnd, testing::ValuesIn(Cases),
                         [](const testing::TestParamInfo<Case>& info) {
                             return "case" + std::to_string(info.index);
                         });

// Installed like this, the program finds its default files next to itself.
class ProgramFolder : public testing::Test {
  protected:
    void SetUp() override {
        fs::create_directory(folder_.path() / "bin");
        fs::copy_file(FWU_CLI_EXECUTABLE, program_);
    }
    ProgramRun run(const std::vector<std::string>& arguments, const std::string& simulation) {
        return runProgram(program_, arguments, FastBus + simulation, folder_.path());
    }

    TempFolder folder_;
    fs::path program_ = folder_.path() / "bin" / "firmware-update-cli";
};

TEST_F(ProgramFolder, UpdateTakesTheImageNextToTheProgram) {
    EXPECT_EQ(run({"--simulate", "update"}, "").exitStatus, FileProblem);
    writeFile(folder_.path() / "bin" / "Velnor.bin", imageBytes(ImageSize));
    EXPECT_EQ(run({"--simulate", "update"}, "").exitStatus, Success);
}

TEST_F(ProgramFolder, InterruptedDumpLeavesTheEarlierDumpUntouched) {
    const auto earlier = imageBytes(2000);
    const auto dumpFile = folder_.path() / "bin" / "Ombrel.bin";
    writeFile(dumpFile, earlier);
    const auto trace = folder_.path() / "trace.txt";

    // Ctrl-C arrives as the 100th block read is answered (report 100 after the start report).
    const ProgramRun interrupted =
        run({"--simulate", "--trace", trace.string(), "dump"}, "interrupt-at=100");

    EXPECT_EQ(interrupted.exitStatus, OperationFailed);
    EXPECT_NE(interrupted.err.find("The dump was cancelled after 100 of 32768 blocks."),
              std::string::npos)
        << interrupted.err;
    EXPECT_EQ(readFile(dumpFile), earlier);
    EXPECT_EQ(readFile(folder_.path() / "bin" / "Ombrel.bin.part").size(), 100u * 32u);
    EXPECT_EQ(readLines(trace).size(), 101u) << "a report went out after the interrupt";

    const ProgramRun complete = run({"--simulate", "dump"}, "");
    EXPECT_EQ(complete.exitStatus, Success);
    EXPECT_EQ(readFile(dumpFile).size(), 1048576u);
}

}  // namespace
}  // namespace fwu::cli::test
